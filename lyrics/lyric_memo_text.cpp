#include "lyrics/lyric_memo_text.h"

#include <iconv.h>
#include <uchardet.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>

#include "lyrics/utf8.h"

namespace melvar::lyrics {
namespace {

// Windows-1252 characters of the bytes 0x80..0x9F; the five bytes the code
// page leaves unassigned keep their own value (C1 controls).
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

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

// An iconv descriptor from one code page to UTF-32 (host order), used one
// character at a time.
struct TextDecoder::Converter {
  iconv_t cd = reinterpret_cast<iconv_t>(-1);
  std::string name;
  ~Converter() {
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  }
  // The character at bytes[i]: the shortest run of 1 to 4 bytes that
  // converts. A byte that starts no character is one U+FFFD.
  void Next(std::string_view bytes, std::size_t i, std::u32string& out, int& used) const {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    const std::size_t most = std::min<std::size_t>(4, bytes.size() - i);
    for (std::size_t n = 1; n <= most; ++n) {
      char32_t buf[8];
      char* in = const_cast<char*>(bytes.data() + i);
      std::size_t inLeft = n;
      char* o = reinterpret_cast<char*>(buf);
      std::size_t outLeft = sizeof buf;
      const std::size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
      if (r != static_cast<std::size_t>(-1) && inLeft == 0) {
        out.assign(buf, (sizeof buf - outLeft) / sizeof(char32_t));
        used = static_cast<int>(n);
        return;
      }
      if (r == static_cast<std::size_t>(-1) && errno != EINVAL) break;  // not the start of a character
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.assign(1, U'\uFFFD');
    used = 1;
  }
};

namespace {

bool Has8BitBytes(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<uint8_t>(c) >= 0x80; });
}

std::string UpperAscii(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// The code page the detector names for `bytes`, upper case; "" when it is unsure.
std::string DetectCodePage(std::string_view bytes) {
  uchardet_t detector = uchardet_new();
  if (!detector) return {};
  std::string name;
  if (uchardet_handle_data(detector, bytes.data(), bytes.size()) == 0) {
    uchardet_data_end(detector);
    if (const char* found = uchardet_get_charset(detector)) name = UpperAscii(found);
  }
  uchardet_delete(detector);
  return name;
}

}  // namespace

TextDecoder TextDecoder::ForCodePage(const std::string& name) {
  const std::string upper = UpperAscii(name);
  if (upper == "UTF-8") return TextDecoder(TextEncoding::Utf8);
  // Windows-1252 covers ISO-8859-1's letters; it is read by our own table.
  if (upper.empty() || upper == "ASCII" || upper == "WINDOWS-1252" || upper == "ISO-8859-1")
    return TextDecoder(TextEncoding::Windows1252);
  auto converter = std::make_shared<Converter>();
  converter->cd = iconv_open(std::endian::native == std::endian::little ? "UTF-32LE" : "UTF-32BE", upper.c_str());
  if (converter->cd == reinterpret_cast<iconv_t>(-1)) return TextDecoder(TextEncoding::Windows1252);
  converter->name = upper;
  TextDecoder d;
  d.encoding_ = TextEncoding::CodePage;
  d.converter_ = std::move(converter);
  return d;
}

TextDecoder TextDecoder::ForSong(std::string_view title1, std::string_view title2,
                                 const std::vector<std::string>& lines) {
  std::string lyric;
  for (const std::string& line : lines) lyric += line + "\n";
  if (IsUtf8WithMultiByte(lyric)) return TextDecoder(TextEncoding::Utf8);
  std::string all = lyric;
  all.append(title1).append("\n").append(title2);
  if (!Has8BitBytes(all)) return TextDecoder(TextEncoding::Windows1252);
  const std::string found = DetectCodePage(all);
  // UTF-8 only by the rule above: lyric bytes that are not valid UTF-8 are
  // not read as UTF-8, whatever the titles look like.
  if (found == "UTF-8" && !IsValidUtf8(lyric)) return TextDecoder(TextEncoding::Windows1252);
  return ForCodePage(found);
}

std::string TextDecoder::name() const {
  switch (encoding_) {
    case TextEncoding::Utf8: return "UTF-8";
    case TextEncoding::CodePage: return converter_->name;
    case TextEncoding::Windows1252: break;
  }
  return "WINDOWS-1252";
}

std::vector<DecodedChar> TextDecoder::characters(std::string_view bytes) const {
  std::vector<DecodedChar> out;
  out.reserve(bytes.size());
  std::u32string cps;
  for (std::size_t i = 0; i < bytes.size();) {
    DecodedChar c;
    if (encoding_ == TextEncoding::Utf8) {
      const Utf8Char u = DecodeUtf8At(bytes, i);
      AppendUtf16(c.units, u.codePoint);
      c.bytes = u.bytes;
    } else if (encoding_ == TextEncoding::CodePage) {
      converter_->Next(bytes, i, cps, c.bytes);
      for (const char32_t cp : cps) AppendUtf16(c.units, cp);
    } else {
      const uint8_t b = static_cast<uint8_t>(bytes[i]);
      AppendUtf16(c.units, b >= 0x80 && b <= 0x9F ? kCp1252High[b - 0x80] : char32_t{b});
    }
    i += static_cast<std::size_t>(c.bytes);
    out.push_back(std::move(c));
  }
  return out;
}

std::u16string TextDecoder::decode(std::string_view bytes) const {
  std::u16string out;
  out.reserve(bytes.size());
  for (const DecodedChar& c : characters(bytes)) out += c.units;
  return out;
}

std::string TextDecoder::decodeToUtf8(std::string_view bytes) const {
  const std::u16string units = decode(bytes);
  std::string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t cp = units[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < units.size()) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (units[++i] - 0xDC00);
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

MemoText::MemoText(std::vector<std::string> lines) : MemoText(lines, TextDecoder::ForLines(lines)) {}

MemoText::MemoText(std::vector<std::string> lines, TextDecoder decoder)
    : lines_(std::move(lines)), decoder_(std::move(decoder)) {
  std::size_t raw = 0;
  for (const std::string& line : lines_) raw += line.size() + 2;
  displayAt_.reserve(raw + 1);
  endAt_.reserve(raw + 1);
  endAt_.push_back(0);

  int shown = 0;
  for (std::size_t li = 0; li < lines_.size(); ++li) {
    const std::string& line = lines_[li];
    for (const DecodedChar& c : decoder_.characters(line)) {
      const std::size_t before = display_.size();
      for (const char16_t u : c.units) display_ += static_cast<char16_t>(ShownInLine(u));
      const int units = static_cast<int>(display_.size() - before);
      for (int k = 0; k < c.bytes; ++k) {
        displayAt_.push_back(shown);
        endAt_.push_back(shown + units);
      }
      shown += units;
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
