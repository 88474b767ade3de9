#pragma once
// A single-producer, single-consumer ring of interleaved stereo float frames.
// The producer (a decoder's feeder thread) and the consumer (the audio
// callback) each touch only their own index; neither side ever blocks,
// allocates or takes a lock. The storage is allocated once, at construction.
#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

namespace melvar::audio {

class StereoRing {
 public:
  // `capacityFrames` is rounded up to a power of two.
  explicit StereoRing(int64_t capacityFrames) {
    int64_t cap = 1;
    while (cap < capacityFrames) cap <<= 1;
    capacity_ = cap;
    mask_ = cap - 1;
    data_.assign(static_cast<size_t>(cap) * 2, 0.0f);
  }

  int64_t capacity() const { return capacity_; }

  // Frames the consumer can read now.
  int64_t readable() const {
    return write_.load(std::memory_order_acquire) - read_.load(std::memory_order_relaxed);
  }
  // Frames the producer can write now.
  int64_t writable() const {
    return capacity_ - (write_.load(std::memory_order_relaxed) - read_.load(std::memory_order_acquire));
  }

  // Producer side. Writes at most `frames` frames; returns how many it wrote.
  int64_t write(const float* in, int64_t frames) {
    const int64_t w = write_.load(std::memory_order_relaxed);
    const int64_t room = capacity_ - (w - read_.load(std::memory_order_acquire));
    const int64_t n = frames < room ? frames : room;
    copyIn(w, in, n);
    write_.store(w + n, std::memory_order_release);
    return n;
  }

  // Consumer side. Reads at most `frames` frames; returns how many it read.
  int64_t read(float* out, int64_t frames) {
    const int64_t r = read_.load(std::memory_order_relaxed);
    const int64_t have = write_.load(std::memory_order_acquire) - r;
    const int64_t n = frames < have ? frames : have;
    copyOut(r, out, n);
    read_.store(r + n, std::memory_order_release);
    return n;
  }

  // Empties the ring. Only while neither side runs (the caller guarantees it).
  void reset() {
    read_.store(0, std::memory_order_relaxed);
    write_.store(0, std::memory_order_release);
  }

 private:
  void copyIn(int64_t at, const float* in, int64_t n) {
    const int64_t start = at & mask_;
    const int64_t first = n < capacity_ - start ? n : capacity_ - start;
    std::memcpy(&data_[start * 2], in, static_cast<size_t>(first) * 2 * sizeof(float));
    if (n > first) std::memcpy(&data_[0], in + first * 2, static_cast<size_t>(n - first) * 2 * sizeof(float));
  }
  void copyOut(int64_t at, float* out, int64_t n) const {
    const int64_t start = at & mask_;
    const int64_t first = n < capacity_ - start ? n : capacity_ - start;
    std::memcpy(out, &data_[start * 2], static_cast<size_t>(first) * 2 * sizeof(float));
    if (n > first) std::memcpy(out + first * 2, &data_[0], static_cast<size_t>(n - first) * 2 * sizeof(float));
  }

  int64_t capacity_ = 0;
  int64_t mask_ = 0;
  std::vector<float> data_;
  alignas(64) std::atomic<int64_t> write_{0};
  alignas(64) std::atomic<int64_t> read_{0};
};

}  // namespace melvar::audio
