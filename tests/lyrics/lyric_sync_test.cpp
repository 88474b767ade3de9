#include "lyrics/lyric_sync.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "lyrics/lyric_memo_text.h"
#include "test_timeline.h"

namespace melvar::lyrics {
namespace {

using test::TestTimeline;

constexpr int kLine = 40;

struct Selection {
  int start;
  int length;
};

// The window's catch-up loop: the pump runs before every step.
std::vector<Selection> CatchUp(LyricState& s, const TimelineView& t, int64_t position,
                               const std::function<void()>& pump = [] {}) {
  std::vector<Selection> steps;
  const uint64_t generation = s.TimelineGeneration;
  while (CatchUpDue(s, t, position, generation)) {
    pump();
    const CatchUpResult r = CatchUpStep(s, t, kLine, position, generation);
    if (!r.taken) break;
    steps.push_back({r.selectionStart, r.selectionLength});
  }
  return steps;
}

LyricState StartedPass(const TimelineView& t) {
  LyricState s;
  s.HasLyrics = true;
  ResetLyricState(s, t, kLine);
  return s;
}

TEST(LyricReset, RewindsToTheFirstSyllable) {
  const TestTimeline tl{{-1, "\\Sun"}, {3, "ny"}};
  LyricState s;
  s.ScrollOffset = 99;
  s.SyllableCursor = 2;
  s.LineCursor = 4;
  s.HighlightStart = 30;
  s.HasLyrics = true;
  s.TickCounter = 2;
  s.TimelineGeneration = 7;
  ResetLyricState(s, tl.View(), kLine);
  EXPECT_EQ(s.ScrollOffset, -kLine);
  EXPECT_EQ(s.SyllableCursor, 0);
  EXPECT_EQ(s.LineCursor, 0);
  EXPECT_EQ(s.NextSyllableTime, -1);
  EXPECT_EQ(s.HighlightStart, -1);
  EXPECT_TRUE(s.HasLyrics);
  EXPECT_EQ(s.TickCounter, 2);
  EXPECT_EQ(s.TimelineGeneration, 7u);
}

TEST(LyricReset, EmptyTimelineReadsNoEntry) {
  LyricState s;
  s.NextSyllableTime = 55;
  ResetLyricState(s, TestTimeline{}.View(), kLine);
  EXPECT_EQ(s.NextSyllableTime, 0);
}

TEST(TickCounter, RunsZeroToThree) {
  LyricState s;
  std::vector<int> seen;
  std::vector<bool> barTicks;
  for (int i = 0; i < 6; ++i) {
    barTicks.push_back(CountTick(s));
    seen.push_back(s.TickCounter);
  }
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 0, 1, 2}));
  EXPECT_EQ(barTicks, (std::vector<bool>{false, false, false, true, false, false}));
}

std::vector<int> Animate(LyricState& s, int lineHeight, int frames) {
  std::vector<int> moves;
  for (int i = 0; i < frames; ++i) moves.push_back(ScrollAnimationStep(s, lineHeight));
  return moves;
}

TEST(ScrollAnimation, HalfLineSteps) {
  LyricState s;
  s.ScrollOffset = kLine;
  EXPECT_EQ(Animate(s, kLine, 3), (std::vector<int>{20, 20, 0}));
  EXPECT_EQ(s.ScrollOffset, 0);
}

TEST(ScrollAnimation, ExactlyThreeLinesIsSteppedByHalves) {
  LyricState s;
  s.ScrollOffset = 3 * 24;
  EXPECT_EQ(Animate(s, 24, 7), (std::vector<int>{12, 12, 12, 12, 12, 12, 0}));
}

TEST(ScrollAnimation, MoreThanThreeLinesJumpsToTheLastLine) {
  LyricState s;
  s.ScrollOffset = 3 * 28 + 1;
  EXPECT_EQ(Animate(s, 28, 4), (std::vector<int>{57, 14, 14, 0}));
}

TEST(ScrollAnimation, NothingPendingOrNoLineHeight) {
  LyricState s;
  s.ScrollOffset = -kLine;  // after a reset
  EXPECT_EQ(ScrollAnimationStep(s, kLine), 0);
  EXPECT_EQ(s.ScrollOffset, -kLine);
  s.ScrollOffset = 27;  // a reset with the design font's -27
  EXPECT_EQ(ScrollAnimationStep(s, -27), 0);
  EXPECT_EQ(s.ScrollOffset, 27);
}

TEST(ScrollAnimation, OddLineHeightEndsOnTheLine) {
  LyricState s;
  s.ScrollOffset = 27;
  EXPECT_EQ(Animate(s, 27, 4), (std::vector<int>{13, 13, 1, 0}));
}

TEST(CatchUp, PositionEqualToTheTimeDoesNotHighlight) {
  const TestTimeline tl{{10, "\\Sun"}, {20, "ny"}};
  LyricState s = StartedPass(tl.View());
  EXPECT_TRUE(CatchUp(s, tl.View(), 10).empty());
  EXPECT_EQ(s.SyllableCursor, 0);
  const auto steps = CatchUp(s, tl.View(), 11);
  ASSERT_EQ(steps.size(), 1u);
  EXPECT_EQ(steps[0].start, 0);
  EXPECT_EQ(steps[0].length, 3);
  EXPECT_EQ(s.NextSyllableTime, 20);
}

TEST(CatchUp, MarkSyllableAfterAFullLine) {
  // Memo "abcdefghi.jkl" CR LF "mno.p": jkl at 10..12, mno at 15..17.
  const TestTimeline tl{{0, "\\abcdefghi"}, {1, "jkl"}, {2, "/mno"}, {3, "p"}};
  LyricState s = StartedPass(tl.View());
  auto steps = CatchUp(s, tl.View(), 2);
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_EQ(steps[1].start, 10);
  EXPECT_EQ(steps[1].length, 3);
  EXPECT_EQ(s.HighlightStart, 14);
  steps = CatchUp(s, tl.View(), 3);
  ASSERT_EQ(steps.size(), 1u);
  EXPECT_EQ(steps[0].start, 15);
  EXPECT_EQ(steps[0].length, 3);
  EXPECT_EQ(s.HighlightStart, 19);
  EXPECT_EQ(s.LineCursor, 2);
  EXPECT_EQ(s.ScrollOffset, kLine);
}

TEST(CatchUp, TenMarksInOneLoop) {
  TestTimeline tl;
  for (int line = 0; line < 12; ++line) {
    tl.Add(line * 10, (line ? "/" : "\\") + std::string("line") + std::to_string(line));
    tl.Add(line * 10 + 5, "end");
  }
  LyricState s = StartedPass(tl.View());
  CatchUp(s, tl.View(), 91);  // the first syllable of the tenth line is due
  EXPECT_EQ(s.LineCursor, 10);
  EXPECT_EQ(s.ScrollOffset, 9 * kLine);
  EXPECT_EQ(Animate(s, kLine, 4), (std::vector<int>{8 * kLine, kLine / 2, kLine / 2, 0}));
}

TEST(CatchUp, WholeSongDueAtOnce) {
  const TestTimeline tl{{0, "\\one"}, {1, "two"}, {2, "/three"}, {3, "four"}, {4, "/five"}};
  LyricState s = StartedPass(tl.View());
  const auto steps = CatchUp(s, tl.View(), 1000);
  ASSERT_EQ(steps.size(), 5u);
  EXPECT_FALSE(s.HasLyrics);
  EXPECT_EQ(s.SyllableCursor, 5);
  EXPECT_EQ(s.ScrollOffset, 2 * kLine);
  EXPECT_EQ(Animate(s, kLine, 5), (std::vector<int>{20, 20, 20, 20, 0}));
  // The pass is over: nothing more, even after a rewind.
  ResetLyricState(s, tl.View(), kLine);
  EXPECT_TRUE(CatchUp(s, tl.View(), 1000).empty());
}

TEST(CatchUp, LastStepSaysSo) {
  const TestTimeline tl{{0, "\\a"}, {1, "b"}};
  LyricState s = StartedPass(tl.View());
  const uint64_t g = s.TimelineGeneration;
  EXPECT_FALSE(CatchUpStep(s, tl.View(), kLine, 5, g).lastSyllable);
  const CatchUpResult last = CatchUpStep(s, tl.View(), kLine, 5, g);
  EXPECT_TRUE(last.taken);
  EXPECT_TRUE(last.lastSyllable);
  EXPECT_FALSE(CatchUpStep(s, tl.View(), kLine, 5, g).taken);
}

TEST(CatchUp, NoSyllablesNoStep) {
  const TestTimeline empty;
  LyricState s = StartedPass(empty.View());
  EXPECT_FALSE(CatchUpDue(s, empty.View(), 1000, s.TimelineGeneration));
  EXPECT_FALSE(CatchUpStep(s, empty.View(), kLine, 1000, s.TimelineGeneration).taken);
  EXPECT_EQ(s.SyllableCursor, 0);
}

TEST(CatchUp, StopsWhenThePumpBringsANewTimeline) {
  const TestTimeline tl{{0, "\\a"}, {1, "b"}, {2, "c"}, {3, "d"}};
  LyricState s = StartedPass(tl.View());
  int pumps = 0;
  const auto steps = CatchUp(s, tl.View(), 100, [&] {
    if (++pumps == 2) NoteNewTimeline(s);  // a new song started inside the pump
  });
  EXPECT_EQ(steps.size(), 1u);
  EXPECT_EQ(s.SyllableCursor, 1);
}

TEST(CatchUp, StopsWhenThePumpFinishedThePass) {
  const TestTimeline tl{{0, "\\a"}, {1, "b"}, {2, "c"}};
  LyricState s = StartedPass(tl.View());
  bool inner = false;
  const auto steps = CatchUp(s, tl.View(), 100, [&] {
    if (inner) return;
    inner = true;
    CatchUp(s, tl.View(), 100);  // another tick runs its own loop to the end
  });
  EXPECT_TRUE(steps.empty());
  EXPECT_EQ(s.SyllableCursor, 3);
  EXPECT_FALSE(s.HasLyrics);
}

TEST(CatchUp, ARewindInsideThePumpIsCaughtUpAgain) {
  const TestTimeline tl{{0, "\\a"}, {1, "b"}, {2, "/c"}};
  LyricState s = StartedPass(tl.View());
  int pumps = 0;
  const auto steps = CatchUp(s, tl.View(), 100, [&] {
    if (++pumps == 3) ResetLyricState(s, tl.View(), kLine);  // a click on the lyrics
  });
  EXPECT_EQ(steps.size(), 5u);  // a, b, then a, b, c again
  EXPECT_EQ(steps.back().start, 5);  // "a.b" CR LF "c"
  EXPECT_EQ(s.ScrollOffset, kLine);
  EXPECT_FALSE(s.HasLyrics);
}

TEST(CatchUp, StaleCursorPastTheTableReadsNothing) {
  const TestTimeline tl{{0, "\\a"}};
  LyricState s = StartedPass(tl.View());
  s.SyllableCursor = 5;
  EXPECT_FALSE(CatchUpStep(s, tl.View(), kLine, 100, s.TimelineGeneration).taken);
}

// Every highlight must cover exactly the text of its syllable in the memo.
struct HighlightCase {
  const char* name;
  std::vector<std::pair<int32_t, std::string>> syllables;
};

class HighlightTest : public ::testing::TestWithParam<HighlightCase> {};

TEST_P(HighlightTest, CoversTheSyllablesOwnText) {
  TestTimeline tl;
  for (const auto& [time, text] : GetParam().syllables) tl.Add(time, text);
  const std::string memo = TestTimeline::Joined(tl.Lines());
  LyricState s = StartedPass(tl.View());
  for (int i = 0; i < static_cast<int>(tl.table.size()); ++i) {
    const CatchUpResult r = CatchUpStep(s, tl.View(), kLine, 1 << 30, s.TimelineGeneration);
    ASSERT_TRUE(r.taken) << i;
    ASSERT_GE(r.selectionStart, 0) << i;
    ASSERT_LE(r.selectionStart + r.selectionLength, static_cast<int>(memo.size())) << i;
    EXPECT_EQ(memo.substr(r.selectionStart, r.selectionLength), tl.Shown(i)) << "syllable " << i;
  }
  EXPECT_FALSE(s.HasLyrics);
}

INSTANTIATE_TEST_SUITE_P(
    Timelines, HighlightTest,
    ::testing::Values(
        HighlightCase{"SunnyDay", {{0, "\\Sun"}, {1, "ny"}, {2, "day"}, {3, "/is"}, {4, "here"}}},
        HighlightCase{"FirstSyllableWithoutMark", {{0, "Sun"}, {1, "ny"}, {2, "day"}}},
        HighlightCase{"TextBeforeTheFirstMark", {{0, "Intro"}, {1, "\\Sun"}, {2, "ny"}, {3, "/day"}}},
        HighlightCase{"MarkAloneThenText", {{0, "\\a"}, {1, "b"}, {2, "/"}, {3, "c"}, {4, "d"}}},
        HighlightCase{"MarkAloneThenMark", {{0, "\\a"}, {1, "/"}, {2, "/b"}, {3, "c"}}},
        HighlightCase{"TwoMarksAloneThenText", {{0, "\\a"}, {1, "/"}, {2, "/"}, {3, "b"}}},
        HighlightCase{"FirstSyllableMarkAlone", {{0, "/"}, {1, "a"}, {2, "/b"}}},
        HighlightCase{"FirstSyllablesMarksAlone", {{0, "/"}, {1, "/a"}, {2, "b"}}},
        HighlightCase{"MarkAloneAfterIntro", {{0, "Intro"}, {1, "/"}, {2, "Sun"}, {3, "/x"}}},
        HighlightCase{"MarkAloneAfterIntroThenMark", {{0, "Intro"}, {1, "/"}, {2, "/Sun"}}},
        HighlightCase{"SpacesStay", {{0, "\\Sun "}, {1, "ny "}, {2, "/ day"}}},
        HighlightCase{"ZeroByteCutsAText", {{0, "\\ab\0cd"}, {1, "ef"}, {2, "/g"}}},
        HighlightCase{"ZeroByteAloneOnAnEmptyLine", {{0, "\\a"}, {1, std::string("/\0", 2)}, {2, "b"}}},
        HighlightCase{"ZeroByteAloneAfterText", {{0, "\\a"}, {1, std::string("\0", 1)}, {2, "b"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CatchUp, FirstSyllableWithoutMarkStartsAtZero) {
  const TestTimeline tl{{0, "Sun"}, {1, "ny"}};
  LyricState s = StartedPass(tl.View());
  const auto steps = CatchUp(s, tl.View(), 5);
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_EQ(steps[0].start, 0);
  EXPECT_EQ(steps[1].start, 4);
}

TEST(CatchUp, MarkAloneFollowedByTextAdvancesOneCharacter) {
  // Memo "a.b" CR LF "c": after b the highlight is at 4 (the CR), the mark
  // alone brings it to 5, where c stands.
  const TestTimeline tl{{0, "\\a"}, {1, "b"}, {2, "/"}, {3, "c"}};
  LyricState s = StartedPass(tl.View());
  const auto steps = CatchUp(s, tl.View(), 10);
  ASSERT_EQ(steps.size(), 4u);
  EXPECT_EQ(steps[2].start, 5);
  EXPECT_EQ(steps[2].length, 0);
  EXPECT_EQ(steps[3].start, 5);
  EXPECT_EQ(steps[3].length, 1);
  EXPECT_EQ(s.ScrollOffset, kLine);
}

struct CueCase {
  int32_t next;
  int64_t position;
  Colour expected;
};

class ColourCueTest : public ::testing::TestWithParam<CueCase> {};

TEST_P(ColourCueTest, FollowsTheDistanceToTheNextSyllable) {
  const CueCase c = GetParam();
  const TestTimeline tl{{0, "\\a"}, {c.next, "b"}};
  LyricState s = StartedPass(tl.View());
  s.SyllableCursor = 1;
  s.NextSyllableTime = c.next;
  EXPECT_EQ(ColourCue(s, tl.View(), c.position), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Distances, ColourCueTest,
                         ::testing::Values(CueCase{100, 120, Colour::Yellow},   // already due
                                           CueCase{100, 100, Colour::Yellow},
                                           CueCase{100, 97, Colour::Yellow},    // 3 away
                                           CueCase{100, 96, Colour::Unchanged}, // 4 away
                                           CueCase{100, 91, Colour::Unchanged}, // 9 away
                                           CueCase{100, 90, Colour::Silver},    // 10 away
                                           CueCase{100, 0, Colour::Silver}));

TEST(ColourCue, TwoThenFiveThenTwelveAway) {
  const TestTimeline tl{{0, "\\a"}, {100, "b"}};
  LyricState s = StartedPass(tl.View());
  CatchUp(s, tl.View(), 1);
  Colour shown = Colour::Silver;
  std::vector<Colour> seen;
  for (int64_t away : {2, 5, 12}) {
    const Colour c = ColourCue(s, tl.View(), 100 - away);
    if (c != Colour::Unchanged) shown = c;
    seen.push_back(shown);
  }
  EXPECT_EQ(seen, (std::vector<Colour>{Colour::Yellow, Colour::Yellow, Colour::Silver}));
}

TEST(ColourCue, SilverAfterTheLastSyllable) {
  const TestTimeline tl{{0, "\\a"}, {1, "b"}};
  LyricState s = StartedPass(tl.View());
  CatchUp(s, tl.View(), 50);
  ASSERT_FALSE(s.HasLyrics);
  EXPECT_EQ(ColourCue(s, tl.View(), 50), Colour::Silver);
  LyricState none = StartedPass(TestTimeline{}.View());
  EXPECT_EQ(ColourCue(none, TestTimeline{}.View(), 0), Colour::Silver);
}

TEST(CatchUp, SelectionShowsTheRightCharactersOfAUtf8Lyric) {
  const TestTimeline tl{{0, "\\Er"}, {1, "h\xC3\xB6"}, {2, "re"}, {3, "/mich"}};
  const MemoText memo(tl.Lines());
  LyricState s = StartedPass(tl.View());
  std::vector<std::u16string> shown;
  for (const Selection& sel : CatchUp(s, tl.View(), 10)) {
    const auto [from, to] = memo.toDisplayRange(sel.start, sel.length);
    shown.push_back(memo.displayText().substr(from, to - from));
  }
  EXPECT_EQ(shown, (std::vector<std::u16string>{u"Er", u"h\u00F6", u"re", u"mich"}));
}

}  // namespace
}  // namespace melvar::lyrics
