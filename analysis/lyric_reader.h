#pragma once
// The lyric reader: lyrics of MIDI and karaoke songs that are not laid out
// as soft karaoke (LYRIC events, words in another track, one letter per
// event, format 0 files, lyric tracks of plain MIDI songs). It reads the
// whole file through the MIDI file reader the sequencer plays it with and
// builds a lyric timeline of the same shape as the soft-karaoke walk's, whose
// texts live in the timeline's own bytes.
//
// Its lines join the syllables as the song writes them (no separator); every
// line starts with a syllable whose text begins with a "/" mark, so the lyric
// display rules find the line breaks where they find them in soft karaoke.
// Texts are the song's own bytes, unconverted.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/song_analysis.h"
#include "analysis/syllable.h"

namespace melvar::analysis {

// Files above this size are not read for lyrics.
inline constexpr std::size_t kMaxLyricFileBytes = 16u * 1024 * 1024;

// A timeline that owns its texts: Syllable::Text indexes Bytes.
struct OwnedTimeline {
  std::vector<Syllable> SyllableTable;
  int SyllableCount = 0;
  std::vector<uint8_t> Bytes;
};

// Which events the reader took its syllables from, and why.
enum class LyricChoice {
  None,         // no lyric events (or the file could not be read)
  WordsTrack,   // the track named "Words"
  LineMarks,    // a stream whose texts carry / or \ line marks
  MostSyllables // the track and event type with the most syllables
};
const char* DescribeChoice(LyricChoice c);

struct ReaderLyrics {
  bool found = false;         // a timeline with at least one syllable
  OwnedTimeline timeline;
  std::vector<std::string> lines;
  int longestLine = 0;        // bytes of the longest line
  std::string title1, title2; // the first two @T texts (any track)
  LyricChoice choice = LyricChoice::None;
  int track = -1;             // the chosen stream: track index
  uint8_t eventType = 0;      // ... and event type (0x01 TEXT, 0x05 LYRIC)
  int streams = 0;            // lyric streams found (track and type pairs)
  std::string error;          // why the file gave nothing, when it could not be read
};

// Reads lyrics from a whole Standard MIDI File in memory.
ReaderLyrics ReadLyrics(const uint8_t* bytes, std::size_t size);
// Reads the file at path (a regular file of at most kMaxLyricFileBytes).
ReaderLyrics ReadLyricsFromFile(const std::string& path);

// Where the lyrics a song shows come from.
enum class LyricSource { None, Walk, Reader };
const char* DescribeSource(LyricSource s);

// The analysis of a MIDI or karaoke song with the lyric reader behind it:
// the soft-karaoke walk's outcome as it is, and, where the walk ended without
// a lyric timeline, the reader's. title1/title2, lines and longestLine are
// what the song shows: the walk's, or the reader's lines with the reader's
// titles when the walk found none.
struct SongLyrics {
  AnalysisOutcome walk;
  LyricSource source = LyricSource::None;
  std::string title1, title2;
  std::vector<std::string> lines;
  int longestLine = 0;
  ReaderLyrics reader;  // run only when the walk gave no timeline
};

// Analyses the song's first bytes (song, timeline as AnalyseSong does) and,
// when that gives no lyric timeline, reads the file at path for lyrics.
SongLyrics AnalyseSongLyrics(const std::string& path, const SongData& song, LyricTimeline& timeline);

}  // namespace melvar::analysis
