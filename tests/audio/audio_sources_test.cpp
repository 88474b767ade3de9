// MP3 and WAV sources: exact lengths, sample-accurate seeks, resampling and
// channel mapping, and the factory's choice of kind and its refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "audio_test_util.h"
#include "ring_out.h"
#include "test_support.h"

namespace melvar::audio {
namespace {

using test::RenderAll;
using test::WriteSound;

// A deterministic, non-repeating value per frame and channel, exactly
// representable in 8-bit, so decoded samples can be compared one by one.
float Pattern(int64_t frame, int channel) {
  const int v = static_cast<int>((frame * 7 + channel * 31) % 200) - 100;  // -100..99
  return v / 128.0f;
}

std::unique_ptr<SongSource> Open(const std::string& path, int rate) {
  std::unique_ptr<SongSource> source;
  MediaError e = OpenSongSource(path, rate, &source);
  EXPECT_TRUE(e.ok()) << path << ": " << e.text;
  return source;
}

struct WavCase {
  const char* name;
  int format;
  int rate;
  int channels;
  int64_t frames;
};

class WavFormats : public ::testing::TestWithParam<WavCase> {};

// Every width and layout decodes to exactly its frames, at the file's own
// rate, with the samples where they belong (mono on both channels).
TEST_P(WavFormats, LengthAndSamplesAreExact) {
  const WavCase& c = GetParam();
  const std::string path = WriteSound(c.name, c.format, c.rate, c.channels, c.frames, Pattern);
  ASSERT_FALSE(path.empty());
  auto source = Open(path, c.rate);
  ASSERT_TRUE(source);
  EXPECT_EQ(source->kind(), SourceKind::Wave);
  EXPECT_EQ(source->length(), c.frames * 1000 / c.rate);
  const std::vector<float> pcm = RenderAll(source.get());
  ASSERT_EQ(static_cast<int64_t>(pcm.size()), c.frames * 2);
  for (int64_t i = 0; i < c.frames; i += 97) {
    const float left = Pattern(i, 0), right = c.channels == 1 ? left : Pattern(i, 1);
    ASSERT_NEAR(pcm[2 * i], left, 1e-2) << "frame " << i;
    ASSERT_NEAR(pcm[2 * i + 1], right, 1e-2) << "frame " << i;
  }
  EXPECT_TRUE(source->finished());
  EXPECT_EQ(source->positionAt(0), source->length());
}

INSTANTIATE_TEST_SUITE_P(
    Formats, WavFormats,
    ::testing::Values(WavCase{"u8-mono-22050.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 22050, 1, 22050 * 3 + 17},
                      WavCase{"s16-stereo-44100.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 44100 + 5},
                      WavCase{"s24-stereo-44100.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 44100, 2, 100000},
                      WavCase{"s32-mono-48000.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 48000, 1, 48000 * 2},
                      WavCase{"float-stereo-44100.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 2, 70001},
                      WavCase{"extensible-s24-44100.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 44100, 2, 44100}),
    [](const auto& info) {
      std::string n = info.param.name;
      for (char& ch : n)
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return n;
    });

// A float file may hold NaN or infinite samples; played through, they would
// reach the output as full-scale noise (and the resampler would spread
// them). They play as silence; the samples around them are untouched.
TEST(WavSource, SamplesThatAreNoNumberPlayAsSilence) {
  auto sample = [](int64_t frame, int channel) {
    if (frame >= 1000 && frame < 1004) return std::nanf("");
    if (frame == 2000) return channel ? -INFINITY : INFINITY;
    return Pattern(frame, channel);
  };
  const std::string path = WriteSound("non-finite.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 2, 44100, sample);
  ASSERT_FALSE(path.empty());
  for (int rate : {44100, 48000}) {
    auto source = Open(path, rate);
    ASSERT_TRUE(source);
    const std::vector<float> pcm = RenderAll(source.get());
    ASSERT_FALSE(pcm.empty());
    for (size_t i = 0; i < pcm.size(); ++i) ASSERT_LE(std::fabs(pcm[i]), 1.0f) << rate << " Hz, sample " << i;
    if (rate == 44100) {
      EXPECT_EQ(pcm[2 * 1000], 0.0f);
      EXPECT_EQ(pcm[2 * 2000 + 1], 0.0f);
      EXPECT_NEAR(pcm[2 * 1004], Pattern(1004, 0), 1e-6);
    }
  }
}

// After a seek the first frame rendered is the one at the target, and the
// position reads the target.
TEST(WavSource, SeekIsSampleAccurate) {
  const int rate = 44100;
  const std::string path = WriteSound("seek.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, rate, 2, rate * 5, Pattern);
  auto source = Open(path, rate);
  ASSERT_TRUE(source);
  auto* streamed = dynamic_cast<StreamedSource*>(source.get());
  ASSERT_NE(streamed, nullptr);
  for (int64_t target : {0, 1, 999, 2500, 4321, 4999, 5000}) {
    ASSERT_TRUE(source->seek(target).ok());
    EXPECT_EQ(source->positionAt(0), target);
    const int64_t frame = (target * rate + 999) / 1000;
    std::vector<float> block(2 * 64);
    const int n = streamed->waitReady(64);
    source->render(block.data(), 64);
    if (frame >= rate * 5) {
      EXPECT_EQ(n, 0);
      EXPECT_TRUE(source->finished());
      continue;
    }
    ASSERT_GT(n, 0);
    EXPECT_NEAR(block[0], Pattern(frame, 0), 1e-3) << "target " << target;
    EXPECT_NEAR(block[1], Pattern(frame, 1), 1e-3) << "target " << target;
  }
  // Out-of-range targets are clamped to the song.
  ASSERT_TRUE(source->seek(-5).ok());
  EXPECT_EQ(source->positionAt(0), 0);
  ASSERT_TRUE(source->seek(999999).ok());
  EXPECT_EQ(source->positionAt(0), source->length());
}

// Position follows the render head, lags by the frames asked for, and never
// exceeds the length.
TEST(WavSource, PositionFollowsTheRenderHead) {
  const int rate = 48000;
  const std::string path = WriteSound("pos.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, rate, 1, rate, Pattern);
  auto source = Open(path, rate);
  ASSERT_TRUE(source);
  auto* streamed = dynamic_cast<StreamedSource*>(source.get());
  std::vector<float> block(2 * 4800);
  streamed->waitReady(4800);
  source->render(block.data(), 4800);  // 100 ms
  EXPECT_EQ(source->positionAt(0), 100);
  EXPECT_EQ(source->positionAt(2400), 50);
  EXPECT_EQ(source->positionAt(100000), 0);
  RenderAll(source.get());
  source->render(block.data(), 4800);  // past the end: silence, position stays
  EXPECT_EQ(block[0], 0.0f);
  EXPECT_EQ(source->positionAt(0), 1000);
  EXPECT_EQ(source->positionAt(-10), 1000);
}

struct RateCase {
  int fileRate;
  int outRate;
};
void PrintTo(const RateCase& c, std::ostream* os) { *os << c.fileRate << " Hz to " << c.outRate << " Hz"; }
class Resampling : public ::testing::TestWithParam<RateCase> {};

// A file at another rate comes out with the output rate's number of frames
// (within a frame of rounding) and keeps its millisecond length.
TEST_P(Resampling, OutputLengthMatches) {
  const auto [fileRate, outRate] = GetParam();
  const int64_t frames = fileRate * 2 + 123;
  const std::string path =
      WriteSound("rate-" + std::to_string(fileRate) + ".wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, fileRate, 1, frames,
                 [&](int64_t i, int) { return 0.5f * static_cast<float>(std::sin(i * 440.0 * 2 * M_PI / fileRate)); });
  auto source = Open(path, outRate);
  ASSERT_TRUE(source);
  EXPECT_EQ(source->length(), frames * 1000 / fileRate);
  const std::vector<float> pcm = RenderAll(source.get());
  const double expected = static_cast<double>(frames) * outRate / fileRate;
  EXPECT_NEAR(static_cast<double>(pcm.size() / 2), expected, 2.0);
  // The tone survives: the middle of the output has its level (RMS of 0.5 sine ~ 0.354).
  double sum = 0;
  const size_t mid = pcm.size() / 4, count = pcm.size() / 2;
  for (size_t i = mid; i < mid + count; ++i) sum += pcm[i] * pcm[i];
  EXPECT_NEAR(std::sqrt(sum / count), 0.354, 0.02);
}

INSTANTIATE_TEST_SUITE_P(Rates, Resampling,
                         ::testing::Values(RateCase{8000, 44100}, RateCase{11025, 48000}, RateCase{22050, 44100},
                                           RateCase{48000, 44100}, RateCase{44100, 48000}, RateCase{96000, 48000}));

// An MP3 written by libsndfile's encoder: the scanned length is the encoded
// length, and seeking lands on the same samples as decoding from the start.
TEST(Mp3Source, LengthAndSeekOfAnEncodedFile) {
  const int rate = 44100;
  const int64_t frames = rate * 3;
  const std::string path =
      WriteSound("tone.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, rate, 2, frames, [&](int64_t i, int c) {
        return 0.4f * static_cast<float>(std::sin(i * (330.0 + 110 * c) * 2 * M_PI / rate + i * i * 1e-9));
      });
  if (path.empty()) GTEST_SKIP() << "libsndfile has no MPEG encoder here";
  auto source = Open(path, rate);
  ASSERT_TRUE(source);
  EXPECT_EQ(source->kind(), SourceKind::Mpeg);
  // The encoder adds at most a couple of frames of delay and padding.
  EXPECT_GE(source->length(), 3000);
  EXPECT_LE(source->length(), 3000 + 60);
  auto* streamed = dynamic_cast<StreamedSource*>(source.get());
  ASSERT_NE(streamed, nullptr);
  const std::vector<float> whole = RenderAll(source.get());
  EXPECT_EQ(static_cast<int64_t>(whole.size() / 2), streamed->fileFrames());
  for (int64_t target : {1000, 1777, 2500}) {
    ASSERT_TRUE(source->seek(target).ok());
    EXPECT_EQ(source->positionAt(0), target);
    const int64_t frame = (target * rate + 999) / 1000;
    std::vector<float> block(2 * 256);
    ASSERT_EQ(streamed->waitReady(256), 256);
    source->render(block.data(), 256);
    double worst = 0;
    for (int i = 0; i < 512; ++i) worst = std::max(worst, std::fabs(double(block[i]) - whole[frame * 2 + i]));
    EXPECT_LT(worst, 1e-3) << "target " << target;
  }
}

struct CorpusAudio {
  const char* file;
  int64_t ms;  // duration listed for the file
  int64_t tolerance;
};

// The corpus's audio files open with about their listed durations. MP3
// durations in the list include the encoder's delay and padding, which
// gapless decoding removes, so they get a wider margin.
TEST(CorpusAudio, LengthsMatchTheListedDurations) {
  if (test::CorpusDir().empty()) GTEST_SKIP() << "no corpus";
  const CorpusAudio cases[] = {
      {"mp3/vbr-xing_44k-mono.mp3", 3940, 60},        {"mp3/12oz_44k-stereo.mp3", 1020, 60},
      {"mp3/id3-frames_16k-mono-mpeg2.mp3", 4500, 80}, {"mp3/vbr8_8k-mono-mpeg25_silent.mp3", 9220, 200},
      {"wav/front-center_48k-mono-16bit.wav", 1430, 5}, {"wav/cheering_11k-mono-8bit.wav", 3980, 5},
      {"wav/teeter_22k-stereo-16bit.wav", 580, 5},     {"wav/24bit-extensible_8k-stereo.wav", 130, 5},
      {"wav/xylofon_16k-mono-16bit.wav", 2320, 5},
  };
  for (const auto& c : cases) {
    auto source = Open(test::CorpusDir() + "/" + c.file, 48000);
    ASSERT_TRUE(source) << c.file;
    EXPECT_NEAR(static_cast<double>(source->length()), static_cast<double>(c.ms), static_cast<double>(c.tolerance))
        << c.file;
  }
}

struct KindCase {
  const char* name;
  int code;
};

// The kind comes from the extension in any letter case; other kinds are
// refused by name, missing files by path, damaged files as damaged.
TEST(OpenSongSource, ChoosesByExtensionAndRefusesWithAText) {
  const std::string dir = test::TempDir();
  const std::string wav =
      WriteSound("Real.Wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, 4410, Pattern);
  ASSERT_FALSE(wav.empty());
  std::ofstream(dir + "/notes.xyz") << "hello";
  std::ofstream(dir + "/garbage.wav") << "this is not a RIFF file at all";
  std::ofstream(dir + "/garbage.MP3") << std::string(5000, 'x');
  std::ofstream(dir + "/noext") << "x";
  const KindCase cases[] = {
      {"Real.Wav", kErrNone},
      {"notes.xyz", kErrCannotPlayType},
      {"noext", kErrCannotPlayType},
      {"missing.mp3", kErrFileNotFound},
      {"missing.WAV", kErrFileNotFound},
      {"missing.mid", kErrFileNotFound},
      {"garbage.wav", kErrBadFile},
      {"garbage.MP3", kErrBadFile},
      {".", kErrCannotPlayType},
  };
  for (const auto& c : cases) {
    std::unique_ptr<SongSource> source;
    const std::string path = dir + "/" + c.name;
    MediaError e = OpenSongSource(path, 44100, &source);
    EXPECT_EQ(e.code, c.code) << c.name << ": " << e.text;
    if (c.code == kErrNone) {
      EXPECT_TRUE(source);
    } else {
      EXPECT_FALSE(source);
      EXPECT_FALSE(e.text.empty());
    }
    if (c.code == kErrFileNotFound) {
      EXPECT_NE(e.text.find(path), std::string::npos) << e.text;
    }
  }
  std::unique_ptr<SongSource> source;
  EXPECT_EQ(OpenSongSource(dir + "/notes.xyz", 44100, &source).text,
            "The file cannot be played on this device (unknown kind of file \".xyz\")");
}

TEST(OpenSongSource, ExtensionsAreUpperCasedAsciiOnly) {
  EXPECT_EQ(SongKindOf("a.rmi"), SourceKind::Midi);
  EXPECT_EQ(SongKindOf("a.MID"), SourceKind::Midi);
  EXPECT_EQ(SongKindOf("a.wAv"), SourceKind::Wave);
  EXPECT_EQ(SongKindOf("a.kar"), std::nullopt);
  EXPECT_EQ(SongKindOf("a.mp3.txt"), std::nullopt);
}

// A finished song whose notes sound for `soundingFrames`, then fall silent.
class FadingSource : public SongSource {
 public:
  explicit FadingSource(int64_t soundingFrames) : sounding_(soundingFrames) {}
  SourceKind kind() const override { return SourceKind::Midi; }
  int sampleRate() const override { return 1000; }
  int64_t length() const override { return 0; }
  int64_t positionAt(int64_t) const override { return 0; }
  int64_t framesUntil(int64_t) const override { return 0; }
  MediaError seek(int64_t) override { return {}; }
  void render(float* out, int frames) override {
    for (int i = 0; i < frames; ++i, ++head_) out[2 * i] = out[2 * i + 1] = head_ < sounding_ ? 0.5f : 0.0f;
  }
  bool finished() const override { return true; }

 private:
  int64_t sounding_;
  int64_t head_ = 0;
};

// The ring-out after a song's end: what still sounds, for at most a second
// (1000 frames at this rate), ending with the first silent block.
TEST(RingOut, LastsAtMostASecondAndEndsAtTheFirstSilentBlock) {
  struct Case {
    int64_t sounding;
    int64_t heard;
  } cases[] = {{5000, 1000}, {250, 300}, {0, 0}, {1000, 1000}};
  for (const Case& c : cases) {
    FadingSource source(c.sounding);
    RingOut ring;
    ring.start(1000);
    float block[2 * 100];
    int64_t heard = 0;
    for (int n; (n = ring.render(source, block, 100)) > 0;) heard += n;
    EXPECT_EQ(heard, c.heard) << c.sounding;
    EXPECT_TRUE(ring.done());
  }
}

}  // namespace
}  // namespace melvar::audio
