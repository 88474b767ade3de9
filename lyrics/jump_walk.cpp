#include "lyrics/jump_walk.h"

#include <algorithm>

namespace melvar::lyrics {

JumpTarget WalkToClickedLine(const LyricState& s, const TimelineView& timeline, int y, int lineHeight) {
  const int count = timeline.Count();
  if (count == 0 || lineHeight <= 0) return {};
  const int64_t line = y / lineHeight;
  const int64_t n = line - s.LineCursor + 1;  // lines after the one being sung
  int c = std::clamp(s.SyllableCursor, 0, count);

  if (n >= 1) {
    // Forward: past the n-th mark from here, then back onto it.
    for (int64_t k = 0; k < n && c < count; ++k) {
      while (c < count && !timeline.HasMark(c)) ++c;
      ++c;
    }
    if (c != 0) --c;
  } else {
    // Backward: before the (1 - n)-th mark at or before here, looking no
    // further back than syllable 1, then forward onto it. After the last
    // syllable there is no entry to begin at: begin at the last one.
    c = std::min(c, count - 1);
    for (int64_t k = 0; k < 1 - n && c > 1; ++k) {
      while (c > 1 && !timeline.HasMark(c)) --c;
      --c;
    }
    ++c;
  }
  // A walk that runs past the last mark (or, on a two-syllable song, the
  // backward walk from syllable 1) ends beyond the table: go to the last
  // syllable instead.
  c = std::min(c, count - 1);
  // Syllable times are one sixteenth early, so a syllable sung in the
  // song's first sixteenth has time -1; the song begins at 0.
  return {true, c, std::max<int32_t>(0, timeline.Time(c))};
}

}  // namespace melvar::lyrics
