#include "test_support.h"

#include <cstdlib>
#include <filesystem>

namespace melvar::test {

std::string CorpusDir() {
  if (const char* env = std::getenv("MELVAR_CORPUS"); env && *env) return env;
  std::error_code ec;
  std::filesystem::path p(MELVAR_CORPUS_DIR);
  if (std::filesystem::is_directory(p, ec)) return std::filesystem::weakly_canonical(p, ec).string();
  return "";
}

std::string DemoDir() { return MELVAR_DEMO_DIR; }

std::string DataDir() { return std::string(MELVAR_SOURCE_DIR) + "/tests/data"; }

std::vector<uint8_t> LargeMidiSong(int notes) {
  std::vector<uint8_t> track = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xC0, 0x00, 0x00, 0x90, 60, 0x40};
  track.reserve(static_cast<size_t>(notes) * 6 + 32);
  track.insert(track.end(), {0x01, 60, 0x00});
  for (int i = 1; i < notes; ++i) {
    const uint8_t key = static_cast<uint8_t>(48 + i % 24);
    track.insert(track.end(), {0x00, key, 0x40, 0x01, key, 0x00});
  }
  track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
  std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 1, 0, 96, 'M', 'T', 'r', 'k'};
  const uint32_t len = static_cast<uint32_t>(track.size());
  file.insert(file.end(), {uint8_t(len >> 24), uint8_t(len >> 16), uint8_t(len >> 8), uint8_t(len)});
  file.insert(file.end(), track.begin(), track.end());
  return file;
}

}  // namespace melvar::test
