#include "ring_out.h"

#include <algorithm>
#include <cmath>

namespace melvar::audio {
namespace {

// A block whose every sample stays below this is silence.
constexpr float kSilence = 1e-4f;

}  // namespace

int RingOut::render(SongSource& source, float* out, int frames) {
  const int n = static_cast<int>(std::min<int64_t>(frames, left_));
  if (n <= 0) return 0;
  source.render(out, n);
  float peak = 0.0f;
  for (int i = 0; i < n * 2; ++i) peak = std::max(peak, std::fabs(out[i]));
  if (peak < kSilence) {
    left_ = 0;
    return 0;
  }
  left_ -= n;
  return n;
}

}  // namespace melvar::audio
