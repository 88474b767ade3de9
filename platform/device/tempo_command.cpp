#include "tempo_command.h"

#include "analysis/ascii.h"

#include <algorithm>
#include <cstdint>

namespace melvar::device {
namespace {

bool StartsWithIgnoringCase(const std::string& s, size_t at, const std::string& word) {
  return s.size() >= at + word.size() && EqualsIgnoringAsciiCase(std::string_view(s).substr(at, word.size()), word);
}

// Last occurrence of `word` (ASCII case ignored) starting at or after `from`.
size_t FindLastIgnoringCase(const std::string& s, const std::string& word, size_t from) {
  if (s.size() < word.size()) return std::string::npos;
  for (size_t at = s.size() - word.size() + 1; at-- > from;)
    if (StartsWithIgnoringCase(s, at, word)) return at;
  return std::string::npos;
}

audio::MediaError Malformed() {
  return {audio::kErrBadCommand,
          "The command cannot be understood (expected: set \"file\" tempo beats-per-minute wait)"};
}

}  // namespace

bool SamePathIgnoringCase(const std::string& a, const std::string& b) { return EqualsIgnoringAsciiCase(a, b); }

audio::MediaError ParseTempoCommand(const std::string& command, TempoCommand* out) {
  if (!StartsWithIgnoringCase(command, 0, "set ")) return Malformed();
  size_t open = 4;
  while (open < command.size() && command[open] == ' ') ++open;
  if (open >= command.size() || command[open] != '"') return Malformed();
  const std::string kTempo = "\" tempo ";
  const size_t close = FindLastIgnoringCase(command, kTempo, open + 1);
  if (close == std::string::npos) return Malformed();
  const std::string path = command.substr(open + 1, close - open - 1);
  if (path.empty()) return Malformed();

  size_t at = close + kTempo.size();
  const size_t digitsStart = at;
  int64_t value = 0;
  bool huge = false;
  while (at < command.size() && command[at] >= '0' && command[at] <= '9') {
    value = value * 10 + (command[at] - '0');
    if (value > kMaxTempoBpm) {  // stop growing: any longer number is out of range too
      huge = true;
      value = kMaxTempoBpm + 1;
    }
    ++at;
  }
  if (at == digitsStart) return Malformed();
  const std::string digits = command.substr(digitsStart, std::min<size_t>(at - digitsStart, 12));
  // What may follow the number: nothing, or " wait" (trailing blanks allowed).
  if (StartsWithIgnoringCase(command, at, " wait")) at += 5;
  while (at < command.size() && command[at] == ' ') ++at;
  if (at != command.size()) return Malformed();

  if (value < 1 || huge || value > kMaxTempoBpm)
    return {audio::kErrTempoOutOfRange,
            "The tempo " + digits + " is out of range (1 to " + std::to_string(kMaxTempoBpm) + " beats per minute)"};
  out->path = path;
  out->bpm = static_cast<int>(value);
  return {};
}

}  // namespace melvar::device
