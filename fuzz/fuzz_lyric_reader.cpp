// libFuzzer target for the lyric reader. Each input is a whole song file.
// Besides not crashing or hanging, the reader's timeline must fit its own
// bytes and its lines, and the highlight must land, syllable by syllable,
// on exactly the text the memo holds for it; in the song's detected code
// page every highlight maps to a range of the displayed text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "analysis/lyric_reader.h"
#include "lyrics/lyric_memo_text.h"
#include "lyrics/lyric_sync.h"
#include "lyrics/lyric_timeline.h"
#include "fuzz/fuzz_check.h"

using melvar::fuzz::Check;
using namespace melvar;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const analysis::ReaderLyrics r = analysis::ReadLyrics(data, size);
  const analysis::OwnedTimeline& t = r.timeline;
  Check(t.SyllableCount == static_cast<int>(t.SyllableTable.size()));
  Check(r.found == (t.SyllableCount > 0));
  Check(r.found == !r.lines.empty());
  if (!r.found) return 0;

  size_t longest = 0;
  for (const std::string& line : r.lines) {
    Check(!line.empty());
    longest = line.size() > longest ? line.size() : longest;
  }
  Check(static_cast<int>(longest) == r.longestLine);

  // Walk the highlight over the whole song.
  const lyrics::TimelineView view =
      lyrics::TimelineView(t, t.Bytes.data(), static_cast<int>(t.Bytes.size())).JoinedAsWritten();
  const lyrics::MemoText memo(r.lines, lyrics::TextDecoder(lyrics::TextEncoding::Windows1252));
  const std::string raw = memo.rawText();
  const lyrics::MemoText shown(r.lines, lyrics::TextDecoder::ForSong(r.title1, r.title2, r.lines));
  Check(shown.rawLength() == static_cast<int>(raw.size()));
  const int displayLength = static_cast<int>(shown.displayText().size());
  lyrics::LyricState s;
  s.HasLyrics = true;
  lyrics::ResetLyricState(s, view, 24);
  Check(view.HasMark(0));
  for (int i = 0; i < t.SyllableCount; ++i) {
    const analysis::Syllable& syl = t.SyllableTable[static_cast<size_t>(i)];
    Check(syl.Length > 0 && syl.Text >= 0 && static_cast<size_t>(syl.Text) + syl.Length <= t.Bytes.size());
    if (i > 0) Check(syl.Time >= t.SyllableTable[static_cast<size_t>(i) - 1].Time);
    const lyrics::CatchUpResult step = lyrics::CatchUpStep(s, view, 24, INT64_MAX, s.TimelineGeneration);
    Check(step.taken);
    std::string text(reinterpret_cast<const char*>(t.Bytes.data()) + syl.Text, syl.Length);
    if (text[0] == '/') text.erase(0, 1);
    Check(static_cast<size_t>(step.selectionStart) + step.selectionLength <= raw.size());
    Check(raw.compare(static_cast<size_t>(step.selectionStart), static_cast<size_t>(step.selectionLength), text) == 0);
    const auto [from, to] = shown.toDisplayRange(step.selectionStart, step.selectionLength);
    Check(0 <= from && from <= to && to <= displayLength);
  }
  Check(!s.HasLyrics && s.LineCursor == static_cast<int>(r.lines.size()));
  return 0;
}
