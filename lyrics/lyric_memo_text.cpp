#include "lyrics/lyric_memo_text.h"

#include <algorithm>
#include <cstdint>

namespace melvar::lyrics {
namespace {

// Windows-1252 characters of the bytes 0x80..0x9F; the five bytes the code
// page leaves unassigned keep their own value (C1 controls).
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

struct Decoded {
  char32_t codePoint;
  int bytes;  // 1 for an invalid byte
  bool valid;
};

bool IsContinuation(uint8_t b) { return (b & 0xC0) == 0x80; }

// One strict UTF-8 sequence at bytes[i] (no overlong forms, no surrogates,
// nothing above U+10FFFF).
Decoded DecodeUtf8(std::string_view bytes, std::size_t i) {
  const auto at = [&](std::size_t k) { return static_cast<uint8_t>(bytes[k]); };
  const uint8_t b0 = at(i);
  if (b0 < 0x80) return {b0, 1, true};
  int length = 0;
  uint8_t low = 0x80, high = 0xBF;  // range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    if (b0 == 0xE0) low = 0xA0;
    if (b0 == 0xED) high = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    if (b0 == 0xF0) low = 0x90;
    if (b0 == 0xF4) high = 0x8F;
  } else {
    return {0xFFFD, 1, false};
  }
  if (i + length > bytes.size()) return {0xFFFD, 1, false};
  const uint8_t b1 = at(i + 1);
  if (b1 < low || b1 > high) return {0xFFFD, 1, false};
  char32_t cp = b0 & (0x7F >> length);
  for (int k = 1; k < length; ++k) {
    const uint8_t b = at(i + k);
    if (!IsContinuation(b)) return {0xFFFD, 1, false};
    cp = (cp << 6) | (b & 0x3F);
  }
  return {cp, length, true};
}

Decoded DecodeOne(TextEncoding e, std::string_view bytes, std::size_t i) {
  if (e == TextEncoding::Utf8) return DecodeUtf8(bytes, i);
  const uint8_t b = static_cast<uint8_t>(bytes[i]);
  return {b >= 0x80 && b <= 0x9F ? kCp1252High[b - 0x80] : char32_t{b}, 1, true};
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  } else {
    out += static_cast<char16_t>(cp);
  }
}

// Characters the memo would take as the end of a line.
char32_t ShownInLine(char32_t cp) {
  return cp == '\r' || cp == '\n' || cp == 0x2028 || cp == 0x2029 ? U' ' : cp;
}

}  // namespace

bool IsUtf8WithMultiByte(std::string_view bytes) {
  bool multiByte = false;
  for (std::size_t i = 0; i < bytes.size();) {
    const Decoded d = DecodeUtf8(bytes, i);
    if (!d.valid) return false;
    multiByte |= d.bytes > 1;
    i += d.bytes;
  }
  return multiByte;
}

TextDecoder TextDecoder::ForLines(const std::vector<std::string>& lines) {
  bool multiByte = false;
  for (const std::string& line : lines) {
    for (std::size_t i = 0; i < line.size();) {
      const Decoded d = DecodeUtf8(line, i);
      if (!d.valid) return TextDecoder(TextEncoding::Windows1252);
      multiByte |= d.bytes > 1;
      i += d.bytes;
    }
  }
  return TextDecoder(multiByte ? TextEncoding::Utf8 : TextEncoding::Windows1252);
}

TextDecoder TextDecoder::ForSong(std::string_view, std::string_view, const std::vector<std::string>& lines) {
  return ForLines(lines);
}

std::u16string TextDecoder::decode(std::string_view bytes) const {
  std::u16string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    const Decoded d = DecodeOne(encoding_, bytes, i);
    AppendUtf16(out, d.codePoint);
    i += d.bytes;
  }
  return out;
}

MemoText::MemoText(std::vector<std::string> lines) : lines_(std::move(lines)), decoder_(TextDecoder::ForLines(lines_)) {
  std::size_t raw = 0;
  for (const std::string& line : lines_) raw += line.size() + 2;
  displayAt_.reserve(raw + 1);
  endAt_.reserve(raw + 1);
  endAt_.push_back(0);

  int shown = 0;
  for (std::size_t li = 0; li < lines_.size(); ++li) {
    const std::string& line = lines_[li];
    for (std::size_t i = 0; i < line.size();) {
      const Decoded d = DecodeOne(decoder_.encoding(), line, i);
      const std::size_t before = display_.size();
      AppendUtf16(display_, ShownInLine(d.codePoint));
      const int units = static_cast<int>(display_.size() - before);
      for (int k = 0; k < d.bytes; ++k) {
        displayAt_.push_back(shown);
        endAt_.push_back(shown + units);
      }
      shown += units;
      i += d.bytes;
    }
    if (li + 1 < lines_.size()) {
      // CR and LF both stand for the one '\n'.
      displayAt_.push_back(shown);
      displayAt_.push_back(shown);
      endAt_.push_back(shown + 1);
      endAt_.push_back(shown + 1);
      display_ += u'\n';
      ++shown;
    }
  }
  displayAt_.push_back(shown);
}

const std::string& MemoText::lineBytes(int i) const {
  static const std::string kEmpty;
  return i >= 0 && i < lineCount() ? lines_[static_cast<std::size_t>(i)] : kEmpty;
}

std::u16string MemoText::lineDisplay(int i) const {
  std::u16string out = decoder_.decode(lineBytes(i));
  for (char16_t& c : out) c = static_cast<char16_t>(ShownInLine(c));
  return out;
}

std::string MemoText::rawText() const {
  std::string out;
  for (std::size_t li = 0; li < lines_.size(); ++li) {
    if (li) out += "\r\n";
    out += lines_[li];
  }
  return out;
}

int MemoText::toDisplayPosition(int pos) const {
  return displayAt_[static_cast<std::size_t>(std::clamp(pos, 0, rawLength()))];
}

std::pair<int, int> MemoText::toDisplayRange(int start, int length) const {
  const int from = toDisplayPosition(start);
  if (length <= 0) return {from, from};
  // The characters of [start, start + length) that lie inside the text.
  const int64_t first = std::clamp(start, 0, rawLength());
  const int64_t end = std::clamp<int64_t>(int64_t{start} + length, first, rawLength());
  const int to = endAt_[static_cast<std::size_t>(end)];
  return {from, std::max(from, to)};
}

}  // namespace melvar::lyrics
