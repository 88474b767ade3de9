// libFuzzer target for the settings file. The input (after its first byte)
// is a settings file's content; the first byte picks a key to write. Reading
// any file must not fail; after the write the key reads back as written,
// every other key reads as before, a second identical write changes no byte,
// and no line end changes its kind.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/system/settings_file.h"
#include "fuzz/fuzz_check.h"

using melvar::fuzz::Check;
using namespace melvar::platform;

namespace {

const char* const kSections[] = {"Main", "melvar", "Recent Files"};
const char* const kKeys[] = {"Folder", "Tempo", "key"};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Path() {
  static const std::string path = [] {
    std::string dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    dir += "/melvar-fuzz-settings-" + std::to_string(getpid());
    mkdir(dir.c_str(), 0700);
    return dir + "/MELVAR.INI";
  }();
  return path;
}

// Line feeds preceded by a carriage return (crlf) or not.
size_t Count(const std::string& s, bool crlf) {
  size_t n = 0;
  for (size_t i = 0; i < s.size(); ++i)
    if (s[i] == '\n' && (i > 0 && s[i - 1] == '\r') == crlf) ++n;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string path = Path();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
  }
  std::string before[3][3];
  for (int s = 0; s < 3; ++s)
    for (int k = 0; k < 3; ++k) before[s][k] = ReadProfileString(path, kSections[s], kKeys[k], "-", 1000000);

  const int ws = data[0] % 3, wk = (data[0] / 3) % 3;
  const std::string value = "v" + std::to_string(data[0]) + " x";
  const std::string old = Slurp(path);
  std::string error;
  Check(WriteProfileString(path, kSections[ws], kKeys[wk], value, &error));
  const std::string written = Slurp(path);
  // Line ends are kept as they were: none turned from one kind into the other.
  Check(Count(written, false) >= Count(old, false) && Count(written, true) >= Count(old, true));

  for (int s = 0; s < 3; ++s)
    for (int k = 0; k < 3; ++k) {
      const std::string now = ReadProfileString(path, kSections[s], kKeys[k], "-", 1000000);
      if (s == ws && k == wk)
        Check(now == value);
      else
        Check(now == before[s][k]);
    }
  Check(WriteProfileString(path, kSections[ws], kKeys[wk], value, &error));
  Check(Slurp(path) == written);
  return 0;
}
