#include "midi_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <tuple>

#include "smf_builder.h"

namespace melvar::midi {
namespace {

using test::Append;
using test::AppendText;
using test::Bytes;
using test::Smf;
using test::Track;

MidiSong Parse(const Bytes& b) {
  MidiSong song;
  audio::MediaError e = ParseMidiFile(b.data(), b.size(), &song);
  EXPECT_TRUE(e.ok()) << e.text;
  return song;
}

// Channel events only, as (tick, status, data1) for comparisons.
std::vector<std::tuple<int64_t, int, int>> Notes(const MidiSong& s) {
  std::vector<std::tuple<int64_t, int, int>> v;
  for (const MidiEvent& e : s.events)
    if (e.status < 0xF0) v.emplace_back(e.tick, e.status, e.data1);
  return v;
}

TEST(MidiFileTest, RunningStatusSurvivesMetaAndSysex) {
  Track t;
  t.NoteOn(0, 0, 60, 100)
      .Raw(10, {62, 100})                               // running status
      .Lyric(0, "la")                              // a lyric between
      .Raw(10, {64, 100})                               // still note-on
      .Raw(0, {0xF0, 3, 0x7E, 0x7F, 0xF7})              // sysex between
      .Raw(5, {65, 0})                                  // note-on velocity 0
      .End();
  MidiSong s = Parse(Smf(0, 96, {t}));
  EXPECT_FALSE(s.truncated);
  using E = std::tuple<int64_t, int, int>;
  EXPECT_EQ(Notes(s), (std::vector<E>{{0, 0x90, 60}, {10, 0x90, 62}, {20, 0x90, 64}, {25, 0x80, 65}}));
  // The sysex is stored without its F7.
  auto sx = std::find_if(s.events.begin(), s.events.end(), [](const MidiEvent& e) { return e.status == 0xF0; });
  ASSERT_NE(sx, s.events.end());
  EXPECT_EQ(s.PayloadOf(*sx).length, 2u);
  EXPECT_EQ(s.payload[s.PayloadOf(*sx).offset], 0x7E);
}

struct DamageCase {
  const char* name;
  std::function<Bytes(Bytes)> damage;
  bool truncated;
  size_t notes;  // channel events expected
};

class MidiFileDamageTest : public ::testing::TestWithParam<DamageCase> {};

Bytes TwoTrackSong() {
  Track a, b;
  a.Tempo(0, 600000).End(1920);
  b.Program(0, 0, 5).NoteOn(0, 0, 60, 90).NoteOff(480, 0, 60).NoteOn(0, 0, 62, 90).NoteOff(480, 0, 62).End();
  return Smf(1, 480, {a, b});
}

TEST_P(MidiFileDamageTest, ReadsWhatIsThere) {
  const DamageCase& c = GetParam();
  MidiSong s = Parse(c.damage(TwoTrackSong()));
  EXPECT_EQ(s.truncated, c.truncated);
  EXPECT_EQ(Notes(s).size(), c.notes);
  EXPECT_EQ(s.tempos.back().microsPerQuarter, 600000u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MidiFileDamageTest,
    ::testing::Values(
        DamageCase{"intact", [](Bytes b) { return b; }, false, 5},
        // The last track loses its end-of-track and last note-off.
        DamageCase{"truncated_last_track", [](Bytes b) { b.resize(b.size() - 7); return b; }, true, 4},
        // Only the final byte of end-of-track missing (a common real damage).
        DamageCase{"truncated_last_byte", [](Bytes b) { b.pop_back(); return b; }, true, 5},
        DamageCase{"junk_after_tracks", [](Bytes b) { Append(&b, {0, 0, 0, 0, 0, 0, 0, 0, 0x1A, 0xFF, 0x13}); return b; }, false, 5},
        DamageCase{"unknown_chunk_between", [](Bytes b) {
                     Bytes x(b.begin(), b.begin() + 14);
                     AppendText(&x, "XFIH");
                     test::Be32(&x, 3);
                     Append(&x, {1, 2, 3});
                     x.insert(x.end(), b.begin() + 14, b.end());
                     return x; }, false, 5},
        DamageCase{"macbinary_prefix", [](Bytes b) { Bytes x(128, 0); x[1] = 10; Append(&x, b); return x; }, false, 5},
        DamageCase{"rmid_wrapper", [](Bytes b) {
                     Bytes x;
                     AppendText(&x, "RIFF");
                     const uint32_t riffLen = 4 + 8 + b.size();
                     Append(&x, {int(riffLen & 255), int((riffLen >> 8) & 255), int((riffLen >> 16) & 255), 0});
                     AppendText(&x, "RMID");
                     AppendText(&x, "data");
                     Append(&x, {int(b.size() & 255), int((b.size() >> 8) & 255), 0, 0});
                     Append(&x, b);
                     return x; }, false, 5},
        // Header says one track although two follow: both are played.
        DamageCase{"track_count_too_small", [](Bytes b) { b[11] = 1; return b; }, false, 5},
        // A declared chunk length beyond the file.
        // The last chunk declares more bytes than the file holds, all events present.
        DamageCase{"length_beyond_file", [](Bytes b) {
                     const std::string tag = "MTrk";
                     auto it = std::find_end(b.begin(), b.end(), tag.begin(), tag.end());
                     it[7] = static_cast<uint8_t>(it[7] + 100);
                     return b; }, false, 5}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MidiFileTest, SameTickKeepsTrackOrderAndFileOrder) {
  Track a, b;
  a.Control(0, 0, 7, 1).Control(0, 0, 7, 2).End();
  b.Control(0, 0, 7, 3).End();
  Track c;
  c.Control(0, 0, 7, 4).End();
  MidiSong s = Parse(Smf(1, 96, {a, b, c}));
  std::vector<int> values;
  for (const MidiEvent& e : s.events)
    if (e.status == 0xB0) values.push_back(e.data2);
  EXPECT_EQ(values, (std::vector<int>{1, 2, 3, 4}));
}

TEST(MidiFileTest, FormatTwoPlaysSequencesOneAfterAnother) {
  Track a, b;
  a.NoteOn(0, 0, 60, 90).NoteOff(100, 0, 60).End(20);   // ends at 120
  b.Tempo(0, 250000).NoteOn(10, 0, 62, 90).End(30);     // starts at 120
  MidiSong s = Parse(Smf(2, 96, {a, b}));
  using E = std::tuple<int64_t, int, int>;
  EXPECT_EQ(Notes(s), (std::vector<E>{{0, 0x90, 60}, {100, 0x80, 60}, {130, 0x90, 62}}));
  EXPECT_EQ(s.lastTick, 160);
  ASSERT_EQ(s.tempos.size(), 2u);
  EXPECT_EQ(s.tempos[1].tick, 120);
  EXPECT_EQ(s.tempos[1].microsPerQuarter, 250000u);
}

// Format 2 chains its sequences, so long tracks could add up past what the
// sequencer's time arithmetic holds: the whole song stops at kMaxSongTick,
// whichever track gets there.
TEST(MidiFileTest, FormatTwoSequencesStopAtTheLastTickASongMayReach) {
  Track a, b;
  for (int i = 0; i < 20; ++i) a.NoteOn(0x0FFFFFFF, 0, 60, 90);  // 20 x 2^28 ticks: past 2^32
  a.End();
  b.NoteOn(0x0FFFFFFF, 0, 62, 90).End();
  MidiSong s = Parse(Smf(2, 96, {a, b, b}));
  EXPECT_TRUE(s.truncated);
  EXPECT_LE(s.lastTick, kMaxSongTick);
  EXPECT_EQ(Notes(s).size(), 16u);  // 16 x (2^28 - 1) fit, the 17th and the later sequences do not
}

TEST(MidiFileTest, TempoMapDefaultsAndOrder) {
  {
    Track t;
    t.NoteOn(0, 0, 60, 1).End(480);
    MidiSong s = Parse(Smf(0, 480, {t}));
    ASSERT_EQ(s.tempos.size(), 1u);
    EXPECT_EQ(s.tempos[0].microsPerQuarter, 500000u);
    EXPECT_EQ(s.firstTempoMicros, 500000u);
  }
  {
    // Tempo in the second track only, a zero tempo ignored, two at one tick: the later wins.
    Track a, b;
    a.NoteOn(0, 0, 60, 1).End(960);
    b.Tempo(0, 400000).Tempo(0, 300000).Tempo(480, 0).Tempo(0, 700000).End();
    MidiSong s = Parse(Smf(1, 480, {a, b}));
    ASSERT_EQ(s.tempos.size(), 2u);
    EXPECT_EQ(s.tempos[0].tick, 0);
    EXPECT_EQ(s.tempos[0].microsPerQuarter, 300000u);
    EXPECT_EQ(s.tempos[1].tick, 480);
    EXPECT_EQ(s.tempos[1].microsPerQuarter, 700000u);
    EXPECT_EQ(s.firstTempoMicros, 400000u);
  }
}

TEST(MidiFileTest, SixteenthsTruncate) {
  Track t;
  t.End(1000);
  MidiSong s = Parse(Smf(0, 480, {t}));
  struct { int64_t tick, sixteenth; } cases[] = {{0, 0}, {119, 0}, {120, 1}, {239, 1}, {1000, 8}, {-5, 0}};
  for (auto c : cases) EXPECT_EQ(s.SixteenthOfTick(c.tick), c.sixteenth) << c.tick;
  for (int64_t x : {0, 1, 7, 8, 100}) {
    const int64_t tick = s.TickOfSixteenth(x);
    EXPECT_EQ(s.SixteenthOfTick(tick), x);
    EXPECT_LT(s.SixteenthOfTick(tick - 1), x == 0 ? 1 : x);
  }
  EXPECT_EQ(s.LengthSixteenths(), 8);
}

TEST(MidiFileTest, SmpteDivisionCountsRealTime) {
  // 25 frames per second x 40 ticks: 1000 ticks per second; a sixteenth is 125 ms.
  Track t;
  t.Tempo(0, 250000).End(2000);
  Bytes b = Smf(0, 0, {t});
  b[12] = 0xE7;  // -25
  b[13] = 40;
  MidiSong s = Parse(b);
  EXPECT_TRUE(s.smpte);
  EXPECT_EQ(s.SixteenthOfTick(1000), 8);
  EXPECT_EQ(s.LengthSixteenths(), 16);
  EXPECT_EQ(s.firstTempoMicros, 250000u);  // the song's own tempo still shows
  EXPECT_EQ(s.division, 500);
}

TEST(MidiFileTest, UnreadableFilesAreRefused) {
  Track t;
  t.End();
  const Bytes good = Smf(0, 96, {t});
  struct Case { const char* name; Bytes bytes; } cases[] = {
      {"empty", {}},
      {"text", Bytes{'h', 'e', 'l', 'l', 'o'}},
      {"header_only_tag", Bytes{'M', 'T', 'h', 'd'}},
      {"header_short", Bytes(good.begin(), good.begin() + 12)},
      {"no_tracks", Bytes(good.begin(), good.begin() + 14)},
      {"division_zero", [&] { Bytes b = good; b[12] = b[13] = 0; return b; }()},
      {"format_three", [&] { Bytes b = good; b[9] = 3; return b; }()},
      {"header_len_huge", [&] { Bytes b = good; b[4] = 0x7F; return b; }()},
      {"lower_case_tag", [&] { Bytes b = good; b[0] = 'm'; return b; }()},
  };
  for (const Case& c : cases) {
    MidiSong s;
    audio::MediaError e = ParseMidiFile(c.bytes.data(), c.bytes.size(), &s);
    EXPECT_EQ(e.code, audio::kErrBadFile) << c.name;
    EXPECT_FALSE(e.text.empty()) << c.name;
  }
}

TEST(MidiFileTest, AnyBytesParseWithoutOverRead) {
  // Mutations of a real-looking song: each must give a song or an error.
  Track a, b;
  a.Tempo(0, 500000).Name(0, "name").End(100);
  b.Program(0, 1, 3).NoteOn(0, 1, 60, 90).Raw(0, {0xF0, 2, 1, 0xF7}).Raw(10, {64, 90}).NoteOff(100, 1, 60).End();
  const Bytes base = Smf(1, 96, {a, b});
  std::mt19937 rng(1234);
  for (int round = 0; round < 20000; ++round) {
    Bytes m = base;
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int k = 0; k < edits; ++k) m[rng() % m.size()] = static_cast<uint8_t>(rng());
    if (rng() % 3 == 0) m.resize(rng() % m.size());
    // A heap copy of exactly the size, so a sanitiser build catches over-reads.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[m.size() + 1]);
    std::copy(m.begin(), m.end(), exact.get());
    MidiSong s;
    audio::MediaError e = ParseMidiFile(exact.get(), m.size(), &s);
    if (e.ok()) {
      ASSERT_FALSE(s.tempos.empty());
      ASSERT_GT(s.division, 0);
      for (size_t i = 1; i < s.events.size(); ++i) ASSERT_LE(s.events[i - 1].tick, s.events[i].tick);
      for (const MidiEvent& ev : s.events)
        ASSERT_LE(uint64_t{s.PayloadOf(ev).offset} + s.PayloadOf(ev).length, s.payload.size());
    } else {
      ASSERT_FALSE(e.text.empty());
    }
  }
}

}  // namespace
}  // namespace melvar::midi
