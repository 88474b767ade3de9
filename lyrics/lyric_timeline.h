#pragma once
// A read-only view of a song's lyric timeline for the lyric display rules.
//
// A timeline is a table of syllables whose texts are offsets into a byte
// buffer: the song buffer for the soft-karaoke walk of the song analysis, the
// timeline's own bytes for the lyric reader. The display rules only read it,
// so they take this small view: it works with any table whose entries have
// the fields `Time`, `Length` and `Text` (the analysis's `Syllable`), and it
// never reads an entry at or past the count or a byte outside the buffer.
//
// Soft-karaoke lines join their syllables with a "." in the memo; the
// reader's lines join them as the song writes them. The view carries which
// of the two the memo's lines were built with, so the highlight counts the
// same positions.
#include <concepts>
#include <cstdint>
#include <span>

#include "analysis/syllable.h"

namespace melvar::lyrics {

using analysis::Syllable;

template <class S>
concept SyllableLike = requires(const S& s) {
  { s.Time } -> std::convertible_to<int32_t>;
  { s.Length } -> std::convertible_to<uint8_t>;
  { s.Text } -> std::convertible_to<int32_t>;
};

// A timeline holding `SyllableTable` (an array of syllables) and `SyllableCount`.
template <class T>
concept TimelineLike = requires(const T& t) {
  { t.SyllableTable.data() };
  { t.SyllableTable.size() } -> std::convertible_to<std::size_t>;
  { t.SyllableCount } -> std::convertible_to<int>;
};

class TimelineView {
 public:
  TimelineView() = default;

  // `count` entries of `table`, texts in `songBuffer[0 .. bufferSize)`.
  template <SyllableLike S>
  TimelineView(const S* table, int count, const uint8_t* songBuffer, int bufferSize)
      : table_(table),
        count_(table ? (count < 0 ? 0 : count) : 0),
        buffer_(songBuffer),
        bufferSize_(songBuffer ? (bufferSize < 0 ? 0 : bufferSize) : 0),
        time_(&TimeOf<S>),
        length_(&LengthOf<S>),
        text_(&TextOf<S>) {}

  template <SyllableLike S>
  TimelineView(std::span<const S> table, const uint8_t* songBuffer, int bufferSize)
      : TimelineView(table.data(), static_cast<int>(table.size()), songBuffer, bufferSize) {}

  // A whole timeline; a count beyond the table's size is cut to the size.
  template <TimelineLike T>
  TimelineView(const T& timeline, const uint8_t* songBuffer, int bufferSize)
      : TimelineView(timeline.SyllableTable.data(),
                     timeline.SyllableCount < static_cast<int>(timeline.SyllableTable.size())
                         ? timeline.SyllableCount
                         : static_cast<int>(timeline.SyllableTable.size()),
                     songBuffer, bufferSize) {}

  // The memo joins this timeline's syllables without a separator.
  TimelineView& JoinedAsWritten() {
    separated_ = false;
    return *this;
  }
  // Bytes the memo puts between two texts of a line: 1 (".") or 0.
  int SeparatorBytes() const { return separated_ ? 1 : 0; }

  int Count() const { return count_; }
  bool Empty() const { return count_ == 0; }

  // Entry i, 0 <= i < Count(); out-of-range indexes give 0 / empty.
  int32_t Time(int i) const { return InRange(i) ? time_(table_, i) : 0; }
  int Length(int i) const { return InRange(i) ? length_(table_, i) : 0; }

  // The stored text bytes of entry i, cut to the part inside the buffer.
  std::span<const uint8_t> TextBytes(int i) const;

  // Whether entry i's text begins with a line-break mark, / or \.
  bool HasMark(int i) const;

 private:
  bool InRange(int i) const { return i >= 0 && i < count_; }

  template <class S>
  static int32_t TimeOf(const void* t, int i) { return static_cast<const S*>(t)[i].Time; }
  template <class S>
  static uint8_t LengthOf(const void* t, int i) { return static_cast<const S*>(t)[i].Length; }
  template <class S>
  static int32_t TextOf(const void* t, int i) { return static_cast<const S*>(t)[i].Text; }

  const void* table_ = nullptr;
  int count_ = 0;
  const uint8_t* buffer_ = nullptr;
  int bufferSize_ = 0;
  int32_t (*time_)(const void*, int) = nullptr;
  uint8_t (*length_)(const void*, int) = nullptr;
  int32_t (*text_)(const void*, int) = nullptr;
  bool separated_ = true;
};

inline bool IsLineBreakMark(uint8_t byte) { return byte == '/' || byte == '\\'; }

}  // namespace melvar::lyrics
