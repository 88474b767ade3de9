#pragma once
// Song bytes for the analysis tests, laid out byte for byte with the
// project's SMF writer so a test can write exactly the song it needs (also
// broken ones). Meta events here keep a one-byte length, as the walk reads it.
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "analysis/song_analysis.h"
#include "tools/smf/smf.h"

namespace melvar::analysis {
// Stops print by their reason in test failures.
inline void PrintTo(AnalysisStop stop, std::ostream* os) { *os << DescribeStop(stop); }
}  // namespace melvar::analysis

namespace melvar::analysis::test {

using Bytes = std::vector<uint8_t>;

inline void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

// A variable-length quantity.
inline Bytes VarLen(uint32_t v) {
  Bytes b;
  smf::PutVarLen(b, v);
  return b;
}

// "MThd" with the given length field, format 1, 3 tracks, division; the
// header always takes 14 bytes here (the length field only states a length).
inline Bytes Header(uint16_t division = 480, uint32_t length = 6) { return smf::Header(1, 3, division, length); }

// An event: delta time then the given bytes.
inline Bytes Ev(uint32_t delta, const Bytes& body) {
  Bytes b = VarLen(delta);
  Append(b, body);
  return b;
}

// A meta event with a one-byte length.
inline Bytes Meta(uint32_t delta, uint8_t type, const std::string& data) {
  Bytes b = VarLen(delta);
  Append(b, {0xFF, type, static_cast<uint8_t>(data.size())});
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

inline Bytes Text(uint32_t delta, const std::string& text) { return Meta(delta, 0x01, text); }
inline Bytes EndOfTrack(uint32_t delta = 0) { return Ev(delta, {0xFF, 0x2F, 0x00}); }
inline Bytes Tempo(uint32_t micros, uint32_t delta = 0) {
  return Ev(delta, {0xFF, 0x51, 0x03, uint8_t(micros >> 16), uint8_t(micros >> 8), uint8_t(micros)});
}
inline Bytes TimeSignature(uint32_t delta = 0) { return Ev(delta, {0xFF, 0x58, 0x04, 4, 2, 24, 8}); }

// A track chunk around the given events (no end-of-track added).
inline Bytes Track(std::initializer_list<Bytes> events, const char* tag = "MTrk") {
  Bytes data;
  for (const auto& e : events) Append(data, e);
  return smf::Chunk(data, tag);
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) Append(out, p);
  return out;
}

// The usual first two chunks: tempo track and karaoke marker track.
inline Bytes TempoTrack(uint32_t micros = 500000) { return Track({TimeSignature(), Tempo(micros), EndOfTrack()}); }
inline Bytes MarkerTrack() { return Track({Text(0, "@KMIDI KARAOKE FILE"), EndOfTrack()}); }

// A whole karaoke song: header, tempo track, marker track and a words track
// holding `words` followed by the end-of-track.
inline Bytes KaraokeSong(std::initializer_list<Bytes> words, uint16_t division = 480, uint32_t micros = 500000) {
  Bytes w;
  for (const auto& e : words) Append(w, e);
  Append(w, EndOfTrack());
  return Concat({Header(division), TempoTrack(micros), MarkerTrack(), Track({w})});
}

// Loads bytes into a song buffer as a read would: the rest keeps `fill`.
inline void Load(SongData& song, const Bytes& bytes, uint8_t fill = 0) {
  song.SongBuffer.fill(fill);
  const size_t n = bytes.size() < size_t(kMaxSongRead) ? bytes.size() : size_t(kMaxSongRead);
  std::copy(bytes.begin(), bytes.begin() + static_cast<long>(n), song.SongBuffer.begin());
  song.SongBuffer[kMaxSongRead] = 0;
  song.SongBytes = static_cast<int>(n);
}

// A song analysed from the given bytes, with its buffer and timeline kept so
// a test can look at what the analysis left behind.
struct Analysed {
  std::unique_ptr<SongData> song = std::make_unique<SongData>();
  std::unique_ptr<LyricTimeline> timeline = std::make_unique<LyricTimeline>();
  AnalysisOutcome out;

  // The bytes of syllable `i`'s text.
  std::string TextOf(int i) const {
    const Syllable& s = timeline->SyllableTable[static_cast<size_t>(i)];
    return std::string(reinterpret_cast<const char*>(song->SongBuffer.data()) + s.Text, s.Length);
  }
};

inline Analysed Analyse(const Bytes& bytes, uint8_t fill = 0) {
  Analysed a;
  Load(*a.song, bytes, fill);
  a.out = AnalyseSong(*a.song, *a.timeline);
  return a;
}

}  // namespace melvar::analysis::test
