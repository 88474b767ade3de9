#pragma once
// One syllable of a lyric timeline, as the song analysis and the lyric
// reader store it and the lyric display rules read it.
#include <cstdint>

namespace melvar::analysis {

struct Syllable {
  int32_t Time = 0;    // sixteenth notes from the song's start, one sixteenth early
  uint8_t Length = 0;  // stored text bytes, a leading line-break mark included
  int32_t Text = 0;    // index of the first text byte in the timeline's byte buffer
};

}  // namespace melvar::analysis
