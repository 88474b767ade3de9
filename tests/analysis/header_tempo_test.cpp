// Header, tempo and division: the tempo control's values, the failures of the
// first steps and what each leaves set, the byte readers.
#include <gtest/gtest.h>

#include "song_bytes.h"

namespace melvar::analysis::test {
namespace {

Bytes SimpleSong(uint32_t micros = 500000, uint16_t division = 480) {
  return KaraokeSong({Text(0, "@TTitle"), Text(0, "\\La"), Text(96, "la")}, division, micros);
}

struct TempoCase {
  uint32_t micros;
  int bpm, min, max;
};

class TempoTable : public ::testing::TestWithParam<TempoCase> {};

TEST_P(TempoTable, SetsTheControlFromTheFirstTempoEvent) {
  const TempoCase c = GetParam();
  const Analysed a = Analyse(SimpleSong(c.micros));
  ASSERT_TRUE(a.out.tempo);
  EXPECT_EQ(a.out.tempo->TempoMicros, static_cast<int>(c.micros));
  EXPECT_EQ(a.out.tempo->DefaultBpm, c.bpm);
  EXPECT_EQ(a.out.tempo->ScrollMin, c.min);
  EXPECT_EQ(a.out.tempo->ScrollMax, c.max);
  EXPECT_EQ(a.out.tempo->ScrollPosition, c.bpm);
  EXPECT_TRUE(a.out.result);
}

INSTANTIATE_TEST_SUITE_P(Tempos, TempoTable,
                         ::testing::Values(TempoCase{500000, 120, 41, 240}, TempoCase{600000, 100, 34, 200},
                                           TempoCase{400000, 150, 51, 300}, TempoCase{1000000, 60, 21, 120},
                                           TempoCase{16777215, 3, 2, 6}, TempoCase{1500000, 40, 14, 80},
                                           TempoCase{250000, 240, 81, 480}));

// What stays set after each failing check of the header and tempo steps.
struct EarlyFailure {
  const char* name;
  Bytes bytes;
  AnalysisStop stop;
  bool tempoSet;
  bool divisionSet;
};

std::vector<EarlyFailure> EarlyFailures() {
  const Bytes good = SimpleSong();
  Bytes lower = good;
  lower[0] = 'm', lower[1] = 't', lower[2] = 'h', lower[3] = 'd';
  Bytes upperLength = good;
  upperLength[5] = 1;  // length field 00 01 00 06
  Bytes riff = Concat({{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'R', 'M', 'I', 'D'}, good});
  const Bytes noTimeSig = Concat({Header(), Track({Tempo(500000), EndOfTrack()}), MarkerTrack(),
                                  Track({Text(0, "\\La"), EndOfTrack()})});
  const Bytes noTempo = Concat({Header(), Track({TimeSignature(), EndOfTrack()}), MarkerTrack(),
                                Track({Text(0, "\\La"), EndOfTrack()})});
  Bytes zeroTempo = SimpleSong(0);
  Bytes length3 = Concat({Header(480, 3), TempoTrack(), MarkerTrack(), Track({Text(0, "\\La"), EndOfTrack()})});
  Bytes division0 = SimpleSong(500000, 0);
  Bytes smpte = SimpleSong(500000, 0xE728);  // -25 fps, 40 ticks per frame
  Bytes cutTempo = Concat({Header(), {0xFF, 0x58, 0xFF, 0x51, 0x03, 0x07, 0xA1}});
  // FF 51 in the header's length field, FF 58 right after: 12 bytes, so the
  // tempo is read but the division word at 12 and 13 is not there.
  const Bytes cutDivision = {'M', 'T', 'h', 'd', 0, 0, 0xFF, 0x51, 0xFF, 0x58, 0x07, 0xA1};
  return {
      {"lowercase_tag", lower, AnalysisStop::NotMidiHeader, false, false},
      {"upper_length", upperLength, AnalysisStop::NotMidiHeader, false, false},
      {"riff_wrapped", riff, AnalysisStop::NotMidiHeader, false, false},
      {"too_short", {'M', 'T', 'h', 'd', 0, 0}, AnalysisStop::HeaderCutShort, false, false},
      {"no_time_signature", noTimeSig, AnalysisStop::NoTimeSignature, false, false},
      {"no_tempo", noTempo, AnalysisStop::NoTempo, false, false},
      {"tempo_zero", zeroTempo, AnalysisStop::TempoZero, false, false},
      {"tempo_cut_short", cutTempo, AnalysisStop::TempoCutShort, false, false},
      {"division_cut_short", cutDivision, AnalysisStop::DivisionCutShort, true, false},
      {"header_length_3", length3, AnalysisStop::ShortHeaderLength, true, true},
      {"division_0", division0, AnalysisStop::BadDivision, true, true},
      {"division_frames", smpte, AnalysisStop::BadDivision, true, true},
  };
}

void PrintTo(const EarlyFailure& c, std::ostream* os) { *os << c.name; }

class EarlyFailureTable : public ::testing::TestWithParam<EarlyFailure> {};

TEST_P(EarlyFailureTable, KeepsOnlyWhatTheStepsBeforeDid) {
  const EarlyFailure& c = GetParam();
  const Analysed a = Analyse(c.bytes);
  EXPECT_FALSE(a.out.result);
  EXPECT_EQ(a.out.stop, c.stop) << DescribeStop(a.out.stop);
  EXPECT_EQ(a.out.tempo.has_value(), c.tempoSet);
  EXPECT_EQ(a.out.division.has_value(), c.divisionSet);
  EXPECT_EQ(a.out.title1, "");
  EXPECT_EQ(a.out.title2, "");
  EXPECT_FALSE(a.out.lyricPhaseReached);
  EXPECT_TRUE(a.out.lines.empty());
  EXPECT_EQ(a.out.longestLine, 0);
}

INSTANTIATE_TEST_SUITE_P(Checks, EarlyFailureTable, ::testing::ValuesIn(EarlyFailures()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HeaderTempo, CutTempoFileReallyEndsBeforeTheTempoData) {
  // Guard for the table above: the tempo marker sits so near the end that
  // its third data byte would be the first byte past the read.
  const Bytes cut = Concat({Header(), {0xFF, 0x58, 0xFF, 0x51, 0x03, 0x07, 0xA1}});
  Analysed a = Analyse(cut, 0x20);
  ASSERT_EQ(FindMarker(*a.song, 0xFF, 0x51), 16);
  EXPECT_EQ(a.song->SongBytes, 21);
}

TEST(HeaderTempo, DivisionAndTempoSetEvenWhenTheHeaderLengthFails) {
  const Bytes song = Concat({Header(96, 3), TempoTrack(600000), MarkerTrack(), Track({Text(0, "x"), EndOfTrack()})});
  const Analysed a = Analyse(song);
  ASSERT_TRUE(a.out.tempo && a.out.division);
  EXPECT_EQ(a.out.tempo->DefaultBpm, 100);
  EXPECT_EQ(*a.out.division, 96);
}

TEST(HeaderTempo, HeaderLength8StillLooksForTheFirstChunkAt14) {
  const Bytes song = Concat({Header(480, 8), TempoTrack(), MarkerTrack(), Track({Text(0, "\\Hi"), EndOfTrack()})});
  const Analysed a = Analyse(song);
  EXPECT_TRUE(a.out.result) << DescribeStop(a.out.stop);
}

TEST(HeaderTempo, TempoInTheThirdChunkIsFound) {
  const Bytes song = Concat({Header(), Track({TimeSignature(), EndOfTrack()}), MarkerTrack(),
                             Track({Tempo(400000), Text(0, "\\Hi"), EndOfTrack()})});
  const Analysed a = Analyse(song);
  ASSERT_TRUE(a.out.tempo);
  EXPECT_EQ(a.out.tempo->DefaultBpm, 150);
}

TEST(HeaderTempo, FF51InsideAnEarlierEventIsTakenForTheTempo) {
  // A text event whose data holds FF 51 xx 0F 42 40 before the real tempo.
  const Bytes song = Concat({Header(), Track({TimeSignature(), Meta(0, 0x01, "\xFF\x51\x03\x0F\x42\x40"),
                                              Tempo(500000), EndOfTrack()}),
                             MarkerTrack(), Track({Text(0, "\\Hi"), EndOfTrack()})});
  const Analysed a = Analyse(song);
  ASSERT_TRUE(a.out.tempo);
  EXPECT_EQ(a.out.tempo->DefaultBpm, 60);
}

TEST(HeaderTempo, BytesLeftFromALongerSongAreNeverTakenForAMarker) {
  auto song = std::make_unique<SongData>();
  auto timeline = std::make_unique<LyricTimeline>();
  Load(*song, SimpleSong(1000000));
  // A shorter song without tempo now: the old tempo event stays in the buffer past its bytes.
  const Bytes shorter = Concat({Header(), Track({TimeSignature(), EndOfTrack()})});
  std::copy(shorter.begin(), shorter.end(), song->SongBuffer.begin());
  song->SongBytes = static_cast<int>(shorter.size());
  const AnalysisOutcome out = AnalyseSong(*song, *timeline);
  EXPECT_EQ(out.stop, AnalysisStop::NoTempo);
  EXPECT_FALSE(out.tempo);
}

struct MarkerCase {
  Bytes bytes;
  int expected;  // -1: none
};

void PrintTo(const MarkerCase& c, std::ostream* os) { *os << c.bytes.size() << " bytes"; }

class FindMarkerTable : public ::testing::TestWithParam<MarkerCase> {};

TEST_P(FindMarkerTable, FirstPairFromIndexFourWithinTheBytesRead) {
  const MarkerCase& c = GetParam();
  auto song = std::make_unique<SongData>();
  Load(*song, c.bytes, 0xFF);
  const std::optional<int> p = FindMarker(*song, 0xFF, 0x51);
  EXPECT_EQ(p.value_or(-1), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, FindMarkerTable,
    ::testing::Values(MarkerCase{{0xFF, 0x51, 0, 0, 0, 0, 0, 0}, -1},           // before index 4
                      MarkerCase{{0, 0, 0, 0, 0xFF, 0x51}, 4},                    // at 4
                      MarkerCase{{0, 0, 0, 0, 0, 0, 0, 0xFF}, -1},                // second byte not read (fill is 0xFF)
                      MarkerCase{{0, 0, 0, 0, 0, 0xFF, 0xFF, 0x51, 0xFF, 0x51}, 6},  // first of two
                      MarkerCase{{0, 0, 0, 0, 0x51, 0xFF}, -1}));                 // order matters

struct VarLenCase {
  Bytes bytes;
  int64_t value;  // -1: none
  int end;        // ScanPos after a successful read
};

void PrintTo(const VarLenCase& c, std::ostream* os) { *os << "value " << c.value; }

class ReadVarLenTable : public ::testing::TestWithParam<VarLenCase> {};

TEST_P(ReadVarLenTable, ReadsOneQuantity) {
  const VarLenCase& c = GetParam();
  auto song = std::make_unique<SongData>();
  Load(*song, c.bytes, 0x00);
  int pos = 0;
  const std::optional<int32_t> v = ReadVarLen(*song, pos);
  if (c.value < 0) {
    EXPECT_FALSE(v);
  } else {
    ASSERT_TRUE(v);
    EXPECT_EQ(*v, c.value);
    EXPECT_EQ(pos, c.end);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Quantities, ReadVarLenTable,
    ::testing::Values(VarLenCase{{0x00}, 0, 1}, VarLenCase{{0x7F, 0x55}, 127, 1}, VarLenCase{{0x81, 0x00}, 128, 2},
                      VarLenCase{{0x83, 0x60}, 480, 2}, VarLenCase{{0xFF, 0xFF, 0xFF, 0x7F}, 0x0FFFFFFF, 4},
                      VarLenCase{{0x80, 0x80, 0x80, 0x80, 0x80, 0x01}, 1, 6},       // not limited to four bytes
                      VarLenCase{{0x87, 0xFF, 0xFF, 0xFF, 0x7F}, 0x7FFFFFFF, 5},   // largest value kept
                      VarLenCase{{0x88, 0x80, 0x80, 0x80, 0x00}, -1, 0},           // 0x80000000: too large
                      VarLenCase{{0x81, 0x81}, -1, 0}));                           // runs off the bytes read

TEST(ReadSongStart, ReadsAtMost20000BytesAndKeepsTheRest) {
  const std::string big = ::testing::TempDir() + "/analysis_big.bin";
  const std::string small = ::testing::TempDir() + "/analysis_small.bin";
  {
    std::FILE* f = std::fopen(big.c_str(), "wb");
    for (int i = 0; i < 25000; ++i) std::fputc(0x41, f);
    std::fclose(f);
    f = std::fopen(small.c_str(), "wb");
    std::fputs("xyz", f);
    std::fclose(f);
  }
  auto song = std::make_unique<SongData>();
  song->SongBuffer[kMaxSongRead] = 7;
  EXPECT_EQ(ReadSongStart(big, *song), 20000);
  EXPECT_EQ(song->SongBuffer[19999], 0x41);
  EXPECT_EQ(song->SongBuffer[kMaxSongRead], 0);
  EXPECT_EQ(ReadSongStart(small, *song), 3);
  EXPECT_EQ(song->SongBytes, 3);
  EXPECT_EQ(song->SongBuffer[0], 'x');
  EXPECT_EQ(song->SongBuffer[3], 0x41);  // left from the earlier read
  std::string why;
  EXPECT_EQ(ReadSongStart(small + ".missing", *song, &why), -1);
  EXPECT_EQ(song->SongBytes, -1);
  EXPECT_FALSE(why.empty());
  EXPECT_EQ(ReadSongStart(::testing::TempDir(), *song), -1);  // a folder cannot be read
  std::remove(big.c_str());
  std::remove(small.c_str());
}

}  // namespace
}  // namespace melvar::analysis::test
