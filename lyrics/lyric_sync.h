#pragma once
// The lyric highlight that follows the music: the state the 100 ms tick
// keeps, the scroll animation, the tick counter, one step of the catch-up
// loop and the colour cue. Positions in the memo are counted as the memo's
// raw text has them: bytes, a line break (CR LF) as two characters; see
// MemoText for what the user sees.
#include <cstdint>

#include "lyrics/lyric_timeline.h"

namespace melvar::lyrics {

struct LyricState {
  int ScrollOffset = 0;         // pixels the memo still has to move up
  int SyllableCursor = 0;       // next syllable to highlight
  int LineCursor = 0;           // line-break marks passed since the last reset
  int32_t NextSyllableTime = 0; // time of the syllable at SyllableCursor
  int HighlightStart = -1;      // memo position where the next syllable's text starts
  int TickCounter = 0;          // 0..3, the progress bar moves when it is 0
  bool HasLyrics = false;       // syllables are still to be highlighted
  // Whether the memo line the highlight is on has no text so far (at the
  // start, after a line break, or after mark-only syllables). The memo joins
  // texts with a separator only within a non-empty line, so this decides
  // where the next text starts.
  bool LineEmpty = true;
  // Changes whenever a new timeline is put in place (or the song buffer is
  // read again); a catch-up loop that finds it changed stops.
  uint64_t TimelineGeneration = 0;
};

// Marks that the timeline (or the buffer its texts point into) was replaced.
inline void NoteNewTimeline(LyricState& s) { ++s.TimelineGeneration; }

// Rewinds the highlight to the first syllable: ScrollOffset := -lineHeight,
// both cursors 0, NextSyllableTime := time of syllable 0 (0 without
// syllables), HighlightStart := -1. HasLyrics and the generation stay. The
// caller empties the memo's selection.
void ResetLyricState(LyricState& s, const TimelineView& timeline, int lineHeight);

// One frame of the scroll animation; returns the pixels to move the memo up
// (0: nothing to do). More than three lines behind, it jumps to one line
// behind; otherwise it moves half a line. Nothing moves while the line
// height is not positive.
int ScrollAnimationStep(LyricState& s, int lineHeight);

// Counts one tick (0, 1, 2, 3, 0, ...); true when the counter is then 0,
// the ticks on which the progress bar is updated.
bool CountTick(LyricState& s);

// What one tick of the 100 ms timer does besides the highlight, from the
// tempo the user wants and the one last handed over, whether the device
// plays, whether this is a progress tick (CountTick) and whether syllables
// are left.
struct TickPlan {
  bool handOverTempo = false;     // show the wanted tempo, send it, count it as handed over
  bool transportVisible = false;  // the jump buttons and "Stop" are shown
  bool moveProgress = false;      // the progress bar moves: to the position, or to 0 when idle
  bool followLyrics = false;      // the highlight catches up with the position
};
TickPlan PlanTick(int wantedBpm, int appliedBpm, bool playing, bool progressTick, bool hasLyrics);

struct CatchUpResult {
  bool taken = false;        // a syllable was passed
  int selectionStart = 0;    // memo position of its text
  int selectionLength = 0;   // its characters (0 for a mark alone)
  bool lastSyllable = false; // it was the last one: HasLyrics is now false
};

// Whether the catch-up loop has a step to take at device position
// `position`: the pass is running on the timeline the loop began with
// (`loopGeneration`), a syllable is left, and it is due (its time is
// strictly before the position).
bool CatchUpDue(const LyricState& s, const TimelineView& timeline, int64_t position, uint64_t loopGeneration);

// One step of the catch-up loop, run after the message pump: checks
// CatchUpDue again (the pump may have rewound the state or replaced the
// timeline) and, if a step is due, passes the syllable at SyllableCursor:
// a line-break mark adds one line height to ScrollOffset and counts a line;
// the syllable's text is selected; the cursor moves on. The window runs
//   gen = s.TimelineGeneration;
//   while (CatchUpDue(s, t, pos, gen)) { pump(); r = CatchUpStep(...); if (!r.taken) break; select(r); }
CatchUpResult CatchUpStep(LyricState& s, const TimelineView& timeline, int lineHeight, int64_t position,
                          uint64_t loopGeneration);

enum class Colour { Unchanged, Yellow, Silver };

// Colour of the lyric text after the catch-up loop: yellow when the next
// syllable is less than 4 sixteenths away (or due), silver when it is 10 or
// more away, and silver once no syllable is left.
Colour ColourCue(const LyricState& s, const TimelineView& timeline, int64_t position);

}  // namespace melvar::lyrics
