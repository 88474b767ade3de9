#include "lyrics/lyric_sync.h"

#include <algorithm>

namespace melvar::lyrics {

void ResetLyricState(LyricState& s, const TimelineView& timeline, int lineHeight) {
  s.ScrollOffset = -lineHeight;
  s.LineCursor = 0;
  s.SyllableCursor = 0;
  s.NextSyllableTime = timeline.Empty() ? 0 : timeline.Time(0);
  s.HighlightStart = -1;
  s.LineEmpty = true;
}

int ScrollAnimationStep(LyricState& s, int lineHeight) {
  if (s.ScrollOffset <= 0 || lineHeight <= 0) return 0;
  if (s.ScrollOffset > 3 * lineHeight) {
    const int jump = s.ScrollOffset - lineHeight;
    s.ScrollOffset = lineHeight;
    return jump;
  }
  // Half a line per frame; never past the line, so an odd line height does
  // not make the memo drift.
  const int step = std::min(std::max(lineHeight / 2, 1), s.ScrollOffset);
  s.ScrollOffset -= step;
  return step;
}

bool CountTick(LyricState& s) {
  ++s.TickCounter;
  if (s.TickCounter >= 4) s.TickCounter = 0;
  return s.TickCounter == 0;
}

bool CatchUpDue(const LyricState& s, const TimelineView& timeline, int64_t position, uint64_t loopGeneration) {
  return s.HasLyrics && s.TimelineGeneration == loopGeneration && s.SyllableCursor >= 0 &&
         s.SyllableCursor < timeline.Count() && static_cast<int64_t>(s.NextSyllableTime) < position;
}

CatchUpResult CatchUpStep(LyricState& s, const TimelineView& timeline, int lineHeight, int64_t position,
                          uint64_t loopGeneration) {
  CatchUpResult r;
  if (!CatchUpDue(s, timeline, position, loopGeneration)) return r;
  const int i = s.SyllableCursor;
  std::span<const uint8_t> text = timeline.TextBytes(i);

  if (timeline.HasMark(i)) {
    s.ScrollOffset += lineHeight;
    text = text.subspan(1);
    if (s.LineCursor == 0) {
      // The first mark begins the memo's first line; text sung before it
      // stands on that same line, so the highlight only moves to position 0
      // when nothing came before.
      if (s.LineEmpty) s.HighlightStart = 0;
    } else {
      // With a separator, HighlightStart is on the LF after a line's text
      // (one past the separator's place, the CR); without one it is on the
      // CR. On an empty line it is on the line's start, its CR LF first.
      s.HighlightStart += (s.LineEmpty || timeline.SeparatorBytes() == 0) ? 2 : 1;
      s.LineEmpty = true;
    }
    ++s.LineCursor;
  }

  const int start = std::max(s.HighlightStart, 0);
  r.selectionStart = start;
  if (!text.empty()) {
    // The memo holds a text up to its first 0x00 byte.
    const auto zero = std::find(text.begin(), text.end(), uint8_t{0});
    const int shown = static_cast<int>(zero - text.begin());
    // An empty text on an empty line leaves the line empty; on a line with
    // text it still adds the separator.
    if (shown > 0 || !s.LineEmpty) {
      r.selectionLength = shown;
      s.HighlightStart = start + shown + timeline.SeparatorBytes();
      s.LineEmpty = false;
    }
  }

  r.taken = true;
  ++s.SyllableCursor;
  if (s.SyllableCursor >= timeline.Count()) {
    s.HasLyrics = false;
    r.lastSyllable = true;
  } else {
    s.NextSyllableTime = timeline.Time(s.SyllableCursor);
  }
  return r;
}

Colour ColourCue(const LyricState& s, const TimelineView& timeline, int64_t position) {
  if (s.SyllableCursor < 0 || s.SyllableCursor >= timeline.Count()) return Colour::Silver;
  const int64_t next = s.NextSyllableTime;
  if (next < position + 4) return Colour::Yellow;
  if (next >= position + 10) return Colour::Silver;
  return Colour::Unchanged;
}

TickPlan PlanTick(int wantedBpm, int appliedBpm, bool playing, bool progressTick, bool hasLyrics) {
  TickPlan p;
  p.handOverTempo = wantedBpm != appliedBpm;
  p.transportVisible = playing;
  p.moveProgress = progressTick;
  p.followLyrics = playing && hasLyrics;
  return p;
}

}  // namespace melvar::lyrics
