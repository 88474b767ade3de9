#pragma once
// What a song's file name makes of it: the extensions the player knows, the
// kind of song each one is, and the list mask built from them. The one place
// where file kinds are decided by name.
#include <string>

namespace melvar::playback {

// The song's extension as the window compares it: the last 4 characters of
// the path (whole UTF-8 characters; fewer when the path is shorter) with
// ASCII letters upper-cased, others unchanged.
std::string SongExtension(const std::string& path);

// The extension from the last "." of the name part, dot included, ASCII
// letters upper-cased: "/a/Song.Mid" -> ".MID"; "" when the name has no dot.
std::string FileExtension(const std::string& path);

enum class SongKind {
  Audio,    // ".MP3", ".WAV": handed to the device unread, no tempo control
  Karaoke,  // ".KAR": played through a ".mid" copy, analysed from the song itself
  Midi,     // anything else: read, analysed and handed to the sequencer
};
SongKind KindOfExtension(const std::string& upperExt);

// The extensions of the songs the player lists and accepts from a drop:
// ".MID", ".KAR", ".WAV", ".MP3".
bool IsSongExtension(const std::string& upperExt);
// The song list's mask: "*.mid;*.kar;*.mp3;*.wav".
std::string SongListMask();

// How the media device plays a file, by its extension: the sequencer for
// ".MID" and ".RMI", the MPEG decoder for ".MP3", the wave reader for ".WAV".
enum class DeviceKind { None, Sequencer, Mpeg, Wave };
DeviceKind DeviceKindOf(const std::string& path);

}  // namespace melvar::playback
