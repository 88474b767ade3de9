#include "tools/smf/smf.h"

#include <algorithm>

namespace melvar::smf {

void PutVarLen(Bytes& out, uint32_t value) {
  uint8_t groups[5];
  int count = 0;
  do {
    groups[count++] = value & 0x7F;
    value >>= 7;
  } while (value != 0);
  while (count > 1) out.push_back(groups[--count] | 0x80);
  out.push_back(groups[0]);
}

void PutBigEndian(Bytes& out, uint32_t value, int byteCount) {
  for (int shift = (byteCount - 1) * 8; shift >= 0; shift -= 8) out.push_back((value >> shift) & 0xFF);
}

void TrackBuilder::Meta(uint32_t tick, uint8_t type, std::string_view data) {
  Bytes bytes{0xFF, type};
  PutVarLen(bytes, static_cast<uint32_t>(data.size()));
  bytes.insert(bytes.end(), data.begin(), data.end());
  events_.push_back({tick, kMeta, std::move(bytes)});
}

void TrackBuilder::Tempo(uint32_t tick, uint32_t micros) {
  Bytes bytes{0xFF, 0x51, 0x03};
  PutBigEndian(bytes, micros, 3);
  events_.push_back({tick, kMeta, std::move(bytes)});
}

void TrackBuilder::TimeSignature(uint32_t tick, uint8_t numerator, uint8_t denominatorPower) {
  // 24 MIDI clocks a metronome click, 8 thirty-seconds a quarter note.
  events_.push_back({tick, kMeta, Bytes{0xFF, 0x58, 0x04, numerator, denominatorPower, 24, 8}});
}

void TrackBuilder::Program(uint32_t tick, uint8_t channel, uint8_t program) {
  events_.push_back({tick, kSetup, Bytes{static_cast<uint8_t>(0xC0 | channel), program}});
}

void TrackBuilder::Control(uint32_t tick, uint8_t channel, uint8_t controller, uint8_t value) {
  events_.push_back({tick, kSetup, Bytes{static_cast<uint8_t>(0xB0 | channel), controller, value}});
}

void TrackBuilder::Note(uint32_t tick, uint32_t length, uint8_t channel, uint8_t key, uint8_t velocity) {
  events_.push_back({tick, kNoteOn, Bytes{static_cast<uint8_t>(0x90 | channel), key, velocity}});
  // Note-off as 0x80 with release velocity 64; no running status anywhere,
  // so every event is readable on its own.
  events_.push_back({tick + length, kNoteOff, Bytes{static_cast<uint8_t>(0x80 | channel), key, 64}});
}

Bytes TrackBuilder::Chunk(uint32_t endTick) const {
  std::vector<const Event*> sorted;
  sorted.reserve(events_.size());
  for (const Event& e : events_) sorted.push_back(&e);
  std::stable_sort(sorted.begin(), sorted.end(), [](const Event* a, const Event* b) {
    if (a->tick != b->tick) return a->tick < b->tick;
    return a->order < b->order;
  });

  Bytes data;
  uint32_t now = 0;
  for (const Event* e : sorted) {
    PutVarLen(data, e->tick - now);
    now = e->tick;
    data.insert(data.end(), e->bytes.begin(), e->bytes.end());
  }
  PutVarLen(data, endTick > now ? endTick - now : 0);
  data.insert(data.end(), {0xFF, 0x2F, 0x00});

  return smf::Chunk(data);
}

Bytes SmfFile(uint16_t format, uint16_t division, const std::vector<Bytes>& chunks) {
  Bytes out = Header(format, static_cast<uint16_t>(chunks.size()), division);
  for (const Bytes& c : chunks) out.insert(out.end(), c.begin(), c.end());
  return out;
}

EventList& EventList::Raw(uint32_t delta, std::initializer_list<int> bytes) {
  PutVarLen(bytes_, delta);
  for (const int b : bytes) bytes_.push_back(static_cast<uint8_t>(b));
  return *this;
}

EventList& EventList::Raw(uint32_t delta, const Bytes& bytes) {
  PutVarLen(bytes_, delta);
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

EventList& EventList::Meta(uint32_t delta, uint8_t type, std::string_view data) {
  PutVarLen(bytes_, delta);
  bytes_.insert(bytes_.end(), {0xFF, type});
  PutVarLen(bytes_, static_cast<uint32_t>(data.size()));
  bytes_.insert(bytes_.end(), data.begin(), data.end());
  return *this;
}

EventList& EventList::Tempo(uint32_t delta, uint32_t microsPerQuarter) {
  PutVarLen(bytes_, delta);
  bytes_.insert(bytes_.end(), {0xFF, 0x51, 0x03});
  PutBigEndian(bytes_, microsPerQuarter, 3);
  return *this;
}

Bytes Header(uint16_t format, uint16_t tracks, uint16_t division, uint32_t length) {
  Bytes out{'M', 'T', 'h', 'd'};
  PutBigEndian(out, length, 4);
  PutBigEndian(out, format, 2);
  PutBigEndian(out, tracks, 2);
  PutBigEndian(out, division, 2);
  return out;
}

Bytes Chunk(const Bytes& body, std::string_view tag) {
  Bytes out;
  for (std::size_t i = 0; i < 4; ++i) out.push_back(i < tag.size() ? static_cast<uint8_t>(tag[i]) : ' ');
  PutBigEndian(out, static_cast<uint32_t>(body.size()), 4);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

}  // namespace melvar::smf
