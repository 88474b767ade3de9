#pragma once
// Builds small, real karaoke and MIDI songs for the window tests with the
// project's SMF writer: a tempo track, the karaoke marker track, a words
// track with one text event per syllable, and a melody track that plays a
// note under each syllable.
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "tools/smf/smf.h"

namespace melvar::test {

struct SongSyllable {
  std::string text;  // with a leading "/" or "\" for a new line
  uint32_t tick;     // absolute tick of the syllable (and its note)
};

class SongBuilder {
 public:
  explicit SongBuilder(uint16_t division = 480, uint32_t tempoMicros = 500000)
      : division_(division), tempo_(tempoMicros) {}

  SongBuilder& title(const std::string& t) { titles_.push_back(t); return *this; }
  SongBuilder& syllable(const std::string& text, uint32_t tick) {
    syllables_.push_back({text, tick});
    return *this;
  }
  // Length of each note under a syllable, in ticks.
  SongBuilder& noteLength(uint32_t ticks) { noteLength_ = ticks; return *this; }

  std::vector<uint8_t> karaoke() const {
    smf::EventList marker, words;
    marker.Text(0, "@KMIDI KARAOKE FILE");
    words.Name(0, "Words");
    for (const auto& t : titles_) words.Text(0, "@T" + t);
    uint32_t at = 0;
    for (const auto& s : syllables_) {
      words.Text(s.tick - at, s.text);
      at = s.tick;
    }
    return file({tempoTrack(), marker, words, melodyTrack()});
  }

  // The syllables as LYRIC events in the melody's track, track 1 of two: a
  // layout the soft-karaoke walk does not read.
  std::vector<uint8_t> lyricsInTrack1() const { return file({tempoTrack(), melodyTrack(true)}); }

  // The same music without the karaoke tracks.
  std::vector<uint8_t> plainMidi() const { return file({tempoTrack(), melodyTrack()}); }

  static bool write(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
  }

 private:
  std::vector<uint8_t> file(std::initializer_list<smf::EventList> tracks) const {
    std::vector<smf::Bytes> chunks;
    for (smf::EventList t : tracks) chunks.push_back(smf::Chunk(t.End().bytes()));
    return smf::SmfFile(1, division_, chunks);
  }
  smf::EventList tempoTrack() const {
    smf::EventList t;
    t.Raw(0, {0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08}).Tempo(0, tempo_);
    // A name long enough that even the smallest test song is analysed
    // (the player skips files of 300 bytes or fewer).
    t.Name(0, "Melvar test song, tempo and time signature track");
    return t;
  }
  // With `lyrics`, each syllable's text is a LYRIC event before its note.
  smf::EventList melodyTrack(bool lyrics = false) const {
    smf::EventList t;
    t.Program(0, 0, 73);  // flute
    uint32_t at = 0;
    uint8_t note = 67;
    for (size_t i = 0; i < syllables_.size(); ++i) {
      const uint32_t on = std::max(syllables_[i].tick, at);
      uint32_t off = on + noteLength_;
      if (i + 1 < syllables_.size()) off = std::min(off, std::max(on, syllables_[i + 1].tick));
      if (lyrics) {
        t.Lyric(on - at, syllables_[i].text);
        at = on;
      }
      t.NoteOn(on - at, 0, note, 96).NoteOff(off - on, 0, note);
      at = off;
      note = static_cast<uint8_t>(note == 72 ? 67 : note + 1);
    }
    return t;
  }

  uint16_t division_;
  uint32_t tempo_;
  uint32_t noteLength_ = 200;
  std::vector<std::string> titles_;
  std::vector<SongSyllable> syllables_;
};

}  // namespace melvar::test
