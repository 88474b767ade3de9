// Benchmarks of the whole player (window and real device, SDL's silent
// driver by default). Prints figures; asserts nothing.
//
//   melvar-bench-app first SONG WAIT_MS   a fresh window; the SoundFont
//                                         preload starts when it is shown;
//                                         WAIT_MS later a click: time to the
//                                         first sound, and the longest the
//                                         window's event loop stalled
//   melvar-bench-app start SONG...        later clicks: time to first sound
//   melvar-bench-app memory SONG SECONDS  resident memory while playing, with jumps,
//                                         after "Stop" and after close
//   melvar-bench-app sync SONG [FACTOR]   highlight against the moment each
//                                         syllable is heard; CPU while playing
//   melvar-bench-app play SONG [SECONDS]  CPU seconds of the whole player
//                                         playing the song
//
// First sound: the moment the audio callback began rendering the song's
// first frames, plus the output latency SDL reports.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sys/resource.h>
#include <vector>

#include "app/tform1.h"
#include "platform/device/media_device.h"
#include "platform/widgets/song_list.h"

using melvar::app::TForm1;
using melvar::device::MediaDevice;

namespace {

int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// CPU seconds of the whole process, or of the calling thread only.
double cpuSeconds(int who = RUSAGE_SELF) {
  rusage u{};
  getrusage(who, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long rssKb(const char* field = "VmRSS:") {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::strtol(line.c_str() + std::strlen(field), nullptr, 10);
  return -1;
}

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5));
  return v[i];
}

// Runs the event loop for `ms` milliseconds.
void runFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// Puts the song alone in a fresh folder and opens the window there; the
// SoundFont preload starts once it is shown, as the player's start-up does.
struct Stage {
  MediaDevice device;
  QTemporaryDir dir;
  QString song;
  std::unique_ptr<TForm1> form;
  explicit Stage(const QString& path) {
    song = dir.path() + "/" + QFileInfo(path).fileName();
    QFile::copy(path, song);
    form = std::make_unique<TForm1>(device, QStringList{dir.path()},
                                    TForm1::Setup{{}, [](const QString&, const QString& t, bool) {
                                                    std::fprintf(stderr, "message: %s\n", t.toLocal8Bit().constData());
                                                  }});
    form->show();
    device.preload();
  }
  // Click on the song; the time (ms) from the click to its first sound, or
  // -1 when it did not start.
  double clickToFirstSound() {
    form->Midis->selectIndex(0);
    const int64_t click = nowNs();
    form->MidisClick();
    if (!device.isPlaying()) return -1;
    QElapsedTimer guard;
    guard.start();
    while (device.firstRenderNs() == 0 && guard.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    const int64_t first = device.firstRenderNs();
    if (first == 0) return -1;
    return (first - click) / 1e6 + device.outputLatencyMs();
  }
};

// The longest gap between two turns of the event loop, watched by a timer
// that fires whenever the loop is free.
struct StallWatch {
  QTimer timer;
  int64_t last = nowNs();
  int64_t worst = 0;
  StallWatch() {
    QObject::connect(&timer, &QTimer::timeout, [this] {
      const int64_t t = nowNs();
      worst = std::max(worst, t - last);
      last = t;
    });
    timer.start(0);
  }
  double worstMs() { return worst / 1e6; }
  void reset() {
    last = nowNs();
    worst = 0;
  }
};

int benchFirst(const QString& path, int waitMs) {
  Stage stage(path);
  runFor(waitMs);
  StallWatch watch;  // from the click on: the window's own start-up is not counted
  const double ms = stage.clickToFirstSound();
  runFor(100);
  std::printf("first_click %-40s %5d ms after the window: first sound %7.1f ms, longest event-loop stall %6.1f ms\n",
              qPrintable(QFileInfo(path).fileName()), waitMs, ms, watch.worstMs());
  return ms < 0;
}

int benchStart(const QStringList& songs) {
  for (const QString& path : songs) {
    Stage stage(path);
    runFor(300);
    std::vector<double> ms;
    for (int i = 0; i < 10; ++i) {
      stage.form->MediaPlayer->close();
      const double t = stage.clickToFirstSound();
      if (t < 0) {
        std::printf("%s: did not start\n", qPrintable(QFileInfo(path).fileName()));
        break;
      }
      ms.push_back(t);
      runFor(20);
    }
    if (ms.empty()) continue;
    std::printf("click_to_sound %-40s median %7.1f ms  max %7.1f ms\n", qPrintable(QFileInfo(path).fileName()),
                percentile(ms, 0.5), *std::max_element(ms.begin(), ms.end()));
  }
  return 0;
}

int benchMemory(const QString& path, double seconds) {
  Stage stage(path);
  runFor(300);
  const long idle = rssKb();
  if (stage.clickToFirstSound() < 0) {
    std::printf("memory %s: did not start\n", qPrintable(path));
    return 1;
  }
  long peak = rssKb();
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < seconds * 1000 && stage.device.isPlaying()) {
    runFor(100);
    peak = std::max(peak, rssKb());
  }
  // Jumps make the synthesiser reset and chase the song's state again.
  long jumping = rssKb();
  for (int i = 0; i < 10 && stage.device.isPlaying(); ++i) {
    (i % 2 ? stage.form->BitBtn2 : stage.form->BitBtn1)->click();
    for (int t = 0; t < 5; ++t) {
      runFor(100);
      jumping = std::max(jumping, rssKb());
    }
  }
  stage.form->Button1->click();  // "Stop"
  runFor(300);
  const long stopped = rssKb();
  stage.device.close();
  runFor(300);
  const long closed = rssKb();
  std::printf(
      "memory %-40s window idle %6ld kB  playing (peak) %6ld kB  with jumps (peak) %6ld kB  after Stop %6ld kB  after "
      "close %6ld kB\n",
      qPrintable(QFileInfo(path).fileName()), idle, peak, jumping, stopped, closed);
  return 0;
}

int benchSync(const QString& path, double factor) {
  Stage stage(path);
  TForm1& form = *stage.form;
  runFor(300);
  form.Midis->selectIndex(0);
  form.MidisClick();
  if (!form.Lyric.HasLyrics) {
    std::printf("%s: no lyrics\n", qPrintable(path));
    return 1;
  }
  if (factor != 1.0) form.ScrollTempo->setValue(static_cast<int>(form.Song.DefaultBpm * factor + 0.5));

  const int count = form.Song.Timeline.SyllableCount;
  std::vector<int64_t> reached(count, -1);  // play frame at which the synthesiser reaches the due sixteenth
  std::vector<int64_t> shown(count, -1);
  std::vector<int> order;
  // Once the tempo has been handed over (the window's first ticks), the
  // sequencer tells for every syllable the frame at which its render head
  // passes the syllable's sixteenth (reaches the next one). Syllables due
  // before that moment are not measured.
  bool framesTaken = false;
  int64_t takenAt = 0;
  QTimer::singleShot(400, [&] {
    for (int i = 0; i < count; ++i) reached[i] = stage.device.playFrameOf(form.Song.Timeline.SyllableTable[i].Time + 1);
    framesTaken = true;
    takenAt = stage.device.playFrameOf(0) >= 0 ? nowNs() : 0;
  });
  int lastCursor = 0;
  QObject::connect(form.Letra, &QTextEdit::cursorPositionChanged, [&] {
    const int cursor = form.Lyric.SyllableCursor;
    for (int i = lastCursor; i < cursor && i < count; ++i) {
      shown[i] = nowNs();
      order.push_back(i);
    }
    lastCursor = std::max(lastCursor, cursor);
  });
  const double cpu0 = cpuSeconds(), main0 = cpuSeconds(RUSAGE_THREAD);
  QElapsedTimer wall;
  wall.start();
  // A real event loop, as the player runs it: the window's timers and the
  // device's notices wake it, nothing spins.
  QEventLoop loop;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!stage.device.isPlaying() || !form.Lyric.HasLyrics) loop.quit();
  });
  watch.start(250);
  loop.exec();
  const double cpu = cpuSeconds() - cpu0;
  const double mainCpu = cpuSeconds(RUSAGE_THREAD) - main0;
  const double seconds = wall.nsecsElapsed() / 1e9;

  // Heard: the wall time of the callback that rendered the frame, plus the
  // frame's place in its buffer, plus the output latency.
  const std::vector<MediaDevice::CallbackMark> marks = stage.device.callbackLog();
  const int rate = stage.device.sampleRate();
  const double latencyMs = 1000.0 * stage.device.outputLatencyFrames() / rate;
  auto heardNs = [&](int64_t frame) -> int64_t {
    auto it = std::upper_bound(marks.begin(), marks.end(), frame,
                               [](int64_t f, const MediaDevice::CallbackMark& m) { return f < m.frame; });
    if (it == marks.begin()) return -1;
    --it;
    return it->ns + (frame - it->frame) * 1000000000LL / rate + static_cast<int64_t>(latencyMs * 1e6);
  };
  std::vector<double> err;
  for (int i = 0; i < count; ++i) {
    if (!framesTaken || reached[i] < 0 || shown[i] < 0) continue;
    const int64_t heard = heardNs(reached[i]);
    if (heard < 0 || heard < takenAt) continue;
    err.push_back((shown[i] - heard) / 1e6);
  }
  const bool inOrder = std::is_sorted(order.begin(), order.end());
  std::vector<double> abs = err;
  for (double& e : abs) e = std::fabs(e);
  double mean = 0;
  for (double e : err) mean += e;
  if (!err.empty()) mean /= static_cast<double>(err.size());
  std::printf("sync %-36s x%.2f  syllables %d measured %zu  |error| median %5.1f ms  p95 %5.1f ms  max %5.1f ms"
              "  (mean signed %+5.1f ms)  in order: %s\n",
              qPrintable(QFileInfo(path).fileName()), factor, count, err.size(), percentile(abs, 0.5),
              percentile(abs, 0.95), abs.empty() ? 0.0 : *std::max_element(abs.begin(), abs.end()), mean,
              inOrder ? "yes" : "NO");
  const double span = std::max(seconds, 1e-9);
  std::printf("     CPU while playing over %.1f s: process %.1f%% of one core, UI thread %.1f%%, other threads "
              "(rendering) %.1f%%; output latency %.1f ms (SDL buffer)\n",
              seconds, 100.0 * cpu / span, 100.0 * mainCpu / span, 100.0 * (cpu - mainCpu) / span, latencyMs);
  return 0;
}

// Plays the song through the window for `seconds` (0: to its end) and
// prints the CPU time of the whole process, for comparison with another
// player of the same song.
int benchPlay(const QString& path, double seconds) {
  Stage stage(path);
  runFor(300);
  const double cpu0 = cpuSeconds();
  QElapsedTimer wall;
  wall.start();
  if (stage.clickToFirstSound() < 0) return 1;
  QEventLoop loop;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!stage.device.isPlaying() || (seconds > 0 && wall.elapsed() >= seconds * 1000)) loop.quit();
  });
  watch.start(250);
  loop.exec();
  std::printf("play %s cpu_seconds %.3f wall_seconds %.3f\n", qPrintable(QFileInfo(path).fileName()),
              cpuSeconds() - cpu0, wall.nsecsElapsed() / 1e9);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("SDL_AUDIODRIVER")) qputenv("SDL_AUDIODRIVER", "dummy");
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QStringList args = app.arguments();
  if (args.size() < 3) {
    std::fprintf(stderr,
                 "usage: %s first SONG WAIT_MS | start SONG... | memory SONG SECONDS | sync SONG [FACTOR] | play SONG [SECONDS]\n",
                 argv[0]);
    return 2;
  }
  if (args[1] == "first") return benchFirst(args[2], args.size() > 3 ? args[3].toInt() : 0);
  if (args[1] == "start") return benchStart(args.mid(2));
  if (args[1] == "memory") return benchMemory(args[2], args.size() > 3 ? args[3].toDouble() : 5.0);
  if (args[1] == "sync") return benchSync(args[2], args.size() > 3 ? args[3].toDouble() : 1.0);
  if (args[1] == "play") return benchPlay(args[2], args.size() > 3 ? args[3].toDouble() : 0.0);
  return 2;
}
