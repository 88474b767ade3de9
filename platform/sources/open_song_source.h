#pragma once
// Opens the right SongSource for a file, chosen by its extension.
#include <memory>
#include <optional>
#include <string>

#include "song_source.h"

namespace melvar::audio {

// The kind the player gives a file by its extension: ".MID" and ".RMI" the
// MIDI sequencer, ".MP3" MPEG audio, ".WAV" wave audio; nothing for others.
std::optional<SourceKind> SongKindOf(const std::string& path);

// Opens `path` (used as given, never case-folded) as a song of `kind`,
// rendering at `sampleRate`. MIDI files are parsed from a mapping of the
// file and handed to the MIDI sequencer. Slow for large files and when the
// synthesiser must first read its instruments: call it off the UI thread.
// Missing or unreadable file: kErrFileNotFound naming it.
MediaError OpenSongSourceAs(SourceKind kind, const std::string& path, int sampleRate,
                            std::unique_ptr<SongSource>* out);

// SongKindOf + OpenSongSourceAs. A file of another kind is refused with
// kErrCannotPlayType: "The file cannot be played on this device (unknown kind
// of file \".xyz\")".
MediaError OpenSongSource(const std::string& path, int sampleRate, std::unique_ptr<SongSource>* out);

}  // namespace melvar::audio
