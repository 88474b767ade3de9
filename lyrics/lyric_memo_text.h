#pragma once
// The lyric memo's text in two forms: the raw lines as the lyric rules count
// positions in them (bytes, lines joined by CR LF), and the decoded text the
// memo shows (UTF-16, lines joined by a single '\n'), with the map from the
// first to the second.
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace melvar::lyrics {

enum class TextEncoding { Windows1252, Utf8, CodePage };

// One character of a song's text: its UTF-16 units and the bytes it takes.
struct DecodedChar {
  std::u16string units;
  int bytes = 1;
};

// Decodes a song's 8-bit texts. A song whose lyric bytes are valid UTF-8
// with at least one multi-byte sequence is read as UTF-8. Any other song
// with bytes above 0x7F has its code page detected over its lyric and title
// bytes together and is read in it (Cyrillic, Greek, Turkish, Thai, Japanese,
// Korean and the like); when the detection is unsure, or the song is plain
// ASCII, it is read as Windows-1252 (every byte has a character; the five
// unassigned ones map to the C1 controls of the same value). Copies of a
// decoder for a detected code page share one converter: use them from one
// thread.
class TextDecoder {
 public:
  TextDecoder() = default;
  // UTF-8 or Windows-1252 (CodePage, which needs a name, gives Windows-1252).
  explicit TextDecoder(TextEncoding e) : encoding_(e == TextEncoding::CodePage ? TextEncoding::Windows1252 : e) {}
  // A code page by its iconv name; Windows-1252 when iconv does not know it.
  static TextDecoder ForCodePage(const std::string& name);

  // The decoding for a song, chosen from its lyric lines and titles.
  static TextDecoder ForSong(std::string_view title1, std::string_view title2,
                             const std::vector<std::string>& lines);
  static TextDecoder ForLines(const std::vector<std::string>& lines) { return ForSong({}, {}, lines); }

  TextEncoding encoding() const { return encoding_; }
  // "UTF-8", "WINDOWS-1252" or the code page's name ("WINDOWS-1251", "SHIFT_JIS", ...).
  std::string name() const;

  // Decoded text; a byte that does not belong to a valid character becomes U+FFFD.
  std::u16string decode(std::string_view bytes) const;
  std::string decodeToUtf8(std::string_view bytes) const;
  // The characters of `bytes` one by one, each with the bytes it takes.
  std::vector<DecodedChar> characters(std::string_view bytes) const;

 private:
  struct Converter;
  TextEncoding encoding_ = TextEncoding::Windows1252;
  std::shared_ptr<const Converter> converter_;  // CodePage only
};

class MemoText {
 public:
  MemoText() : MemoText(std::vector<std::string>{}) {}
  explicit MemoText(std::vector<std::string> lines);
  MemoText(std::vector<std::string> lines, TextDecoder decoder);

  int lineCount() const { return static_cast<int>(lines_.size()); }
  const std::string& lineBytes(int i) const;      // "" past the last line
  std::u16string lineDisplay(int i) const;         // one line as shown
  const std::vector<std::string>& lines() const { return lines_; }

  // Raw memo text: the lines joined by CR LF (the positions the lyric rules use).
  std::string rawText() const;
  int rawLength() const { return static_cast<int>(displayAt_.size()) - 1; }
  // What the memo shows: the decoded lines joined by '\n'. Line breaks
  // inside a line's bytes (CR, LF, U+2028, U+2029) are shown as spaces, so
  // the memo's lines stay the lyric lines.
  const std::u16string& displayText() const { return display_; }
  const TextDecoder& decoder() const { return decoder_; }
  std::u16string decode(std::string_view bytes) const { return decoder_.decode(bytes); }

  // Display position (UTF-16 units) of raw position `pos`: a position inside
  // a multi-byte character or on the LF of a line break goes to the start of
  // that character or break; positions are clamped to the text.
  int toDisplayPosition(int pos) const;
  // A raw selection (start, length) as the display range [from, to) that
  // shows the same characters: a start inside a character takes the whole
  // character, an end inside one takes it too; a line break is one '\n'.
  std::pair<int, int> toDisplayRange(int start, int length) const;

 private:
  std::vector<std::string> lines_;
  TextDecoder decoder_;
  std::u16string display_;
  // displayAt_[p]: display position of the character that covers raw
  // position p (p = rawLength(): the end); endAt_[p]: display position just
  // after the character that covers raw position p - 1.
  std::vector<int> displayAt_;
  std::vector<int> endAt_;
};

}  // namespace melvar::lyrics
