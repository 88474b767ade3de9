// The lyric rules read the analysis's own timeline through TimelineView.
#include <gtest/gtest.h>

#include <cstring>

#include "analysis/song_analysis.h"
#include "lyrics/lyric_sync.h"

namespace melvar::lyrics {
namespace {

TEST(AnalysisTimeline, ViewReadsTheTableInPlace) {
  analysis::SongData song;
  analysis::LyricTimeline timeline;
  std::memcpy(song.SongBuffer.data() + 100, "\\Sun", 4);
  std::memcpy(song.SongBuffer.data() + 110, "ny", 2);
  timeline.SyllableTable[0] = {-1, 4, 100};
  timeline.SyllableTable[1] = {3, 2, 110};
  timeline.SyllableCount = 2;

  const TimelineView view(timeline, song.SongBuffer.data(), analysis::kSongBufferSize);
  ASSERT_EQ(view.Count(), 2);
  EXPECT_EQ(view.Time(0), -1);
  EXPECT_TRUE(view.HasMark(0));
  EXPECT_FALSE(view.HasMark(1));

  LyricState s;
  s.HasLyrics = true;
  ResetLyricState(s, view, 40);
  const CatchUpResult r = CatchUpStep(s, view, 40, 0, s.TimelineGeneration);
  EXPECT_TRUE(r.taken);
  EXPECT_EQ(r.selectionStart, 0);
  EXPECT_EQ(r.selectionLength, 3);
}

TEST(AnalysisTimeline, CountAndTextsStayInsideTheirArrays) {
  analysis::SongData song;
  analysis::LyricTimeline timeline;
  timeline.SyllableCount = 5000;
  timeline.SyllableTable[0] = {0, 200, analysis::kSongBufferSize - 10};
  const TimelineView view(timeline, song.SongBuffer.data(), analysis::kSongBufferSize);
  EXPECT_EQ(view.Count(), analysis::kMaxSyllables);
  EXPECT_EQ(view.TextBytes(0).size(), 10u);
  EXPECT_TRUE(view.TextBytes(-1).empty());
  EXPECT_EQ(view.Time(analysis::kMaxSyllables), 0);
}

}  // namespace
}  // namespace melvar::lyrics
