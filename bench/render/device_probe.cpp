// melvar-bench-device SONG [SECONDS]
// Opens SONG on the media device, plays it for SECONDS (default 3) and prints
// the output latency the device reports, its rate, and the resident memory
// while playing (peak of samples taken every 100 ms).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "media_device.h"

namespace {

long RssKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: melvar-bench-device SONG [SECONDS]\n");
    return 1;
  }
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
  std::printf("output_latency_ms %d\nsample_rate %d\nbuffer_estimate two device buffers\n", device.outputLatencyMs(),
              device.sampleRate());
  std::printf("rss_after_open_kb %ld\nrss_peak_playing_kb %ld\nplayed_ms %lld position %lld\n", rssOpen, peak,
              static_cast<long long>(clock.elapsed()), static_cast<long long>(position));
  return 0;
}
