// libFuzzer target for the song analysis. Each input is a song's first bytes
// (at most 20000 are used). The analysis runs twice, with two different
// leftovers in the buffer past the bytes read: since it must never read
// there, both runs must agree. The outcome's invariants are checked too.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "analysis/song_analysis.h"
#include "fuzz/fuzz_check.h"

using melvar::fuzz::Check;
using namespace melvar::analysis;

namespace {

struct Run {
  std::unique_ptr<SongData> song = std::make_unique<SongData>();
  std::unique_ptr<LyricTimeline> timeline = std::make_unique<LyricTimeline>();
  AnalysisOutcome out;
};

void Analyse(Run& r, const uint8_t* data, size_t n, uint8_t fill) {
  r.song->SongBuffer.fill(fill);
  std::memcpy(r.song->SongBuffer.data(), data, n);
  r.song->SongBuffer[kMaxSongRead] = 0;
  r.song->SongBytes = static_cast<int>(n);
  r.out = AnalyseSong(*r.song, *r.timeline);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t n = size < static_cast<size_t>(kMaxSongRead) ? size : static_cast<size_t>(kMaxSongRead);
  static Run a, b;
  Analyse(a, data, n, 0x00);
  Analyse(b, data, n, 0xFF);

  const AnalysisOutcome& x = a.out;
  const AnalysisOutcome& y = b.out;
  Check(x.result == y.result && x.stop == y.stop && x.stopPos == y.stopPos);
  Check(x.title1 == y.title1 && x.title2 == y.title2 && x.lines == y.lines && x.longestLine == y.longestLine);
  Check(x.tempo.has_value() == y.tempo.has_value() && x.division == y.division);
  Check(x.lyricPhaseReached == y.lyricPhaseReached && x.syllablesSeen == y.syllablesSeen);

  Check(x.result == (x.stop == AnalysisStop::Done));
  if (x.tempo) {
    Check(x.tempo->TempoMicros > 0 && x.tempo->DefaultBpm >= 3);
    Check(x.tempo->ScrollMin <= x.tempo->ScrollPosition && x.tempo->ScrollPosition <= x.tempo->ScrollMax);
  }
  if (!x.result) Check(x.lines.empty() && x.longestLine == 0);
  if (x.lyricPhaseReached) {
    const LyricTimeline& t = *a.timeline;
    Check(t.SyllableCount >= 0 && t.SyllableCount <= kMaxSyllables);
    Check(t.SyllableCount == (x.syllablesSeen < kMaxSyllables ? x.syllablesSeen : kMaxSyllables));
    for (int i = 0; i < t.SyllableCount; ++i) {
      const Syllable& s = t.SyllableTable[static_cast<size_t>(i)];
      const Syllable& u = b.timeline->SyllableTable[static_cast<size_t>(i)];
      Check(s.Length > 0 && s.Text >= 0 && s.Text + s.Length <= static_cast<int>(n));
      Check(s.Time == u.Time && s.Length == u.Length && s.Text == u.Text);
    }
    if (x.result) Check(t.SyllableCount > 0);
  }
  int longest = 0;
  for (const auto& line : x.lines) longest = line.size() > static_cast<size_t>(longest) ? static_cast<int>(line.size()) : longest;
  Check(longest == x.longestLine);
  return 0;
}
