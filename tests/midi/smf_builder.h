#pragma once
// Builds Standard MIDI File bytes by hand for the tests.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace melvar::midi::test {

using Bytes = std::vector<uint8_t>;

inline void Append(Bytes* b, std::initializer_list<int> v) {
  for (int x : v) b->push_back(static_cast<uint8_t>(x));
}
inline void Append(Bytes* b, const Bytes& v) { b->insert(b->end(), v.begin(), v.end()); }
inline void AppendText(Bytes* b, const std::string& s) { b->insert(b->end(), s.begin(), s.end()); }
inline void Be32(Bytes* b, uint32_t v) { Append(b, {int(v >> 24), int((v >> 16) & 255), int((v >> 8) & 255), int(v & 255)}); }
inline void VarLen(Bytes* b, uint32_t v) {
  uint8_t tmp[5];
  int n = 0;
  tmp[n++] = v & 0x7F;
  while (v >>= 7) tmp[n++] = 0x80 | (v & 0x7F);
  while (n) b->push_back(tmp[--n]);
}

// Events of one track; each call takes the delta time in ticks.
class Track {
 public:
  Track& Raw(uint32_t delta, std::initializer_list<int> bytes) {
    VarLen(&b_, delta);
    Append(&b_, bytes);
    return *this;
  }
  Track& NoteOn(uint32_t d, int ch, int key, int vel) { return Raw(d, {0x90 | ch, key, vel}); }
  Track& NoteOff(uint32_t d, int ch, int key) { return Raw(d, {0x80 | ch, key, 0}); }
  Track& Cc(uint32_t d, int ch, int cc, int v) { return Raw(d, {0xB0 | ch, cc, v}); }
  Track& Program(uint32_t d, int ch, int p) { return Raw(d, {0xC0 | ch, p}); }
  Track& Tempo(uint32_t d, uint32_t us) { return Raw(d, {0xFF, 0x51, 3, int(us >> 16), int((us >> 8) & 255), int(us & 255)}); }
  Track& Text(uint32_t d, int type, const std::string& s) {
    VarLen(&b_, d);
    Append(&b_, {0xFF, type});
    VarLen(&b_, static_cast<uint32_t>(s.size()));
    AppendText(&b_, s);
    return *this;
  }
  Track& End(uint32_t d = 0) { return Raw(d, {0xFF, 0x2F, 0}); }
  const Bytes& bytes() const { return b_; }

 private:
  Bytes b_;
};

inline Bytes Header(int format, int tracks, int division) {
  Bytes b;
  AppendText(&b, "MThd");
  Be32(&b, 6);
  Append(&b, {format >> 8, format & 255, tracks >> 8, tracks & 255, (division >> 8) & 255, division & 255});
  return b;
}

inline Bytes TrackChunk(const Track& t) {
  Bytes b;
  AppendText(&b, "MTrk");
  Be32(&b, static_cast<uint32_t>(t.bytes().size()));
  Append(&b, t.bytes());
  return b;
}

inline Bytes Smf(int format, int division, std::initializer_list<Track> tracks) {
  Bytes b = Header(format, static_cast<int>(tracks.size()), division);
  for (const Track& t : tracks) Append(&b, TrackChunk(t));
  return b;
}

}  // namespace melvar::midi::test
