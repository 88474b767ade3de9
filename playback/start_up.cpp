#include "playback/start_up.h"

#include "playback/song_kind.h"

namespace melvar::playback {

bool ShuffleFromSetting(std::string_view value) { return !value.empty() && value.front() == '1'; }

StartPlace StartPlaceFor(const std::string& argument, bool argumentIsFolder, const std::string& lastPath) {
  if (argument.empty()) return {lastPath, ""};
  if (argumentIsFolder) return {argument, ""};
  const size_t slash = argument.find_last_of('/');
  if (slash == std::string::npos) return {lastPath, ""};
  return {argument.substr(0, slash + 1), argument};
}

int StartSelection(bool shuffle, int count, const UniformDraw& draw) {
  if (shuffle) return draw(std::max(0, count - 2));
  return 1 - kDirectRequestBase;  // -30000: no item there
}

bool DropAccepted(const std::string& path) { return IsSongExtension(FileExtension(path)); }

}  // namespace melvar::playback
