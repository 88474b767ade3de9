#pragma once
// A file decoder that hands out interleaved stereo float frames at the file's
// own rate. Implemented over libmpg123 (MP3) and libsndfile (WAV). Used only
// by the feeder of a StreamedSource, never from the audio thread.
#include <cstdint>

namespace melvar::audio {

// Copies `n` frames of `channels`-channel audio from `in` to stereo `out`:
// mono is doubled, channels past the second are dropped. Stereo input is
// decoded straight into `out` and needs no call.
inline void FoldToStereo(const float* in, int channels, int64_t n, float* out) {
  if (channels == 1) {
    for (int64_t i = 0; i < n; ++i) out[2 * i] = out[2 * i + 1] = in[i];
  } else if (channels > 2) {
    for (int64_t i = 0; i < n; ++i) {
      out[2 * i] = in[i * channels];
      out[2 * i + 1] = in[i * channels + 1];
    }
  }
}

class PcmDecoder {
 public:
  virtual ~PcmDecoder() = default;

  virtual int rate() const = 0;          // the file's sample rate
  virtual int64_t frames() const = 0;    // exact number of frames in the file

  // Largest `frames` that readStereo accepts (its scratch space was sized at open).
  virtual int maxRead() const = 0;

  // Reads up to `frames` frames as stereo (mono doubled, further channels
  // dropped). Returns the frames read, 0 at the end, -1 on a decoding error.
  virtual int64_t readStereo(float* out, int frames) = 0;

  // Moves to `frame` (0..frames()) exactly. False when the library refuses.
  virtual bool seekFrame(int64_t frame) = 0;
};

}  // namespace melvar::audio
