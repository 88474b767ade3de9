// Lists a folder of 30,000 songs with the song list and prints how long it
// takes (target: at most 0.3 s per listing).
//   melvar-bench-list [COUNT]
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "platform/widgets/song_list.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30000;

  QTemporaryDir dir;
  if (!dir.isValid()) {
    std::fprintf(stderr, "cannot create a temporary folder\n");
    return 1;
  }
  // Empty songs with mixed-case names and extensions, and one more file per
  // ten songs that the mask leaves out.
  const char* exts[] = {".mid", ".KAR", ".Mp3", ".wav", ".MID", ".txt"};
  std::mt19937 rng(42);
  const QByteArray folder = dir.path().toLocal8Bit();
  int songs = 0;
  const int files = count + count / 10;
  for (int i = 0; i < files; ++i) {
    std::string name = "Song number " + std::to_string(i);
    for (char& ch : name) {
      if (rng() % 2) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    }
    const bool other = i >= count;
    name += other ? exts[5] : exts[i % 5];
    if (!other) ++songs;
    const std::string path = std::string(folder.constData()) + "/" + name;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) {
      std::perror(path.c_str());
      return 1;
    }
    ::close(fd);
  }

  melvar::widgets::SongList list;
  list.resize(247, 145);
  list.show();
  std::vector<double> times;
  for (int run = 0; run < 5; ++run) {
    QElapsedTimer timer;
    timer.start();
    if (run == 0) {
      QString error;
      if (!list.moveTo(dir.path(), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
      }
    } else {
      list.reread();
    }
    app.processEvents();  // the first layout of the view
    times.push_back(timer.nsecsElapsed() / 1e9);
  }
  QElapsedTimer scan;
  scan.start();
  const QStringList names =
      melvar::widgets::SongList::ListFolder(dir.path(), list.mask().split(QLatin1Char(';')));
  const double scanSeconds = scan.nsecsElapsed() / 1e9;

  const double first = times.front();
  std::sort(times.begin(), times.end());
  std::printf("files in folder      : %d (%d songs)\n", files, songs);
  std::printf("items listed         : %d\n", static_cast<int>(list.count()));
  std::printf("folder scan only     : %.4f s\n", scanSeconds);
  std::printf("listing, first       : %.4f s (moveTo into the folder)\n", first);
  std::printf("listing, best/median : %.4f s / %.4f s over %zu runs\n", times.front(),
              times[times.size() / 2], times.size());
  std::printf("listing, worst       : %.4f s (target <= 0.300 s: %s)\n", times.back(),
              times.back() <= 0.3 ? "met" : "NOT met");
  return list.count() == songs && names.size() == songs ? 0 : 2;
}
