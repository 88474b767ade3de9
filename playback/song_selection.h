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

#include "playback/song_kind.h"

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

// The start of the chosen item, decided from its path before anything is
// read or opened.
struct SongStart {
  bool fileExists = false;  // false: the song state stays as the previous song left it
  std::string songExt;      // SongExt
  SongKind kind = SongKind::Midi;
  std::string devicePath;   // the file the device opens (the song itself when it is missing,
                            // so that the device names what is gone)
  bool copyToTemp = false;  // karaoke: the device opens a fresh temporary copy
  bool readSong = false;    // MIDI and karaoke: the song's first bytes are read and analysed
  int tempoOff = 0;         // -1: MP3 and WAV, no tempo control; 0: any other song
};
SongStart PlanSongStart(const std::string& songPath, bool fileExists, const std::string& tempSongPath);

// Whether the bytes read from a MIDI song are worth analysing: more than 300.
bool WorthAnalysing(int songBytes);

// A play that keeps failing on the same item is tried this often in all.
constexpr int kMaxPlayAttempts = 3;
enum class AttemptResult {
  Started,   // the song plays: finish the start
  TryAgain,  // the play failed: the same item once more, without a message
  GiveUp,    // stop here; showError says whether the error still needs its message
};
struct AfterAttempt {
  AttemptResult result = AttemptResult::Started;
  bool showError = false;
};
// What follows an attempt that ended with `error` (0: success). `opened`:
// the open succeeded (a failed open has shown its message and re-read the
// list already). `attempt` counts from 1; `itemSelected`: the list still has
// a selected item.
AfterAttempt AfterAttemptWith(int error, bool opened, int attempt, bool itemSelected);

// The window's outer height once a song has started: the height it was
// created with when the song shows lyrics, else just below Cpright.
int WindowHeightFor(bool hasLyrics, int fullHeight, int cprightTop);

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

}  // namespace melvar::playback
