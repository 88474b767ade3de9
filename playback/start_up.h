#pragma once
// The rules of the player's start and of a dropped file, as plain functions:
// the settings' values, the start folder, the first selection, and whether a
// dropped file is a song.
#include <string>
#include <string_view>

#include "playback/song_selection.h"

namespace melvar::playback {

// At most this many characters of LASTPATH are used.
inline constexpr size_t kLastPathChars = 498;

// The SHUFFLE setting: on when its first character is "1" ("1x" counts;
// "0", "" and words such as "true" do not).
bool ShuffleFromSetting(std::string_view value);

// Where the list opens and which song plays at once, from the command line's
// first argument (made absolute; "" when there is none) and the last folder:
// a song's folder and the song; a folder on its own, with no song; else the
// last folder.
struct StartPlace {
  std::string folder;
  std::string song;
};
StartPlace StartPlaceFor(const std::string& argument, bool argumentIsFolder, const std::string& lastPath);

// The list item selected at start when no song was named: with shuffle on, a
// random one of the first count - 1 items (never the last of two or more);
// else an index outside the list, which leaves the first item selected.
int StartSelection(bool shuffle, int count, const UniformDraw& draw);

// Whether a dropped file is one the player plays: its extension, in any
// letter case, is one of the song extensions.
bool DropAccepted(const std::string& path);

}  // namespace melvar::playback
