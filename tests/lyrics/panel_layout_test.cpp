#include "lyrics/panel_layout.h"

#include <gtest/gtest.h>

namespace melvar::lyrics {
namespace {

struct FontCase {
  int screenWidth;
  int longestLine;
  int expected;
};

class FontHeightTest : public ::testing::TestWithParam<FontCase> {};

TEST_P(FontHeightTest, ThresholdsAreStrictAndExact) {
  const FontCase c = GetParam();
  EXPECT_EQ(ChooseLyricFontHeight(c.longestLine, c.screenWidth, -27), c.expected)
      << "screen " << c.screenWidth << ", longest line " << c.longestLine;
}

INSTANTIATE_TEST_SUITE_P(Screens, FontHeightTest,
                         ::testing::Values(
                             // r = 1
                             FontCase{640, 1, 40}, FontCase{640, 39, 40}, FontCase{640, 40, 32},
                             FontCase{640, 54, 32}, FontCase{640, 55, 28}, FontCase{640, 59, 28},
                             FontCase{640, 60, 24}, FontCase{640, 500, 24},
                             // r = 1.25 exactly: thresholds 50, 68.75, 75
                             FontCase{800, 49, 40}, FontCase{800, 50, 32}, FontCase{800, 68, 32},
                             FontCase{800, 69, 28}, FontCase{800, 74, 28}, FontCase{800, 75, 24},
                             // r is the double just above 1.6: thresholds just above 64, 88, 96
                             FontCase{1024, 64, 40}, FontCase{1024, 65, 32}, FontCase{1024, 88, 32},
                             FontCase{1024, 89, 28}, FontCase{1024, 96, 28}, FontCase{1024, 97, 24},
                             // r just above 1.8: 72, 99, 108
                             FontCase{1152, 72, 40}, FontCase{1152, 73, 32}, FontCase{1152, 99, 32},
                             FontCase{1152, 100, 28}, FontCase{1152, 108, 28}, FontCase{1152, 109, 24}));

TEST(FontHeight, NoLongestLineKeepsTheFont) {
  EXPECT_EQ(ChooseLyricFontHeight(0, 1024, -27), -27);        // start-up: the design font stays
  EXPECT_EQ(ChooseLyricFontHeight(0, 1024, 28), 28);          // the last song's size stays
  EXPECT_EQ(ChooseLyricFontHeight(0, 1024, 28, true), 28);
}

TEST(FontHeight, LyricsWithoutLongestLineNeverKeepACharacterHeight) {
  EXPECT_EQ(ChooseLyricFontHeight(0, 1024, -27, true), 40);
  EXPECT_EQ(ChooseLyricFontHeight(0, 640, 0, true), 40);
}

TEST(FontHeight, ZeroWidthScreenTakesTheSmallestSize) {
  EXPECT_EQ(ChooseLyricFontHeight(1, 0, -27), 24);
}

struct PanelCase {
  const char* name;
  int clientHeight;
  int lineHeight;
  int visibleLines;
  int panelHeight;
  int panelTop;
  int tocadoTop;
};

class PanelTest : public ::testing::TestWithParam<PanelCase> {};

TEST_P(PanelTest, SitsOnTheBottomEdgeUnderTheBar) {
  const PanelCase c = GetParam();
  PanelInput in;
  in.clientWidth = 512;
  in.clientHeight = c.clientHeight;
  in.outerWidth = 520;
  in.cprightTop = 182;
  in.cprightHeight = 15;
  in.tocadoHeight = 7;
  in.lineHeight = c.lineHeight;
  in.panelFrame = 2;
  const PanelGeometry g = LayoutPanel(in);
  EXPECT_EQ(g.visibleLines, c.visibleLines);
  EXPECT_EQ(g.panelHeight, c.panelHeight);
  EXPECT_EQ(g.panelTop, c.panelTop);
  EXPECT_EQ(g.tocadoTop, c.tocadoTop);
  EXPECT_EQ(g.panelLeft, 0);
  EXPECT_EQ(g.panelWidth, 512);
  EXPECT_EQ(g.memoWidth, 508);
  EXPECT_EQ(g.tocadoLeft, 0);
  EXPECT_EQ(g.tocadoWidth, 520);
}

INSTANTIATE_TEST_SUITE_P(
    Heights, PanelTest,
    ::testing::Values(PanelCase{"Line40", 341, 40, 3, 120, 221, 214},
                      PanelCase{"Line24CappedAtThree", 341, 24, 3, 72, 269, 262},
                      PanelCase{"Line32", 341, 32, 3, 96, 245, 238},
                      PanelCase{"DesignFont", 341, -27, -5, 135, 206, 199},
                      PanelCase{"LessThanOneLine", 204 + 39, 40, 0, 0, 243, 236},
                      PanelCase{"NoSpaceAtAll", 204, 40, 0, 0, 204, 197},
                      PanelCase{"ClientEndsAbovePanel", 150, 40, 0, 0, 150, 143},
                      PanelCase{"ClientEndsAbovePanelDesignFont", 150, -27, 0, 0, 150, 143},
                      PanelCase{"ZeroHeightValue", 341, 0, 0, 0, 341, 334}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Panel, MemoWidthNeverNegative) {
  PanelInput in;
  in.clientWidth = 3;
  in.panelFrame = 2;
  in.lineHeight = 40;
  EXPECT_EQ(LayoutPanel(in).memoWidth, 0);
}

}  // namespace
}  // namespace melvar::lyrics
