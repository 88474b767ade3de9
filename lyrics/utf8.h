#pragma once
// Strict UTF-8: the one place the program tells valid UTF-8 from other bytes.
#include <cstddef>
#include <string_view>

namespace melvar::lyrics {

struct Utf8Char {
  char32_t codePoint = 0;  // U+FFFD for an invalid byte
  int bytes = 1;           // 1 for an invalid byte
  bool valid = true;
};

// The sequence at bytes[i] (i < size): no overlong forms, no surrogates,
// nothing above U+10FFFF, no sequence cut short by the end.
Utf8Char DecodeUtf8At(std::string_view bytes, std::size_t i);

bool IsValidUtf8(std::string_view bytes);
// Valid UTF-8 with at least one multi-byte sequence.
bool IsUtf8WithMultiByte(std::string_view bytes);

}  // namespace melvar::lyrics
