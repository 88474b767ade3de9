// A small text notation for the demo songs, and the arranger that turns a
// song written in it into a karaoke or plain MIDI file.
//
// Melody: whitespace-separated tokens, "|" between bars. A note is
// <pitch>:<duration>, pitch as letter, optional '#' or 'b', octave (C4 = 60),
// or "r" for a rest. Durations are w h q e s (whole to sixteenth), a '.'
// makes one dotted, '+' adds several ("h+q"). A trailing '-' ties the note
// to the next one of the same pitch. Every bar must be full.
//
// Chords: <root>[quality]:<duration>, quality "" (major), "m", "7", "m7";
// "N" for no chord. Same durations and bar lines as the melody.
//
// Lyrics: words separated by spaces, syllables by '-' ('~' splits too but
// keeps a hyphen in the text, as in "Dor-mez~vous?"). "/" before a word
// starts a new line, "\" a new verse; "_" stands for a note that holds the
// previous syllable. One syllable (or "_") per melody note onset.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/smf/smf.h"

namespace melvar::mkdemo {

using smf::Bytes;
using smf::SmfFile;
using smf::TrackBuilder;

// Errors are values: code 0 means success.
struct MkError {
  int code = 0;
  std::string text;
  bool failed() const { return code != 0; }
};

enum ErrorCode { kOk = 0, kBadNotation = 1, kMismatch = 2, kLayout = 3, kWrite = 4 };

constexpr uint32_t kDivision = 480;  // ticks per quarter note

struct Meter {
  int beats = 4;  // quarter notes per bar
  uint32_t BarTicks() const { return static_cast<uint32_t>(beats) * kDivision; }
};

struct Note {
  uint32_t start = 0;
  uint32_t length = 0;
  int key = 0;
};

struct Chord {
  uint32_t start = 0;
  uint32_t length = 0;
  int root = 0;                // pitch class, 0 = C
  std::vector<int> intervals;  // semitones above the root; empty for "N"
};

struct LyricItem {
  std::string text;  // with its leading "/" or "\" mark and trailing space
  bool hold = false; // "_": the note carries on the previous syllable
};

// Parsers; *length receives the total length in ticks.
MkError ParseMelody(std::string_view text, const Meter& meter, std::vector<Note>* notes, uint32_t* length);
MkError ParseChords(std::string_view text, const Meter& meter, std::vector<Chord>* chords, uint32_t* length);
MkError ParseLyrics(std::string_view text, std::vector<LyricItem>* items);

// The lyric lines as the player shows them: syllables joined by ".".
std::vector<std::string> LyricLines(const std::vector<LyricItem>& items);

enum class Accompaniment { Block, Arpeggio, Pad };

struct TempoChange {
  int bar = 0;  // 0-based bar index
  int beat = 0; // quarter notes into the bar
  int bpm = 0;
};

struct SongDef {
  std::string fileName;
  std::string title;     // first @T text (8-bit text)
  std::string subtitle;  // second @T text
  std::string language;  // e.g. "ENGL" for the @L tag
  Meter meter;
  int bpm = 120;
  std::vector<TempoChange> tempoChanges;
  std::string melody;
  std::string lyrics;      // empty: a plain MIDI file without a words track
  std::string chords;
  std::string secondVoice; // optional: a second melodic voice (e.g. a round)
  int secondVoiceTranspose = 0;
  uint8_t melodyProgram = 73, secondVoiceProgram = 70, chordProgram = 0, bassProgram = 32;
  int melodyTranspose = 0;
  Accompaniment accompaniment = Accompaniment::Block;
  uint8_t snareKey = 37;  // side stick; 38 for a full snare
  uint8_t hatKey = 42;    // closed hi-hat; 51 for a ride cymbal
  int introBars = 0;      // bars of count-in before the song proper
};

struct BuiltSong {
  Bytes file;
  size_t wordsTrackEnd = 0;  // byte offset just past the words chunk (0 if none)
  std::vector<std::string> lines;
  double seconds = 0;
  int syllables = 0;
};

// Arranges the song and checks what the player relies on: one syllable at
// every melody onset, lines short enough for the lyric panel, the words
// track within the first bytes that the player reads.
MkError BuildSong(const SongDef& song, BuiltSong* out);

constexpr size_t kPlayerReadBytes = 20000;
constexpr size_t kMaxLineChars = 40;

}  // namespace melvar::mkdemo
