// libFuzzer target for the tempo command parser: any string gives a command
// or an error value, and a parsed command written out again parses the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tempo_command.h"
#include "fuzz/fuzz_check.h"

using melvar::fuzz::Check;
using namespace melvar::device;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string command(reinterpret_cast<const char*>(data), size);
  TempoCommand cmd;
  const melvar::audio::MediaError e = ParseTempoCommand(command, &cmd);
  if (!e.ok()) {
    Check(!e.text.empty());
    Check(e.code == melvar::audio::kErrBadCommand || e.code == melvar::audio::kErrTempoOutOfRange);
    return 0;
  }
  Check(cmd.bpm >= 1 && cmd.bpm <= kMaxTempoBpm && !cmd.path.empty());
  Check(command.find(cmd.path) != std::string::npos);
  Check(SamePathIgnoringCase(cmd.path, cmd.path));

  TempoCommand again;
  Check(ParseTempoCommand("set \"" + cmd.path + "\" tempo " + std::to_string(cmd.bpm) + " wait", &again).ok());
  Check(again.path == cmd.path && again.bpm == cmd.bpm);
  return 0;
}
