#include "platform/system/settings_file.h"

#include "platform/system/file_replace.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string_view>
#include <vector>

namespace melvar::platform {
namespace {

constexpr std::string_view kBlanks = " \t\r\n\f\v";

std::string_view Trim(std::string_view s) {
  const size_t first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const size_t last = s.find_last_not_of(kBlanks);
  return s.substr(first, last - first + 1);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

// At most maxChars whole UTF-8 characters of s.
std::string CutChars(std::string_view s, size_t maxChars) {
  size_t chars = 0;
  size_t i = 0;
  while (i < s.size()) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
      if (chars == maxChars) break;
      ++chars;
    }
    ++i;
  }
  return std::string(s.substr(0, i));
}

std::string ErrnoText(const std::string& what, const std::string& path, int err) {
  return what + " " + path + ": " + std::strerror(err);
}

// One line of the file, split at its line end ("\n" or "\r\n").
struct Line {
  std::string_view text;  // without the line end
  std::string_view end;   // the line end as stored: "\n", "\r\n", or "" at the file's end
};

std::vector<Line> SplitLines(std::string_view content) {
  std::vector<Line> lines;
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string_view::npos) end = content.size();
    std::string_view text = content.substr(start, end - start);
    std::string_view lineEnd = content.substr(end, end < content.size() ? 1 : 0);
    if (!lineEnd.empty() && !text.empty() && text.back() == '\r') {
      text.remove_suffix(1);
      lineEnd = content.substr(end - 1, 2);
    }
    lines.push_back({text, lineEnd});
    start = end + 1;
  }
  return lines;
}

// The section name of a "[name]" line, or false for any other line.
bool SectionName(std::string_view line, std::string_view* name) {
  const std::string_view t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return false;
  const size_t close = t.find(']');
  if (close == std::string_view::npos) return false;
  *name = Trim(t.substr(1, close - 1));
  return true;
}

bool IsComment(std::string_view line) {
  const std::string_view t = Trim(line);
  return !t.empty() && (t.front() == ';' || t.front() == '#');
}

// The key and value of a "key=value" line, or false for any other line.
bool KeyValue(std::string_view line, std::string_view* key, std::string_view* value) {
  if (IsComment(line)) return false;
  const size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  *key = Trim(line.substr(0, eq));
  *value = Trim(line.substr(eq + 1));
  return !key->empty();
}

enum class ReadResult { Ok, Missing, Failed };

ReadResult ReadWholeFile(const std::string& path, std::string* content, int* err) {
  content->clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    *err = errno;
    return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    return ReadResult::Failed;
  }
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      *err = errno;
      ::close(fd);
      return ReadResult::Failed;
    }
    if (n == 0) break;
    content->append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return ReadResult::Ok;
}

// Creates every missing folder of dir (like mkdir -p).
bool MakeFolders(const std::string& dir, int* err) {
  if (dir.empty()) return true;
  struct stat st {};
  if (::stat(dir.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    *err = ENOTDIR;
    return false;
  }
  const size_t slash = dir.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(dir.substr(0, slash), err)) {
    return false;
  }
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    *err = errno;
    return false;
  }
  return true;
}

bool Breaks(std::string_view s, std::string_view forbidden) {
  return s.find_first_of(forbidden) != std::string_view::npos;
}

}  // namespace

std::string SettingsFilePath() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    std::string home;
    if (const char* h = std::getenv("HOME"); h && *h) {
      home = h;
    } else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) {
      home = pw->pw_dir;
    }
    base = home + "/.config";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/melvar/MELVAR.INI";
}

std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& defaultValue,
                              size_t maxChars) {
  std::string content;
  int err = 0;
  if (ReadWholeFile(path, &content, &err) != ReadResult::Ok) {
    return CutChars(Trim(defaultValue), maxChars);
  }
  const std::string_view wantSection = Trim(section);
  const std::string_view wantKey = Trim(key);
  bool inSection = false;
  for (const Line& line : SplitLines(content)) {
    std::string_view name;
    if (SectionName(line.text, &name)) {
      // Only the first section of that name counts, as when writing.
      if (inSection) break;
      inSection = EqualNoCase(name, wantSection);
      continue;
    }
    std::string_view k, v;
    if (inSection && KeyValue(line.text, &k, &v) && EqualNoCase(k, wantKey)) {
      if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v = v.substr(1, v.size() - 2);
      }
      return CutChars(v, maxChars);
    }
  }
  return CutChars(Trim(defaultValue), maxChars);
}

bool WriteProfileString(const std::string& rawPath, const std::string& section,
                        const std::string& key, const std::string& value,
                        std::string* error) {
  auto fail = [error](const std::string& text) {
    if (error) *error = text;
    return false;
  };
  const std::string_view wantSection = Trim(section);
  const std::string_view wantKey = Trim(key);
  if (wantSection.empty() || Breaks(wantSection, "\r\n]")) {
    return fail("Invalid section name: " + section);
  }
  if (wantKey.empty() || Breaks(wantKey, "\r\n=") || wantKey.front() == '[' ||
      wantKey.front() == ';' || wantKey.front() == '#') {
    return fail("Invalid key name: " + key);
  }
  if (Breaks(value, "\r\n")) return fail("A value cannot hold a line break");

  // A settings file that is a link (kept elsewhere by the user) is written
  // where the link points, so that the link stays.
  std::string path = rawPath;
  if (char resolved[PATH_MAX]; ::realpath(rawPath.c_str(), resolved) != nullptr) {
    path = resolved;
  }

  std::string content;
  int err = 0;
  mode_t mode = 0;  // 0: a new file
  switch (ReadWholeFile(path, &content, &err)) {
    case ReadResult::Ok: {
      struct stat st {};
      if (::stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;
      break;
    }
    case ReadResult::Missing:
      if (!MakeFolders(FolderOf(path), &err)) {
        return fail(ErrnoText("Cannot create the folder", FolderOf(path), err));
      }
      break;
    case ReadResult::Failed:
      // Never replace a file we could not read: its other content would be lost.
      return fail(ErrnoText("Cannot read", path, err));
  }

  // Every line keeps its own line end; the lines we add take the kind most
  // of the file uses.
  const std::vector<Line> lines = SplitLines(content);
  size_t crlf = 0, lf = 0;
  for (const Line& line : lines) {
    if (line.end == "\r\n") ++crlf;
    else if (line.end == "\n") ++lf;
  }
  const std::string eol = crlf > lf ? "\r\n" : "\n";
  std::string out;
  out.reserve(content.size() + key.size() + value.size() + 16);
  auto emit = [&out](std::string_view text, std::string_view end) {
    out.append(text);
    out.append(end);
  };

  bool inSection = false;
  bool sectionFound = false;
  bool written = false;
  size_t lastContent = 0;  // index in out just after the section's last non-blank line
  for (const Line& line : lines) {
    std::string_view name;
    if (SectionName(line.text, &name)) {
      if (inSection && !written) {
        // The key was not in its section: add it after the section's last line.
        out.insert(lastContent, std::string(wantKey) + "=" + value + eol);
        written = true;
      }
      inSection = !sectionFound && EqualNoCase(name, wantSection);
      if (inSection) sectionFound = true;
      emit(line.text, line.end);
      lastContent = out.size();
      continue;
    }
    std::string_view k, v;
    if (inSection && !written && KeyValue(line.text, &k, &v) && EqualNoCase(k, wantKey)) {
      // Keep the key as the file spells it, and its indentation.
      const size_t keyStart = line.text.find_first_not_of(kBlanks);
      emit(std::string(line.text.substr(0, keyStart)) + std::string(k) + "=" + value, line.end);
      written = true;
      lastContent = out.size();
      continue;
    }
    emit(line.text, line.end);
    if (!Trim(line.text).empty()) lastContent = out.size();
  }
  if (!written && !out.empty() && out.back() != '\n') {
    // The last line has no line end: it gets one before anything follows it.
    const bool atEnd = lastContent == out.size();
    out.append(eol);
    if (atEnd) lastContent = out.size();
  }
  if (inSection && !written) {
    out.insert(lastContent, std::string(wantKey) + "=" + value + eol);
    written = true;
  }
  if (!sectionFound) {
    out.append("[" + std::string(wantSection) + "]" + eol);
    out.append(std::string(wantKey) + "=" + value + eol);
  }
  // An existing file keeps its permissions; a new one is the owner's only.
  return ReplaceFile(path, ".MELVAR.INI.", mode != 0 ? mode : 0600, true,
                     [&out](int fd) { return WriteAll(fd, out); }, error);
}

}  // namespace melvar::platform
