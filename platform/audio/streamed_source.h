#pragma once
// A SongSource for decoded audio files (MP3, WAV).
//
// Decoding happens on a feeder thread that fills a preallocated lock-free
// ring (StereoRing, about 0.7 s of output) ahead of the render head; render()
// only copies out of that ring, so it never reads files, allocates or locks.
// The whole file is not decoded at open because a song of a few minutes would
// need tens of megabytes of float samples; the ring keeps memory flat for any
// length. Files at another rate than the output are converted with libsoxr on
// the feeder thread.
//
// Units: milliseconds for length, positions and seek targets.
//
// Threads: render() and finished() from the audio thread; everything else
// from one controlling thread while the audio thread is not inside render()
// (the device holds its audio lock). The feeder thread is private.
#include <soxr.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "pcm_decoder.h"
#include "ring_buffer.h"
#include "song_source.h"

namespace melvar::audio {

class StreamedSource : public SongSource {
 public:
  ~StreamedSource() override;

  StreamedSource(const StreamedSource&) = delete;
  StreamedSource& operator=(const StreamedSource&) = delete;

  SourceKind kind() const override { return kind_; }
  int sampleRate() const override { return outRate_; }
  int64_t length() const override { return lengthMs_; }
  int64_t positionAt(int64_t framesBehind) const override;
  int64_t framesUntil(int64_t targetMs) const override;
  MediaError seek(int64_t targetMs) override;
  void render(float* out, int frames) override;
  bool finished() const override;

  // For offline rendering and tests (never the audio thread): blocks until
  // `frames` frames are decoded ahead of the render head or the file's end has
  // been decoded, so the next render(out, frames) gets real audio, not the
  // silence of an underrun. `frames` is capped at the ring's capacity.
  // Returns the frames ready, at most `frames`: fewer only near the end, 0
  // once everything has been rendered.
  int waitReady(int frames);

  // The file's own rate and length in frames.
  int fileRate() const { return decoder_->rate(); }
  int64_t fileFrames() const { return decoder_->frames(); }
  // Frames the song lasts at the output rate (what render() will deliver).
  int64_t outputFrames() const { return outFrames_; }

 protected:
  // Wraps a decoder that opened successfully in a started source: creates the
  // resampler, decodes the first part of the song and starts the feeder.
  // `out` is set only on success.
  static MediaError Launch(SourceKind kind, std::unique_ptr<PcmDecoder> decoder, int outRate,
                           std::unique_ptr<SongSource>* out);

 private:
  StreamedSource(SourceKind kind, std::unique_ptr<PcmDecoder> decoder, int outRate);
  MediaError start();

  bool fillStep();   // one decode step; false when nothing could be done
  void prefill(int64_t frames);
  void feederLoop();

  const SourceKind kind_;
  std::unique_ptr<PcmDecoder> decoder_;
  const int outRate_;
  int64_t lengthMs_ = 0;
  int64_t outFrames_ = 0;

  soxr_t soxr_ = nullptr;
  StereoRing ring_;

  // Feeder state, guarded by decodeMutex_.
  std::mutex decodeMutex_;
  std::vector<float> inBuf_, outBuf_;
  int outBufFrames_ = 0;
  int64_t pendingOffset_ = 0, pendingCount_ = 0;
  bool decoderDone_ = false;

  std::atomic<bool> eof_{false};        // everything up to the file's end is in the ring
  std::atomic<int64_t> head_{0};        // render head in output frames
  std::atomic<bool> stop_{false};

  std::mutex wakeMutex_;
  std::condition_variable wakeFeeder_;  // space freed (offline), seek, shutdown
  std::condition_variable dataReady_;   // the feeder wrote something
  std::thread feeder_;
};

// MP3 through libmpg123: gapless, exact length after a full scan, seeks to
// the sample.
class Mp3Source : public StreamedSource {
 public:
  static MediaError Open(const std::string& path, int sampleRate, std::unique_ptr<SongSource>* out);
};

// WAV through libsndfile: 8/16/24/32-bit integer and float PCM, plain or
// WAVE_FORMAT_EXTENSIBLE, any rate, mono or stereo.
class WavSource : public StreamedSource {
 public:
  static MediaError Open(const std::string& path, int sampleRate, std::unique_ptr<SongSource>* out);
};

}  // namespace melvar::audio
