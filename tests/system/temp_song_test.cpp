// Where the temporary song copy lives and how it is made safely.
#include "platform/system/temp_song.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "scratch_dir.h"

namespace melvar::platform {
namespace {

using melvar::test::ReadFile;
using melvar::test::ScratchDir;
using melvar::test::WriteFile;

TEST(TempSongPathTest, TempTmpThenTheUsersRuntimeFolder) {
  struct Case { const char* temp; const char* tmp; const char* runtime; const char* tmpdir; const char* expected; };
  const Case cases[] = {
      {"/var/t", "/other", "/run/user/1000", "/x", "/var/t/tmpzzztmpwkla.mid"},
      {"/var/t/", nullptr, nullptr, nullptr, "/var/t/tmpzzztmpwkla.mid"},
      {"", "/d/T", "/run/user/1000", nullptr, "/d/T/tmpzzztmpwkla.mid"},
      {nullptr, "", "/run/user/1000", "/x", "/run/user/1000/tmpzzztmpwkla.mid"},
      {nullptr, nullptr, "", "/x/", "/x/tmpzzztmpwkla.mid"},
      {nullptr, nullptr, nullptr, nullptr, "/tmp/tmpzzztmpwkla.mid"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TempSongPathFrom(c.temp, c.tmp, c.runtime, c.tmpdir), c.expected) << c.expected;
  }
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

TEST(CopySongToTempTest, CopiesTheBytesIntoAPrivateRegularFile) {
  ScratchDir dir;
  std::string song(100000, '\0');
  for (size_t i = 0; i < song.size(); ++i) song[i] = static_cast<char>(i * 7);
  WriteFile(dir / "Song.kar", song);
  const std::string temp = dir / "tmpzzztmpwkla.mid";
  ASSERT_TRUE(CopySongToTemp(dir / "Song.kar", temp));
  EXPECT_EQ(ReadFile(temp), song);
  EXPECT_TRUE(S_ISREG(ModeOf(temp)));
  EXPECT_EQ(ModeOf(temp) & 0777, 0600u);
  // Copied again over the first copy: still one file there.
  WriteFile(dir / "Other.kar", "MThd");
  ASSERT_TRUE(CopySongToTemp(dir / "Other.kar", temp));
  EXPECT_EQ(ReadFile(temp), "MThd");
  size_t files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 3u);
}

TEST(CopySongToTempTest, APlantedLinkIsReplacedNotFollowed) {
  ScratchDir dir;
  WriteFile(dir / "victim", "precious");
  ::chmod((dir / "victim").c_str(), 0644);
  const std::string temp = dir / "tmpzzztmpwkla.mid";
  ASSERT_EQ(::symlink((dir / "victim").c_str(), temp.c_str()), 0);
  WriteFile(dir / "Song.kar", "MThd song bytes");
  ASSERT_TRUE(CopySongToTemp(dir / "Song.kar", temp));
  EXPECT_EQ(ReadFile(dir / "victim"), "precious");
  EXPECT_EQ(ModeOf(dir / "victim") & 0777, 0644u);
  EXPECT_TRUE(S_ISREG(ModeOf(temp)));
  EXPECT_EQ(ModeOf(temp) & 0777, 0600u);
  EXPECT_EQ(ReadFile(temp), "MThd song bytes");
}

TEST(CopySongToTempTest, ALinkToAMissingTargetCreatesNothingThere) {
  ScratchDir dir;
  const std::string temp = dir / "tmpzzztmpwkla.mid";
  ASSERT_EQ(::symlink((dir / "planted-target").c_str(), temp.c_str()), 0);
  WriteFile(dir / "Song.kar", "MThd");
  ASSERT_TRUE(CopySongToTemp(dir / "Song.kar", temp));
  EXPECT_FALSE(std::filesystem::exists(dir / "planted-target"));
  EXPECT_EQ(ReadFile(temp), "MThd");
}

TEST(CopySongToTempTest, FailuresLeaveNoPartialFile) {
  ScratchDir dir;
  ASSERT_EQ(::mkfifo((dir / "pipe.kar").c_str(), 0600), 0);
  WriteFile(dir / "Song.kar", "MThd");
  ::mkdir((dir / "adir").c_str(), 0700);
  struct Case { std::string source, temp; };
  const Case cases[] = {
      {dir / "missing.kar", dir / "tmpzzztmpwkla.mid"},
      {dir / "pipe.kar", dir / "tmpzzztmpwkla.mid"},  // must not hang on a pipe
      {dir / "adir", dir / "tmpzzztmpwkla.mid"},
      {dir / "Song.kar", dir / "no-such-folder/tmpzzztmpwkla.mid"},
      {dir / "Song.kar", dir / "adir"},  // a folder at the copy's name
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(CopySongToTemp(c.source, c.temp, &error)) << c.source << " -> " << c.temp;
    EXPECT_FALSE(error.empty());
  }
  size_t files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 3u);  // pipe.kar, Song.kar, adir
}

TEST(DeleteTempSongTest, RemovesTheLinkNotItsTarget) {
  ScratchDir dir;
  WriteFile(dir / "victim", "precious");
  const std::string temp = dir / "tmpzzztmpwkla.mid";
  ASSERT_EQ(::symlink((dir / "victim").c_str(), temp.c_str()), 0);
  EXPECT_TRUE(DeleteTempSong(temp));
  EXPECT_FALSE(std::filesystem::is_symlink(temp));
  EXPECT_EQ(ReadFile(dir / "victim"), "precious");
  EXPECT_TRUE(DeleteTempSong(temp));  // already gone
}

}  // namespace
}  // namespace melvar::platform
