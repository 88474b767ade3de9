#include "platform/system/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace melvar::platform {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

int WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return 0;
}

bool ReplaceFile(const std::string& path, const std::string& hiddenName, mode_t mode, bool durable,
                 const std::function<int(int fd)>& fill, std::string* error) {
  auto fail = [error](const char* what, const std::string& where, int err) {
    if (error) *error = std::string(what) + " " + where + ": " + std::strerror(err);
    return false;
  };
  const std::string dir = FolderOf(path);
  std::random_device device;
  std::mt19937_64 rng((static_cast<uint64_t>(device()) << 32) ^ device() ^ static_cast<uint64_t>(::getpid()));
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(rng()));
    temp = dir + "/" + hiddenName + suffix;
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return fail("Cannot create a file in", dir, errno);
  // Whatever the umask, the new file gets exactly `mode`.
  (void)::fchmod(fd, mode);
  int err = fill(fd);
  if (err == 0 && durable && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  // rename() replaces whatever entry has the name (a planted link included)
  // and never writes through it.
  if (err == 0 && ::rename(temp.c_str(), path.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlink(temp.c_str());
    return fail("Cannot write", path, err);
  }
  if (durable) {
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
      ::fsync(dirFd);
      ::close(dirFd);
    }
  }
  return true;
}

}  // namespace melvar::platform
