// The media device on SDL's dummy driver (real-time, silent): one notice per
// play with the right value, no stale notices, the tempo command, refusals.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "../audio/audio_test_util.h"
#include "media_device.h"
#include "test_support.h"

namespace melvar::device {
namespace {

using test::TempDir;

std::string WriteTone(const std::string& name, double seconds) {
  return test::WriteSound(name, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, static_cast<int64_t>(seconds * 44100),
                          [](int64_t i, int) { return 0.3f * static_cast<float>(std::sin(i * 0.05)); });
}

// A type-0 MIDI song: 120 bpm, division 96, a C major scale of eighth notes
// (4 s) on a piano.
std::string WriteMidiSong(const std::string& name) {
  std::vector<uint8_t> track = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,  // tempo 500000 us
                                0x00, 0xC0, 0x00};                         // program 0
  const uint8_t notes[] = {60, 62, 64, 65, 67, 69, 71, 72};
  for (int rep = 0; rep < 2; ++rep)
    for (uint8_t n : notes) {
      track.insert(track.end(), {0x00, 0x90, n, 0x64, 0x30, 0x80, n, 0x40});  // 48 ticks each
    }
  track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
  std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k'};
  const uint32_t len = static_cast<uint32_t>(track.size());
  file.insert(file.end(), {uint8_t(len >> 24), uint8_t(len >> 16), uint8_t(len >> 8), uint8_t(len)});
  file.insert(file.end(), track.begin(), track.end());
  const std::string path = TempDir() + "/" + name;
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());
  return path;
}

// The large song of test_support, written to the test folder.
std::string WriteLargeMidiSong(const std::string& name, int notes) {
  const std::vector<uint8_t> file = test::LargeMidiSong(notes);
  const std::string path = TempDir() + "/" + name;
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());
  return path;
}

long RssKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

// Collects the notices the device delivers.
struct Notices {
  explicit Notices(MediaDevice* d) {
    QObject::connect(d, &MediaDevice::notify, [this](int v) { values.push_back(v); });
  }
  std::vector<int> values;
};

// Runs the event loop until `done` holds or a generous time has passed (the
// bound only guards against a hang; nothing here measures speed).
template <typename F>
bool SpinUntil(F done, int ms = 20000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    usleep(2000);
  }
  return done();
}

// Lets queued notices arrive.
void Drain() {
  for (int i = 0; i < 20; ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    usleep(1000);
  }
}

class MediaDeviceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { setenv("MELVAR_SOUNDFONT", "/usr/share/sounds/sf2/TimGM6mb.sf2", 0); }
};

TEST_F(MediaDeviceTest, NoAudioOutputFailsTheOpenAndTheNextOpenTriesAgain) {
  const std::string song = WriteTone("short.wav", 0.2);
  const std::string saved = getenv("SDL_AUDIODRIVER") ? getenv("SDL_AUDIODRIVER") : "";
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  {
    MediaDevice device;
    EXPECT_EQ(device.open(song), audio::kErrNoOutput);
    EXPECT_EQ(device.errorText(device.lastError()).rfind("Cannot open the audio output: ", 0), 0u)
        << device.errorText(device.lastError());
    EXPECT_EQ(device.mode(), MediaDevice::NotOpen);
    setenv("SDL_AUDIODRIVER", saved.empty() ? "dummy" : saved.c_str(), 1);
    EXPECT_EQ(device.open(song), 0) << device.errorText(device.lastError());
    EXPECT_EQ(device.mode(), MediaDevice::Stopped);
    EXPECT_TRUE(device.sampleRate() == 44100 || device.sampleRate() == 48000);
    EXPECT_GT(device.outputLatencyMs(), 0);
    EXPECT_LE(device.outputLatencyMs(), 60);
  }
}

TEST_F(MediaDeviceTest, APlayThatReachesTheEndPostsSuccessfulOnce) {
  MediaDevice device;
  Notices notices(&device);
  ASSERT_EQ(device.open(WriteTone("end.wav", 0.3)), 0) << device.errorText(device.lastError());
  EXPECT_EQ(device.length(), 300);
  ASSERT_EQ(device.play(), 0);
  EXPECT_TRUE(device.isPlaying());
  // Not playing is reported as soon as the end has been rendered, before
  // the notice is delivered.
  ASSERT_TRUE(SpinUntil([&] { return !device.isPlaying(); }));
  EXPECT_EQ(device.mode(), MediaDevice::Stopped);
  EXPECT_EQ(device.position(), 300);
  Drain();
  ASSERT_TRUE(SpinUntil([&] { return !notices.values.empty(); }));
  Drain();
  EXPECT_EQ(notices.values, std::vector<int>{MediaDevice::Successful});
  // Playing again from the end ends at once, again with one notice.
  ASSERT_EQ(device.play(), 0);
  ASSERT_TRUE(SpinUntil([&] { return notices.values.size() == 2; }));
  Drain();
  EXPECT_EQ(notices.values, (std::vector<int>{MediaDevice::Successful, MediaDevice::Successful}));
}

enum class Interrupt { Stop, Pause, Seek, Close };
void PrintTo(Interrupt way, std::ostream* os) {
  static const char* const names[] = {"stop", "pause", "seek", "close"};
  *os << names[static_cast<int>(way)];
}

class InterruptedPlay : public MediaDeviceTest, public ::testing::WithParamInterface<Interrupt> {};

TEST_P(InterruptedPlay, EndsAbortedOnce) {
  MediaDevice device;
  Notices notices(&device);
  ASSERT_EQ(device.open(WriteTone("long.wav", 5.0)), 0);
  ASSERT_EQ(device.play(), 0);
  ASSERT_TRUE(SpinUntil([&] { return device.position() > 50; }));
  const int64_t before = device.position();
  switch (GetParam()) {
    case Interrupt::Stop:
      EXPECT_EQ(device.stop(), 0);
      EXPECT_EQ(device.mode(), MediaDevice::Stopped);
      break;
    case Interrupt::Pause:
      EXPECT_EQ(device.pause(), 0);
      EXPECT_EQ(device.mode(), MediaDevice::Paused);
      break;
    case Interrupt::Seek:
      EXPECT_EQ(device.seek(1000), 0);
      EXPECT_EQ(device.mode(), MediaDevice::Stopped);
      EXPECT_EQ(device.position(), 1000);
      break;
    case Interrupt::Close:
      EXPECT_EQ(device.close(), 0);
      EXPECT_EQ(device.mode(), MediaDevice::NotOpen);
      break;
  }
  EXPECT_FALSE(device.isPlaying());
  ASSERT_TRUE(SpinUntil([&] { return !notices.values.empty(); }));
  Drain();
  EXPECT_EQ(notices.values, std::vector<int>{MediaDevice::Aborted});
  if (GetParam() == Interrupt::Pause || GetParam() == Interrupt::Stop) {
    // The song stays where it halted; a new play goes on from there.
    const int64_t halted = device.position();
    EXPECT_GE(halted, before);
    Drain();
    EXPECT_EQ(device.position(), halted);
    ASSERT_EQ(device.play(), 0);
    EXPECT_GE(device.position(), halted);
    EXPECT_LT(device.position(), halted + 500);
  }
}

INSTANTIATE_TEST_SUITE_P(Ways, InterruptedPlay,
                         ::testing::Values(Interrupt::Stop, Interrupt::Pause, Interrupt::Seek, Interrupt::Close));

TEST_F(MediaDeviceTest, NoticesOfAnEarlierPlayNeverArriveAfterANewerPlay) {
  MediaDevice device;
  Notices notices(&device);
  ASSERT_EQ(device.open(WriteTone("stale.wav", 0.4)), 0);
  // A stop followed by a new play before the window's event loop runs: the
  // stop's aborted notice is dropped.
  ASSERT_EQ(device.play(), 0);
  ASSERT_EQ(device.stop(), 0);
  ASSERT_EQ(device.seek(0), 0);
  ASSERT_EQ(device.play(), 0);
  // The second play reaches its end; the end is seen without running the
  // event loop, and a third play starts before the notice can be delivered.
  QElapsedTimer t;
  t.start();
  while (device.isPlaying() && t.elapsed() < 20000) usleep(5000);
  ASSERT_FALSE(device.isPlaying());
  ASSERT_EQ(device.seek(0), 0);
  ASSERT_EQ(device.play(), 0);
  ASSERT_TRUE(SpinUntil([&] { return !notices.values.empty(); }));
  Drain();
  // Only the third play's own end arrives.
  EXPECT_EQ(notices.values, std::vector<int>{MediaDevice::Successful});
  EXPECT_FALSE(device.isPlaying());
}

TEST_F(MediaDeviceTest, RefusesUnknownKindsAndMissingFiles) {
  MediaDevice device;
  const std::string other = TempDir() + "/notes.xyz";
  std::ofstream(other) << "text";
  EXPECT_EQ(device.open(other), audio::kErrCannotPlayType);
  EXPECT_EQ(device.errorText(audio::kErrCannotPlayType),
            "The file cannot be played on this device (unknown kind of file \".xyz\")");
  EXPECT_EQ(device.mode(), MediaDevice::NotOpen);
  const std::string missing = TempDir() + "/missing.mp3";
  EXPECT_EQ(device.open(missing), audio::kErrFileNotFound);
  EXPECT_NE(device.errorText(device.lastError()).find(missing), std::string::npos);
  // Operations that need a song fail; queries store their result too.
  EXPECT_EQ(device.play(), audio::kErrNotOpen);
  EXPECT_EQ(device.length(), 0);
  EXPECT_EQ(device.lastError(), audio::kErrNotOpen);
  EXPECT_FALSE(device.isPlaying());
  EXPECT_EQ(device.lastError(), 0);
  EXPECT_EQ(device.errorText(12345), "Unknown error code");
  EXPECT_FALSE(device.errorText(audio::kErrNotOpen).empty());
}

TEST_F(MediaDeviceTest, TempoCommandNamesTheOpenSong) {
  MediaDevice device;
  EXPECT_EQ(device.sendString("set \"/x.mid\" tempo 120 wait"), audio::kErrNotOpen);
  const std::string wav = WriteTone("Tempo Song.wav", 0.5);
  ASSERT_EQ(device.open(wav), 0);
  std::string upper = wav;
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  struct Case {
    std::string command;
    int code;
  } cases[] = {
      // A wave song has no tempo: the command is understood but not supported.
      {"set \"" + wav + "\" tempo 120 wait", audio::kErrNotSupported},
      {"set \"" + upper + "\" tempo 120 wait", audio::kErrNotSupported},
      {"set \"" + wav + ".other\" tempo 120 wait", audio::kErrWrongDevice},
      {"set \"" + wav + "\" tempo 00 wait", audio::kErrTempoOutOfRange},
      {"set \"" + wav + "\" tempo 5000 wait", audio::kErrTempoOutOfRange},
      {"tempo please", audio::kErrBadCommand},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(device.sendString(c.command), c.code) << c.command;
    EXPECT_EQ(device.lastError(), c.code);
    EXPECT_FALSE(device.errorText(c.code).empty());
  }
}

// A MIDI song plays through the dummy output in real time: its position (in
// sixteenth notes) advances, and the tempo command reaches it, also through
// a path with a quote in it.
TEST_F(MediaDeviceTest, MidiSongPlaysInRealTimeAndTakesTheTempo) {
  MediaDevice device;
  Notices notices(&device);
  const std::string song = WriteMidiSong("say \"hi\".mid");
  const int rc = device.open(song);
  if (rc == audio::kErrCannotPlayType || rc == audio::kErrNoSoundFont)
    GTEST_SKIP() << device.errorText(rc);
  ASSERT_EQ(rc, 0) << device.errorText(rc);
  EXPECT_EQ(device.length(), 32);  // 16 eighth notes
  ASSERT_EQ(device.play(), 0);
  QElapsedTimer t;
  t.start();
  SpinUntil([&] { return t.elapsed() >= 1000; });
  const int64_t p = device.position();
  EXPECT_GT(p, 0);
  EXPECT_LE(p, 32);
  EXPECT_TRUE(device.isPlaying());
  EXPECT_EQ(device.sendString("set \"" + song + "\" tempo 240 wait"), 0) << device.errorText(device.lastError());
  EXPECT_TRUE(SpinUntil([&] { return device.position() > p; }));
  EXPECT_EQ(device.stop(), 0);
  ASSERT_TRUE(SpinUntil([&] { return !notices.values.empty(); }));
  Drain();
  EXPECT_EQ(notices.values, std::vector<int>{MediaDevice::Aborted});
}

// A 30 MB song (10 million events) opens while the event loop goes on
// running, holds a few bytes an event, and plays to its end after a jump.
TEST_F(MediaDeviceTest, ALargeMidiFileOpensBesideTheEventLoopInProportionateMemory) {
  constexpr int kNotes = 5'000'000;
  const std::string song = WriteLargeMidiSong("large.mid", kNotes);
  MediaDevice device;
  Notices notices(&device);
  int ticks = 0;
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
  tick.start(0);
  const long before = RssKb();
  const int rc = device.open(song);
  const long grown = RssKb() - before;
  tick.stop();
  if (rc == audio::kErrNoSoundFont) GTEST_SKIP() << device.errorText(rc);
  ASSERT_EQ(rc, 0) << device.errorText(rc);
  EXPECT_GT(ticks, 0) << "the event loop did not run while the song was opened";
  // 8 bytes an event, 10 million events; the file itself is not kept. (A
  // sanitizer's shadow memory makes the figure meaningless in those builds.)
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  EXPECT_LT(grown * 1024, 2L * kNotes * 14) << grown << " kB";
#else
  (void)grown;
#endif
  const int64_t length = device.length();
  EXPECT_EQ(length, int64_t{kNotes} * 4 / 96);  // a tick a note
  ASSERT_EQ(device.seek(length - 2), 0);
  ASSERT_EQ(device.play(), 0);
  ASSERT_TRUE(SpinUntil([&] { return !notices.values.empty(); }));
  EXPECT_EQ(notices.values, std::vector<int>{MediaDevice::Successful});
  EXPECT_EQ(device.close(), 0);
}

// The device's clock: how long until a position is heard agrees with the
// position it reports, and says -1 when the position will not come.
TEST_F(MediaDeviceTest, MsUntilAgreesWithThePositionHeard) {
  MediaDevice device;
  const std::string song = WriteMidiSong("clock.mid");
  const int rc = device.open(song);
  if (rc == audio::kErrNoSoundFont) GTEST_SKIP() << device.errorText(rc);
  ASSERT_EQ(rc, 0) << device.errorText(rc);
  EXPECT_EQ(device.msUntil(4), -1);  // not playing
  ASSERT_EQ(device.play(), 0);
  ASSERT_TRUE(SpinUntil([&] { return device.position() >= 4; }));
  EXPECT_EQ(device.msUntil(2), 0);
  EXPECT_EQ(device.msUntil(device.length() + 1), -1);
  // 120 bpm: a sixteenth lasts 125 ms. The heard position p lies within
  // its sixteenth, so p + 4 is heard 375 to 500 ms from now (a callback
  // between the two reads moves that by at most one buffer).
  const int64_t p = device.position();
  const int64_t ms = device.msUntil(p + 4);
  const int64_t slack = device.outputLatencyMs() + 2;
  EXPECT_GE(ms, 375 - slack);
  EXPECT_LE(ms, 500 + slack);
  // At twice the tempo it comes twice as fast.
  ASSERT_EQ(device.sendString("set \"" + song + "\" tempo 240 wait"), 0);
  const int64_t q = device.position();
  const int64_t fast = device.msUntil(q + 4);
  EXPECT_GE(fast, 187 - 2 * slack);
  EXPECT_LE(fast, 250 + slack);
  EXPECT_EQ(device.stop(), 0);
  EXPECT_EQ(device.msUntil(q + 4), -1);
}

}  // namespace
}  // namespace melvar::device
