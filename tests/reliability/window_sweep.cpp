// melvar-sweep: real songs through the real window and the real media
// device, headless (offscreen Qt, SDL's dummy output).
//
//   melvar-sweep sweep [--timeout S] FOLDER...
//     Every song of each folder: start it from the list, jump forward to
//     near its end, jump back, click a lyric line where it has lyrics, let
//     it reach its end and check that the next song starts (or that it was
//     refused with a message), then "Stop". Each folder's window is closed
//     at the end.
//   melvar-sweep soak [--starts N] [--seed S] FOLDER...
//     N song starts (default 500) in one window over the songs of all the
//     folders, mixing list clicks, forward and backward jumps, tempo
//     changes, lyric-line clicks, "Stop" and songs played to their end, in
//     an order drawn from the seed (printed; give it again to replay).
//
// Stuck voices: after every seek the device's synthesiser must hold no
// voice, and after every "Stop" and after the window closes none may be
// heard. Both print one summary line
//   ROW name|runs|crashes|hangs|stuck|memgrowth|findings|seconds
// and exit 1 when anything was found. A crash prints its ROW line from the
// signal handler; an event loop frozen for longer than the watchdog's limit
// prints it and ends the process.
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <unistd.h>

#include "app/tform1.h"
#include "platform/device/media_device.h"
#include "platform/widgets/song_list.h"

namespace {

using melvar::app::TForm1;
using melvar::device::MediaDevice;
using melvar::device::PlayerDevice;

// --- The summary, also reachable from the crash handler. -----------------

char g_name[16] = "sweep";
std::atomic<long> g_runs{0}, g_hangs{0}, g_stuck{0}, g_findings{0};
std::atomic<int64_t> g_heartbeat{0};
std::chrono::steady_clock::time_point g_begin;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void PrintRow(int crashes, int hangs, const char* memory) {
  char line[256];
  const long secs = static_cast<long>(
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - g_begin).count());
  const int n = std::snprintf(line, sizeof line, "ROW %s|%ld|%d|%ld|%ld|%s|%ld|%ld\n", g_name, g_runs.load(),
                              crashes, g_hangs.load() + hangs, g_stuck.load(), memory, g_findings.load(), secs);
  if (n > 0) (void)!write(STDOUT_FILENO, line, static_cast<size_t>(n));
}

void OnCrash(int sig) {
  PrintRow(1, 0, "-");
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

// Ends the process when the event loop has not come round for `limitMs`:
// a frozen window.
void StartWatchdog(int64_t limitMs) {
  std::thread([limitMs] {
    for (;;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      if (NowMs() - g_heartbeat.load() > limitMs) {
        std::fprintf(stderr, "the event loop has been frozen for %lld ms\n", static_cast<long long>(limitMs));
        PrintRow(0, 1, "-");
        _exit(3);
      }
    }
  }).detach();
}

double RssMb() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// --- The device the window gets: the real one, watched. ------------------

// Forwards every call to the real device and checks, after each seek, that
// the synthesiser holds no voice (the jump cut every note) and, after each
// stop, that no voice is heard.
class WatchedDevice : public PlayerDevice {
 public:
  explicit WatchedDevice(MediaDevice& real) : real_(real) {
    connect(&real_, &PlayerDevice::notify, this, [this](int v) {
      if (v == Successful) ++ends;
      emit notify(v);
    });
  }
  long opens = 0, ends = 0;
  std::string what;  // the song, for the log

  int preload() override { return real_.preload(); }
  int open(const std::string& path) override {
    ++opens;
    what = path.substr(path.rfind('/') + 1);
    return real_.open(path);
  }
  int close() override { return real_.close(); }
  int play() override { return real_.play(); }
  int stop() override {
    const int rc = real_.stop();
    if (const int v = real_.voices(true)) stuck("after Stop", v);
    return rc;
  }
  int pause() override { return real_.pause(); }
  // A seek the device refuses leaves the song as it was; the window should
  // never ask for one.
  int seek(int64_t target) override {
    const int64_t from = real_.position();
    const int rc = real_.seek(target);
    const std::string jump = "seek from " + std::to_string(from) + " to " + std::to_string(target) + " of " +
                             std::to_string(real_.length());
    if (rc != 0) {
      ++g_findings;
      std::printf("  REFUSED %s: %s (%s)\n", jump.c_str(), real_.errorText(rc).c_str(), what.c_str());
    } else if (const int v = real_.voices(false)) {
      stuck(("after a " + jump).c_str(), v);
    }
    return rc;
  }
  int64_t length() override { return real_.length(); }
  int64_t position() override { return real_.position(); }
  int64_t msUntil(int64_t target) override { return real_.msUntil(target); }
  Mode mode() override { return real_.mode(); }
  int songBpm() override { return real_.songBpm(); }
  int lastError() const override { return real_.lastError(); }
  std::string errorText(int code) const override { return real_.errorText(code); }
  int sendString(const std::string& command) override { return real_.sendString(command); }

  void stuck(const char* when, int voices) {
    ++g_stuck;
    std::printf("  STUCK %s: %d voices (%s)\n", when, voices, what.c_str());
  }

 private:
  MediaDevice& real_;
};

// --- Driving the window. --------------------------------------------------

void Pump() {
  g_heartbeat = NowMs();
  QApplication::processEvents(QEventLoop::AllEvents, 5);
  g_heartbeat = NowMs();
}

// Runs the event loop until `done` holds or `ms` have passed.
bool WaitFor(const std::function<bool()>& done, int64_t ms) {
  const int64_t end = NowMs() + ms;
  for (;;) {
    Pump();
    if (done()) return true;
    if (NowMs() > end) return false;
    QThread::msleep(2);
  }
}

// Runs one handler; one that keeps the window busy for seconds counts as a hang.
constexpr int64_t kHandlerLimitMs = 5000;
void Handle(const char* what, const std::function<void()>& handler) {
  const int64_t t0 = NowMs();
  handler();
  g_heartbeat = NowMs();
  if (NowMs() - t0 > kHandlerLimitMs) {
    ++g_hangs;
    std::printf("  HANG %s took %lld ms\n", what, static_cast<long long>(NowMs() - t0));
  }
}

struct Window {
  Window(WatchedDevice& device, const QString& folder) : device(device) {
    form = std::make_unique<TForm1>(device, QStringList{folder},
                                    TForm1::Setup{{}, [this](const QString&, const QString& text, bool) {
                                                    messages << text;
                                                  }});
    form->show();
    Pump();
  }
  // Closes the window as "Finaliza" does; nothing may be heard after it,
  // and the temporary copy goes with the window.
  void closeAndCheck(MediaDevice& real) {
    const QString copy = form->Song.TempSongPath;
    Handle("closing the window", [&] { form->FinalizaClick(); });
    WaitFor([] { return false; }, 50);
    if (const int v = real.voices(true)) device.stuck("after the window closed", v);
    form.reset();
    if (!copy.isEmpty() && QFileInfo(copy).exists()) {
      ++g_findings;
      std::printf("  the temporary copy %s stays after the window is gone\n", qPrintable(copy));
    }
  }
  void click(int row) {
    form->Midis->selectIndex(row);
    Handle("a list click", [&] { form->MidisClick(); });
  }
  bool playing() { return device.isPlaying(); }
  int64_t position() { return device.position(); }
  int64_t length() { return device.length(); }

  WatchedDevice& device;
  std::unique_ptr<TForm1> form;
  QStringList messages;
};

// Jumps forward until the song's end has been reached (a play ended
// Successfully) or the time runs out. The jump from the last tenth goes to
// the very end; the song is then given time to get there.
bool PlayToEnd(Window& w, int64_t ms) {
  const long endsBefore = w.device.ends;
  auto ended = [&] { return w.device.ends != endsBefore; };
  const int64_t end = NowMs() + ms;
  while (!ended()) {
    const int64_t left = end - NowMs();
    if (left <= 0) return false;
    if (w.playing() && w.position() > w.length() / 100) {
      const bool last = w.position() >= w.length() * 9 / 10;
      Handle("forward", [&] { w.form->BitBtn2Click(); });
      if (last) WaitFor(ended, std::min<int64_t>(left, 5000));
    } else if (!WaitFor(ended, 20) && !w.playing()) {
      // Stopped without an end: nothing more will come.
      return WaitFor(ended, 300);
    }
  }
  return true;
}

// --- The sweep. -----------------------------------------------------------

int Sweep(MediaDevice& real, const QStringList& folders, int64_t timeoutMs) {
  WatchedDevice device(real);
  long ended = 0, refused = 0;
  // Each folder and the folders below it that hold songs, one window each.
  QStringList all;
  for (const QString& top : folders) {
    all << top;
    QDirIterator it(top, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    QStringList below;
    while (it.hasNext()) below << it.next();
    below.sort();
    all << below;
  }
  for (const QString& folder : all) {
    if (QDir(folder).entryList({"*.mid", "*.kar", "*.mp3", "*.wav", "*.MID", "*.KAR", "*.MP3", "*.WAV"}, QDir::Files).isEmpty())
      continue;
    std::printf("%s\n", qPrintable(folder));
    Window w(device, folder);
    const int count = w.form->Midis->count();
    for (int i = 0; i < count; ++i) {
      ++g_runs;
      w.messages.clear();
      w.form->Midis->selectIndex(i);
      const QString song = w.form->Midis->selectedFilePath();
      const std::string name = QFileInfo(song).fileName().toStdString();
      const int64_t deadline = NowMs() + timeoutMs;
      auto left = [&] { return std::max<int64_t>(0, deadline - NowMs()); };
      w.click(i);
      WaitFor([] { return false; }, 20);
      if (!w.playing() && w.form->Song.SongPath == song) {
        if (w.messages.isEmpty()) {
          ++g_findings;
          std::printf("  %-50s neither plays nor says why\n", name.c_str());
        } else {
          ++refused;
          std::printf("  %-50s refused: %s\n", name.c_str(), qPrintable(w.messages.join(" / ")));
        }
        continue;
      }
      const bool wav = w.form->Song.SongExt.compare(".wav", Qt::CaseInsensitive) == 0;
      const long endsBefore = device.ends;
      bool ok = WaitFor([&] { return !w.playing() || w.position() > w.length() / 100 + 1; }, left());
      // Forward to near the end, back once, a lyric line, then the end.
      while (ok && w.playing() && w.position() < w.length() * 9 / 10 && left() > 0) {
        Handle("forward", [&] { w.form->BitBtn2Click(); });
        WaitFor([] { return false; }, 10);
      }
      if (ok && w.playing()) Handle("backward", [&] { w.form->BitBtn1Click(); });
      if (ok && w.playing() && w.form->Lyric.HasLyrics) {
        WaitFor([&] { return w.position() > w.length() / 200 + 1; }, left());
        const int y = w.form->Letra->height() / 3;
        Handle("a lyric line", [&] { w.form->LetraMouseUp(y); });
      }
      ok = ok && (device.ends != endsBefore || PlayToEnd(w, left()));
      // The next song starts (or is refused with a message); a WAV song stays.
      const bool next = ok && (wav || WaitFor([&] { return w.playing() || !w.messages.isEmpty(); }, 2000));
      if (!ok) {
        ++g_hangs;
        std::printf("  %-50s HANG: no end within %lld s\n", name.c_str(),
                    static_cast<long long>(timeoutMs / 1000));
      } else if (!next) {
        ++g_findings;
        std::printf("  %-50s ended, but the next song did not start\n", name.c_str());
      } else {
        ++ended;
        std::printf("  %-50s ended%s\n", name.c_str(),
                    wav ? "" : qPrintable(", next: " + QFileInfo(w.form->Song.SongPath).fileName()));
      }
      // "Stop", except after the last song: its window closes on the next song.
      if (i + 1 < count) Handle("Stop", [&] { w.form->Button1Click(); });
    }
    w.closeAndCheck(real);
  }
  std::printf("%ld songs: %ld ended, %ld refused with a message\n", g_runs.load(), ended, refused);
  PrintRow(0, 0, "-");
  return g_hangs || g_stuck || g_findings ? 1 : 0;
}

// --- The soak. ------------------------------------------------------------

// One flat folder of links to every song of the folders, so one window's
// list holds them all.
QStringList LinkSongs(const QStringList& folders, const QString& into) {
  QStringList names;
  int n = 0;
  for (const QString& folder : folders) {
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
      const QString path = it.next();
      const QString ext = QFileInfo(path).suffix().toLower();
      if (ext != "mid" && ext != "kar" && ext != "mp3" && ext != "wav") continue;
      const QString name = QString("%1_%2").arg(n++, 3, 10, QChar('0')).arg(QFileInfo(path).fileName());
      if (QFile::link(QFileInfo(path).absoluteFilePath(), into + "/" + name)) names << name;
    }
  }
  return names;
}

int Soak(MediaDevice& real, const QStringList& folders, long starts, unsigned seed) {
  std::strcpy(g_name, "soak");
  std::printf("seed %u (replay: melvar-sweep soak --starts %ld --seed %u ...)\n", seed, starts, seed);
  std::mt19937 rng(seed);
  QTemporaryDir links;
  if (LinkSongs(folders, links.path()).isEmpty()) {
    std::printf("no songs in %s\n", qPrintable(folders.join(", ")));
    ++g_findings;
    PrintRow(0, 0, "-");
    return 1;
  }
  WatchedDevice device(real);
  Window w(device, links.path());
  const int count = w.form->Midis->count();
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };

  // Memory is measured from the moment every song has been started once
  // (the SoundFont, the decoders and Qt's caches are loaded by then); those
  // first starts are not counted.
  for (int row = 0; row < count; ++row) w.click(row);
  Handle("Stop", [&] { w.form->Button1Click(); });
  WaitFor([] { return false; }, 100);
  device.opens = 0;
  const double rssStart = RssMb();
  long actions = 0;
  while (device.opens < starts) {
    g_runs = device.opens;
    ++actions;
    const int roll = pick(100);
    TForm1& f = *w.form;
    if (roll < 40 || !w.playing()) {
      const int row = pick(count);
      w.click(row);
    } else if (roll < 55) {
      Handle("forward", [&] { f.BitBtn2Click(); });
    } else if (roll < 65) {
      Handle("backward", [&] { f.BitBtn1Click(); });
    } else if (roll < 75) {
      f.ScrollTempo->setValue(f.ScrollTempo->minimum() + pick(f.ScrollTempo->maximum() - f.ScrollTempo->minimum() + 1));
    } else if (roll < 85) {
      // Only a lyric panel on show takes clicks.
      if (!f.Letra->isVisible()) continue;
      const int y = pick(std::max(1, f.Letra->height()));
      Handle("a lyric line", [&] { f.LetraMouseUp(y); });
    } else if (roll < 95) {
      Handle("Stop", [&] { f.Button1Click(); });
    } else if (!PlayToEnd(w, 30000)) {
      ++g_hangs;
      std::printf("  HANG: %s did not reach its end within 30 s\n", device.what.c_str());
    }
    // The user's pause between two clicks: none up to a fifth of a second.
    WaitFor([] { return false; }, pick(200));
  }
  g_runs = device.opens;
  Handle("Stop", [&] { w.form->Button1Click(); });
  w.closeAndCheck(real);
  WaitFor([] { return false; }, 200);
  const double rssEnd = RssMb();
  const double growth = rssEnd - rssStart;
  std::printf("%ld song starts, %ld actions; memory (RSS) %.1f MB at the start, %.1f MB at the end\n",
              device.opens, actions, rssStart, rssEnd);
  // In a sanitizer build freed memory waits in quarantine and shadow memory
  // grows with the heap, so the growth is printed but not judged there.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  constexpr bool kJudgeGrowth = true;
#else
  constexpr bool kJudgeGrowth = false;
#endif
  if (kJudgeGrowth && growth >= 5.0) {
    ++g_findings;
    std::printf("  memory grew by %.1f MB\n", growth);
  }
  char memory[32];
  std::snprintf(memory, sizeof memory, "%+.1f MB", growth);
  PrintRow(0, 0, memory);
  return g_hangs || g_stuck || g_findings ? 1 : 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: melvar-sweep sweep [--timeout SECONDS] FOLDER...\n"
               "       melvar-sweep soak [--starts N] [--seed S] FOLDER...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  g_begin = std::chrono::steady_clock::now();
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  // The user's settings and temporary folder stay untouched.
  QTemporaryDir home;
  if (!home.isValid()) return 2;
  setenv("XDG_CONFIG_HOME", qPrintable(home.path()), 1);
  setenv("TEMP", qPrintable(home.path()), 1);
  for (int sig : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL}) std::signal(sig, OnCrash);
  setvbuf(stdout, nullptr, _IOLBF, 0);

  if (argc < 2) return Usage();
  const std::string mode = argv[1];
  if (mode != "sweep" && mode != "soak") return Usage();
  std::strcpy(g_name, mode.c_str());
  long starts = 500;
  int64_t timeoutMs = 60000;
  unsigned seed = std::random_device{}();
  QStringList folders;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 < argc && a == "--starts") starts = std::atol(argv[++i]);
    else if (i + 1 < argc && a == "--seed") seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
    else if (i + 1 < argc && a == "--timeout") timeoutMs = std::atol(argv[++i]) * 1000;
    else if (a.rfind("--", 0) == 0) return Usage();
    else if (QFileInfo(QString::fromLocal8Bit(argv[i])).isDir()) folders << QString::fromLocal8Bit(argv[i]);
    else std::printf("skipped (not a folder): %s\n", argv[i]);
  }
  if (folders.isEmpty()) {
    std::printf("nothing to play\n");
    return 0;
  }

  QApplication app(argc, argv);
  g_heartbeat = NowMs();
  StartWatchdog(std::max<int64_t>(timeoutMs, 30000));
  MediaDevice real;
  return mode == "sweep" ? Sweep(real, folders, timeoutMs) : Soak(real, folders, starts, seed);
}
