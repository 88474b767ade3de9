#pragma once
// What follows a song's end: notes still sounding may ring out for at most
// one second, and less when they fall silent first. The device and the
// offline renderer both end a song this way.
#include <cstdint>

#include "song_source.h"

namespace melvar::audio {

class RingOut {
 public:
  // The song has just finished: ring out for at most one second at `rate`.
  void start(int rate) { left_ = rate; }
  // Nothing more to ring out.
  void cancel() { left_ = 0; }
  bool done() const { return left_ <= 0; }

  // Renders up to `frames` frames of ring-out from `source` into `out` and
  // returns how many carry sound. The first block that has fallen silent, or
  // the end of the second, ends the ring-out and is not counted. Real-time
  // safe (no allocation, no lock).
  int render(SongSource& source, float* out, int frames);

 private:
  int64_t left_ = 0;
};

}  // namespace melvar::audio
