// The demo songs: traditional, public-domain tunes and texts, arranged here.
#pragma once

#include <vector>

#include "score.h"

namespace melvar::mkdemo {

std::vector<SongDef> DemoSongs();

}  // namespace melvar::mkdemo
