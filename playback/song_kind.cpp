#include "playback/song_kind.h"

#include <array>

#include "analysis/ascii.h"

namespace melvar::playback {
namespace {

constexpr std::array<const char*, 4> kSongExtensions = {".MID", ".KAR", ".MP3", ".WAV"};

}  // namespace

std::string SongExtension(const std::string& path) {
  // Step back over four UTF-8 characters (a continuation byte is 10xxxxxx).
  size_t start = path.size();
  for (int chars = 0; chars < 4 && start > 0; ++chars) {
    --start;
    while (start > 0 && (static_cast<unsigned char>(path[start]) & 0xC0) == 0x80) --start;
  }
  return AsciiUpper(std::string_view(path).substr(start));
}

std::string FileExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return AsciiUpper(std::string_view(path).substr(dot));
}

SongKind KindOfExtension(const std::string& upperExt) {
  if (upperExt == ".MP3" || upperExt == ".WAV") return SongKind::Audio;
  if (upperExt == ".KAR") return SongKind::Karaoke;
  return SongKind::Midi;
}

bool IsSongExtension(const std::string& upperExt) {
  for (const char* e : kSongExtensions)
    if (upperExt == e) return true;
  return false;
}

std::string SongListMask() {
  std::string mask;
  for (const char* e : kSongExtensions) {
    if (!mask.empty()) mask += ';';
    mask += '*';
    for (const char* c = e; *c; ++c) mask += static_cast<char>(*c >= 'A' && *c <= 'Z' ? *c - 'A' + 'a' : *c);
  }
  return mask;
}

DeviceKind DeviceKindOf(const std::string& path) {
  const std::string ext = FileExtension(path);
  if (ext == ".MID" || ext == ".RMI") return DeviceKind::Sequencer;
  if (ext == ".MP3") return DeviceKind::Mpeg;
  if (ext == ".WAV") return DeviceKind::Wave;
  return DeviceKind::None;
}

}  // namespace melvar::playback
