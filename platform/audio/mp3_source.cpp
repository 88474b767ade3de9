// MP3 decoding over libmpg123. The file is scanned once at open so the length
// is exact even without a Xing/INFO header, and gapless decoding (encoder
// delay and padding removed when the LAME tag gives them) makes the length
// and every seek sample-accurate.
#include <mpg123.h>

#include <vector>

#include "streamed_source.h"

namespace melvar::audio {
namespace {

constexpr int kChunk = 2304;  // two MPEG-1 layer III frames

class Mpg123Decoder : public PcmDecoder {
 public:
  ~Mpg123Decoder() override {
    if (handle_) {
      mpg123_close(handle_);
      mpg123_delete(handle_);
    }
  }

  MediaError open(const std::string& path) {
    int err = MPG123_OK;
    handle_ = mpg123_new(nullptr, &err);
    if (!handle_) return {kErrInternal, std::string("The MPEG decoder cannot start: ") + mpg123_plain_strerror(err)};
    mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_FORCE_FLOAT | MPG123_QUIET | MPG123_GAPLESS, 0.0);
    // After a seek, decode this many frames ahead of the target so the bit
    // reservoir is whole: with small (low-bitrate or VBR) frames it reaches
    // back up to ~8 frames, and with fewer the first samples come out wrong.
    mpg123_param(handle_, MPG123_PREFRAMES, 16, 0.0);
    if (mpg123_open(handle_, path.c_str()) != MPG123_OK) return bad("cannot be opened");
    if (mpg123_scan(handle_) != MPG123_OK) return bad("cannot be scanned");
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_getformat(handle_, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 || channels < 1)
      return bad("has no MPEG audio frames");
    // Keep this one output format for the whole file (no mid-stream changes).
    mpg123_format_none(handle_);
    if (mpg123_format(handle_, rate, channels, MPG123_ENC_FLOAT_32) != MPG123_OK) return bad("has an unsupported format");
    const off_t length = mpg123_length(handle_);
    if (length <= 0) return bad("has no MPEG audio frames");
    rate_ = static_cast<int>(rate);
    channels_ = channels;
    frames_ = length;
    scratch_.assign(static_cast<size_t>(kChunk) * channels_, 0.0f);
    return {};
  }

  int rate() const override { return rate_; }
  int64_t frames() const override { return frames_; }
  int maxRead() const override { return kChunk; }

  int64_t readStereo(float* out, int frames) override {
    if (frames > kChunk) frames = kChunk;
    float* target = channels_ == 2 ? out : scratch_.data();
    const size_t wanted = static_cast<size_t>(frames) * channels_ * sizeof(float);
    size_t got = 0;
    // mpg123_read may return fewer bytes than asked near frame ends; loop
    // until the chunk is full or the stream ends.
    while (got < wanted) {
      size_t done = 0;
      const int rc = mpg123_read(handle_, reinterpret_cast<unsigned char*>(target) + got, wanted - got, &done);
      got += done;
      if (rc == MPG123_DONE) break;
      if (rc == MPG123_NEW_FORMAT || rc == MPG123_OK) {
        if (done == 0 && rc == MPG123_OK) break;
        continue;
      }
      if (got == 0) return -1;
      break;
    }
    const int64_t n = static_cast<int64_t>(got / (channels_ * sizeof(float)));
    FoldToStereo(scratch_.data(), channels_, n, out);
    return n;
  }

  bool seekFrame(int64_t frame) override { return mpg123_seek(handle_, static_cast<off_t>(frame), SEEK_SET) >= 0; }

 private:
  MediaError bad(const char* what) const {
    return {kErrBadFile, std::string("The file is not valid MPEG audio: it ") + what};
  }

  mpg123_handle* handle_ = nullptr;
  int rate_ = 0;
  int channels_ = 0;
  int64_t frames_ = 0;
  std::vector<float> scratch_;
};

}  // namespace

MediaError Mp3Source::Open(const std::string& path, int sampleRate, std::unique_ptr<SongSource>* out) {
  auto decoder = std::make_unique<Mpg123Decoder>();
  if (MediaError e = decoder->open(path); !e.ok()) return e;
  return Launch(SourceKind::Mpeg, std::move(decoder), sampleRate, out);
}

}  // namespace melvar::audio
