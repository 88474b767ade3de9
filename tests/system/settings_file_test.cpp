// The settings file: lookup rules, what a write keeps, and that a failed
// write leaves the old file as it was.
#include "platform/system/settings_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "scratch_dir.h"

namespace melvar::platform {
namespace {

using melvar::test::ReadFile;
using melvar::test::ScratchDir;
using melvar::test::WriteFile;

constexpr const char* kSample =
    "; written by hand\n"
    "[Other]\n"
    "LastPath=/elsewhere\n"
    "\n"
    "[melvar]\n"
    "  lastpath =  /home/me/Music  \n"
    "shuffle=1x\n"
    "quoted=\"  spaced  \"\n"
    "# a note\n"
    "\n"
    "[Tail]\n"
    "k=v\n";

size_t FilesIn(const std::string& dir) {
  size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}

TEST(SettingsReadTest, LooksUpWithoutRegardToCaseAndTrims) {
  ScratchDir dir;
  const std::string ini = dir / "MELVAR.INI";
  WriteFile(ini, kSample);
  struct Case { const char* section; const char* key; size_t max; const char* expected; };
  const Case cases[] = {
      {"MELVAR", "LASTPATH", 498, "/home/me/Music"},
      {"Melvar", "LastPath", 498, "/home/me/Music"},
      {"MELVAR", "SHUFFLE", 1, "1"},  // one character, as the switch is read
      {"MELVAR", "SHUFFLE", 498, "1x"},
      {"MELVAR", "QUOTED", 498, "  spaced  "},
      {"OTHER", "LASTPATH", 498, "/elsewhere"},
      {"MELVAR", "MISSING", 498, "dflt"},
      {"NOSECTION", "LASTPATH", 498, "dflt"},
      {"MELVAR", "# a note", 498, "dflt"},  // comments are not keys
      {"TAIL", "K", 498, "v"},
      {"MELVAR", "LASTPATH", 5, "/home"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadProfileString(ini, c.section, c.key, "dflt", c.max), c.expected)
        << c.section << "/" << c.key;
  }
}

TEST(SettingsReadTest, MissingFileGivesTheDefaultCut) {
  ScratchDir dir;
  EXPECT_EQ(ReadProfileString(dir / "none.ini", "MELVAR", "SHUFFLE", "0", 1), "0");
  EXPECT_EQ(ReadProfileString(dir / "none.ini", "MELVAR", "LASTPATH", "/prog/dir/", 4), "/pro");
  // A folder where the file should be reads as missing.
  EXPECT_EQ(ReadProfileString(dir.path(), "MELVAR", "SHUFFLE", "0", 1), "0");
}

TEST(SettingsReadTest, LongLastPathIsCutTo498Characters) {
  ScratchDir dir;
  const std::string ini = dir / "MELVAR.INI";
  const std::string longPath = "/" + std::string(600, 'a');
  ASSERT_TRUE(WriteProfileString(ini, "MELVAR", "LASTPATH", longPath));
  EXPECT_EQ(ReadProfileString(ini, "MELVAR", "LASTPATH", "", 498), longPath.substr(0, 498));
  // A cut never splits a character.
  ASSERT_TRUE(WriteProfileString(ini, "MELVAR", "LASTPATH", "/m\xC3\xBAsica"));
  EXPECT_EQ(ReadProfileString(ini, "MELVAR", "LASTPATH", "", 3), "/m\xC3\xBA");
}

TEST(SettingsWriteTest, ReplacesOneKeyAndKeepsEveryOtherLine) {
  ScratchDir dir;
  const std::string ini = dir / "MELVAR.INI";
  WriteFile(ini, kSample);
  ASSERT_TRUE(WriteProfileString(ini, "MELVAR", "LASTPATH", "/new/folder"));
  std::string expected = kSample;
  expected.replace(expected.find("  lastpath =  /home/me/Music  "),
                   std::string("  lastpath =  /home/me/Music  ").size(), "  lastpath=/new/folder");
  EXPECT_EQ(ReadFile(ini), expected);
  EXPECT_EQ(ReadProfileString(ini, "MELVAR", "LASTPATH", "", 498), "/new/folder");
  EXPECT_EQ(ReadProfileString(ini, "OTHER", "LASTPATH", "", 498), "/elsewhere");
}

TEST(SettingsWriteTest, AddsAMissingKeyAtTheEndOfItsSection) {
  ScratchDir dir;
  const std::string ini = dir / "MELVAR.INI";
  WriteFile(ini, "[MELVAR]\nSHUFFLE=0\n\n[Tail]\nk=v\n");
  ASSERT_TRUE(WriteProfileString(ini, "melvar", "LASTPATH", "/x"));
  EXPECT_EQ(ReadFile(ini), "[MELVAR]\nSHUFFLE=0\nLASTPATH=/x\n\n[Tail]\nk=v\n");
}

TEST(SettingsWriteTest, AppendsAMissingSectionAndKeepsLineEnds) {
  ScratchDir dir;
  const std::string ini = dir / "MELVAR.INI";
  WriteFile(ini, "[Other]\r\na=1");
  ASSERT_TRUE(WriteProfileString(ini, "MELVAR", "SHUFFLE", "1"));
  EXPECT_EQ(ReadFile(ini), "[Other]\r\na=1\r\n[MELVAR]\r\nSHUFFLE=1\r\n");
  EXPECT_EQ(ReadProfileString(ini, "MELVAR", "SHUFFLE", "0", 1), "1");
}

TEST(SettingsWriteTest, CreatesAMissingFileAndFolders) {
  ScratchDir dir;
  const std::string ini = dir / "config/melvar/MELVAR.INI";
  ASSERT_TRUE(WriteProfileString(ini, "MELVAR", "SHUFFLE", "0"));
  EXPECT_EQ(ReadFile(ini), "[MELVAR]\nSHUFFLE=0\n");
  EXPECT_EQ(FilesIn(dir / "config/melvar"), 1u);  // no temporary file left
}

TEST(SettingsWriteTest, RefusesTextThatWouldBreakTheLines) {
  ScratchDir dir;
  const std::string ini = dir / "MELVAR.INI";
  WriteFile(ini, kSample);
  struct Case { const char* section; const char* key; const char* value; };
  for (const Case& c : {Case{"MELVAR", "LASTPATH", "/a\nSHUFFLE=1"}, Case{"MELVAR", "A=B", "1"},
                        Case{"MEL]VAR", "K", "1"}, Case{"MELVAR", "", "1"},
                        Case{"", "K", "1"}, Case{"MELVAR", "[K", "1"}}) {
    std::string error;
    EXPECT_FALSE(WriteProfileString(ini, c.section, c.key, c.value, &error)) << c.key;
    EXPECT_FALSE(error.empty());
  }
  EXPECT_EQ(ReadFile(ini), kSample);
}

TEST(SettingsWriteTest, FolderThatIsAFileFails) {
  ScratchDir dir;
  WriteFile(dir / "blocker", "not a folder");
  std::string error;
  EXPECT_FALSE(WriteProfileString(dir / "blocker/MELVAR.INI", "MELVAR", "SHUFFLE", "1", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(ReadFile(dir / "blocker"), "not a folder");
}

TEST(SettingsWriteTest, UnreadableFileIsNotReplaced) {
  ScratchDir dir;
  const std::string ini = dir / "MELVAR.INI";
  ASSERT_EQ(::mkdir(ini.c_str(), 0700), 0);  // a folder where the file should be
  EXPECT_FALSE(WriteProfileString(ini, "MELVAR", "SHUFFLE", "1"));
  EXPECT_TRUE(std::filesystem::is_directory(ini));
}

// A write that runs out of room (here: the file-size limit, which also holds
// for root) fails and leaves the old file whole.
TEST(SettingsWriteTest, FailedWriteKeepsTheOldFile) {
  ScratchDir dir;
  const std::string ini = dir / "MELVAR.INI";
  WriteFile(ini, kSample);
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 64;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string error;
  const bool written = WriteProfileString(ini, "MELVAR", "LASTPATH", std::string(400, 'x'), &error);
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(written);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(ReadFile(ini), kSample);
  EXPECT_EQ(FilesIn(dir.path()), 1u);
}

TEST(SettingsWriteTest, KeepsPermissionsAndALinkToTheFile) {
  ScratchDir dir;
  const std::string real = dir / "real.ini";
  const std::string link = dir / "MELVAR.INI";
  WriteFile(real, "[MELVAR]\nSHUFFLE=0\n");
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
  ASSERT_EQ(::symlink("real.ini", link.c_str()), 0);
  ASSERT_TRUE(WriteProfileString(link, "MELVAR", "SHUFFLE", "1"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadFile(real), "[MELVAR]\nSHUFFLE=1\n");
  struct stat st {};
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

class EnvironmentGuard {
 public:
  explicit EnvironmentGuard(const char* name) : name_(name) {
    if (const char* v = std::getenv(name)) saved_ = v, had_ = true;
  }
  ~EnvironmentGuard() {
    if (had_) ::setenv(name_, saved_.c_str(), 1);
    else ::unsetenv(name_);
  }
 private:
  const char* name_;
  std::string saved_;
  bool had_ = false;
};

TEST(SettingsPathTest, FollowsXdgConfigHome) {
  EnvironmentGuard xdg("XDG_CONFIG_HOME");
  EnvironmentGuard home("HOME");
  ::setenv("HOME", "/home/me", 1);
  struct Case { const char* xdg; const char* expected; };
  for (const Case& c : {Case{"/cfg", "/cfg/melvar/MELVAR.INI"},
                        Case{"/cfg/", "/cfg/melvar/MELVAR.INI"},
                        Case{"", "/home/me/.config/melvar/MELVAR.INI"},
                        Case{"relative/dir", "/home/me/.config/melvar/MELVAR.INI"},
                        Case{nullptr, "/home/me/.config/melvar/MELVAR.INI"}}) {
    if (c.xdg) ::setenv("XDG_CONFIG_HOME", c.xdg, 1);
    else ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(SettingsFilePath(), c.expected) << (c.xdg ? c.xdg : "(unset)");
  }
}

}  // namespace
}  // namespace melvar::platform
