// libFuzzer target for the song sources: the input's first byte picks the
// kind the rest is offered as (.mid, .mp3 or .wav); the rest is written to a
// file and opened through the same factory the player uses. An opened song
// renders about two seconds: a second from the start, a jump to the middle
// and, for MIDI, a tempo change, half a second each. Any bytes must give a
// song or an error; positions stay inside the song.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "open_song_source.h"
#include "streamed_source.h"
#include "fuzz/fuzz_check.h"

using melvar::fuzz::Check;
using namespace melvar::audio;

namespace {

constexpr int kRate = 22050;
constexpr int kBlock = 1024;

std::string Folder() {
  if (access("/dev/shm", W_OK) == 0) return "/dev/shm";
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

void Render(SongSource& song, int frames) {
  static std::vector<float> buf(2 * kBlock);
  auto* streamed = dynamic_cast<StreamedSource*>(&song);
  for (int done = 0; done < frames; done += kBlock) {
    if (streamed) streamed->waitReady(kBlock);
    song.render(buf.data(), kBlock);
    const int64_t pos = song.positionAt(0);
    Check(pos >= 0 && pos <= song.length());
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The small General MIDI font loads in a fraction of the time of the big one.
  if (const char* f = std::getenv("MELVAR_SOUNDFONT"); (!f || !*f) && access("/usr/share/sounds/sf2/TimGM6mb.sf2", R_OK) == 0)
    setenv("MELVAR_SOUNDFONT", "/usr/share/sounds/sf2/TimGM6mb.sf2", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const char* const kExt[] = {".mid", ".mp3", ".wav"};
  const std::string path = Folder() + "/melvar-fuzz-song-" + std::to_string(getpid()) + kExt[data[0] % 3];
  std::FILE* f = std::fopen(path.c_str(), "wb");
  Check(f != nullptr);
  Check(std::fwrite(data + 1, 1, size - 1, f) == size - 1 || size == 1);
  std::fclose(f);

  std::unique_ptr<SongSource> song;
  const MediaError e = OpenSongSource(path, kRate, &song);
  unlink(path.c_str());
  if (!e.ok()) {
    Check(!e.text.empty() && !song);
    return 0;
  }
  Check(song && song->length() >= 0 && song->sampleRate() == kRate);
  Render(*song, kRate);
  Check(song->seek(song->length() / 2).ok());
  Render(*song, kRate / 2);
  if (song->kind() == SourceKind::Midi) {
    Check(song->setTempo(1 + data[0] * 1000 / 256).ok());  // 1 .. 997 beats per minute
    Render(*song, kRate / 2);
  }
  return 0;
}
