#pragma once
// The text the "Clipcopy" button puts on the clipboard.
#include <string>
#include <string_view>
#include <vector>

namespace melvar::lyrics {

// Longest clipboard text, in bytes.
inline constexpr std::size_t kClipboardLimit = 3000;
// Lines are appended while the text is at most this long.
inline constexpr std::size_t kClipboardContinueLimit = 2901;

// CR LF, 10 spaces, title 1, CR LF, 14 spaces, title 2, CR LF CR LF, then
// the memo's lines, each followed by CR LF, up to the first empty line; a
// further line is appended only while the text is at most 2901 bytes long.
// The text never exceeds 3000 bytes: a line that would not fit whole is
// left out, and the walk stops there (over-long titles are cut).
std::string ClipboardText(std::string_view title1, std::string_view title2,
                          const std::vector<std::string>& lines);

}  // namespace melvar::lyrics
