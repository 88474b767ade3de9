#pragma once
// The lyric memo's text in two forms: the raw lines as the lyric rules count
// positions in them (bytes, lines joined by CR LF), and the decoded text the
// memo shows (UTF-16, lines joined by a single '\n'), with the map from the
// first to the second.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace melvar::lyrics {

enum class TextEncoding { Windows1252, Utf8 };

// Decodes a song's 8-bit texts. A song whose lyric bytes are valid UTF-8
// with at least one multi-byte sequence is read as UTF-8; any other as
// Windows-1252 (every byte has a character; the five unassigned ones map to
// the C1 controls of the same value).
class TextDecoder {
 public:
  TextDecoder() = default;
  explicit TextDecoder(TextEncoding e) : encoding_(e) {}

  // The decoding for a song, chosen from its lyric lines (all together).
  static TextDecoder ForLines(const std::vector<std::string>& lines);
  // The same; the titles take the song's decoding, they do not choose it.
  static TextDecoder ForSong(std::string_view title1, std::string_view title2,
                             const std::vector<std::string>& lines);

  TextEncoding encoding() const { return encoding_; }
  // Decoded text; in UTF-8 mode a byte that does not belong to a valid
  // sequence becomes U+FFFD.
  std::u16string decode(std::string_view bytes) const;

 private:
  TextEncoding encoding_ = TextEncoding::Windows1252;
};

bool IsUtf8WithMultiByte(std::string_view bytes);

class MemoText {
 public:
  MemoText() : MemoText(std::vector<std::string>{}) {}
  explicit MemoText(std::vector<std::string> lines);

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
