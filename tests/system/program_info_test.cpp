// The information options and the demo folder of the build tree and of an
// installed program.
#include "platform/system/program_info.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <vector>

#include "scratch_dir.h"

namespace melvar::platform {
namespace {

struct OptionCase {
  std::vector<const char*> args;  // after the program name
  bool handled;
  const char* printedStart;       // the start of what is printed
};

TEST(ProgramInfoTest, OnlyAFirstArgumentOfExactlyHelpOrVersionIsAnOption) {
  const std::vector<OptionCase> cases = {
      {{"--version"}, true, "Melvar 1.0\n"},
      {{"--help"}, true, "Usage: melvar [FOLDER | SONG]\n"},
      {{"--version", "song.kar"}, true, "Melvar 1.0\n"},
      {{}, false, ""},
      {{"song.kar"}, false, ""},
      {{"song.kar", "--help"}, false, ""},  // only the first argument counts
      {{"-h"}, false, ""},                  // a song may have any name
      {{"--helpful.mid"}, false, ""},
      {{"--Version"}, false, ""},
      {{""}, false, ""},
  };
  for (const OptionCase& c : cases) {
    std::vector<const char*> argv = {"melvar"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    std::ostringstream out;
    const std::optional<int> code = RunInformationOption(static_cast<int>(argv.size()), argv.data(), out);
    SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0]);
    EXPECT_EQ(code, c.handled ? std::optional<int>(0) : std::nullopt);
    EXPECT_EQ(out.str().substr(0, std::string(c.printedStart).size()), c.printedStart);
    EXPECT_EQ(out.str().empty(), !c.handled);
  }
}

TEST(ProgramInfoTest, DemoFolderOfTheBuildTreeElseOfTheInstalledLayout) {
  namespace fs = std::filesystem;
  test::ScratchDir root;
  const std::string build = root / "build";
  const std::string prefix = root / "usr";
  fs::create_directories(build + "/demo");
  fs::create_directories(prefix + "/bin");
  fs::create_directories(prefix + "/share/melvar/demo");
  fs::create_directories(root / "bare/bin");
  EXPECT_EQ(ProgramSongFolder(build), build + "/demo");
  EXPECT_EQ(ProgramSongFolder(prefix + "/bin"), prefix + "/share/melvar/demo");
  EXPECT_EQ(ProgramSongFolder(prefix + "/bin/"), prefix + "/share/melvar/demo");
  // Neither: the installed place, for the caller's fallback to judge.
  EXPECT_EQ(ProgramSongFolder(root / "bare/bin"), root / "bare/share/melvar/demo");
  // A file named "demo" is not the demo folder.
  test::WriteFile(prefix + "/bin/demo", "");
  EXPECT_EQ(ProgramSongFolder(prefix + "/bin"), prefix + "/share/melvar/demo");
}

}  // namespace
}  // namespace melvar::platform
