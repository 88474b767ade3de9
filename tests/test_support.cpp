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

}  // namespace melvar::test
