#pragma once
// Standard MIDI File reader: formats 0, 1 and 2, running status (kept across
// meta and sysex events, as real files need), RIFF RMID wrappers, a header
// preceded by other bytes (MacBinary), truncated last tracks and trailing
// junk. Every read is bounds-checked: any bytes give a song or an error.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "song_source.h"

namespace melvar::midi {

// One event of the merged song, 8 bytes: a file of 35 million notes (70
// million events) fits in about 560 MB. Channel messages keep their two data
// bytes; a meta or sysex event holds instead the number of its PayloadSpan
// (24 bits: a song keeps at most kMaxPayloads of them).
struct MidiEvent {
  uint32_t tick = 0;        // absolute tick in the merged song (at most kMaxSongTick)
  uint8_t status = 0;       // 0x80..0xEF channel message, 0xF0/0xF7 sysex, 0xFF meta
  uint8_t data1 = 0;        // channel: first data byte
  uint8_t data2 = 0;        // channel: second data byte (0 when there is none)
  uint8_t data3 = 0;        // meta / sysex: high byte of the span number
};
static_assert(sizeof(MidiEvent) == 8);

constexpr uint32_t kMaxPayloads = 1u << 24;

// The last tick a song may reach. Events after it (in any track, and for
// format 2 in the tracks played one after another) are cut off as damage; it
// keeps every later product (tick x tempo x sample rate) far inside 64-bit
// integers.
constexpr int64_t kMaxSongTick = 0xFFFFFFFFLL;

// Where a meta or sysex event's bytes lie in MidiSong::payload, a meta
// event's type, and the track chunk the event came from.
struct PayloadSpan {
  uint32_t offset = 0;
  uint32_t length = 0;
  uint8_t metaType = 0;
  uint16_t track = 0;
};

// A change of tempo at a tick. For frame-based (SMPTE) files the map holds
// one entry, see MidiSong::smpte.
struct TempoPoint {
  int64_t tick = 0;
  uint32_t microsPerQuarter = 500000;
};

struct MidiSong {
  int format = 0;           // 0, 1 or 2 as the header says
  int declaredTracks = 0;   // track count of the header
  int tracksRead = 0;       // MTrk chunks actually read
  uint16_t divisionWord = 0;  // the header's division field as stored
  // Ticks per quarter note for metrical files. For SMPTE files the song is
  // played at real time and a quarter note counts as half a second
  // (a sixteenth is 125 ms), so this is ticksPerSecond / 2 rounded.
  int division = 480;
  bool smpte = false;
  int smpteFps100 = 0;      // frames per 100 s (2997 for the 29.97 fps code)
  int smpteTicksPerFrame = 0;
  bool truncated = false;   // a track stopped early: damaged, or cut before its end-of-track
  std::vector<MidiEvent> events;      // merged, ordered by tick (stable by track)
  std::vector<uint8_t> payload;       // bytes of meta and sysex events (sysex without F0 / F7)
  std::vector<PayloadSpan> payloadSpans;  // one per meta and sysex event, in file order
  std::vector<TempoPoint> tempos;     // ordered by tick, never empty; first at tick 0
  uint32_t firstTempoMicros = 500000; // the first tempo event's value (500000 if none)
  int64_t lastTick = 0;               // tick of the last event

  // Sixteenth notes of a tick (tick x 4 / division, truncated; for SMPTE
  // files: 125 ms units).
  int64_t SixteenthOfTick(int64_t tick) const;
  // The first tick whose sixteenth is at least `sixteenth`.
  int64_t TickOfSixteenth(int64_t sixteenth) const;
  // Length in sixteenth notes: the sixteenth of the last event.
  int64_t LengthSixteenths() const { return SixteenthOfTick(lastTick); }
  // The bytes of a meta or sysex event (an empty span for other events).
  PayloadSpan PayloadOf(const MidiEvent& ev) const {
    const uint32_t n = ev.data1 | (uint32_t{ev.data2} << 8) | (uint32_t{ev.data3} << 16);
    return ev.status >= 0xF0 && n < payloadSpans.size() ? payloadSpans[n] : PayloadSpan{};
  }
};

// Parses a whole file. kErrBadFile with a text when no song can be read.
audio::MediaError ParseMidiFile(const uint8_t* bytes, size_t size, MidiSong* out);

}  // namespace melvar::midi
