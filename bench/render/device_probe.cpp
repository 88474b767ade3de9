// melvar-bench-device SONG [SECONDS]
//   Opens SONG on the media device, plays it for SECONDS (default 3) and
//   prints the output latency the device takes from SDL, its rate, and the
//   resident memory while playing (peak of samples taken every 100 ms).
// melvar-bench-device open SONG [WAIT_MS]
//   Starts the SoundFont preload, waits WAIT_MS (default 0), then opens
//   SONG (a large MIDI file, say) and prints how long the open took,
//   the longest the event loop went without a turn meanwhile (what a window
//   would freeze), the peak memory and the memory once it is open.
// melvar-bench-device seek SONG [COUNT]
//   Plays SONG and jumps COUNT times (default 40) to places spread over it,
//   playing a little after each, and prints how long the seek call took and
//   the longest the audio lock was held meanwhile, beside the buffer the
//   callback must fill in time.
#include <QCoreApplication>
#include <QEventLoop>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "media_device.h"

namespace {

long StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::strtol(line.c_str() + std::strlen(field), nullptr, 10);
  return -1;
}
long RssKb() { return StatusKb("VmRSS:"); }

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int OpenLarge(const char* song, int waitMs) {
  melvar::device::MediaDevice device;
  device.preload();
  if (waitMs > 0) {
    QEventLoop wait;
    QTimer::singleShot(waitMs, &wait, &QEventLoop::quit);
    wait.exec();
  }
  const long before = RssKb();
  int64_t last = NowNs(), worst = 0;
  QTimer turn;
  QObject::connect(&turn, &QTimer::timeout, [&] {
    const int64_t t = NowNs();
    worst = std::max(worst, t - last);
    last = t;
  });
  turn.start(0);
  const int64_t t0 = NowNs();
  last = t0;
  const int rc = device.open(song);
  const int64_t t1 = NowNs();
  worst = std::max(worst, t1 - last);
  turn.stop();
  if (rc != 0) {
    std::printf("open refused (%d): %s\n", rc, device.errorText(rc).c_str());
    return 1;
  }
  std::printf("open_ms %.0f\nlongest_event_loop_stall_ms %.1f\nrss_before_kb %ld\nrss_open_kb %ld\npeak_kb %ld\n"
              "length %lld\n",
              (t1 - t0) / 1e6, worst / 1e6, before, RssKb(), StatusKb("VmHWM:"),
              static_cast<long long>(device.length()));
  return 0;
}

void RunFor(int ms) {
  QEventLoop wait;
  QTimer::singleShot(ms, &wait, &QEventLoop::quit);
  wait.exec();
}

int Seeks(const char* song, int count) {
  melvar::device::MediaDevice device;
  if (int rc = device.open(song); rc != 0) {
    std::fprintf(stderr, "melvar-bench-device: %s\n", device.errorText(rc).c_str());
    return 1;
  }
  device.play();
  RunFor(300);
  const int64_t length = device.length();
  std::vector<double> seekMs;
  int64_t longestLock = 0;
  device.takeLongestLockNs();
  for (int i = 0; i < count; ++i) {
    // Back and forth over the whole song: 0, 1/2, 1/4, 3/4, ...
    const int64_t target = length * ((i * 37) % count) / (count + 1);
    const int64_t t0 = NowNs();
    device.seek(target);
    device.play();
    seekMs.push_back((NowNs() - t0) / 1e6);
    longestLock = std::max(longestLock, device.takeLongestLockNs());
    RunFor(60);
  }
  device.close();
  std::sort(seekMs.begin(), seekMs.end());
  std::printf("seek %-40s %d jumps: seek and play call median %.2f ms, max %.2f ms; audio lock held at most %.1f us; "
              "the callback's buffer lasts %.1f ms\n",
              std::strrchr(song, '/') ? std::strrchr(song, '/') + 1 : song, count, seekMs[seekMs.size() / 2],
              seekMs.back(), longestLock / 1e3, device.outputLatencyFrames() * 1000.0 / device.sampleRate());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: melvar-bench-device SONG [SECONDS] | open SONG [WAIT_MS] | seek SONG [COUNT]\n");
    return 1;
  }
  if (std::strcmp(argv[1], "open") == 0 && argc > 2) return OpenLarge(argv[2], argc > 3 ? std::atoi(argv[3]) : 0);
  if (std::strcmp(argv[1], "seek") == 0 && argc > 2) return Seeks(argv[2], argc > 3 ? std::max(1, std::atoi(argv[3])) : 40);
  const double seconds = argc > 2 ? std::atof(argv[2]) : 3.0;
  melvar::device::MediaDevice device;
  if (int rc = device.open(argv[1]); rc != 0) {
    std::fprintf(stderr, "melvar-bench-device: %s\n", device.errorText(rc).c_str());
    return 1;
  }
  const long rssOpen = RssKb();
  device.play();
  long peak = rssOpen;
  QElapsedTimer clock;
  clock.start();
  QTimer sampler;
  QObject::connect(&sampler, &QTimer::timeout, [&] {
    peak = std::max(peak, RssKb());
    if (clock.elapsed() >= seconds * 1000 || !device.isPlaying()) app.quit();
  });
  sampler.start(100);
  app.exec();
  const int64_t position = device.position();
  device.close();
  std::printf("output_latency_ms %d\nsample_rate %d\nlatency_from SDL's obtained buffer (%d frames)\n",
              device.outputLatencyMs(), device.sampleRate(), device.outputLatencyFrames());
  std::printf("rss_after_open_kb %ld\nrss_peak_playing_kb %ld\nplayed_ms %lld position %lld\n", rssOpen, peak,
              static_cast<long long>(clock.elapsed()), static_cast<long long>(position));
  return 0;
}
