#include "lyrics/jump_walk.h"

#include <gtest/gtest.h>

#include "test_timeline.h"

namespace melvar::lyrics {
namespace {

using test::TestTimeline;

constexpr int kLine = 32;

// Four lines: syllables 0-2, 3-4, 5-6, 7-8; times are ten times the index.
const TestTimeline& Song() {
  static const TestTimeline tl{{0, "\\Sun"}, {10, "ny"}, {20, "day"},  {30, "/is"},  {40, "here"},
                               {50, "/come"}, {60, "on"}, {70, "/go"}, {80, "now"}};
  return tl;
}

struct JumpCase {
  const char* name;
  int syllableCursor;
  int lineCursor;
  int clickedLine;
  int expectedSyllable;
};

class JumpTest : public ::testing::TestWithParam<JumpCase> {};

TEST_P(JumpTest, WalksToTheClickedLinesStart) {
  const JumpCase c = GetParam();
  LyricState s;
  s.SyllableCursor = c.syllableCursor;
  s.LineCursor = c.lineCursor;
  const JumpTarget t = WalkToClickedLine(s, Song().View(), c.clickedLine * kLine + kLine / 2, kLine);
  ASSERT_TRUE(t.valid);
  EXPECT_EQ(t.syllableCursor, c.expectedSyllable);
  EXPECT_EQ(t.time, c.expectedSyllable * 10);
}

INSTANTIATE_TEST_SUITE_P(
    Clicks, JumpTest,
    ::testing::Values(
        // "here" (4) is next on line 1, which is being sung (LineCursor 2).
        JumpCase{"MiddleOfTheSungLineGoesBackToItsStart", 4, 2, 1, 3},
        JumpCase{"NextLineGoesToItsMark", 4, 2, 2, 5},
        JumpCase{"ThreeLinesBelowTheSungLine", 1, 1, 3, 7},
        JumpCase{"EarlierLine", 6, 3, 0, 1},  // never below syllable 1
        JumpCase{"TwoLinesBack", 8, 4, 1, 3},
        // Line 1 fully sung, "/come" (5) next: the walk stops on that mark at once.
        JumpCase{"SungLineAfterItsLastSyllable", 5, 2, 1, 5},
        // First line, syllable 0 carries the first mark.
        JumpCase{"FirstLineLaterSyllableNext", 2, 1, 0, 1},
        JumpCase{"FirstLineSyllableOneNext", 1, 1, 0, 2},
        JumpCase{"FirstLineNothingHighlighted", 0, 0, 0, 0},
        // Beyond the last line the walk runs out of marks: the last syllable.
        JumpCase{"BelowTheLastLine", 4, 2, 9, 8},
        JumpCase{"LastLineFromTheStart", 0, 0, 3, 7},
        // After the last syllable the backward walk starts from the last one.
        JumpCase{"BackAfterThePassEnded", 9, 4, 3, 7},
        JumpCase{"BackToFirstLineAfterThePassEnded", 9, 4, 0, 1},
        JumpCase{"ForwardAfterThePassEnded", 9, 4, 5, 8}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Jump, NegativeYIsALineAboveTheMemo) {
  LyricState s;
  s.SyllableCursor = 4;
  s.LineCursor = 2;
  // -40 / 32 is -1 (truncated towards zero): three lines back, stops at 1.
  EXPECT_EQ(WalkToClickedLine(s, Song().View(), -40, kLine).syllableCursor, 1);
  // -10 / 32 is 0: the first line.
  EXPECT_EQ(WalkToClickedLine(s, Song().View(), -10, kLine).syllableCursor, 1);
}

TEST(Jump, TwoSyllableSongNeverGoesPastTheTable) {
  const TestTimeline tl{{0, "\\a"}, {10, "b"}};
  LyricState s;
  s.SyllableCursor = 1;
  s.LineCursor = 1;
  const JumpTarget t = WalkToClickedLine(s, tl.View(), 0, kLine);
  EXPECT_EQ(t.syllableCursor, 1);
  EXPECT_EQ(t.time, 10);
  // Sung in the first sixteenth: the jump goes to the song's start.
  const TestTimeline early{{-1, "\\a"}, {-1, "b"}};
  EXPECT_EQ(WalkToClickedLine(s, early.View(), 0, kLine).time, 0);
}

TEST(Jump, NoSyllablesOrNoLineHeightNoJump) {
  LyricState s;
  EXPECT_FALSE(WalkToClickedLine(s, TestTimeline{}.View(), 10, kLine).valid);
  EXPECT_FALSE(WalkToClickedLine(s, Song().View(), 10, 0).valid);
  EXPECT_FALSE(WalkToClickedLine(s, Song().View(), 10, -27).valid);
}

TEST(Jump, OnlyWhilePlayingPastTheFirstTwoHundredth) {
  EXPECT_FALSE(LineJumpAllowed(false, 5000, 12000));
  EXPECT_FALSE(LineJumpAllowed(true, 0, 12000));
  EXPECT_FALSE(LineJumpAllowed(true, 60, 12000));
  EXPECT_TRUE(LineJumpAllowed(true, 61, 12000));
  EXPECT_TRUE(LineJumpAllowed(true, 1, 199));  // 199 / 200 is 0
}

}  // namespace
}  // namespace melvar::lyrics
