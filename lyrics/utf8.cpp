#include "lyrics/utf8.h"

#include <cstdint>

namespace melvar::lyrics {
namespace {

bool IsContinuation(uint8_t b) { return (b & 0xC0) == 0x80; }

// Valid, and whether any sequence took more than one byte.
bool Scan(std::string_view bytes, bool& multiByte) {
  multiByte = false;
  for (std::size_t i = 0; i < bytes.size();) {
    const Utf8Char c = DecodeUtf8At(bytes, i);
    if (!c.valid) return false;
    multiByte |= c.bytes > 1;
    i += static_cast<std::size_t>(c.bytes);
  }
  return true;
}

}  // namespace

Utf8Char DecodeUtf8At(std::string_view bytes, std::size_t i) {
  const auto at = [&](std::size_t k) { return static_cast<uint8_t>(bytes[k]); };
  constexpr Utf8Char kInvalid{0xFFFD, 1, false};
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
    return kInvalid;
  }
  if (i + static_cast<std::size_t>(length) > bytes.size()) return kInvalid;
  const uint8_t b1 = at(i + 1);
  if (b1 < low || b1 > high) return kInvalid;
  char32_t cp = b0 & (0x7F >> length);
  for (int k = 1; k < length; ++k) {
    const uint8_t b = at(i + static_cast<std::size_t>(k));
    if (!IsContinuation(b)) return kInvalid;
    cp = (cp << 6) | (b & 0x3F);
  }
  return {cp, length, true};
}

bool IsValidUtf8(std::string_view bytes) {
  bool multiByte;
  return Scan(bytes, multiByte);
}

bool IsUtf8WithMultiByte(std::string_view bytes) {
  bool multiByte;
  return Scan(bytes, multiByte) && multiByte;
}

}  // namespace melvar::lyrics
