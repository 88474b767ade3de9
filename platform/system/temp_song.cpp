#include "platform/system/temp_song.h"

#include "platform/system/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

namespace melvar::platform {
namespace {

bool Set(const char* value) { return value != nullptr && value[0] != '\0'; }

std::string WithSlash(const std::string& folder) {
  if (folder.empty()) return "./";
  return folder.back() == '/' ? folder : folder + "/";
}

bool Fail(std::string* error, const std::string& what, const std::string& path, int err) {
  if (error) *error = what + " " + path + ": " + std::strerror(err);
  return false;
}

}  // namespace

std::string TempSongPathFrom(const char* temp, const char* tmp, const char* runtimeDir, const char* tmpdir) {
  const char* folder = Set(temp) ? temp : Set(tmp) ? tmp : Set(runtimeDir) ? runtimeDir : Set(tmpdir) ? tmpdir : "/tmp";
  return WithSlash(folder) + kTempSongName;
}

std::string TempSongPathFromEnvironment() {
  return TempSongPathFrom(std::getenv("TEMP"), std::getenv("TMP"), std::getenv("XDG_RUNTIME_DIR"),
                          std::getenv("TMPDIR"));
}

bool CopySongToTemp(const std::string& source, const std::string& tempSongPath,
                    std::string* error) {
  // O_NONBLOCK: a pipe planted as the song must not hang the player; only a
  // regular file is copied.
  const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (in < 0) return Fail(error, "Cannot open", source, errno);
  struct stat st {};
  if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(in);
    return Fail(error, "Not a regular file:", source, EINVAL);
  }

  // The copy is the owner's alone, and is never written through a name
  // someone else planted in a shared folder.
  const bool ok = ReplaceFile(tempSongPath, ".melvar-", 0600, false, [in](int out) {
    char buffer[65536];
    for (;;) {
      const ssize_t n = ::read(in, buffer, sizeof buffer);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n < 0) return errno;
      if (n == 0) return 0;
      if (const int err = WriteAll(out, std::string_view(buffer, static_cast<size_t>(n)))) return err;
    }
  }, error);
  ::close(in);
  return ok;
}

bool DeleteTempSong(const std::string& tempSongPath) {
  return ::unlink(tempSongPath.c_str()) == 0 || errno == ENOENT;
}

}  // namespace melvar::platform
