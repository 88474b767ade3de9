#pragma once
// Where a click on a lyric line sends the song: the walk from the syllable
// being sung to the first syllable of the clicked line.
#include <cstdint>

#include "lyrics/lyric_sync.h"
#include "lyrics/lyric_timeline.h"

namespace melvar::lyrics {

// Clicks count only while the song plays and is past its first
// two-hundredth (integer division).
inline bool LineJumpAllowed(bool playing, int64_t position, int64_t length) {
  return playing && position > length / 200;
}

struct JumpTarget {
  bool valid = false;      // false: no syllable to go to (empty timeline, no line height)
  int syllableCursor = 0;  // the syllable to seek to
  int32_t time = 0;        // its time (0 when it lies before 0), the seek target
};

// The clicked memo line is y / lineHeight (truncated towards zero), `y` in
// the memo's own coordinates; the line being sung is LineCursor - 1.
// Forward (the clicked line is after it): to the mark that begins the n-th
// following line; running out of marks goes to the last syllable. Backward:
// back to the mark that begins the clicked line, never below syllable 1;
// after the last syllable the walk starts from the last one. The result is
// always an existing syllable.
JumpTarget WalkToClickedLine(const LyricState& s, const TimelineView& timeline, int y, int lineHeight);

}  // namespace melvar::lyrics
