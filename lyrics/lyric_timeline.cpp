#include "lyrics/lyric_timeline.h"

namespace melvar::lyrics {

std::span<const uint8_t> TimelineView::TextBytes(int i) const {
  if (!InRange(i) || !buffer_) return {};
  const int64_t start = text_(table_, i);
  const int64_t length = length_(table_, i);
  if (start < 0 || start >= bufferSize_) return {};
  const int64_t end = start + length < bufferSize_ ? start + length : bufferSize_;
  return {buffer_ + start, static_cast<std::size_t>(end - start)};
}

bool TimelineView::HasMark(int i) const {
  const std::span<const uint8_t> text = TextBytes(i);
  return !text.empty() && IsLineBreakMark(text[0]);
}

}  // namespace melvar::lyrics
