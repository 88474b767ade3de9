#pragma once
// Paths of test data shared by the test binaries.
#include <cstdint>
#include <string>
#include <vector>

namespace melvar::test {

// Root of the shared corpus of real songs ("" when it is not beside the
// checkout; MELVAR_CORPUS overrides). Tests that need it skip without it.
std::string CorpusDir();
// Folder of the generated demo songs in the build tree.
std::string DemoDir();
// Folder of the small fixtures committed with the tests.
std::string DataDir();

// A valid format-1 song of `notes` short notes on one track, each note-on
// and note-off under running status (6 bytes a note, as large real files
// are), 120 bpm, division 96: every note lasts a tick.
std::vector<uint8_t> LargeMidiSong(int notes);

}  // namespace melvar::test
