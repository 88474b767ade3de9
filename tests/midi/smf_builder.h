#pragma once
// Standard MIDI File bytes for the MIDI tests, written with the project's
// SMF writer; a few byte helpers for the wrappers and broken layouts.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "tools/smf/smf.h"

namespace melvar::midi::test {

using Bytes = smf::Bytes;
using Track = smf::EventList;

inline void Append(Bytes* b, std::initializer_list<int> v) {
  for (int x : v) b->push_back(static_cast<uint8_t>(x));
}
inline void Append(Bytes* b, const Bytes& v) { b->insert(b->end(), v.begin(), v.end()); }
inline void AppendText(Bytes* b, const std::string& s) { b->insert(b->end(), s.begin(), s.end()); }
inline void Be32(Bytes* b, uint32_t v) { smf::PutBigEndian(*b, v, 4); }
inline void VarLen(Bytes* b, uint32_t v) { smf::PutVarLen(*b, v); }

inline Bytes Header(int format, int tracks, int division) {
  return smf::Header(static_cast<uint16_t>(format), static_cast<uint16_t>(tracks), static_cast<uint16_t>(division));
}
inline Bytes TrackChunk(const Track& t) { return smf::Chunk(t.bytes()); }

inline Bytes Smf(int format, int division, std::initializer_list<Track> tracks) {
  Bytes b = Header(format, static_cast<int>(tracks.size()), division);
  for (const Track& t : tracks) Append(&b, TrackChunk(t));
  return b;
}

}  // namespace melvar::midi::test
