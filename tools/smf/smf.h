// Writing Standard MIDI Files: one track at a time from timed events, then
// the header and the chunks. Events are kept with absolute ticks and sorted
// when the chunk is written, so a track can be filled in any order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace melvar::mkdemo {

using Bytes = std::vector<uint8_t>;

void PutVarLen(Bytes& out, uint32_t value);
void PutBigEndian(Bytes& out, uint32_t value, int byteCount);

class TrackBuilder {
 public:
  // Meta events carry their text byte for byte (8-bit text, no re-encoding).
  void Meta(uint32_t tick, uint8_t type, std::string_view data);
  void Text(uint32_t tick, std::string_view text) { Meta(tick, 0x01, text); }
  void Name(uint32_t tick, std::string_view name) { Meta(tick, 0x03, name); }
  void Tempo(uint32_t tick, uint32_t microsPerQuarter);
  // Denominator as a power of two (2 for quarter notes), as stored in FF 58.
  void TimeSignature(uint32_t tick, uint8_t numerator, uint8_t denominatorPower);
  void Program(uint32_t tick, uint8_t channel, uint8_t program);
  void Control(uint32_t tick, uint8_t channel, uint8_t controller, uint8_t value);
  void Note(uint32_t tick, uint32_t length, uint8_t channel, uint8_t key, uint8_t velocity);

  // The whole "MTrk" chunk, ending with the end-of-track event FF 2F 00 at
  // endTick or at the last event, whichever is later.
  Bytes Chunk(uint32_t endTick) const;
  size_t EventCount() const { return events_.size(); }

 private:
  // At one tick: meta events first, then set-up messages, then note-offs,
  // then note-ons, so that a repeated key is released before it is struck.
  enum Order { kMeta = 0, kSetup = 1, kNoteOff = 2, kNoteOn = 3 };
  struct Event {
    uint32_t tick;
    Order order;
    Bytes bytes;
  };
  std::vector<Event> events_;
};

// Header "MThd" (length 6) followed by the given chunks.
Bytes SmfFile(uint16_t format, uint16_t division, const std::vector<Bytes>& chunks);

}  // namespace melvar::mkdemo
