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

SongStart PlanSongStart(const std::string& songPath, bool fileExists, const std::string& tempSongPath) {
  SongStart s;
  s.fileExists = fileExists;
  s.devicePath = songPath;
  if (!fileExists) return s;
  s.songExt = SongExtension(songPath);
  s.kind = KindOfExtension(s.songExt);
  switch (s.kind) {
    case SongKind::Audio:
      s.tempoOff = -1;
      break;
    case SongKind::Karaoke:
      // The sequencer picks its kind from the name: a karaoke song goes to it
      // as a ".mid" copy, and is analysed from the song itself.
      s.devicePath = tempSongPath;
      s.copyToTemp = true;
      s.readSong = true;
      break;
    case SongKind::Midi:
      s.readSong = true;
      break;
  }
  return s;
}

bool WorthAnalysing(int songBytes) { return songBytes > 300; }

AfterAttempt AfterAttemptWith(int error, bool opened, int attempt, bool itemSelected) {
  if (error == 0) return {AttemptResult::Started, false};
  if (!opened) return {AttemptResult::GiveUp, false};
  if (attempt >= kMaxPlayAttempts || !itemSelected) return {AttemptResult::GiveUp, true};
  return {AttemptResult::TryAgain, false};
}

int WindowHeightFor(bool hasLyrics, int fullHeight, int cprightTop) {
  return hasLyrics ? fullHeight : cprightTop + 60;
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

}  // namespace melvar::playback
