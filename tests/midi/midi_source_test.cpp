#include "midi_source.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <unistd.h>
#include <vector>

#include "smf_builder.h"

namespace melvar::midi {
namespace {

using test::Bytes;
using test::Smf;
using test::Track;

constexpr int kRate = 44100;

class MidiSourceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The small General MIDI font keeps the tests quick.
    const char* small = "/usr/share/sounds/sf2/TimGM6mb.sf2";
    if (std::getenv("MELVAR_SOUNDFONT") == nullptr && access(small, R_OK) == 0) setenv("MELVAR_SOUNDFONT", small, 1);
  }
  void SetUp() override {
    if (FindSoundFont().empty()) GTEST_SKIP() << "no SoundFont installed";
  }

  std::unique_ptr<MidiSource> Open(const Bytes& bytes, int rate = kRate) {
    std::unique_ptr<audio::SongSource> src;
    audio::MediaError e = OpenMidiSource(bytes, rate, &src);
    EXPECT_TRUE(e.ok()) << e.text;
    return std::unique_ptr<MidiSource>(dynamic_cast<MidiSource*>(src.release()));
  }

  // Renders `frames` frames in blocks of `block`; returns the peak level.
  static float Render(audio::SongSource* s, int64_t frames, int block = 512) {
    std::vector<float> buf(2 * static_cast<size_t>(block));
    float peak = 0;
    while (frames > 0) {
      const int n = static_cast<int>(std::min<int64_t>(block, frames));
      s->render(buf.data(), n);
      for (int i = 0; i < 2 * n; ++i) peak = std::max(peak, std::fabs(buf[i]));
      frames -= n;
    }
    return peak;
  }
};

// 120 bpm (or `micros`), division 480, a held note and a last event at `endTick`.
Bytes SteadySong(uint32_t micros = 500000, uint32_t endTick = 480 * 64) {
  Track t;
  t.Tempo(0, micros).NoteOn(0, 0, 60, 100).NoteOff(endTick, 0, 60).End();
  return Smf(0, 480, {t});
}

TEST_F(MidiSourceTest, PositionFollowsRenderedFramesAndTempo) {
  struct Case { uint32_t micros; int bpm; int64_t after1s; } cases[] = {
      {500000, 0, 8},      // the file's own 120 bpm: 2 quarters per second
      {500000, 240, 16},   // twice as fast
      {500000, 60, 4},
      {600000, 100, 6},    // the song's own bpm sent back: unchanged
      {600000, 200, 13},   // 100 -> 200: 3.33 quarters per second
      {500000, 121, 8},
  };
  for (const Case& c : cases) {
    auto s = Open(SteadySong(c.micros));
    ASSERT_TRUE(s);
    if (c.bpm) {
      ASSERT_TRUE(s->setTempo(c.bpm).ok());
    }
    Render(s.get(), kRate, 1000);
    EXPECT_EQ(s->positionAt(0), c.after1s) << c.micros << " " << c.bpm;
  }
}

TEST_F(MidiSourceTest, TempoChangeKeepsPositionAndLooksBackAcrossIt) {
  auto s = Open(SteadySong());
  ASSERT_TRUE(s);
  EXPECT_EQ(s->baseBpm(), 120);
  Render(s.get(), kRate);
  EXPECT_EQ(s->positionAt(0), 8);
  ASSERT_TRUE(s->setTempo(240).ok());
  EXPECT_EQ(s->positionAt(0), 8);  // no jump
  Render(s.get(), kRate);
  EXPECT_EQ(s->positionAt(0), 24);
  EXPECT_EQ(s->positionAt(kRate / 2), 16);  // half a second back at 240 bpm
  EXPECT_EQ(s->positionAt(kRate), 8);       // the moment of the change
  EXPECT_EQ(s->positionAt(kRate + kRate / 2), 4);  // before it, at 120 bpm
  EXPECT_EQ(s->positionAt(100 * kRate), 0);
  EXPECT_EQ(s->tempoBpm(), 240);
  ASSERT_TRUE(s->seek(40).ok());  // a seek keeps the tempo
  Render(s.get(), kRate);
  EXPECT_EQ(s->positionAt(0), 56);
}

TEST_F(MidiSourceTest, TempoOutOfRangeIsRefused) {
  auto s = Open(SteadySong());
  ASSERT_TRUE(s);
  for (int bad : {0, -1, 1001, 100000}) {
    audio::MediaError e = s->setTempo(bad);
    EXPECT_EQ(e.code, audio::kErrTempoOutOfRange) << bad;
    EXPECT_FALSE(e.text.empty());
  }
  EXPECT_EQ(s->tempoBpm(), 120);
  EXPECT_TRUE(s->setTempo(1).ok());
  EXPECT_TRUE(s->setTempo(1000).ok());
}

TEST_F(MidiSourceTest, RitardandoKeepsItsShapeUnderScaling) {
  // 120 bpm for 8 sixteenths (1 s), then 60 bpm.
  Track t;
  t.Tempo(0, 500000).Tempo(960, 1000000).NoteOn(0, 0, 60, 1).End(480 * 16);
  const Bytes song = Smf(0, 480, {t});
  struct Case { int bpm; int64_t frames; int64_t position; } cases[] = {
      {120, 2 * kRate, 12},  // 1 s at 120 (8) + 1 s at 60 (4)
      {240, kRate, 12},      // everything twice as fast
      {60, 4 * kRate, 12},
  };
  for (const Case& c : cases) {
    auto s = Open(song);
    ASSERT_TRUE(s->setTempo(c.bpm).ok());
    Render(s.get(), c.frames, 777);
    EXPECT_EQ(s->positionAt(0), c.position) << c.bpm;
  }
}

TEST_F(MidiSourceTest, FinishesJustAfterTheLastEventAndRingsOut) {
  // Last event at 4 quarters = 2 s = frame 88200; the note is never released.
  Track t;
  t.NoteOn(0, 0, 60, 120).End(1920);
  auto s = Open(Smf(0, 480, {t}));
  ASSERT_TRUE(s);
  EXPECT_EQ(s->length(), 16);
  Render(s.get(), 88200, 4096);
  EXPECT_FALSE(s->finished());
  EXPECT_EQ(s->positionAt(0), 16);
  Render(s.get(), 1);
  EXPECT_TRUE(s->finished());
  EXPECT_GT(Render(s.get(), 2048), 0.001f);  // the synth still sounds
  Render(s.get(), kRate);
  EXPECT_EQ(s->positionAt(0), 16);  // never beyond the length
  EXPECT_TRUE(s->finished());
}

TEST_F(MidiSourceTest, BlockSizeDoesNotChangeTiming) {
  // Hundreds of tempo changes: the end must land on the same frame whatever the blocks.
  Track t;
  for (int i = 0; i < 400; ++i) t.Tempo(i ? 37 : 0, i % 2 ? 333333 : 777777).Control(0, 0, 7, i % 128);
  t.End(11);
  const Bytes song = Smf(0, 96, {t});
  int64_t endFrame[2] = {0, 0};
  const int blocks[2] = {1, 61};
  for (int k = 0; k < 2; ++k) {
    auto s = Open(song);
    std::vector<float> buf(2 * 64);
    while (!s->finished() && s->headFrame() < 120 * kRate) s->render(buf.data(), blocks[k] == 1 ? 64 : blocks[k]);
    endFrame[k] = s->headFrame();
  }
  // Exact end: sum of ticks x tempo, in frames, rounded up, then one frame past it.
  __int128 units = 0;
  for (int i = 1; i < 400; ++i) units += __int128(37) * (i - 1 == 0 ? 777777 : ((i - 1) % 2 ? 333333 : 777777));
  units += __int128(11) * 333333;
  const int64_t lastFrame = static_cast<int64_t>((units * kRate + 96LL * 1000000 - 1) / (96LL * 1000000));
  EXPECT_GT(endFrame[0], lastFrame);
  EXPECT_LE(endFrame[0], lastFrame + 64);
  EXPECT_GT(endFrame[1], lastFrame);
  EXPECT_LE(endFrame[1], lastFrame + 61);
}

Bytes ChaseSong() {
  // Channel 0: program 40, volume 90, pan 20, bend up, at tick 960; a note
  // 0..480 and one at 3840; channel 1: program 10 then 20.
  Track t;
  t.Tempo(0, 500000)
      .NoteOn(0, 0, 60, 110)
      .NoteOff(480, 0, 60)
      .Control(480, 0, 0, 0)
      .Program(0, 0, 40)
      .Control(0, 0, 7, 90)
      .Control(0, 0, 10, 20)
      .Control(0, 0, 64, 127)
      .Raw(0, {0xE0, 0, 80})
      .Program(0, 1, 10)
      .Control(480, 0, 64, 0)
      .Program(960, 1, 20)
      .NoteOn(960, 0, 64, 100)
      .NoteOff(480, 0, 64)
      .End(480);
  return Smf(0, 480, {t});
}

TEST_F(MidiSourceTest, SeekChasesProgramsAndControllers) {
  struct Case { int64_t target; int prog0, vol0, pan0, sustain0, bend0, prog1; } cases[] = {
      {0, 0, 100, 64, 0, 8192, 0},        // before everything: the synth's defaults
      {8, 0, 100, 64, 0, 8192, 0},        // tick 960: the changes at 960 come after the head
      {9, 40, 90, 20, 127, 80 << 7, 10},  // just after them, pedal still down
      {13, 40, 90, 20, 0, 80 << 7, 10},   // the pedal came up at 12
      {30, 40, 90, 20, 0, 80 << 7, 20},
  };
  auto s = Open(ChaseSong());
  ASSERT_TRUE(s);
  for (const Case& c : cases) {
    // Seek from a later point each time, so state left from earlier is undone.
    ASSERT_TRUE(s->seek(s->length()).ok());
    ASSERT_TRUE(s->seek(c.target).ok());
    EXPECT_EQ(s->positionAt(0), c.target);
    EXPECT_EQ(s->channelProgram(0), c.prog0) << c.target;
    EXPECT_EQ(s->channelController(0, 7), c.vol0) << c.target;
    EXPECT_EQ(s->channelController(0, 10), c.pan0) << c.target;
    EXPECT_EQ(s->channelController(0, 64), c.sustain0) << c.target;
    EXPECT_EQ(s->channelPitchBend(0), c.bend0) << c.target;
    EXPECT_EQ(s->channelProgram(1), c.prog1) << c.target;
  }
}

// A channel that changes its program (or stays silent) before its first note
// holds no preset until then, so a song without piano holds no piano. Every
// note must still sound: from the start, after a seek to either side of the
// change, after a reset by system-exclusive message, and after one that
// changes no program.
TEST_F(MidiSourceTest, EveryNoteSoundsWhicheverPresetItsChannelStartsWith) {
  auto song = [](auto build) {
    Track t;
    t.Tempo(0, 500000);  // 120 bpm: the note at tick 1920 sounds at 2 s
    build(t);
    t.NoteOff(480, 0, 60).NoteOff(0, 9, 38).End(480);
    return Smf(0, 480, {t});
  };
  const Bytes resetPreset = song([](Track& t) { t.NoteOn(1920, 0, 60, 110); });
  const Bytes programFirst = song([](Track& t) { t.Program(0, 0, 40).NoteOn(1920, 0, 60, 110); });
  const Bytes programLater = song([](Track& t) { t.Program(960, 0, 40).NoteOn(960, 0, 60, 110); });
  const Bytes otherChannel = song([](Track& t) { t.Program(0, 1, 40).NoteOn(1920, 0, 60, 110); });
  const Bytes gmReset = song([](Track& t) {
    t.Program(0, 0, 40).Raw(960, {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}).NoteOn(960, 0, 60, 110);
  });
  const Bytes masterVolume = song([](Track& t) {
    t.Raw(0, {0xF0, 0x07, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0x70, 0xF7}).NoteOn(1920, 0, 60, 110);
  });
  const Bytes drums = song([](Track& t) { t.Program(0, 0, 40).NoteOn(1920, 9, 38, 110); });
  struct Case {
    const char* name;
    const Bytes* song;
    int64_t target;  // sixteenths; the change, where there is one, is at 8
  } cases[] = {
      {"reset preset", &resetPreset, 0}, {"program first", &programFirst, 0}, {"program first", &programFirst, 10},
      {"program later", &programLater, 0}, {"program later", &programLater, 4}, {"program later", &programLater, 10},
      {"other channel", &otherChannel, 0}, {"GM reset", &gmReset, 0},          {"GM reset", &gmReset, 10},
      {"master volume", &masterVolume, 0},      {"master volume", &masterVolume, 10},       {"drums", &drums, 0},
  };
  for (const Case& c : cases) {
    auto s = Open(*c.song);
    ASSERT_TRUE(s) << c.name;
    if (c.target > 0) {
      ASSERT_TRUE(s->seek(c.target).ok()) << c.name;
    }
    EXPECT_GT(Render(s.get(), 5 * kRate / 2), 0.01f) << c.name << " from " << c.target;
  }
}

TEST_F(MidiSourceTest, SeekIntoSilenceEndsSoundingNotes) {
  auto s = Open(ChaseSong());
  ASSERT_TRUE(s);
  Render(s.get(), kRate / 10);
  ASSERT_GT(s->activeVoices(), 0);  // the first note sounds
  ASSERT_TRUE(s->seek(2).ok());     // inside that note: it is not replayed
  EXPECT_EQ(s->activeVoices(), 0);
  EXPECT_LT(Render(s.get(), 4096), 1e-3f);  // below -60 dB: no note, no reverb tail
  EXPECT_EQ(s->activeVoices(), 0);
  EXPECT_EQ(s->positionAt(0), 2);
  EXPECT_EQ(s->positionAt(kRate), 2);  // nothing before the seek shows through
  // Playing on reaches the later note (at 3.5 s).
  Render(s.get(), 13 * kRate / 4 + 1000);
  EXPECT_GT(s->activeVoices(), 0);
}

TEST_F(MidiSourceTest, SeekClampsToTheSong) {
  auto s = Open(ChaseSong());
  ASSERT_TRUE(s);
  const int64_t len = s->length();
  EXPECT_EQ(len, 36);
  ASSERT_TRUE(s->seek(len + 1000).ok());
  EXPECT_EQ(s->positionAt(0), len);
  ASSERT_TRUE(s->seek(-5).ok());
  EXPECT_EQ(s->positionAt(0), 0);
  EXPECT_FALSE(s->finished());
  ASSERT_TRUE(s->seek(len).ok());
  Render(s.get(), 16);
  EXPECT_TRUE(s->finished());
  ASSERT_TRUE(s->seek(10).ok());  // a seek back revives the song
  EXPECT_FALSE(s->finished());
}

TEST_F(MidiSourceTest, TwoSourcesAtOnceEachHaveASynth) {
  auto a = Open(ChaseSong());
  auto b = Open(ChaseSong());
  ASSERT_TRUE(a && b);
  ASSERT_TRUE(a->seek(30).ok());
  EXPECT_EQ(a->channelProgram(0), 40);
  EXPECT_EQ(b->channelProgram(0), 0);  // b's synth is not a's
  a.reset();
  Render(b.get(), kRate);
  b.reset();
  auto c = Open(ChaseSong(), 48000);  // another rate after both are gone
  ASSERT_TRUE(c);
  EXPECT_EQ(c->sampleRate(), 48000);
  EXPECT_EQ(c->channelProgram(0), 0);  // the shared synth comes back reset
}

TEST_F(MidiSourceTest, OpenRefusesBadInput) {
  std::unique_ptr<audio::SongSource> src;
  EXPECT_EQ(OpenMidiSource({'R', 'I', 'F', 'F'}, kRate, &src).code, audio::kErrBadFile);
  EXPECT_FALSE(src);
  EXPECT_FALSE(OpenMidiSource(SteadySong(), 0, &src).ok());
  EXPECT_TRUE(PreloadSynth(kRate).ok());
}

// Format 2 chains its tracks: 140 tracks of 2^32 ticks each at the slowest
// tempo, or with 1/7650 s ticks, reach far past what the song clock counts
// in. The reader cuts such a song at the last tick a song may reach, and the
// clock's products stay in range (the sanitizer build checks them): the song
// opens, and a jump near its end and a second of play stay inside it.
TEST_F(MidiSourceTest, ChainedTracksPastTheLastTickPlayInsideTheSong) {
  Bytes slow = test::Header(2, 140, 480);
  for (int i = 0; i < 140; ++i) {
    Track t;
    t.Tempo(0, 0xFFFFFF).NoteOn(0, 0, 60, 1);
    for (int k = 0; k < 16; ++k) t.Control(0x0FFFFFFF, 0, 7, 100);
    test::Append(&slow, test::TrackChunk(t.End()));
  }
  Bytes frames = slow;
  frames[12] = 0xE2;  // 30 fps, 255 ticks a frame
  frames[13] = 0xFF;
  for (const Bytes* b : {&slow, &frames}) {
    auto s = Open(*b);
    ASSERT_TRUE(s);
    EXPECT_GT(s->length(), 0);
    ASSERT_TRUE(s->seek(s->length() - 8).ok());
    Render(s.get(), kRate);
    ASSERT_TRUE(s->setTempo(1000).ok());
    Render(s.get(), kRate);
    EXPECT_GE(s->positionAt(0), s->length() - 8);
    EXPECT_LE(s->positionAt(0), s->length());
  }
}

TEST_F(MidiSourceTest, FrameBasedSongPlaysAtRealTime) {
  // 25 fps x 40 ticks = 1000 ticks per second, whatever the tempo event says.
  Track t;
  t.Tempo(0, 250000).NoteOn(0, 0, 60, 1).End(10000);
  Bytes b = Smf(0, 0, {t});
  b[12] = 0xE7;
  b[13] = 40;
  auto s = Open(b);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->baseBpm(), 240);
  Render(s.get(), kRate);
  EXPECT_EQ(s->positionAt(0), 8);  // 1 s = eight 125 ms units
  ASSERT_TRUE(s->setTempo(480).ok());
  Render(s.get(), kRate);
  EXPECT_EQ(s->positionAt(0), 24);
}

}  // namespace
}  // namespace melvar::midi
