#pragma once
// A broken invariant ends the fuzz run with a crash libFuzzer reports.
#include <cstdlib>

namespace melvar::fuzz {

inline void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace melvar::fuzz
