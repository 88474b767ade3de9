#include "midi_file.h"

#include <algorithm>
#include <cstring>

namespace melvar::midi {
namespace {

using audio::MediaError;

// How far into the file the header is looked for when it is not at offset 0
// (a MacBinary header is 128 bytes; some tools add a little more).
constexpr size_t kHeaderSearchBytes = 4096;

uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
uint32_t Le32(const uint8_t* p) {
  return (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}

// A chunk id of four printable ASCII characters; anything else after the
// tracks is junk or padding and ends the walk.
bool IsChunkId(const uint8_t* p) {
  for (int i = 0; i < 4; ++i)
    if (p[i] < 0x20 || p[i] > 0x7E) return false;
  return true;
}

// The bytes of a Standard MIDI File inside a RIFF RMID wrapper (its "data"
// chunk), or the whole input when it is not such a wrapper.
void UnwrapRiff(const uint8_t*& bytes, size_t& size) {
  if (size < 12 || std::memcmp(bytes, "RIFF", 4) != 0 || std::memcmp(bytes + 8, "RMID", 4) != 0) return;
  size_t pos = 12;
  while (pos + 8 <= size) {
    const uint32_t len = Le32(bytes + pos + 4);
    if (std::memcmp(bytes + pos, "data", 4) == 0) {
      const size_t avail = size - (pos + 8);
      bytes += pos + 8;
      size = std::min<size_t>(len, avail);
      return;
    }
    const uint64_t next = uint64_t{pos} + 8 + len + (len & 1);  // RIFF chunks are word aligned
    if (next > size) break;
    pos = static_cast<size_t>(next);
  }
}

// What a track reader produces. Counting only (song == null) sizes the
// song's tables before they are filled, so a large file is stored once, at
// its exact size.
struct TrackSink {
  MidiSong* song = nullptr;
  uint64_t events = 0;
  uint64_t spans = 0;
  uint64_t payloadBytes = 0;
};

// Reads one track's events, with absolute ticks starting at `offset`.
// Read() returns false when the track stopped early (truncated, damaged, or
// past the last tick a song may reach).
class TrackReader {
 public:
  TrackReader(const uint8_t* p, size_t n, uint16_t track, int64_t offset, TrackSink* sink)
      : p_(p), n_(n), track_(track), offset_(offset), sink_(sink) {}

  bool Read() {
    uint8_t running = 0;
    int64_t tick = offset_;
    while (pos_ < n_) {
      uint32_t delta = 0;
      if (!ReadVarLen(&delta)) return false;
      tick += delta;
      if (tick > kMaxSongTick) return false;
      if (pos_ >= n_) return false;
      uint8_t status = p_[pos_];
      if (status >= 0x80) {
        ++pos_;
      } else if (running != 0) {
        status = running;  // running status: this byte is already data
      } else {
        return false;      // a data byte with no status in force
      }
      MidiEvent ev;
      ev.tick = static_cast<uint32_t>(tick);
      ev.status = status;
      if (status < 0xF0) {
        running = status;
        const int kind = status & 0xF0;
        const int nData = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
        uint8_t d[2] = {0, 0};
        for (int i = 0; i < nData; ++i) {
          if (pos_ >= n_ || p_[pos_] >= 0x80) return false;
          d[i] = p_[pos_++];
        }
        ev.data1 = d[0];
        ev.data2 = d[1];
        if (kind == 0x90 && ev.data2 == 0) ev.status = static_cast<uint8_t>(0x80 | (status & 0x0F));
        Add(ev);
      } else if (status == 0xFF) {
        if (pos_ >= n_) return false;
        const uint8_t type = p_[pos_++];
        uint32_t len = 0;
        if (!ReadVarLen(&len) || len > n_ - pos_) return false;
        if (!AddPayload(&ev, p_ + pos_, len, type)) return false;
        pos_ += len;
        if (type == 0x51 && len >= 3) {
          const uint32_t us = (uint32_t{p_[pos_ - len]} << 16) | (uint32_t{p_[pos_ - len + 1]} << 8) | p_[pos_ - len + 2];
          // A tempo of zero would stop time; such an event is ignored.
          if (us > 0 && sink_->song) tempos_.push_back({tick, us});
        }
        Add(ev);
        if (type == 0x2F) return true;  // end of track: the rest of the chunk is ignored
      } else if (status == 0xF0 || status == 0xF7) {
        uint32_t len = 0;
        if (!ReadVarLen(&len) || len > n_ - pos_) return false;
        const uint8_t* d = p_ + pos_;
        pos_ += len;
        uint32_t dl = len;
        // The synthesiser takes a sysex message without its F0 and F7.
        if (status == 0xF0 && dl > 0 && d[dl - 1] == 0xF7) --dl;
        if (!AddPayload(&ev, d, dl, 0)) return false;
        Add(ev);
      } else {
        // System common / real-time bytes do not belong in a file; skip them
        // with their data so the rest of the track still reads.
        const int nData = (status == 0xF2) ? 2 : (status == 0xF1 || status == 0xF3) ? 1 : 0;
        if (n_ - pos_ < static_cast<size_t>(nData)) return false;
        pos_ += nData;
      }
    }
    return false;  // the chunk ended without an end-of-track event
  }

  const std::vector<TempoPoint>& tempos() const { return tempos_; }
  // The tick of the track's last event; `offset` when it has none.
  int64_t lastTick() const { return lastTick_; }

 private:
  bool ReadVarLen(uint32_t* v) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      if (pos_ >= n_) return false;
      const uint8_t b = p_[pos_++];
      value = (value << 7) | (b & 0x7F);
      if ((b & 0x80) == 0) {
        *v = value;
        return true;
      }
    }
    return false;  // longer than the four bytes a file may use
  }

  void Add(const MidiEvent& ev) {
    lastTick_ = ev.tick;
    ++sink_->events;
    if (sink_->song) sink_->song->events.push_back(ev);
  }

  bool AddPayload(MidiEvent* ev, const uint8_t* d, uint32_t len, uint8_t metaType) {
    if (sink_->payloadBytes + len > UINT32_MAX || sink_->spans >= kMaxPayloads) return false;
    const uint32_t n = static_cast<uint32_t>(sink_->spans);
    ev->data1 = static_cast<uint8_t>(n);
    ev->data2 = static_cast<uint8_t>(n >> 8);
    ev->data3 = static_cast<uint8_t>(n >> 16);
    if (MidiSong* song = sink_->song) {
      song->payloadSpans.push_back({static_cast<uint32_t>(song->payload.size()), len, metaType, track_});
      song->payload.insert(song->payload.end(), d, d + len);
    }
    ++sink_->spans;
    sink_->payloadBytes += len;
    return true;
  }

  const uint8_t* p_;
  size_t n_;
  size_t pos_ = 0;
  uint16_t track_;
  int64_t offset_;
  int64_t lastTick_ = offset_;
  TrackSink* sink_;
  std::vector<TempoPoint> tempos_;
};

}  // namespace

int64_t MidiSong::SixteenthOfTick(int64_t tick) const {
  if (tick <= 0) return 0;
  if (smpte) return tick * 800 / (int64_t{smpteFps100} * smpteTicksPerFrame);
  return tick * 4 / division;
}

int64_t MidiSong::TickOfSixteenth(int64_t sixteenth) const {
  if (sixteenth <= 0) return 0;
  const int64_t den = smpte ? 800 : 4;
  const int64_t num = smpte ? int64_t{smpteFps100} * smpteTicksPerFrame : division;
  return (sixteenth * num + den - 1) / den;
}

MediaError ParseMidiFile(const uint8_t* bytes, size_t size, MidiSong* out) {
  *out = MidiSong{};
  if (bytes == nullptr || size == 0) return {audio::kErrBadFile, "The MIDI file is empty"};
  UnwrapRiff(bytes, size);

  // The header: at offset 0, or after some leading bytes such as a MacBinary header.
  size_t start = SIZE_MAX;
  const size_t searchEnd = std::min(size, kHeaderSearchBytes);
  for (size_t i = 0; i + 4 <= size && i < searchEnd; ++i) {
    if (std::memcmp(bytes + i, "MThd", 4) == 0) {
      start = i;
      break;
    }
  }
  if (start == SIZE_MAX) return {audio::kErrBadFile, "The file is not a Standard MIDI File (no MThd header)"};
  bytes += start;
  size -= start;
  if (size < 14) return {audio::kErrBadFile, "The MIDI file ends inside its header"};
  const uint32_t headerLen = Be32(bytes + 4);
  if (headerLen < 6 || headerLen > size - 8) return {audio::kErrBadFile, "The MIDI file's header is damaged"};

  MidiSong& song = *out;
  song.format = (bytes[8] << 8) | bytes[9];
  song.declaredTracks = (bytes[10] << 8) | bytes[11];
  song.divisionWord = static_cast<uint16_t>((bytes[12] << 8) | bytes[13]);
  if (song.format > 2) return {audio::kErrBadFile, "The MIDI file has an unknown format (" + std::to_string(song.format) + ")"};
  if (song.divisionWord & 0x8000) {
    // Frame-based timing: the high byte is minus the frames per second.
    const int fps = -static_cast<int8_t>(song.divisionWord >> 8);
    const int tpf = song.divisionWord & 0xFF;
    if (fps <= 0 || tpf == 0) return {audio::kErrBadFile, "The MIDI file's time division is damaged"};
    song.smpte = true;
    song.smpteFps100 = fps == 29 ? 2997 : fps * 100;
    song.smpteTicksPerFrame = tpf;
    song.division = std::max(1, (song.smpteFps100 * tpf + 100) / 200);
  } else {
    if (song.divisionWord == 0) return {audio::kErrBadFile, "The MIDI file's time division is zero"};
    song.division = song.divisionWord;
  }

  // Track chunks, each read by its declared length; unknown chunks skipped.
  // The first pass counts, the second stores: every table is allocated once
  // at its final size.
  struct TrackSpan {
    const uint8_t* body;
    size_t size;
  };
  std::vector<TrackSpan> chunks;
  size_t pos = 8 + headerLen;
  while (pos + 8 <= size && IsChunkId(bytes + pos)) {
    const uint32_t len = Be32(bytes + pos + 4);
    const size_t body = pos + 8;
    const size_t avail = size - body;
    if (std::memcmp(bytes + pos, "MTrk", 4) == 0) {
      if (chunks.size() >= 0xFFFF) break;
      chunks.push_back({bytes + body, std::min<size_t>(len, avail)});
    }
    if (len > avail) break;  // the file ends inside this chunk
    pos = body + len;
  }
  if (chunks.empty()) return {audio::kErrBadFile, "The MIDI file has no tracks"};
  song.tracksRead = static_cast<int>(chunks.size());

  // Format 2 holds independent sequences, played one after another: each
  // starts where the previous one's last event lies.
  const bool chained = song.format == 2;
  std::vector<int64_t> offsets(chunks.size(), 0);
  std::vector<size_t> trackStart(chunks.size() + 1, 0);
  TrackSink count;
  for (size_t t = 0; t < chunks.size(); ++t) {
    const uint64_t before = count.events;
    TrackReader reader(chunks[t].body, chunks[t].size, static_cast<uint16_t>(t), offsets[t], &count);
    if (!reader.Read()) song.truncated = true;
    if (chained && t + 1 < chunks.size()) offsets[t + 1] = reader.lastTick();
    trackStart[t + 1] = trackStart[t] + static_cast<size_t>(count.events - before);
  }
  song.events.reserve(static_cast<size_t>(count.events));
  song.payloadSpans.reserve(static_cast<size_t>(count.spans));
  song.payload.reserve(static_cast<size_t>(count.payloadBytes));
  TrackSink fill;
  fill.song = &song;
  std::vector<TempoPoint> tempos;
  for (size_t t = 0; t < chunks.size(); ++t) {
    TrackReader reader(chunks[t].body, chunks[t].size, static_cast<uint16_t>(t), offsets[t], &fill);
    reader.Read();
    tempos.insert(tempos.end(), reader.tempos().begin(), reader.tempos().end());
  }

  // Each track is in time order; merging neighbours pairwise keeps, at the
  // same tick, the order of the tracks and, inside a track, the file order.
  // The merge borrows at most half the events' size of scratch memory.
  auto byTick = [](const MidiEvent& a, const MidiEvent& b) { return a.tick < b.tick; };
  std::vector<size_t> bounds = trackStart;
  while (bounds.size() > 2) {
    std::vector<size_t> merged;
    merged.reserve(bounds.size() / 2 + 2);
    size_t i = 0;
    for (; i + 2 < bounds.size(); i += 2) {
      std::inplace_merge(song.events.begin() + static_cast<ptrdiff_t>(bounds[i]),
                         song.events.begin() + static_cast<ptrdiff_t>(bounds[i + 1]),
                         song.events.begin() + static_cast<ptrdiff_t>(bounds[i + 2]), byTick);
      merged.push_back(bounds[i]);
    }
    for (; i < bounds.size(); ++i) merged.push_back(bounds[i]);
    bounds.swap(merged);
  }
  song.lastTick = song.events.empty() ? 0 : song.events.back().tick;

  std::stable_sort(tempos.begin(), tempos.end(),
                   [](const TempoPoint& a, const TempoPoint& b) { return a.tick < b.tick; });
  if (!tempos.empty()) song.firstTempoMicros = tempos.front().microsPerQuarter;
  if (song.smpte) {
    // Frame-based files play at real time; their tempo events do not count.
    song.tempos = {TempoPoint{0, 500000}};
  } else {
    song.tempos.push_back({0, 500000});
    for (const TempoPoint& tp : tempos) {
      if (tp.tick == song.tempos.back().tick)
        song.tempos.back().microsPerQuarter = tp.microsPerQuarter;  // the last at a tick wins
      else
        song.tempos.push_back(tp);
    }
  }
  return {};
}

}  // namespace melvar::midi
