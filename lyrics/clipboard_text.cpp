#include "lyrics/clipboard_text.h"

namespace melvar::lyrics {

std::string ClipboardText(std::string_view title1, std::string_view title2,
                          const std::vector<std::string>& lines) {
  std::string text;
  text.reserve(kClipboardLimit);
  text += "\r\n";
  text.append(10, ' ');
  text += title1;
  text += "\r\n";
  text.append(14, ' ');
  text += title2;
  text += "\r\n\r\n";
  if (text.size() > kClipboardLimit) return text.substr(0, kClipboardLimit);

  for (const std::string& line : lines) {
    if (line.empty()) break;
    if (text.size() + line.size() + 2 > kClipboardLimit) break;  // left out whole
    text += line;
    text += "\r\n";
    if (text.size() > kClipboardContinueLimit) break;
  }
  return text;
}

}  // namespace melvar::lyrics
