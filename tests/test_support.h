#pragma once
// Paths of test data shared by the test binaries.
#include <string>

namespace melvar::test {

// Root of the shared corpus of real songs ("" when it is not beside the
// checkout; MELVAR_CORPUS overrides). Tests that need it skip without it.
std::string CorpusDir();
// Folder of the generated demo songs in the build tree.
std::string DemoDir();
// Folder of the small fixtures committed with the tests.
std::string DataDir();

}  // namespace melvar::test
