// Every song of the corpus either opens and renders to its end, or is
// refused with an error text: no crash, no endless render.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "audio_test_util.h"
#include "playback/song_kind.h"
#include "test_support.h"

namespace melvar::audio {
namespace {

std::vector<std::string> Files(const std::string& dir) {
  std::vector<std::string> out;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') out.push_back(dir + "/" + e->d_name);
    closedir(d);
  }
  std::sort(out.begin(), out.end());
  return out;
}

TEST(CorpusRender, EverySongRendersToItsEndOrIsRefused) {
  if (test::CorpusDir().empty()) GTEST_SKIP() << "no corpus";
  setenv("MELVAR_SOUNDFONT", "/usr/share/sounds/sf2/TimGM6mb.sf2", 0);
  const int rate = 44100;
  // The longest corpus song lasts a few minutes; a render that passes half an
  // hour has lost its end.
  const int64_t bound = int64_t{rate} * 1800;
  int rendered = 0, refused = 0;
  for (const char* folder : {"kar", "mid", "mp3", "wav"}) {
    for (const std::string& path : Files(test::CorpusDir() + "/" + folder)) {
      SCOPED_TRACE(path);
      // The player hands karaoke songs to the sequencer as MIDI copies.
      std::optional<SourceKind> kind = SongKindOf(path);
      if (!kind && playback::FileExtension(path) == ".KAR") kind = SourceKind::Midi;
      ASSERT_TRUE(kind);
      std::unique_ptr<SongSource> source;
      MediaError e = OpenSongSourceAs(*kind, path, rate, &source);
      if (!e.ok()) {
        EXPECT_FALSE(e.text.empty());
        EXPECT_FALSE(source);
        ++refused;
        continue;
      }
      ASSERT_TRUE(source);
      const std::vector<float> pcm = test::RenderAll(source.get(), bound);
      EXPECT_TRUE(source->finished()) << "no end within the bound";
      EXPECT_EQ(source->positionAt(0), source->length());
      EXPECT_TRUE(std::all_of(pcm.begin(), pcm.end(), [](float v) { return std::isfinite(v); }));
      ++rendered;
    }
  }
  std::printf("corpus: %d rendered, %d refused\n", rendered, refused);
  EXPECT_GT(rendered, 0);
}

}  // namespace
}  // namespace melvar::audio
