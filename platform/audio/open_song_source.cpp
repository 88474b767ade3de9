#include "open_song_source.h"

#include <sys/stat.h>

#include <cstdio>
#include <vector>

#include "streamed_source.h"

#ifdef MELVAR_HAVE_MIDI
#include "midi_source.h"
#endif

namespace melvar::audio {
namespace {

MediaError NotFound(const std::string& path) {
  return {kErrFileNotFound, "The file \"" + path + "\" cannot be found or read"};
}

// A regular file that this process can open for reading.
bool ReadableFile(const std::string& path) {
  struct stat st{};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::fclose(f);
  return true;
}

MediaError ReadWhole(const std::string& path, std::vector<uint8_t>* bytes) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return NotFound(path);
  uint8_t buf[65536];
  size_t n = 0;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes->insert(bytes->end(), buf, buf + n);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) return NotFound(path);
  return {};
}

}  // namespace

std::string UpperExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot);
  for (char& c : ext)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return ext;
}

std::optional<SourceKind> SongKindOf(const std::string& path) {
  const std::string ext = UpperExtension(path);
  if (ext == ".MID" || ext == ".RMI") return SourceKind::Midi;
  if (ext == ".MP3") return SourceKind::Mpeg;
  if (ext == ".WAV") return SourceKind::Wave;
  return std::nullopt;
}

MediaError OpenSongSourceAs(SourceKind kind, const std::string& path, int sampleRate,
                            std::unique_ptr<SongSource>* out) {
  if (!ReadableFile(path)) return NotFound(path);
  switch (kind) {
    case SourceKind::Mpeg:
      return Mp3Source::Open(path, sampleRate, out);
    case SourceKind::Wave:
      return WavSource::Open(path, sampleRate, out);
    case SourceKind::Midi: {
#ifdef MELVAR_HAVE_MIDI
      std::vector<uint8_t> bytes;
      if (MediaError e = ReadWhole(path, &bytes); !e.ok()) return e;
      return melvar::midi::OpenMidiSource(std::move(bytes), sampleRate, out);
#else
      (void)ReadWhole;
      return {kErrCannotPlayType, "The file cannot be played on this device (this build has no MIDI sequencer)"};
#endif
    }
  }
  return {kErrInternal, "Unknown kind of song"};
}

MediaError OpenSongSource(const std::string& path, int sampleRate, std::unique_ptr<SongSource>* out) {
  const std::optional<SourceKind> kind = SongKindOf(path);
  if (!kind) {
    // Named as the file spells it; the upper-cased form is only for choosing.
    const std::string ext = path.substr(path.size() - UpperExtension(path).size()).substr(0, 64);
    return {kErrCannotPlayType, "The file cannot be played on this device (unknown kind of file \"" + ext + "\")"};
  }
  return OpenSongSourceAs(*kind, path, sampleRate, out);
}

}  // namespace melvar::audio
