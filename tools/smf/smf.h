// Writing Standard MIDI Files, for the demo songs and the tests: one track at
// a time from timed events (TrackBuilder, absolute ticks, sorted when the
// chunk is written, so a track can be filled in any order) or event by event
// in file order (EventList, delta times, any bytes: running status, odd or
// broken layouts), then the header and the chunks.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace melvar::smf {

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

// Events in file order, each after its delta time.
class EventList {
 public:
  EventList& Raw(uint32_t delta, std::initializer_list<int> bytes);
  EventList& Raw(uint32_t delta, const Bytes& bytes);
  // A meta event with a variable-length length.
  EventList& Meta(uint32_t delta, uint8_t type, std::string_view data);
  EventList& Text(uint32_t delta, std::string_view text) { return Meta(delta, 0x01, text); }
  EventList& Lyric(uint32_t delta, std::string_view text) { return Meta(delta, 0x05, text); }
  EventList& Name(uint32_t delta, std::string_view name) { return Meta(delta, 0x03, name); }
  EventList& Tempo(uint32_t delta, uint32_t microsPerQuarter);
  EventList& NoteOn(uint32_t delta, int channel, int key, int velocity) {
    return Raw(delta, {0x90 | channel, key, velocity});
  }
  EventList& NoteOff(uint32_t delta, int channel, int key) { return Raw(delta, {0x80 | channel, key, 0}); }
  EventList& Control(uint32_t delta, int channel, int controller, int value) {
    return Raw(delta, {0xB0 | channel, controller, value});
  }
  EventList& Program(uint32_t delta, int channel, int program) { return Raw(delta, {0xC0 | channel, program}); }
  EventList& End(uint32_t delta = 0) { return Raw(delta, {0xFF, 0x2F, 0x00}); }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

// "MThd", the given length field, format, track count and division (a
// length other than 6 still writes six bytes after it).
Bytes Header(uint16_t format, uint16_t tracks, uint16_t division, uint32_t length = 6);
// A chunk: the tag, the body's length in four bytes, the body.
Bytes Chunk(const Bytes& body, std::string_view tag = "MTrk");

}  // namespace melvar::smf
