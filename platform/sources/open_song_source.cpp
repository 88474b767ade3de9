#include "open_song_source.h"

#include "playback/song_kind.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "midi_source.h"
#include "streamed_source.h"

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

// Parses a MIDI file straight from a read-only mapping of it, so a large
// file is never copied: its pages are read as the parser walks them and
// dropped with the mapping.
MediaError ParseMidiPath(const std::string& path, melvar::midi::MidiSong* song) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return NotFound(path);
  struct stat st{};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return NotFound(path);
  }
  const size_t size = static_cast<size_t>(st.st_size);
  if (size == 0) {
    ::close(fd);
    return melvar::midi::ParseMidiFile(nullptr, 0, song);
  }
  void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  ::close(fd);
  if (map == MAP_FAILED) return NotFound(path);
  madvise(map, size, MADV_SEQUENTIAL);
  MediaError e = melvar::midi::ParseMidiFile(static_cast<const uint8_t*>(map), size, song);
  munmap(map, size);
  return e;
}

}  // namespace

std::optional<SourceKind> SongKindOf(const std::string& path) {
  switch (playback::DeviceKindOf(path)) {
    case playback::DeviceKind::Sequencer: return SourceKind::Midi;
    case playback::DeviceKind::Mpeg: return SourceKind::Mpeg;
    case playback::DeviceKind::Wave: return SourceKind::Wave;
    case playback::DeviceKind::None: break;
  }
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
      melvar::midi::MidiSong song;
      if (MediaError e = ParseMidiPath(path, &song); !e.ok()) return e;
      return melvar::midi::OpenParsedMidiSource(std::move(song), sampleRate, out);
    }
  }
  return {kErrInternal, "Unknown kind of song"};
}

MediaError OpenSongSource(const std::string& path, int sampleRate, std::unique_ptr<SongSource>* out) {
  const std::optional<SourceKind> kind = SongKindOf(path);
  if (!kind) {
    // Named as the file spells it; the upper-cased form is only for choosing.
    const std::string ext = path.substr(path.size() - playback::FileExtension(path).size()).substr(0, 64);
    return {kErrCannotPlayType, "The file cannot be played on this device (unknown kind of file \"" + ext + "\")"};
  }
  return OpenSongSourceAs(*kind, path, sampleRate, out);
}

}  // namespace melvar::audio
