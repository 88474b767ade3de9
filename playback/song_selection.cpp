#include "playback/song_selection.h"

namespace melvar::playback {

int ChooseNextItem(int songIndex, bool shuffle, const std::function<int()>& count,
                   ShuffleHistory& history, const UniformDraw& draw) {
  if (shuffle && songIndex > 0) {
    int c = 0;
    for (int n = 0; n < kShuffleDraws; ++n) {
      // Count - 1 possible values; an empty list (Count 0) draws from 0 alone
      // rather than from an empty range.
      c = draw(std::max(0, count() - 2));
      if (!history.contains(c)) break;
    }
    history.RecentSongs[history.RecentNext] = c;
    history.RecentNext = (history.RecentNext + 1) % kShuffleRing;
    songIndex = c;
  } else if (songIndex < 0) {
    songIndex += kDirectRequestBase - 1;
  }
  return songIndex + 1;
}

int IndexAfterSelect(int songIndex, int reportedSelected) {
  return reportedSelected == songIndex ? songIndex : 0;
}

std::string SongExtension(const std::string& path) {
  // Step back over four UTF-8 characters (a continuation byte is 10xxxxxx).
  size_t start = path.size();
  for (int chars = 0; chars < 4 && start > 0; ++chars) {
    --start;
    while (start > 0 && (static_cast<unsigned char>(path[start]) & 0xC0) == 0x80) --start;
  }
  std::string ext = path.substr(start);
  for (char& ch : ext) {
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  }
  return ext;
}

SongKind KindOfExtension(const std::string& songExt) {
  if (songExt == ".MP3" || songExt == ".WAV") return SongKind::Audio;
  if (songExt == ".KAR") return SongKind::Karaoke;
  return SongKind::Midi;
}

bool IsAudioExtension(const std::string& songExt) {
  return KindOfExtension(songExt) == SongKind::Audio;
}

bool IsKaraokeExtension(const std::string& songExt) {
  return KindOfExtension(songExt) == SongKind::Karaoke;
}

int64_t BackwardTarget(int64_t position, int64_t length) {
  const int64_t step = length / 20;
  return position > step ? position - step : 0;
}

bool ForwardAllowed(int64_t position, int64_t length) { return position > length / 100; }

int64_t ForwardTarget(int64_t position, int64_t length) {
  int64_t target;
  if (static_cast<double>(position) >= 0.9 * static_cast<double>(length)) {
    target = length - 1;
  } else {
    target = position + length / 20 + 2;
  }
  // A very short song must not be sent past its end or before its start.
  if (length > 0) target = std::min(target, length - 1);
  return std::max<int64_t>(target, 0);
}

bool StartsNextSong(int noticeValue, const std::string& songExt) {
  return noticeValue != kNoticeAborted && songExt != ".WAV";
}

std::string TempoCommand(const std::string& devicePath, const std::string& tempoCaption) {
  return "set \"" + devicePath + "\" tempo " + tempoCaption + " wait";
}

TempoControl TempoControlFor(int defaultBpm) {
  return TempoControl{defaultBpm / 3 + 1, 2 * defaultBpm, defaultBpm};
}

}  // namespace melvar::playback
