#pragma once
// The temporary MIDI copy of the karaoke song being played. The device picks
// its kind from the file name, so a ".kar" song is handed over as a ".mid"
// copy. The temporary folder may be shared with other users, so the copy
// never follows or writes through a name someone else planted there.
#include <string>

namespace melvar::platform {

// The copy's file name inside the temporary folder.
inline constexpr const char* kTempSongName = "tmpzzztmpwkla.mid";

// The copy's path: the first of the folders temp, tmp, runtimeDir (the
// user's own runtime folder, where nobody else can plant or hold a file
// under the copy's name), tmpdir and "/tmp" that is set and not empty, with
// "/" appended when missing, + kTempSongName. Never the program's folder:
// an installed program's folder is not writable.
std::string TempSongPathFrom(const char* temp, const char* tmp, const char* runtimeDir, const char* tmpdir);
// The same from the environment: TEMP, TMP, XDG_RUNTIME_DIR, TMPDIR.
std::string TempSongPathFromEnvironment();
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
