#include "lyrics/panel_layout.h"

#include <cfloat>
#include <cmath>

namespace melvar::lyrics {
namespace {

// Whether value < factor * r, with the product taken exactly. Where long
// double has a 64-bit mantissa the product of a small integer and a double
// fits in it; elsewhere the product is split into its rounded value and the
// rounding error, which is exact as well.
bool LessThanExactProduct(int value, int factor, double r) {
  if constexpr (LDBL_MANT_DIG >= 64) {
    return static_cast<long double>(value) < static_cast<long double>(factor) * static_cast<long double>(r);
  } else {
    const double hi = factor * r;
    const double lo = std::fma(static_cast<double>(factor), r, -hi);
    const double v = value;
    return v != hi ? v < hi : lo > 0;
  }
}

}  // namespace

int ChooseLyricFontHeight(int LongestLine, int screenWidth, int currentHeight, bool lyricsInPlace) {
  if (LongestLine == 0) return lyricsInPlace && currentHeight <= 0 ? kLyricLineHeights[0] : currentHeight;
  const double r = static_cast<double>(screenWidth) / 640.0;
  if (LessThanExactProduct(LongestLine, 40, r)) return kLyricLineHeights[0];
  if (LessThanExactProduct(LongestLine, 55, r)) return kLyricLineHeights[1];
  if (LessThanExactProduct(LongestLine, 60, r)) return kLyricLineHeights[2];
  return kLyricLineHeights[3];
}

PanelGeometry LayoutPanel(const PanelInput& in) {
  PanelGeometry g;
  g.panelWidth = in.clientWidth;
  const int space = in.clientHeight - (in.cprightTop + in.cprightHeight + in.tocadoHeight);
  if (space >= 0 && in.lineHeight != 0) {
    // C++ division truncates towards zero, as the layout rules want.
    g.visibleLines = space / in.lineHeight;
    if (g.visibleLines > 3) g.visibleLines = 3;
    g.panelHeight = g.visibleLines * in.lineHeight;
  }
  g.panelTop = in.clientHeight - g.panelHeight;
  const int inner = in.clientWidth - 2 * in.panelFrame;
  g.memoWidth = inner > 0 ? inner : 0;
  g.tocadoWidth = in.outerWidth;
  g.tocadoTop = g.panelTop - in.tocadoHeight;
  return g;
}

}  // namespace melvar::lyrics
