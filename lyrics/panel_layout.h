#pragma once
// Size of the lyric font and the place of the lyric panel and the progress
// bar, as plain arithmetic over the window's measures.
namespace melvar::lyrics {

// The line heights (pixels) the lyric font can take, largest first.
inline constexpr int kLyricLineHeights[4] = {40, 32, 28, 24};

// The lyric font's height value for the song's longest lyric line
// (characters) on a screen `screenWidth` pixels wide. `currentHeight` is the
// font's height value now: positive for a line height, negative for a
// character height (the design font, -27).
//
// With LongestLine 0 the font keeps its height, except that when a lyric
// timeline has just been put in place (`lyricsInPlace`) and the current value
// is not a line height (<= 0), the largest size is taken: the highlight and
// the line jumps count on a positive line height.
int ChooseLyricFontHeight(int LongestLine, int screenWidth, int currentHeight, bool lyricsInPlace = false);

struct PanelInput {
  int clientWidth = 0;    // the window's client width
  int clientHeight = 0;   // the window's client height
  int outerWidth = 0;     // the window's outer width, frame included
  int cprightTop = 0;
  int cprightHeight = 0;
  int tocadoHeight = 0;   // the progress bar's height
  int lineHeight = 0;     // the lyric font's height value
  int panelFrame = 0;     // the panel's frame thickness on each side
};

struct PanelGeometry {
  int panelLeft = 0;
  int panelTop = 0;
  int panelWidth = 0;
  int panelHeight = 0;
  int visibleLines = 0;   // the `VisibleLines` value; negative with a negative height value
  int memoWidth = 0;      // width of the memo: the panel's inner width
  int tocadoLeft = 0;
  int tocadoTop = 0;
  int tocadoWidth = 0;
};

// The panel sits on the bottom edge of the client area under the progress
// bar, as many whole lines tall as fit below `Cpright` and the bar, at most
// three. Divisions truncate towards zero, so the design font's negative
// height value gives a negative line count and the largest multiple of its
// height that fits. When there is no room at all (the client area ends above
// the panel's place) or the height value is 0, the panel is 0 high.
PanelGeometry LayoutPanel(const PanelInput& in);

}  // namespace melvar::lyrics
