#pragma once
// What the program tells about itself and where its own files lie: the
// application id and version, the --help and --version options, the media
// types it plays, and the folder of its demo songs.
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace melvar::platform {

// The reverse-DNS application id: the desktop entry is <id>.desktop, the icon
// and the metainfo carry the same name.
extern const char* const kApplicationId;
// The program's version, "major.minor".
extern const char* const kProgramVersion;

// The media types of the songs Melvar plays, as the desktop names them.
std::vector<std::string> SupportedMimeTypes();

// The information options, checked before anything else starts: when the
// first argument (after the program name) is exactly "--help" or
// "--version", writes the text to `out` and returns the exit code (0).
// Anything else, including other arguments that start with "-", returns
// nothing: the arguments stay a song or folder path for the window.
std::optional<int> RunInformationOption(int argc, const char* const* argv, std::ostream& out);

// The folder of the program's own demo songs, from the folder that holds the
// running binary: "<programDir>/demo" when that folder exists (the build
// tree), else "<programDir>/../share/melvar/demo" written without the "..",
// which is where an installed program keeps them (the latter is returned
// even when it does not exist; the caller's fallback decides then).
std::string ProgramSongFolder(const std::string& programDir);

}  // namespace melvar::platform
