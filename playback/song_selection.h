#pragma once
// The rules of song selection and of the transport: which list item plays
// next, what a song's extension makes of it, where a jump lands, when the end
// of a play starts the next song, and the text of the tempo command. Plain
// functions of their inputs; the random source is passed in.
#include <algorithm>
#include <array>
#include <concepts>
#include <cstdint>
#include <functional>
#include <random>
#include <string>

namespace melvar::playback {

// A direct request for list item i is encoded as SongIndex = i - kDirectRequestBase.
constexpr int kDirectRequestBase = 30001;
// Slots of the shuffle history; only the first kShuffleRing are ever written,
// the last one stays -1.
constexpr int kShuffleSlots = 21;
constexpr int kShuffleRing = 20;
// A random pick draws at most this many times to avoid a recent song.
constexpr int kShuffleDraws = 10;

// The device's end-of-play notice values.
constexpr int kNoticeSuccessful = 1;
constexpr int kNoticeSuperseded = 2;
constexpr int kNoticeAborted = 4;
constexpr int kNoticeFailure = 8;

// The values drawn by recent random picks (RecentSongs) and the slot the next
// pick overwrites (RecentNext).
struct ShuffleHistory {
  std::array<int, kShuffleSlots> RecentSongs;
  int RecentNext = 0;
  ShuffleHistory() { RecentSongs.fill(-1); }
  bool contains(int value) const {
    return std::find(RecentSongs.begin(), RecentSongs.end(), value) != RecentSongs.end();
  }
};

// Returns a uniformly drawn integer from 0 to maxInclusive (maxInclusive >= 0).
using UniformDraw = std::function<int(int maxInclusive)>;

// Turns the request in songIndex into the index of the item to select:
// a direct request (negative) yields its item, an advance from item k yields
// k + 1, and with shuffle on and songIndex > 0 a random pick c + 1 with c from
// 0 to count() - 2 that avoids the history where one of up to ten draws can.
// count() is read afresh for every draw. Only random picks touch the history.
int ChooseNextItem(int songIndex, bool shuffle, const std::function<int()>& count,
                   ShuffleHistory& history, const UniformDraw& draw);

// The same with a standard random engine as the source.
template <std::uniform_random_bit_generator Rng>
int ChooseNextItem(int songIndex, bool shuffle, const std::function<int()>& count,
                   ShuffleHistory& history, Rng& rng) {
  return ChooseNextItem(songIndex, shuffle, count, history, [&rng](int maxInclusive) {
    return std::uniform_int_distribution<int>(0, maxInclusive)(rng);
  });
}

// After the list was asked to select songIndex: the index to play. When the
// list reports another selection (the index lay past the end, or below -1)
// the result is 0 and the caller selects item 0: the wrap to the first item.
int IndexAfterSelect(int songIndex, int reportedSelected);

// The song's extension as the rules compare it: the last 4 characters of the
// path (whole UTF-8 characters; fewer when the path is shorter) with ASCII
// letters a to z upper-cased, others unchanged.
std::string SongExtension(const std::string& path);

enum class SongKind {
  Audio,     // ".MP3", ".WAV": handed to the device unread, no tempo control
  Karaoke,   // ".KAR": played through a ".mid" copy, analysed from the song itself
  Midi,      // anything else
};
SongKind KindOfExtension(const std::string& songExt);
bool IsAudioExtension(const std::string& songExt);
bool IsKaraokeExtension(const std::string& songExt);

// Backward jump: one twentieth of the length back, or to the start.
int64_t BackwardTarget(int64_t position, int64_t length);
// Whether a forward jump does anything: not within the first hundredth.
bool ForwardAllowed(int64_t position, int64_t length);
// Forward jump from p: one unit before the end from the last tenth on (the
// song ends at once), else one twentieth + 2 further; never before 0 or, for
// a song with a length, past length - 1.
int64_t ForwardTarget(int64_t position, int64_t length);

// Whether the device's notice starts the next song: every notice but aborted,
// except after a WAV song.
bool StartsNextSong(int noticeValue, const std::string& songExt);

// The tempo command for the device that opened devicePath, with the tempo as
// the indicator's caption shows it.
std::string TempoCommand(const std::string& devicePath, const std::string& tempoCaption);

// The tempo scroll bar for a song's own tempo: range bpm div 3 + 1 to 2 x bpm,
// position bpm.
struct TempoControl {
  int min = 0;
  int max = 0;
  int position = 0;
};
TempoControl TempoControlFor(int defaultBpm);

}  // namespace melvar::playback
