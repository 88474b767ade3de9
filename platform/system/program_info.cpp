#include "platform/system/program_info.h"

#include <filesystem>
#include <string_view>

#include "program_info_build.h"  // written by the build

namespace melvar::platform {

namespace {

// The folder of the running binary ("" when the system does not tell).
std::string RunningProgramDir() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.parent_path().string();
}

}  // namespace

const char* const kApplicationId = MELVAR_APP_ID;
const char* const kProgramVersion = MELVAR_VERSION;

std::vector<std::string> SupportedMimeTypes() {
  // The build passes the list as one string separated by ";".
  std::vector<std::string> types;
  std::string_view all = MELVAR_MIME_TYPES;
  while (!all.empty()) {
    const size_t cut = all.find(';');
    if (cut != 0) types.emplace_back(all.substr(0, cut));
    if (cut == std::string_view::npos) break;
    all.remove_prefix(cut + 1);
  }
  return types;
}

std::optional<int> RunInformationOption(int argc, const char* const* argv, std::ostream& out) {
  if (argc < 2 || argv[1] == nullptr) return std::nullopt;
  const std::string_view first = argv[1];
  if (first == "--version") {
    out << "Melvar " << kProgramVersion << "\n";
    return 0;
  }
  if (first == "--help") {
    out << "Usage: melvar [FOLDER | SONG]\n"
           "       melvar --help | --version\n"
           "\n"
           "Plays the MIDI (.mid), karaoke (.kar), MP3 and WAV songs of a folder and\n"
           "shows a karaoke song's lyrics in time with the music.\n"
           "\n"
           "  FOLDER     lists the songs of that folder\n"
           "  SONG       lists the songs of the song's folder and plays the song at once\n"
           "             (only the first argument counts)\n"
           "  --help     prints this text and exits\n"
           "  --version  prints the version and exits\n"
           "\n"
           "Without an argument Melvar opens the folder it played from last, or its\n"
           "demo songs the first time.\n"
           "\n"
           "Settings: $XDG_CONFIG_HOME/melvar/MELVAR.INI (by default ~/.config/melvar/).\n"
           "MIDI songs sound through the system's General MIDI SoundFont; set\n"
           "MELVAR_SOUNDFONT to a .sf2 file to use another.\n";
    if (const std::string dir = RunningProgramDir(); !dir.empty()) {
      out << "Demo songs: " << ProgramSongFolder(dir) << "\n";
    }
    return 0;
  }
  return std::nullopt;
}

std::string ProgramSongFolder(const std::string& programDir) {
  namespace fs = std::filesystem;
  const fs::path dir(programDir);
  std::error_code ec;
  if (fs::is_directory(dir / "demo", ec)) return (dir / "demo").string();
  return (dir / ".." / "share" / "melvar" / "demo").lexically_normal().string();
}

}  // namespace melvar::platform
