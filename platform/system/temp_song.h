#pragma once
// The temporary MIDI copy of the karaoke song being played. The device picks
// its kind from the file name, so a ".kar" song is handed over as a ".mid"
// copy. The temporary folder may be shared with other users, so the copy
// never follows or writes through a name someone else planted there.
#include <string>

namespace melvar::platform {

// The copy's file name inside the temporary folder.
inline constexpr const char* kTempSongName = "tmpzzztmpwkla.mid";

// The copy's path: the folder temp, else tmp (nullptr or empty skips one),
// else programDir, with "/" appended when missing, + kTempSongName.
std::string TempSongPathFrom(const char* temp, const char* tmp, const std::string& programDir);

// The same from the environment variables TEMP and TMP. When neither is set
// and the program's folder cannot be written (an installed program), the copy
// goes to TMPDIR or /tmp instead, where it can be created.
std::string TempSongPathFromEnvironment(const std::string& programDir);

// Copies the song at source to tempSongPath: the bytes go into a new file
// created exclusively under a random name in the same folder, readable and
// writable by the owner only, which then replaces tempSongPath in one rename.
// A symbolic link or file planted at tempSongPath is replaced itself, never
// written through. Returns false, with the reason in *error when given, when
// the copy could not be made; no partial file is left behind.
bool CopySongToTemp(const std::string& source, const std::string& tempSongPath,
                    std::string* error = nullptr);

// Removes the temporary copy (a link there is removed, not its target).
// True when nothing is left at that name.
bool DeleteTempSong(const std::string& tempSongPath);

}  // namespace melvar::platform
