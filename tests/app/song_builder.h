#pragma once
// Builds small, real karaoke and MIDI songs for the window tests: a tempo
// track, the karaoke marker track, a words track with one text event per
// syllable, and a melody track that plays a note under each syllable.
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

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
    std::vector<uint8_t> out = header(4);
    appendTrack(out, tempoTrack());
    std::vector<uint8_t> marker;
    meta(marker, 0, 0x01, "@KMIDI KARAOKE FILE");
    appendTrack(out, marker);
    std::vector<uint8_t> words;
    meta(words, 0, 0x03, "Words");
    for (const auto& t : titles_) meta(words, 0, 0x01, "@T" + t);
    uint32_t at = 0;
    for (const auto& s : syllables_) {
      meta(words, s.tick - at, 0x01, s.text);
      at = s.tick;
    }
    appendTrack(out, words);
    appendTrack(out, melodyTrack());
    return out;
  }

  // The same music without the karaoke tracks.
  std::vector<uint8_t> plainMidi() const {
    std::vector<uint8_t> out = header(2);
    appendTrack(out, tempoTrack());
    appendTrack(out, melodyTrack());
    return out;
  }

  static bool write(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
  }

 private:
  static void varLen(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t tmp[5];
    int n = 0;
    tmp[n++] = v & 0x7F;
    while (v >>= 7) tmp[n++] = 0x80 | (v & 0x7F);
    while (n) out.push_back(tmp[--n]);
  }
  static void meta(std::vector<uint8_t>& out, uint32_t delta, uint8_t type, const std::string& text) {
    varLen(out, delta);
    out.push_back(0xFF);
    out.push_back(type);
    out.push_back(static_cast<uint8_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
  }
  std::vector<uint8_t> header(uint16_t tracks) const {
    return {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, static_cast<uint8_t>(tracks),
            static_cast<uint8_t>(division_ >> 8), static_cast<uint8_t>(division_ & 0xFF)};
  }
  static void appendTrack(std::vector<uint8_t>& out, std::vector<uint8_t> body) {
    body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
    const uint32_t n = static_cast<uint32_t>(body.size());
    out.insert(out.end(), {'M', 'T', 'r', 'k', static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                           static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
    out.insert(out.end(), body.begin(), body.end());
  }
  std::vector<uint8_t> tempoTrack() const {
    std::vector<uint8_t> t = {0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08,
                              0x00, 0xFF, 0x51, 0x03, static_cast<uint8_t>(tempo_ >> 16),
                              static_cast<uint8_t>(tempo_ >> 8), static_cast<uint8_t>(tempo_)};
    // A name long enough that even the smallest test song is analysed
    // (the player skips files of 300 bytes or fewer).
    meta(t, 0, 0x03, "Melvar test song, tempo and time signature track");
    return t;
  }
  std::vector<uint8_t> melodyTrack() const {
    std::vector<uint8_t> t = {0x00, 0xC0, 73};  // flute
    uint32_t at = 0;
    uint8_t note = 67;
    for (size_t i = 0; i < syllables_.size(); ++i) {
      const uint32_t on = std::max(syllables_[i].tick, at);
      uint32_t off = on + noteLength_;
      if (i + 1 < syllables_.size()) off = std::min(off, std::max(on, syllables_[i + 1].tick));
      varLen(t, on - at);
      t.insert(t.end(), {0x90, note, 96});
      varLen(t, off - on);
      t.insert(t.end(), {0x80, note, 0});
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
