// melvar-mkdemo OUTDIR: writes the demo songs into OUTDIR (created if
// missing) and prints one line per song. Exits non-zero, writing nothing
// more, when a song fails its own checks.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "score.h"
#include "songs.h"

using namespace melvar::mkdemo;

namespace {

MkError WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) return MkError{kWrite, "cannot write " + path.string()};
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: melvar-mkdemo OUTDIR\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    std::fprintf(stderr, "melvar-mkdemo: cannot create %s: %s\n", dir.string().c_str(), ec.message().c_str());
    return 1;
  }
  // Build and check every song before writing any, so that a mistake in
  // one song never leaves a half-updated folder.
  std::vector<std::pair<SongDef, BuiltSong>> built;
  for (const SongDef& song : DemoSongs()) {
    BuiltSong b;
    if (MkError e = BuildSong(song, &b); e.failed()) {
      std::fprintf(stderr, "melvar-mkdemo: %s\n", e.text.c_str());
      return 1;
    }
    built.emplace_back(song, std::move(b));
  }
  for (const auto& [song, b] : built) {
    if (MkError e = WriteFile(dir / song.fileName, b.file); e.failed()) {
      std::fprintf(stderr, "melvar-mkdemo: %s\n", e.text.c_str());
      return 1;
    }
    std::printf("%-34s %6zu bytes  %5.1f s", song.fileName.c_str(), b.file.size(), b.seconds);
    if (b.wordsTrackEnd != 0)
      std::printf("  %3d syllables, %2zu lines, words end at byte %zu", b.syllables, b.lines.size(), b.wordsTrackEnd);
    std::printf("\n");
  }
  return 0;
}
