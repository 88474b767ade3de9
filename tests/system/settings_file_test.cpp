// The settings file: lookup rules, what a write keeps, and that a failed
// write leaves the old file as it was.
#include "platform/system/settings_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <random>

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

// Every line keeps its own line end: a file of mostly bare line feeds with
// one CR LF (or binary junk) is not rewritten, only the new lines are added.
TEST(SettingsWriteTest, KeepsEachLinesOwnEnd) {
  ScratchDir dir;
  const std::string ini = dir / "MELVAR.INI";
  struct Case { std::string before, after; };
  const std::string junk("\x00\x01\n\xff\xfe\r\n\x7f\n\r\r\n\x00", 14);
  const Case cases[] = {
      {junk, junk + "\n[MELVAR]\nSHUFFLE=1\n"},
      {"[MELVAR]\r\nA=1\nSHUFFLE=0\r\nB=2\n", "[MELVAR]\r\nA=1\nSHUFFLE=1\r\nB=2\n"},
      {"[MELVAR]\r\nA=1\r\n\r\n[X]\nB=2\n", "[MELVAR]\r\nA=1\r\nSHUFFLE=1\r\n\r\n[X]\nB=2\n"},
      {"[MELVAR]\nSHUFFLE=0", "[MELVAR]\nSHUFFLE=1"},
      {"[MELVAR]\nA=1", "[MELVAR]\nA=1\nSHUFFLE=1\n"},
  };
  for (const Case& c : cases) {
    WriteFile(ini, c.before);
    ASSERT_TRUE(WriteProfileString(ini, "MELVAR", "SHUFFLE", "1"));
    EXPECT_EQ(ReadFile(ini), c.after);
  }
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

// Runs `check` as an unprivileged user (root reads and writes anything), in
// a child process when this one is root. True when the check passed.
bool AsOtherUser(const std::function<bool()>& check) {
  if (::geteuid() != 0) return check();
  const pid_t pid = ::fork();
  if (pid == 0) {
    const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
    ::_exit(dropped && check() ? 0 : 1);
  }
  int status = 0;
  return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Damaged or unusable settings: reading never hangs and gives the default or
// the value; a write either keeps every old byte or fails with a reason and
// leaves the file as it was.
TEST(SettingsDamageTest, BadFilesNeverCrashHangOrLoseTheFile) {
  ScratchDir dir;
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  const std::string ini = dir / "MELVAR.INI";

  std::mt19937 rng(7);
  std::string junk(64 * 1024, '\0');
  for (char& c : junk) c = static_cast<char>(rng() % 256);
  junk += "\n";
  WriteFile(ini, junk);
  EXPECT_EQ(ReadProfileString(ini, "MELVAR", "SHUFFLE", "d", 1), "d");
  ASSERT_TRUE(WriteProfileString(ini, "MELVAR", "SHUFFLE", "1"));
  EXPECT_EQ(ReadFile(ini), junk + "[MELVAR]\nSHUFFLE=1\n");

  const std::string longLine = "[MELVAR]\nLASTPATH=" + std::string(10 * 1024 * 1024, 'x') + "\n";
  WriteFile(ini, longLine);
  EXPECT_EQ(ReadProfileString(ini, "MELVAR", "LASTPATH", "", 498), std::string(498, 'x'));
  ASSERT_TRUE(WriteProfileString(ini, "MELVAR", "SHUFFLE", "1"));
  EXPECT_EQ(ReadFile(ini), longLine + "SHUFFLE=1\n");

  // A FIFO in the file's place: neither call may wait for a writer.
  const std::string fifo = dir / "fifo.ini";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ReadProfileString(fifo, "MELVAR", "SHUFFLE", "d", 1), "d");
  std::string error;
  EXPECT_FALSE(WriteProfileString(fifo, "MELVAR", "SHUFFLE", "1", &error));
  EXPECT_FALSE(error.empty());

  // An unreadable file is read as missing and never replaced.
  WriteFile(ini, kSample);
  ASSERT_EQ(::chmod(ini.c_str(), 0), 0);
  ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
  EXPECT_TRUE(AsOtherUser([&] {
    std::string e;
    return ReadProfileString(ini, "MELVAR", "SHUFFLE", "d", 1) == "d" &&
           !WriteProfileString(ini, "MELVAR", "SHUFFLE", "0", &e) && !e.empty();
  }));
  ASSERT_EQ(::chmod(ini.c_str(), 0644), 0);
  EXPECT_EQ(ReadFile(ini), kSample);

  // A read-only folder: the file reads, the write fails and leaves nothing behind.
  ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
  EXPECT_TRUE(AsOtherUser([&] {
    std::string e;
    return ReadProfileString(ini, "MELVAR", "SHUFFLE", "d", 1) == "1" &&
           !WriteProfileString(ini, "MELVAR", "SHUFFLE", "0", &e) && !e.empty();
  }));
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  EXPECT_EQ(ReadFile(ini), kSample);
  EXPECT_EQ(FilesIn(dir.path()), 2u);
}

// A writer killed at any moment leaves the old file or the new one, whole:
// a child rewrites the file in a loop, alternating two versions, and is
// killed after a random delay, a few hundred times.
TEST(SettingsDamageTest, WriterKilledAtAnyMomentLeavesAWholeFile) {
  ScratchDir dir;
  const std::string ini = dir / "MELVAR.INI";
  const std::string first = std::string(kSample) + "[Big]\nv=" + std::string(20000, 'a') + "\n";
  WriteFile(ini, first);
  std::string versions[2];
  for (int i = 0; i < 2; ++i) {
    WriteFile(dir / "copy.ini", first);
    ASSERT_TRUE(WriteProfileString(dir / "copy.ini", "Big", "v", std::string(20000 + 5000 * i, "bc"[i])));
    versions[i] = ReadFile(dir / "copy.ini");
  }
  ::unlink((dir / "copy.ini").c_str());

  std::mt19937 rng(std::random_device{}());
  const unsigned seed = rng();
  rng.seed(seed);
  for (int round = 0; round < 300; ++round) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      for (int i = 0;; i ^= 1) WriteProfileString(ini, "Big", "v", std::string(20000 + 5000 * i, "bc"[i]));
    }
    ::usleep(static_cast<useconds_t>(rng() % 4000));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    const std::string now = ReadFile(ini);
    ASSERT_TRUE(now == first || now == versions[0] || now == versions[1])
        << "round " << round << " (seed " << seed << "): " << now.size() << " bytes";
  }
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
