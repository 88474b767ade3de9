// libFuzzer target for the Standard MIDI File reader the sequencer uses.
// Any bytes must give a song or an error; a song's events, payload slices
// and tempo map must be consistent, and its tick <-> sixteenth conversions
// must agree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "midi_file.h"
#include "fuzz/fuzz_check.h"

using melvar::fuzz::Check;
using namespace melvar::midi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MidiSong song;
  const melvar::audio::MediaError e = ParseMidiFile(data, size, &song);
  if (!e.ok()) {
    Check(!e.text.empty() && song.events.empty());
    return 0;
  }
  Check(song.format >= 0 && song.format <= 2 && song.tracksRead > 0 && song.division > 0);
  Check(!song.tempos.empty() && song.tempos.front().tick == 0);
  for (size_t i = 1; i < song.tempos.size(); ++i) {
    Check(song.tempos[i - 1].tick < song.tempos[i].tick);
    Check(song.tempos[i].microsPerQuarter > 0);
  }
  int64_t prev = 0;
  for (const MidiEvent& ev : song.events) {
    Check(ev.tick >= prev && ev.tick <= kMaxSongTick && ev.status >= 0x80);
    prev = ev.tick;
    if (ev.status < 0xF0) {
      Check(ev.data1 < 0x80 && ev.data2 < 0x80);
    } else {
      const PayloadSpan span = song.PayloadOf(ev);
      Check(uint64_t{span.offset} + span.length <= song.payload.size() && span.track < song.tracksRead);
    }
  }
  for (const PayloadSpan& span : song.payloadSpans) Check(uint64_t{span.offset} + span.length <= song.payload.size());
  Check(song.lastTick == (song.events.empty() ? 0 : song.events.back().tick));
  const int64_t length = song.LengthSixteenths();
  Check(length >= 0);
  // The first tick at or past a sixteenth: the tick before it lies before
  // that sixteenth (a tick may span several sixteenths in coarse files).
  for (int64_t s : {int64_t{0}, int64_t{1}, length / 2, length}) {
    const int64_t t = song.TickOfSixteenth(s);
    Check(t >= 0 && song.SixteenthOfTick(t) >= s);
    if (t > 0) Check(song.SixteenthOfTick(t - 1) < s);
  }
  return 0;
}
