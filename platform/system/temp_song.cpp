#include "platform/system/temp_song.h"

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

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
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

  const std::string dir = FolderOf(tempSongPath);
  std::random_device device;
  std::mt19937_64 rng((static_cast<uint64_t>(device()) << 32) ^ device() ^
                      static_cast<uint64_t>(::getpid()));
  std::string temp;
  int out = -1;
  for (int attempt = 0; attempt < 100 && out < 0; ++attempt) {
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(rng()));
    temp = dir + "/.melvar-" + suffix + ".mid";
    out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out < 0 && errno != EEXIST) break;
  }
  if (out < 0) {
    const int err = errno;
    ::close(in);
    return Fail(error, "Cannot create a file in", dir, err);
  }
  // Whatever the umask, the copy is the owner's alone.
  (void)::fchmod(out, 0600);

  bool ok = true;
  int err = 0;
  char buffer[65536];
  while (ok) {
    ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      ok = false;
      err = errno;
      break;
    }
    if (n == 0) break;
    const char* p = buffer;
    while (n > 0) {
      const ssize_t w = ::write(out, p, static_cast<size_t>(n));
      if (w < 0) {
        if (errno == EINTR) continue;
        ok = false;
        err = errno;
        break;
      }
      p += w;
      n -= w;
    }
  }
  ::close(in);
  if (::close(out) != 0 && ok) {
    ok = false;
    err = errno;
  }
  // rename() replaces whatever entry has the name (a planted link included)
  // and never writes through it.
  if (ok && ::rename(temp.c_str(), tempSongPath.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    return Fail(error, "Cannot copy to", tempSongPath, err);
  }
  return true;
}

bool DeleteTempSong(const std::string& tempSongPath) {
  return ::unlink(tempSongPath.c_str()) == 0 || errno == ENOENT;
}

}  // namespace melvar::platform
