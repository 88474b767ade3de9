#pragma once
// The one command string the media device understands:
//   set "<path>" tempo <bpm> wait
// Plain C++, no Qt, so it can be tested on its own.
#include <string>

#include "song_source.h"

namespace melvar::device {

struct TempoCommand {
  std::string path;  // the text between the quotes, as sent
  int bpm = 0;       // 1..kMaxTempoBpm
};

constexpr int kMaxTempoBpm = 1000;

// Parses `command`. The path is the text between the first '"' after "set "
// and the LAST "\" tempo " in the string, so a path that itself holds a quote
// character still parses. The keywords match in any ASCII letter case;
// " wait" at the end may be left out. Errors: kErrBadCommand (malformed),
// kErrTempoOutOfRange (0, or above kMaxTempoBpm).
audio::MediaError ParseTempoCommand(const std::string& command, TempoCommand* out);

// True when two paths are equal ignoring the case of ASCII letters.
bool SamePathIgnoringCase(const std::string& a, const std::string& b);

}  // namespace melvar::device
