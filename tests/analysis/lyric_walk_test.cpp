// The chunk walk, titles, syllables and lyric lines.
#include <gtest/gtest.h>

#include "song_bytes.h"

namespace melvar::analysis::test {
namespace {

using Lines = std::vector<std::string>;

struct TimeCase {
  uint16_t division;
  uint32_t tick;
  int32_t time;
};

class SyllableTimeTable : public ::testing::TestWithParam<TimeCase> {};

TEST_P(SyllableTimeTable, OneSixteenthEarlyTruncatedTowardsZero) {
  const TimeCase c = GetParam();
  // The tick is split over a leading event and the syllable's own delta.
  const uint32_t first = c.tick / 2;
  const Analysed a = Analyse(KaraokeSong({Meta(first, 0x03, "Words"), Text(c.tick - first, "la")}, c.division));
  ASSERT_TRUE(a.out.result) << DescribeStop(a.out.stop);
  ASSERT_EQ(a.timeline->SyllableCount, 1);
  EXPECT_EQ(a.timeline->SyllableTable[0].Time, c.time);
}

INSTANTIATE_TEST_SUITE_P(Times, SyllableTimeTable,
                         ::testing::Values(TimeCase{480, 0, -1}, TimeCase{480, 120, 0}, TimeCase{480, 480, 3},
                                           TimeCase{480, 1920, 15}, TimeCase{96, 0, -1}, TimeCase{102, 0, 0},
                                           TimeCase{215, 215 * 8, 31}, TimeCase{1, 5, 20}));

TEST(LyricWalk, SunnyDayGivesTwoLines) {
  const Analysed a = Analyse(KaraokeSong(
      {Text(0, "\\Sun"), Text(100, "ny"), Text(100, "day"), Text(100, "/is"), Text(100, "here")}));
  ASSERT_TRUE(a.out.result) << DescribeStop(a.out.stop);
  EXPECT_EQ(a.out.stop, AnalysisStop::Done);
  ASSERT_EQ(a.timeline->SyllableCount, 5);
  const std::vector<std::pair<std::string, int>> stored = {{"\\Sun", 4}, {"ny", 2}, {"day", 3}, {"/is", 3}, {"here", 4}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(a.TextOf(i), stored[static_cast<size_t>(i)].first);
    EXPECT_EQ(a.timeline->SyllableTable[static_cast<size_t>(i)].Length, stored[static_cast<size_t>(i)].second);
  }
  EXPECT_EQ(a.out.lines, (Lines{"Sun.ny.day", "is.here"}));
  EXPECT_EQ(a.out.longestLine, 10);
  EXPECT_EQ(a.out.syllablesSeen, 5);
}

struct LineCase {
  const char* name;
  std::vector<std::string> syllables;
  Lines lines;
  int longest;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class LineTable : public ::testing::TestWithParam<LineCase> {};

TEST_P(LineTable, BuildsTheMemoLines) {
  const LineCase& c = GetParam();
  Bytes words;
  for (const auto& s : c.syllables) Append(words, Text(10, s));
  const Analysed a = Analyse(KaraokeSong({words}));
  ASSERT_TRUE(a.out.result) << DescribeStop(a.out.stop);
  EXPECT_EQ(a.out.lines, c.lines);
  EXPECT_EQ(a.out.longestLine, c.longest);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LineTable,
    ::testing::Values(
        LineCase{"intro_shares_first_line", {"Intro", "\\Sun", "ny"}, {"Intro.Sun.ny"}, 12},
        LineCase{"no_marks_one_line", {"a", "b c", "d"}, {"a.b c.d"}, 7},
        LineCase{"last_line_longest", {"\\ab", "/cdef", "gh"}, {"ab", "cdef.gh"}, 7},
        LineCase{"mark_only_then_plain", {"\\one", "/", "two"}, {"one", "two"}, 3},
        LineCase{"mark_only_then_mark_leaves_empty_line", {"\\one", "/", "/two"}, {"one", "", "two"}, 3},
        LineCase{"trailing_mark_only", {"\\one", "/"}, {"one"}, 3},
        LineCase{"spaces_kept", {"\\Hap", "py ", "day"}, {"Hap.py .day"}, 11}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LyricWalk, NulInsideASyllableCutsItsShownText) {
  // The text holds a NUL; the bytes after it stay in the syllable but are not shown.
  const std::string withNul("\\ab\0zz", 6);
  const Analysed a = Analyse(KaraokeSong({Text(0, withNul), Text(10, "cd")}));
  ASSERT_TRUE(a.out.result);
  EXPECT_EQ(a.timeline->SyllableTable[0].Length, 6);
  EXPECT_EQ(a.out.lines, (Lines{"ab.cd"}));
}

TEST(LyricWalk, MarkerIsNotRequired) {
  const Bytes words = Concat({Text(0, "\\Hi"), Text(10, "there"), EndOfTrack()});
  const Bytes withMarker = Concat({Header(), TempoTrack(), MarkerTrack(), Track({words})});
  const Bytes without = Concat({Header(), TempoTrack(), Track({Meta(0, 0x03, "Soft"), EndOfTrack()}), Track({words})});
  const Analysed a = Analyse(withMarker), b = Analyse(without);
  ASSERT_TRUE(a.out.result && b.out.result);
  EXPECT_EQ(a.out.lines, b.out.lines);
  EXPECT_EQ(a.timeline->SyllableTable[1].Time, b.timeline->SyllableTable[1].Time);
}

TEST(LyricWalk, TitlesAndTagsBeforeTheLyrics) {
  const Analysed a = Analyse(KaraokeSong({Meta(0, 0x03, "Words"), Text(0, "@KMIDI KARAOKE FILE"), Text(0, "@LENGL"),
                                          Text(0, "@TFirst"), Text(0, "@TSecond"), Text(0, "@TThird"),
                                          Text(0, "\\Hel"), Text(10, "lo")}));
  ASSERT_TRUE(a.out.result) << DescribeStop(a.out.stop);
  EXPECT_EQ(a.out.title1, "First");
  EXPECT_EQ(a.out.title2, "Second");
  EXPECT_EQ(a.TextOf(0), "\\Hel");
}

struct TitleCase {
  const char* name;
  std::vector<std::string> texts;  // text events before the lyrics
  std::string title1, title2;
};

void PrintTo(const TitleCase& c, std::ostream* os) { *os << c.name; }

class TitleTable : public ::testing::TestWithParam<TitleCase> {};

TEST_P(TitleTable, TakesUpToTwoTitles) {
  const TitleCase& c = GetParam();
  Bytes lead;
  for (const auto& t : c.texts) Append(lead, Text(0, t));
  const Analysed a = Analyse(KaraokeSong({lead, Text(0, "\\la")}));
  ASSERT_TRUE(a.out.result) << DescribeStop(a.out.stop);
  EXPECT_EQ(a.out.title1, c.title1);
  EXPECT_EQ(a.out.title2, c.title2);
}

INSTANTIATE_TEST_SUITE_P(
    Titles, TitleTable,
    ::testing::Values(TitleCase{"lower_t", {"@tSong"}, "Song", ""},
                      TitleCase{"empty_title_counts", {"@T", "@TSecond"}, "", "Second"},
                      TitleCase{"lone_at_is_no_title", {"@", "@TReal"}, "Real", ""},
                      TitleCase{"title_cut_at_nul", {std::string("@TAb\0cd", 7)}, "Ab", ""},
                      TitleCase{"other_tags_skipped", {"@IInfo", "@V0100", "@TName"}, "Name", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LyricWalk, EmptyTextAddsNoSyllableButItsDeltaCounts) {
  const Analysed a = Analyse(KaraokeSong({Text(120, "\\a"), Text(480, ""), Text(480, "b")}));
  ASSERT_TRUE(a.out.result);
  ASSERT_EQ(a.timeline->SyllableCount, 2);
  EXPECT_EQ(a.timeline->SyllableTable[0].Time, 0);
  EXPECT_EQ(a.timeline->SyllableTable[1].Time, 8);  // (1080 - 120) * 4 / 480
}

TEST(LyricWalk, LyricAndMarkerMetaEventsBecomeSyllables) {
  const Analysed a = Analyse(KaraokeSong({Text(0, "\\a"), Meta(0, 0x05, "b"), Meta(0, 0x06, "c")}));
  ASSERT_TRUE(a.out.result);
  EXPECT_EQ(a.timeline->SyllableCount, 3);
  EXPECT_EQ(a.out.lines, (Lines{"a.b.c"}));
}

TEST(LyricWalk, NinthChannelEventsAreSteppedOverAndTheirDeltasCount) {
  const Analysed a = Analyse(KaraokeSong({Ev(0, {0xB8, 0x07, 0x64}), Ev(240, {0xC8, 0x05}), Text(360, "\\go")}));
  ASSERT_TRUE(a.out.result) << DescribeStop(a.out.stop);
  EXPECT_EQ(a.timeline->SyllableTable[0].Time, 4);  // (600 - 120) * 4 / 480
}

TEST(LyricWalk, AnyCaseChunkTag) {
  const Bytes song = Concat({Header(), TempoTrack(), MarkerTrack(), Track({Text(0, "\\x"), EndOfTrack()}, "mtRK")});
  EXPECT_TRUE(Analyse(song).out.result);
}

// Failures of the chunk walk: what is kept at each.
struct WalkFailure {
  const char* name;
  Bytes bytes;
  AnalysisStop stop;
  std::string title1;
  bool lyricPhase;
  int syllables;  // SyllableCount left in the table (when the lyric phase was reached)
};

std::vector<WalkFailure> WalkFailures() {
  const Bytes words = Track({Text(0, "@TKept"), Text(0, "\\a"), Text(10, "b"), EndOfTrack()});
  const Bytes noEnd = Track({TimeSignature(), Tempo(500000), Ev(0, {0xFF, 0x01, 0x00})});
  Bytes full = Concat({Header(), TempoTrack(), MarkerTrack(), words});
  Bytes cutLast = full;
  cutLast.pop_back();  // the third chunk's stated end is now the first byte not read
  // A marker chunk whose last data byte is not 0: the scan runs into the next chunk.
  const Bytes overrunMarker = Track({Meta(0, 0x03, "Soft"), Ev(0, {0xFF, 0x2F, 0x01})});
  // A channel event among the lyrics throws the walk out of step.
  const Bytes misaligned = Track({Text(0, "@TKept"), Text(0, "\\a"), Text(10, "b"), Ev(10, {0xC0, 0x05}),
                                  EndOfTrack()});
  const Bytes noLyric = Track({Text(0, "@TKept"), Meta(0, 0x03, "x"), EndOfTrack()});
  const Bytes onlyEmpty = Track({Text(0, "@TKept"), Text(0, ""), Text(10, ""), EndOfTrack()});
  // The inner loop reads a delta time that lands on the chunk's tail.
  const Bytes deltaToTail = Track({Text(0, "@TKept"), Ev(0, {0x10, 0x20, 0x30})});
  return {
      {"first_chunk_missing", Concat({Header(), Track({TimeSignature(), Tempo(500000), EndOfTrack()}, "XTrk"), MarkerTrack(), words}),
       AnalysisStop::FirstChunkBad, "", false, 0},
      {"first_chunk_no_end_of_track", Concat({Header(), noEnd, MarkerTrack(), words}), AnalysisStop::FirstChunkNoEnd,
       "", false, 0},
      {"second_chunk_upper_length", Concat({Header(), TempoTrack(), {'M', 'T', 'r', 'k', 0, 1, 0, 0}, words}),
       AnalysisStop::SecondChunkBad, "", false, 0},
      {"marker_scan_overrun", Concat({Header(), TempoTrack(), overrunMarker, words}), AnalysisStop::MarkerScanOverrun,
       "", false, 0},
      {"third_chunk_missing", Concat({Header(), TempoTrack(), MarkerTrack(), {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0}}),
       AnalysisStop::ThirdChunkBad, "", false, 0},
      {"third_chunk_beyond_bytes_read", cutLast, AnalysisStop::ThirdChunkBad, "", false, 0},
      {"no_lyric_event", Concat({Header(), TempoTrack(), MarkerTrack(), noLyric}), AnalysisStop::TitleWalkOverrun,
       "Kept", false, 0},
      {"delta_reaches_tail", Concat({Header(), TempoTrack(), MarkerTrack(), deltaToTail}),
       AnalysisStop::TitleWalkOverrun, "Kept", false, 0},
      {"walk_out_of_step", Concat({Header(), TempoTrack(), MarkerTrack(), misaligned}),
       AnalysisStop::LyricWalkMisaligned, "Kept", true, 2},
      {"no_syllables", Concat({Header(), TempoTrack(), MarkerTrack(), onlyEmpty}), AnalysisStop::NoSyllables, "Kept",
       true, 0},
  };
}

void PrintTo(const WalkFailure& c, std::ostream* os) { *os << c.name; }

class WalkFailureTable : public ::testing::TestWithParam<WalkFailure> {};

TEST_P(WalkFailureTable, KeepsTempoAndTitlesButNoLines) {
  const WalkFailure& c = GetParam();
  auto song = std::make_unique<SongData>();
  auto timeline = std::make_unique<LyricTimeline>();
  timeline->SyllableCount = 77;  // an earlier song's timeline
  Load(*song, c.bytes);
  const AnalysisOutcome out = AnalyseSong(*song, *timeline);
  EXPECT_FALSE(out.result);
  EXPECT_EQ(out.stop, c.stop) << DescribeStop(out.stop);
  EXPECT_TRUE(out.tempo && out.division);
  EXPECT_EQ(out.title1, c.title1);
  EXPECT_EQ(out.lyricPhaseReached, c.lyricPhase);
  EXPECT_EQ(timeline->SyllableCount, c.lyricPhase ? c.syllables : 77);
  EXPECT_TRUE(out.lines.empty());
  EXPECT_EQ(out.longestLine, 0);
}

INSTANTIATE_TEST_SUITE_P(Checks, WalkFailureTable, ::testing::ValuesIn(WalkFailures()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LyricWalk, MoreSyllablesThanTheTableKeepsTheFirst1201) {
  Bytes words;
  for (int i = 0; i < 1300; ++i) Append(words, Text(1, i < 1201 ? "a" : "z"));
  const Analysed a = Analyse(KaraokeSong({words}));
  ASSERT_TRUE(a.out.result) << DescribeStop(a.out.stop);
  EXPECT_EQ(a.timeline->SyllableCount, kMaxSyllables);
  EXPECT_EQ(a.out.syllablesSeen, 1300);
  ASSERT_EQ(a.out.lines.size(), 1u);
  EXPECT_EQ(a.out.lines[0].find('z'), std::string::npos);
  EXPECT_EQ(a.out.longestLine, 2 * kMaxSyllables - 1);
}

TEST(LyricWalk, OversizedNumbersAndTimesEndTheWalk) {
  // 0xFFFFFFFF as a delta time.
  const Bytes huge = KaraokeSong({Ev(0, {0xFF, 0x01, 0x01, 'a'}), {0x8F, 0xFF, 0xFF, 0xFF, 0x7F}});
  EXPECT_EQ(Analyse(huge).out.stop, AnalysisStop::NumberTooLarge);
  // Two delta times that fit alone but not summed.
  const Bytes sum = KaraokeSong({Ev(0x7FFFFFFF, {0xFF, 0x03, 0x00}), Text(0x200, "a")});
  EXPECT_EQ(Analyse(sum).out.stop, AnalysisStop::TimeOutOfRange);
  // Division 1: the tick count fits, four times it does not.
  const Bytes time = KaraokeSong({Text(0x20000000, "a")}, 1);
  const Analysed a = Analyse(time);
  EXPECT_EQ(a.out.stop, AnalysisStop::TimeOutOfRange);
  EXPECT_TRUE(a.out.lyricPhaseReached);
  EXPECT_EQ(a.timeline->SyllableCount, 0);
}

// Every prefix of a good song, with two different leftovers past the bytes
// read: the outcome must not depend on the leftovers, and only the whole
// song succeeds.
TEST(LyricWalk, NothingPastTheBytesReadIsEverUsed) {
  const Bytes full = KaraokeSong({Meta(0, 0x03, "Words"), Ev(0, {0xB8, 7, 100}), Text(0, "@TName"),
                                  Text(0, "\\Hap"), Text(96, "py"), Text(96, "/day")});
  for (size_t n = 0; n <= full.size(); ++n) {
    const Bytes prefix(full.begin(), full.begin() + static_cast<long>(n));
    const Analysed zero = Analyse(prefix, 0x00), ff = Analyse(prefix, 0xFF), at = Analyse(prefix, '@');
    for (const Analysed* other : {&ff, &at}) {
      EXPECT_EQ(zero.out.stop, other->out.stop) << n;
      EXPECT_EQ(zero.out.stopPos, other->out.stopPos) << n;
      EXPECT_EQ(zero.out.title1, other->out.title1) << n;
      EXPECT_EQ(zero.out.tempo.has_value(), other->out.tempo.has_value()) << n;
    }
    EXPECT_EQ(zero.out.result, n == full.size()) << n;
  }
}

}  // namespace
}  // namespace melvar::analysis::test
