#pragma once
// Song analysis: what the player learns from the first bytes of a MIDI or
// karaoke song. It checks the Standard MIDI File header, takes the first
// tempo event and the ticks per quarter note, and walks the first three track
// chunks of a karaoke file for up to two titles, the lyric timeline and the
// lyric lines.
//
// Everything here is plain code over the bytes read: no file access besides
// ReadSongStart, no user interface. The caller applies the outcome to its
// controls in the order the fields are listed in AnalysisOutcome; a walk that
// stops early leaves the later fields at their reset values, so applying the
// outcome keeps what the steps before the stop did and nothing after.
//
// Texts (titles, lines, syllables) are the song's own bytes, unconverted;
// every length and position counts bytes.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/syllable.h"

namespace melvar::analysis {

inline constexpr int kSongBufferSize = 20001;
inline constexpr int kMaxSongRead = 20000;
inline constexpr int kMaxSyllables = 1201;

// The song's first bytes. Only indexes below SongBytes belong to the current
// song; the rest is whatever an earlier read left there.
struct SongData {
  std::array<uint8_t, kSongBufferSize> SongBuffer{};
  int SongBytes = 0;
};

// One read of at most 20000 bytes from the start of the file into SongBuffer
// (bytes past the read keep what was there), then SongBuffer[20000] = 0.
// Returns the count read and stores it in song.SongBytes; -1 when the file
// cannot be opened or read (whyNot, when given, then gets the reason).
int ReadSongStart(const std::string& path, SongData& song, std::string* whyNot = nullptr);

// The lyric timeline. The syllables refer into the SongBuffer that was
// analysed and are valid only while it holds that song.
struct LyricTimeline {
  std::array<Syllable, kMaxSyllables> SyllableTable{};
  int SyllableCount = 0;
};

// The tempo control's set-up from the song's first tempo event.
struct TempoSetup {
  int TempoMicros = 0;     // microseconds per quarter note
  int DefaultBpm = 0;      // 60000000 / TempoMicros
  int ScrollMin = 0;       // DefaultBpm / 3 + 1
  int ScrollMax = 0;       // 2 * DefaultBpm
  int ScrollPosition = 0;  // DefaultBpm
};

// The tempo control for a song's own tempo: range bpm div 3 + 1 to 2 x bpm,
// position bpm, whatever range a previous song left.
TempoSetup TempoSetupFor(int tempoMicros, int defaultBpm);

// Where the analysis stopped: the check that failed, or Done.
enum class AnalysisStop {
  HeaderCutShort,       // fewer than 8 bytes: no room for the header tag and length
  NotMidiHeader,        // no "MThd", or the upper half of the header length is not 0
  NoTimeSignature,      // no FF 58 pair in the bytes read
  NoTempo,              // no FF 51 pair in the bytes read
  TempoCutShort,        // the tempo's data bytes lie beyond the bytes read
  TempoZero,            // the tempo's data bytes are all 0
  DivisionCutShort,     // the division word lies beyond the bytes read
  BadDivision,          // division 0, or frame-based (top bit set)
  ShortHeaderLength,    // header length 3 or less
  FirstChunkBad,        // no acceptable track chunk at index 14
  FirstChunkNoEnd,      // first chunk does not end with 2F 00
  SecondChunkBad,       // no acceptable track chunk after the first
  MarkerScanCutShort,   // the karaoke marker scan ran into the end of the bytes read
  MarkerScanOverrun,    // the karaoke marker scan ran past the second chunk
  ThirdChunkBad,        // no acceptable track chunk after the second
  TitleWalkCutShort,    // an event of the title phase runs beyond the bytes read
  TitleWalkOverrun,     // the title phase reached the chunk's tail: no lyric event
  LyricWalkCutShort,    // an event of the lyric phase runs beyond the bytes read
  LyricWalkMisaligned,  // the lyric walk did not end on the chunk's last byte
  NumberTooLarge,       // a delta time above 0x7FFFFFFF
  TimeOutOfRange,       // a tick count or syllable time beyond 32 bits
  NoSyllables,          // a complete walk that found no syllable
  Done,                 // success: a lyric timeline is in place
};

// Readable reason for a stop, for the inspector.
const char* DescribeStop(AnalysisStop stop);

// What one analysis produced, in the order the steps produce it.
struct AnalysisOutcome {
  bool result = false;  // what AnalyseSong returns: a lyric timeline is in place
  AnalysisStop stop = AnalysisStop::NotMidiHeader;
  int stopPos = -1;     // index in SongBuffer where the walk stopped (-1: not in a walk)
  std::optional<TempoSetup> tempo;   // present when the tempo step passed
  std::optional<uint16_t> division;  // present when Division was set
  std::string title1, title2;        // captions of Titulo1 and Titulo2 (raw song bytes)
  bool lyricPhaseReached = false;    // SyllableCount was reset to 0
  int syllablesSeen = 0;             // syllables met, also those beyond the table's 1201
  std::vector<std::string> lines;    // the memo's lines (raw bytes); only on success
  int longestLine = 0;               // LongestLine; only on success, else 0
};

// Analyses song.SongBuffer[0 .. SongBytes). Writes timeline only from the
// lyric phase on (SyllableCount := 0 there); before that its entries stay.
// Never reads at or beyond SongBytes.
AnalysisOutcome AnalyseSong(const SongData& song, LyricTimeline& timeline);

// The smallest index p >= 4 with p + 1 < SongBytes, SongBuffer[p] = first and
// SongBuffer[p + 1] = second; none when there is no such p.
std::optional<int> FindMarker(const SongData& song, uint8_t first, uint8_t second);

// Reads one MIDI variable-length quantity at ScanPos and leaves ScanPos on the
// byte after it. None when a byte would lie at or beyond SongBytes or the
// value exceeds 0x7FFFFFFF (ScanPos is then left where the walk gave up).
std::optional<int32_t> ReadVarLen(const SongData& song, int& ScanPos);

}  // namespace melvar::analysis
