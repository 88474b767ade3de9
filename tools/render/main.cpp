// melvar-render SONG OUT.wav [--tempo BPM] [--seek POS] [--rate HZ] [--stats]
//
// Renders a song to a file as fast as the machine allows, through the same
// sources, decoders and resampler the player uses. Rendering runs until the
// song has finished and its last notes have rung out (at most one second,
// less when they fall silent). OUT ending in .mp3 is written as MPEG layer
// III, anything else as 16-bit WAV. Prints nothing but errors, unless
// --stats asks for the seconds of audio, the CPU seconds and their ratio.
#include <sndfile.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "playback/song_kind.h"
#include "open_song_source.h"
#include "ring_out.h"
#include "streamed_source.h"

namespace {

using melvar::audio::MediaError;
using melvar::audio::SongSource;
using melvar::audio::SourceKind;

constexpr int kBlock = 1024;
// A source that never reports its end is cut off here rather than filling the disk.
constexpr double kMaxSeconds = 4 * 3600.0;

int Fail(const std::string& text) {
  std::fprintf(stderr, "melvar-render: %s\n", text.c_str());
  return 1;
}

bool ParseInt(const char* text, long min, long max, long* out) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (errno || end == text || *end || v < min || v > max) return false;
  *out = v;
  return true;
}

double CpuSeconds(struct rusage* ru) {
  getrusage(RUSAGE_SELF, ru);
  return ru->ru_utime.tv_sec + ru->ru_utime.tv_usec / 1e6 + ru->ru_stime.tv_sec + ru->ru_stime.tv_usec / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  long tempo = 0, seek = -1, rate = 44100;
  bool stats = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](long min, long max, long* out) {
      return i + 1 < argc && ParseInt(argv[++i], min, max, out);
    };
    if (arg == "--tempo") {
      if (!value(1, 1000, &tempo)) return Fail("--tempo needs beats per minute from 1 to 1000");
    } else if (arg == "--seek") {
      if (!value(0, 0x7fffffffL, &seek)) return Fail("--seek needs a position (sixteenth notes or milliseconds)");
    } else if (arg == "--rate") {
      if (!value(8000, 192000, &rate)) return Fail("--rate needs a sample rate from 8000 to 192000");
    } else if (arg == "--stats") {
      stats = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Fail("unknown option " + arg);
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 2)
    return Fail("usage: melvar-render SONG OUT.wav [--tempo BPM] [--seek POS] [--rate HZ] [--stats]");
  const std::string& song = files[0];
  const std::string& outPath = files[1];

  // The player hands a karaoke song to the sequencer as a .mid copy; here it
  // is read in place.
  std::optional<SourceKind> kind = melvar::audio::SongKindOf(song);
  if (!kind && melvar::playback::KindOfExtension(melvar::playback::FileExtension(song)) ==
                   melvar::playback::SongKind::Karaoke)
    kind = SourceKind::Midi;
  std::unique_ptr<SongSource> source;
  MediaError e = kind ? melvar::audio::OpenSongSourceAs(*kind, song, static_cast<int>(rate), &source)
                      : melvar::audio::OpenSongSource(song, static_cast<int>(rate), &source);
  if (!e.ok()) return Fail(e.text);
  if (seek >= 0) {
    if (e = source->seek(seek); !e.ok()) return Fail(e.text);
  }
  if (tempo > 0) {
    if (e = source->setTempo(static_cast<int>(tempo)); !e.ok()) return Fail(e.text);
  }
  auto* streamed = dynamic_cast<melvar::audio::StreamedSource*>(source.get());

  const std::string ext = melvar::playback::FileExtension(outPath);
  SF_INFO info{};
  info.samplerate = static_cast<int>(rate);
  info.channels = 2;
  info.format = ext == ".MP3" ? (SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III) : (SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  SNDFILE* out = sf_open(outPath.c_str(), SFM_WRITE, &info);
  if (!out) return Fail("cannot write " + outPath + ": " + sf_strerror(nullptr));
  sf_command(out, SFC_SET_CLIPPING, nullptr, SF_TRUE);

  struct rusage ru{};
  const double cpuStart = CpuSeconds(&ru);
  std::vector<float> block(kBlock * 2);
  int64_t frames = 0;
  bool ended = false;
  melvar::audio::RingOut ringOut;
  const int64_t maxFrames = static_cast<int64_t>(kMaxSeconds * rate);
  bool writeFailed = false;
  while (frames < maxFrames) {
    if (!ended && source->finished()) {
      ended = true;
      ringOut.start(static_cast<int>(rate));
    }
    int n = kBlock;
    if (ended) {
      n = ringOut.render(*source, block.data(), n);
      if (n == 0) break;
    } else {
      if (streamed) {
        n = streamed->waitReady(n);
        if (n == 0) continue;  // the end: finished() holds now
      }
      source->render(block.data(), n);
    }
    if (sf_writef_float(out, block.data(), n) != n) {
      writeFailed = true;
      break;
    }
    frames += n;
  }
  const double cpu = CpuSeconds(&ru) - cpuStart;
  if (writeFailed) {
    std::string why = sf_strerror(out);
    sf_close(out);
    return Fail("cannot write " + outPath + ": " + why);
  }
  if (sf_close(out) != 0) return Fail("cannot finish " + outPath);
  if (frames >= maxFrames) return Fail("the song did not end within " + std::to_string(int(kMaxSeconds)) + " s");
  if (stats) {
    const double seconds = static_cast<double>(frames) / rate;
    std::printf("audio_seconds %.3f\ncpu_seconds %.3f\nratio %.1f\npeak_rss_kb %ld\n", seconds, cpu,
                cpu > 0 ? seconds / cpu : 0.0, ru.ru_maxrss);
  }
  return 0;
}
