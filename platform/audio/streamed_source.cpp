#include "streamed_source.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace melvar::audio {
namespace {

// Frames of output kept decoded ahead of the render head (~0.7 s at 48 kHz).
constexpr int64_t kRingFrames = 1 << 15;
// Decoded after open and after a seek before returning, so a play that
// follows at once does not start with an underrun.
constexpr int64_t kPrefillFrames = 8192;
// How often an idle feeder looks for free space in the ring. The audio
// callback never signals (that could block it), so the feeder polls.
constexpr auto kFeederPoll = std::chrono::milliseconds(4);

}  // namespace

StreamedSource::StreamedSource(SourceKind kind, std::unique_ptr<PcmDecoder> decoder, int outRate)
    : kind_(kind), decoder_(std::move(decoder)), outRate_(outRate), ring_(kRingFrames) {}

StreamedSource::~StreamedSource() {
  {
    std::lock_guard<std::mutex> lock(wakeMutex_);
    stop_.store(true);
  }
  wakeFeeder_.notify_all();
  if (feeder_.joinable()) feeder_.join();
  if (soxr_) soxr_delete(soxr_);
}

MediaError StreamedSource::Launch(SourceKind kind, std::unique_ptr<PcmDecoder> decoder, int outRate,
                                  std::unique_ptr<SongSource>* out) {
  std::unique_ptr<StreamedSource> source(new StreamedSource(kind, std::move(decoder), outRate));
  if (MediaError e = source->start(); !e.ok()) return e;
  *out = std::move(source);
  return {};
}

MediaError StreamedSource::start() {
  const int inRate = decoder_->rate();
  const int64_t inFrames = decoder_->frames();
  if (inRate <= 0 || outRate_ <= 0) return {kErrBadFile, "The file has no valid sample rate"};
  lengthMs_ = inFrames * 1000 / inRate;
  const int chunk = decoder_->maxRead();
  inBuf_.assign(static_cast<size_t>(chunk) * 2, 0.0f);
  if (inRate != outRate_) {
    soxr_error_t err = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t q = soxr_quality_spec(SOXR_HQ, 0);
    soxr_ = soxr_create(inRate, outRate_, 2, &err, &io, &q, nullptr);
    if (!soxr_ || err) return {kErrInternal, std::string("The resampler cannot start: ") + (err ? err : "unknown")};
    outFrames_ = static_cast<int64_t>(std::llround(static_cast<double>(inFrames) * outRate_ / inRate));
    outBufFrames_ = static_cast<int>(std::ceil(static_cast<double>(chunk) * outRate_ / inRate)) + 64;
  } else {
    outFrames_ = inFrames;
    outBufFrames_ = chunk;
  }
  outBuf_.assign(static_cast<size_t>(outBufFrames_) * 2, 0.0f);
  prefill(kPrefillFrames);
  feeder_ = std::thread([this] { feederLoop(); });
  return {};
}

// One unit of decoding: reads a chunk from the file (or the resampler's
// tail at the end) and writes the output to the ring. Only runs when the ring
// has room for the largest possible output of one step, so it never waits
// while holding decodeMutex_ (a seek under the device's audio lock takes it).
bool StreamedSource::fillStep() {
  std::lock_guard<std::mutex> lock(decodeMutex_);
  if (eof_.load(std::memory_order_relaxed)) return false;
  if (ring_.writable() < outBufFrames_) return false;
  if (pendingCount_ == 0 && !decoderDone_) {
    const int64_t n = decoder_->readStereo(inBuf_.data(), decoder_->maxRead());
    // A decoding error ends the song where the readable part ends.
    if (n <= 0) decoderDone_ = true;
    pendingOffset_ = 0;
    pendingCount_ = n > 0 ? n : 0;
  }
  if (soxr_) {
    size_t idone = 0, odone = 0;
    if (pendingCount_ > 0) {
      soxr_process(soxr_, inBuf_.data() + pendingOffset_ * 2, static_cast<size_t>(pendingCount_), &idone,
                   outBuf_.data(), static_cast<size_t>(outBufFrames_), &odone);
      pendingOffset_ += static_cast<int64_t>(idone);
      pendingCount_ -= static_cast<int64_t>(idone);
    } else {
      // Flush the filter's tail; an empty answer means it is drained.
      soxr_process(soxr_, nullptr, 0, nullptr, outBuf_.data(), static_cast<size_t>(outBufFrames_), &odone);
      if (odone == 0) eof_.store(true, std::memory_order_release);
    }
    ring_.write(outBuf_.data(), static_cast<int64_t>(odone));
  } else {
    if (pendingCount_ > 0) {
      ring_.write(inBuf_.data() + pendingOffset_ * 2, pendingCount_);
      pendingCount_ = 0;
    }
    if (decoderDone_) eof_.store(true, std::memory_order_release);
  }
  return true;
}

void StreamedSource::prefill(int64_t frames) {
  while (ring_.readable() < frames && fillStep()) {
  }
}

void StreamedSource::feederLoop() {
  while (!stop_.load()) {
    bool worked = false;
    while (!stop_.load() && fillStep()) {
      worked = true;
      dataReady_.notify_all();
    }
    if (worked) dataReady_.notify_all();
    std::unique_lock<std::mutex> lock(wakeMutex_);
    if (stop_.load()) break;
    wakeFeeder_.wait_for(lock, kFeederPoll);
  }
}

int StreamedSource::waitReady(int frames) {
  const int64_t want = std::min<int64_t>(frames, ring_.capacity() - outBufFrames_);
  while (ring_.readable() < want && !eof_.load(std::memory_order_acquire)) {
    wakeFeeder_.notify_one();
    std::unique_lock<std::mutex> lock(wakeMutex_);
    dataReady_.wait_for(lock, std::chrono::milliseconds(2));
  }
  return static_cast<int>(std::min<int64_t>(ring_.readable(), want));
}

void StreamedSource::render(float* out, int frames) {
  const int64_t got = ring_.read(out, frames);
  if (got < frames) std::memset(out + got * 2, 0, static_cast<size_t>(frames - got) * 2 * sizeof(float));
  head_.store(head_.load(std::memory_order_relaxed) + got, std::memory_order_release);
}

bool StreamedSource::finished() const {
  return eof_.load(std::memory_order_acquire) && ring_.readable() == 0;
}

int64_t StreamedSource::positionAt(int64_t framesBehind) const {
  int64_t frame = head_.load(std::memory_order_acquire) - std::max<int64_t>(framesBehind, 0);
  if (frame <= 0) return 0;
  // Once the whole song has been rendered the position is its length, even if
  // the resampler delivered a frame more or less than the nominal count.
  if (finished() && framesBehind <= 0) return lengthMs_;
  const int64_t ms = frame * 1000 / outRate_;
  return std::min(ms, lengthMs_);
}

int64_t StreamedSource::framesUntil(int64_t targetMs) const {
  const int64_t frame = (std::max<int64_t>(targetMs, 0) * outRate_ + 999) / 1000;
  return frame - head_.load(std::memory_order_acquire);
}

MediaError StreamedSource::seek(int64_t targetMs) {
  const int64_t target = std::clamp<int64_t>(targetMs, 0, lengthMs_);
  const int inRate = decoder_->rate();
  // The frame that starts at target ms; rounding up keeps position() == target.
  int64_t inFrame = (target * inRate + 999) / 1000;
  inFrame = std::min(inFrame, decoder_->frames());
  {
    std::lock_guard<std::mutex> lock(decodeMutex_);
    if (!decoder_->seekFrame(inFrame)) return {kErrInternal, "The decoder cannot seek in this file"};
    if (soxr_) soxr_clear(soxr_);
    pendingOffset_ = pendingCount_ = 0;
    decoderDone_ = false;
    eof_.store(false, std::memory_order_release);
    ring_.reset();
    head_.store(inRate == outRate_ ? inFrame : (inFrame * outRate_ + inRate - 1) / inRate,
                std::memory_order_release);
  }
  prefill(kPrefillFrames);
  wakeFeeder_.notify_one();
  return {};
}

}  // namespace melvar::audio
