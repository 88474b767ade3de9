// WAV decoding over libsndfile, which converts every PCM width (8-bit
// unsigned, 16, 24, 32-bit signed) and float to float, and reads
// WAVE_FORMAT_EXTENSIBLE headers.
#include <sndfile.h>

#include <cmath>
#include <vector>

#include "streamed_source.h"

namespace melvar::audio {
namespace {

constexpr int kChunk = 4096;

class SndfileDecoder : public PcmDecoder {
 public:
  ~SndfileDecoder() override {
    if (file_) sf_close(file_);
  }

  MediaError open(const std::string& path) {
    SF_INFO info{};
    file_ = sf_open(path.c_str(), SFM_READ, &info);
    if (!file_) return {kErrBadFile, std::string("The file is not valid wave audio: ") + sf_strerror(nullptr)};
    if (info.samplerate <= 0 || info.channels < 1 || info.frames < 0)
      return {kErrBadFile, "The file is not valid wave audio: it has no samples"};
    // MPEG data in a .wav name would be mis-sized by this library; refuse it.
    if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG)
      return {kErrBadFile, "The file is not valid wave audio: it holds MPEG data"};
    rate_ = info.samplerate;
    channels_ = info.channels;
    frames_ = info.frames;
    scratch_.assign(static_cast<size_t>(kChunk) * channels_, 0.0f);
    return {};
  }

  int rate() const override { return rate_; }
  int64_t frames() const override { return frames_; }
  int maxRead() const override { return kChunk; }

  int64_t readStereo(float* out, int frames) override {
    if (frames > kChunk) frames = kChunk;
    if (position_ >= frames_) return 0;
    if (frames > frames_ - position_) frames = static_cast<int>(frames_ - position_);
    float* target = channels_ == 2 ? out : scratch_.data();
    const sf_count_t n = sf_readf_float(file_, target, frames);
    if (n < 0) return -1;
    if (n == 0) return sf_error(file_) ? -1 : 0;
    // Float files can hold NaN and infinities: they play as silence rather
    // than as full-scale noise (which the resampler would also spread).
    for (float* v = target; v < target + n * channels_; ++v)
      if (!std::isfinite(*v)) *v = 0.0f;
    FoldToStereo(scratch_.data(), channels_, n, out);
    position_ += n;
    return n;
  }

  bool seekFrame(int64_t frame) override {
    if (sf_seek(file_, frame, SEEK_SET) < 0) return false;
    position_ = frame;
    return true;
  }

 private:
  SNDFILE* file_ = nullptr;
  int rate_ = 0;
  int channels_ = 0;
  int64_t frames_ = 0;
  int64_t position_ = 0;
  std::vector<float> scratch_;
};

}  // namespace

MediaError WavSource::Open(const std::string& path, int sampleRate, std::unique_ptr<SongSource>* out) {
  auto decoder = std::make_unique<SndfileDecoder>();
  if (MediaError e = decoder->open(path); !e.ok()) return e;
  return Launch(SourceKind::Wave, std::move(decoder), sampleRate, out);
}

}  // namespace melvar::audio
