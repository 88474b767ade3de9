// Every MIDI and karaoke song of the corpus either opens and plays to its end
// or is refused with a text: no crash, no hang.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "midi_source.h"
#include "test_support.h"

namespace melvar::midi {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Resident memory of this process in kB (0 when unknown).
long RssKb() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

TEST(MidiCorpusTest, EverySongPlaysToItsEndOrIsRefused) {
  const std::string corpus = test::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  const char* small = "/usr/share/sounds/sf2/TimGM6mb.sf2";
  if (std::getenv("MELVAR_SOUNDFONT") == nullptr && access(small, R_OK) == 0) setenv("MELVAR_SOUNDFONT", small, 1);
  if (FindSoundFont().empty()) GTEST_SKIP() << "no SoundFont installed";

  constexpr int kRate = 11025;
  constexpr int kBlock = 4096;
  constexpr int64_t kMaxFrames = int64_t{30} * 60 * kRate;  // 30 minutes of song
  std::vector<fs::path> files;
  for (const char* sub : {"mid", "kar"}) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(fs::path(corpus) / sub, ec)) files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty());
  std::vector<float> buf(2 * kBlock);
  long peakRss = 0;
  int played = 0;
  for (const fs::path& f : files) {
    SCOPED_TRACE(f.filename().string());
    std::unique_ptr<audio::SongSource> src;
    audio::MediaError e = OpenMidiSource(ReadAll(f), kRate, &src);
    if (!e.ok()) {
      EXPECT_FALSE(e.text.empty());
      std::printf("  refused %-50s %s\n", f.filename().c_str(), e.text.c_str());
      continue;
    }
    ASSERT_TRUE(src);
    const int64_t length = src->length();
    int64_t last = 0;
    int64_t frames = 0;
    while (!src->finished() && frames < kMaxFrames) {
      src->render(buf.data(), kBlock);
      frames += kBlock;
      const int64_t pos = src->positionAt(0);
      ASSERT_GE(pos, last);
      ASSERT_LE(pos, length);
      last = pos;
    }
    EXPECT_TRUE(src->finished());
    EXPECT_EQ(src->positionAt(0), length);
    peakRss = std::max(peakRss, RssKb());
    ++played;
    std::printf("  played  %-50s length %6lld sixteenths, %7.1f s\n", f.filename().c_str(),
                static_cast<long long>(length), double(frames) / kRate);
  }
  std::printf("  %d of %zu songs played; peak RSS while playing %ld kB\n", played, files.size(), peakRss);
}

}  // namespace
}  // namespace melvar::midi
