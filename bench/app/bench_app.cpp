// Benchmarks of the whole window on the real device (SDL's silent driver by
// default): how long a click takes to get a song playing, and how closely
// the lyric highlight follows the music. Prints figures; asserts nothing.
//
//   melvar-bench-app start SONG...      time from MidisClick to playing
//   melvar-bench-app sync SONG [FACTOR] highlight error per syllable
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

#include "app/tform1.h"
#include "platform/device/media_device.h"
#include "platform/widgets/song_list.h"

using melvar::app::TForm1;

namespace {

// CPU seconds of the whole process, or of the calling thread only.
double cpuSeconds(int who = RUSAGE_SELF) {
  rusage u{};
  getrusage(who, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5));
  return v[i];
}

// Puts the song alone in a fresh folder and opens the window there.
struct Stage {
  melvar::device::MediaDevice device;
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
  }
};

int benchStart(const QStringList& songs) {
  for (const QString& path : songs) {
    Stage stage(path);
    std::vector<double> ms;
    for (int i = 0; i < 10; ++i) {
      stage.form->MediaPlayer->close();
      stage.form->Midis->selectIndex(0);
      QElapsedTimer t;
      t.start();
      stage.form->MidisClick();
      const bool playing = stage.form->MediaPlayer->isPlaying();
      ms.push_back(t.nsecsElapsed() / 1e6);
      if (!playing) {
        std::printf("%s: did not start\n", qPrintable(QFileInfo(path).fileName()));
        break;
      }
      QCoreApplication::processEvents();
    }
    std::printf("start %-45s median %7.2f ms  max %7.2f ms  (first %7.2f ms)\n",
                qPrintable(QFileInfo(path).fileName()), percentile(ms, 0.5),
                *std::max_element(ms.begin(), ms.end()), ms.front());
  }
  return 0;
}

int benchSync(const QString& path, double factor) {
  Stage stage(path);
  TForm1& form = *stage.form;
  form.Midis->selectIndex(0);
  form.MidisClick();
  if (!form.Lyric.HasLyrics) {
    std::printf("%s: no lyrics\n", qPrintable(path));
    return 1;
  }
  if (factor != 1.0) form.ScrollTempo->setValue(static_cast<int>(form.Song.DefaultBpm * factor + 0.5));

  const int count = form.Song.Timeline.SyllableCount;
  std::vector<double> due(count, -1), shown(count, -1);
  std::vector<int> order;
  QElapsedTimer clock;
  clock.start();
  // When each syllable falls due: the first moment the heard position passes
  // its time (the device's position is its rendered frames minus the output
  // latency), sampled every 2 ms.
  QTimer sampler;
  sampler.setTimerType(Qt::PreciseTimer);
  QObject::connect(&sampler, &QTimer::timeout, [&] {
    const int64_t pos = form.MediaPlayer->position();
    for (int i = 0; i < count; ++i)
      if (due[i] < 0 && form.Song.Timeline.SyllableTable[i].Time < pos) due[i] = clock.nsecsElapsed() / 1e6;
  });
  sampler.start(2);
  // When each highlight appears: the syllable just passed by the tick.
  int lastCursor = 0;
  QObject::connect(form.Letra, &QTextEdit::cursorPositionChanged, [&] {
    const int cursor = form.Lyric.SyllableCursor;
    for (int i = lastCursor; i < cursor && i < count; ++i) {
      shown[i] = clock.nsecsElapsed() / 1e6;
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
    if (!form.MediaPlayer->isPlaying() || !form.Lyric.HasLyrics) loop.quit();
  });
  watch.start(20);
  loop.exec();
  const double cpu = cpuSeconds() - cpu0;
  const double mainCpu = cpuSeconds(RUSAGE_THREAD) - main0;
  const double seconds = wall.nsecsElapsed() / 1e9;

  std::vector<double> err;
  for (int i = 0; i < count; ++i)
    if (due[i] >= 0 && shown[i] >= 0) err.push_back(shown[i] - due[i]);
  const bool inOrder = std::is_sorted(order.begin(), order.end());
  std::vector<double> abs = err;
  for (double& e : abs) e = std::fabs(e);
  std::printf("sync %-40s x%.2f  syllables %d measured %zu  median %6.1f ms  p95 %6.1f ms  max %6.1f ms  in order: %s\n",
              qPrintable(QFileInfo(path).fileName()), factor, count, err.size(), percentile(abs, 0.5),
              percentile(abs, 0.95), abs.empty() ? 0.0 : *std::max_element(abs.begin(), abs.end()),
              inOrder ? "yes" : "NO");
  const double span = std::max(seconds, 1e-9);
  std::printf("     CPU while playing over %.1f s of music: process %.1f%% of one core, UI thread %.1f%% "
              "(window and this bench's 2 ms sampler), other threads (rendering) %.1f%%; latency %d ms\n",
              seconds, 100.0 * cpu / span, 100.0 * mainCpu / span, 100.0 * (cpu - mainCpu) / span,
              stage.device.outputLatencyMs());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("SDL_AUDIODRIVER")) qputenv("SDL_AUDIODRIVER", "dummy");
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QStringList args = app.arguments();
  if (args.size() < 3) {
    std::fprintf(stderr, "usage: %s start SONG... | sync SONG [FACTOR]\n", argv[0]);
    return 2;
  }
  if (args[1] == "start") return benchStart(args.mid(2));
  if (args[1] == "sync") return benchSync(args[2], args.size() > 3 ? args[3].toDouble() : 1.0);
  return 2;
}
