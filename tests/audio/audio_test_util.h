#pragma once
// Helpers shared by the audio source tests: files written with libsndfile
// into a per-test temporary folder, and offline rendering of a source.
#include <sndfile.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "open_song_source.h"
#include "streamed_source.h"

namespace melvar::test {

// A folder for this test run, removed when the process exits.
inline std::string TempDir() {
  static char dir[] = "/tmp/melvar-audio-test-XXXXXX";
  static const bool made = [] {
    if (!mkdtemp(dir)) return false;
    std::atexit([] { std::filesystem::remove_all(dir); });
    return true;
  }();
  return made ? dir : "/tmp";
}

// Writes `frames` frames of `channels` channels at `rate` in `format`;
// sample(frame, channel) gives each value in [-1, 1]. Returns "" on failure.
inline std::string WriteSound(const std::string& name, int format, int rate, int channels, int64_t frames,
                              const std::function<float(int64_t, int)>& sample) {
  const std::string path = TempDir() + "/" + name;
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) return "";
  std::vector<float> buf(static_cast<size_t>(channels) * 4096);
  for (int64_t at = 0; at < frames;) {
    const int64_t n = std::min<int64_t>(4096, frames - at);
    for (int64_t i = 0; i < n; ++i)
      for (int c = 0; c < channels; ++c) buf[i * channels + c] = sample(at + i, c);
    sf_writef_float(f, buf.data(), n);
    at += n;
  }
  sf_close(f);
  return path;
}

// Renders a source until it finishes (bounded by `maxFrames`), the way the
// offline renderer does. Returns interleaved stereo.
inline std::vector<float> RenderAll(audio::SongSource* source, int64_t maxFrames = 48000LL * 600) {
  std::vector<float> out;
  std::vector<float> block(2 * 1024);
  auto* streamed = dynamic_cast<audio::StreamedSource*>(source);
  int64_t frames = 0;
  while (!source->finished() && frames < maxFrames) {
    int n = 1024;
    if (streamed && (n = streamed->waitReady(n)) == 0) continue;
    source->render(block.data(), n);
    out.insert(out.end(), block.begin(), block.begin() + 2 * n);
    frames += n;
  }
  return out;
}

}  // namespace melvar::test
