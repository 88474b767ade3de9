// Song analysis over the first bytes of a song: header, tempo, the three
// karaoke chunks, titles, syllables and lyric lines.
//
// Every byte is fetched through Walk::At, which refuses any index at or
// beyond SongBytes; a refused read ends the analysis with false at that
// point. The walk itself follows the karaoke file layout byte by byte,
// including its quirks (any event after the first lyric text is taken for a
// meta event), because the player's lyric display relies on exactly this
// reading of a song.
#include "analysis/song_analysis.h"

#include "analysis/ascii.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

namespace melvar::analysis {

namespace {

constexpr uint8_t kMeta = 0xFF;
constexpr uint8_t kTextEvent = 0x01;
constexpr uint8_t kEndOfTrack = 0x2F;
constexpr uint8_t kControlChange9 = 0xB8;  // three bytes
constexpr uint8_t kProgramChange9 = 0xC8;  // two bytes
constexpr char kKaraokeMarker[] = "MIDI KARAOKE FILE";
constexpr int kKaraokeMarkerLength = 17;

uint8_t Upper(uint8_t b) { return static_cast<uint8_t>(AsciiUpper(static_cast<char>(b))); }

bool IsLineBreakMark(uint8_t b) { return b == '/' || b == '\\'; }

// How a variable-length quantity read ended.
enum class VarLen { Ok, CutShort, TooLarge };

int BytesRead(const SongData& song) { return std::clamp(song.SongBytes, 0, kSongBufferSize); }

// A MIDI variable-length quantity at pos, any number of bytes long; pos ends
// on the byte after it (or where the read gave up).
VarLen ReadVarLenAt(const SongData& song, int& pos, int32_t& value) {
  const int bytes = BytesRead(song);
  uint64_t v = 0;
  for (;;) {
    if (pos < 0 || pos >= bytes) return VarLen::CutShort;
    const uint8_t b = song.SongBuffer[static_cast<size_t>(pos)];
    ++pos;
    v = v * 128 + (b & 0x7F);
    if (v > 0x7FFFFFFFu) return VarLen::TooLarge;
    if (b < 0x80) break;
  }
  value = static_cast<int32_t>(v);
  return VarLen::Ok;
}

class Walk {
 public:
  Walk(const SongData& song, LyricTimeline& timeline)
      : song_(song), buf_(song.SongBuffer), bytes_(BytesRead(song)), timeline_(timeline) {}

  AnalysisOutcome Run() {
    RunSteps();
    return std::move(out_);
  }

 private:
  // The byte at index i, when it is one of the bytes read.
  bool At(int64_t i, uint8_t& b) const {
    if (i < 0 || i >= bytes_) return false;
    b = buf_[static_cast<size_t>(i)];
    return true;
  }

  bool Stop(AnalysisStop why, int pos = -1) {
    out_.stop = why;
    out_.stopPos = pos;
    out_.result = false;
    return false;
  }

  void RunSteps() {
    if (!Header()) return;
    if (!Tempo()) return;
    if (!DivisionAndHeaderLength()) return;
    if (!FirstChunk()) return;
    if (!SecondChunk()) return;
    if (!MarkerScan()) return;
    if (!ThirdChunk()) return;
    if (!TitlePhase()) return;
    if (!LyricPhase()) return;
    BuildLines();
  }

  bool Header() {
    if (bytes_ < 8) return Stop(AnalysisStop::HeaderCutShort, 0);
    if (std::memcmp(buf_.data(), "MThd", 4) != 0 || buf_[4] != 0 || buf_[5] != 0)
      return Stop(AnalysisStop::NotMidiHeader, 0);
    headerLength_ = buf_[6] * 256 + buf_[7];
    return true;
  }

  bool Tempo() {
    // Only the presence of a time-signature pair counts; its bytes are not read.
    if (!FindMarker(song_, 0xFF, 0x58)) return Stop(AnalysisStop::NoTimeSignature);
    const std::optional<int> s = FindMarker(song_, 0xFF, 0x51);
    if (!s) return Stop(AnalysisStop::NoTempo);
    uint8_t a, b, c;
    // The length byte at s + 2 is not read; a tempo whose data is cut off, or
    // zero, counts as no tempo event (and so never divides by zero).
    if (!At(*s + 3, a) || !At(*s + 4, b) || !At(*s + 5, c)) return Stop(AnalysisStop::TempoCutShort, *s);
    const int micros = a * 65536 + b * 256 + c;
    if (micros == 0) return Stop(AnalysisStop::TempoZero, *s);
    out_.tempo = TempoSetupFor(micros, 60000000 / micros);
    return true;
  }

  bool DivisionAndHeaderLength() {
    uint8_t hi, lo;
    if (!At(12, hi) || !At(13, lo)) return Stop(AnalysisStop::DivisionCutShort, 12);
    division_ = static_cast<uint16_t>(hi * 256 + lo);
    out_.division = division_;
    // Frame-based timing has no ticks per quarter note, and 0 would divide
    // by zero in the syllable times: such songs have no lyric timeline.
    if (division_ == 0 || (division_ & 0x8000) != 0) return Stop(AnalysisStop::BadDivision, 12);
    if (headerLength_ <= 3) return Stop(AnalysisStop::ShortHeaderLength, 6);
    return true;
  }

  // Accepts a track chunk at q: "MTrk" in any case, the upper half of its
  // length 0, and its stated end (tail + 1) inside the bytes read.
  bool Chunk(int64_t q, AnalysisStop failure) {
    uint8_t h[8];
    for (int i = 0; i < 8; ++i)
      if (!At(q + i, h[i])) return Stop(failure, static_cast<int>(std::min<int64_t>(q, bytes_)));
    if (Upper(h[0]) != 'M' || Upper(h[1]) != 'T' || Upper(h[2]) != 'R' || Upper(h[3]) != 'K' || h[4] != 0 ||
        h[5] != 0)
      return Stop(failure, static_cast<int>(q));
    chunkStart_ = q;
    tail_ = q + 6 + (h[6] * 256 + h[7]);
    if (tail_ + 1 >= bytes_) return Stop(failure, static_cast<int>(q));
    return true;
  }

  bool FirstChunk() {
    // Expected right after a 14-byte header, whatever the header length says.
    if (!Chunk(14, AnalysisStop::FirstChunkBad)) return false;
    uint8_t a, b;
    if (!At(tail_, a) || !At(tail_ + 1, b) || a != kEndOfTrack || b != 0x00)
      return Stop(AnalysisStop::FirstChunkNoEnd, static_cast<int>(tail_));
    return true;
  }

  bool SecondChunk() { return Chunk(tail_ + 2, AnalysisStop::SecondChunkBad); }

  // Looks for "@K" + spaces + "MIDI KARAOKE FILE" in the second chunk. The
  // marker is not required: the scan only fails when it runs past the chunk.
  bool MarkerScan() {
    int64_t pos = chunkStart_;
    do {
      uint8_t b;
      for (;;) {
        if (!At(pos, b)) return Stop(AnalysisStop::MarkerScanCutShort, static_cast<int>(pos));
        if (b == '@' || b == 0x00) break;
        ++pos;
      }
      ++pos;
      if (b == 0x00) continue;
      if (!At(pos, b)) return Stop(AnalysisStop::MarkerScanCutShort, static_cast<int>(pos));
      if (b != 'K') continue;
      ++pos;
      for (;;) {
        if (!At(pos, b)) return Stop(AnalysisStop::MarkerScanCutShort, static_cast<int>(pos));
        if (b != ' ') break;
        ++pos;
      }
      // Compared byte by byte: only the bytes up to the first difference are read.
      int matched = 0;
      for (; matched < kKaraokeMarkerLength; ++matched) {
        if (!At(pos + matched, b)) return Stop(AnalysisStop::MarkerScanCutShort, static_cast<int>(pos + matched));
        if (Upper(b) != static_cast<uint8_t>(kKaraokeMarker[matched])) break;
      }
      if (matched == kKaraokeMarkerLength) break;
    } while (pos < tail_);
    if (pos > tail_ + 2) return Stop(AnalysisStop::MarkerScanOverrun, static_cast<int>(pos));
    return true;
  }

  bool ThirdChunk() {
    if (!Chunk(tail_ + 2, AnalysisStop::ThirdChunkBad)) return false;
    scan_ = chunkStart_ + 8;
    ticks_ = -(division_ / 4);  // one sixteenth note before the chunk's start
    return true;
  }

  // Reads a delta time at scan_ and adds it to the tick count.
  bool Delta(AnalysisStop cutShort) {
    int pos = static_cast<int>(scan_);
    int32_t delta = 0;
    const VarLen r = ReadVarLenAt(song_, pos, delta);
    if (r == VarLen::CutShort) return Stop(cutShort, pos);
    if (r == VarLen::TooLarge) return Stop(AnalysisStop::NumberTooLarge, pos);
    scan_ = pos;
    const int64_t sum = static_cast<int64_t>(ticks_) + delta;
    if (sum > std::numeric_limits<int32_t>::max()) return Stop(AnalysisStop::TimeOutOfRange, pos);
    ticks_ = static_cast<int32_t>(sum);
    return true;
  }

  // Steps over the leading events of the third chunk up to its first lyric
  // text, taking the @T titles on the way.
  bool TitlePhase() {
    constexpr AnalysisStop cut = AnalysisStop::TitleWalkCutShort;
    constexpr AnalysisStop overrun = AnalysisStop::TitleWalkOverrun;
    int titles = 0;
    for (;;) {
      if (!Delta(cut)) return false;
      uint8_t b;
      for (;;) {
        if (!At(scan_, b)) return Stop(cut, static_cast<int>(scan_));
        if (b == kMeta) break;
        // Control and program changes on the ninth channel, stepped over
        // before any delta time is read.
        while (b == kControlChange9 || b == kProgramChange9) {
          scan_ += (b == kControlChange9) ? 3 : 2;
          if (scan_ >= tail_) return Stop(overrun, static_cast<int>(scan_));
          if (!At(scan_, b)) return Stop(cut, static_cast<int>(scan_));
        }
        // Whatever else stands here is read as a delta time.
        if (!Delta(cut)) return false;
        if (scan_ >= tail_) return Stop(overrun, static_cast<int>(scan_));
      }
      const int64_t typePos = scan_ + 1;
      uint8_t type, len;
      if (!At(typePos, type) || !At(typePos + 1, len)) return Stop(cut, static_cast<int>(typePos));
      if (type == kTextEvent) {
        uint8_t first = 0;
        if (len > 0 && !At(typePos + 2, first)) return Stop(cut, static_cast<int>(typePos + 2));
        if (len == 0 || first != '@') {
          if (typePos >= tail_) return Stop(overrun, static_cast<int>(typePos));
          scan_ = typePos + 1;  // on the length byte: the lyric phase starts there
          return true;
        }
        uint8_t second = 0;
        if (len >= 2) {
          if (!At(typePos + 3, second)) return Stop(cut, static_cast<int>(typePos + 3));
          if (second == 'T' || second == 't') {
            std::string title;
            for (int i = 0; i < len - 2; ++i) {
              uint8_t c;
              if (!At(typePos + 4 + i, c)) return Stop(cut, static_cast<int>(typePos + 4 + i));
              if (c == 0x00) break;
              title.push_back(static_cast<char>(c));
            }
            if (titles == 0) out_.title1 = std::move(title);
            else if (titles == 1) out_.title2 = std::move(title);
            ++titles;
          }
        }
      }
      scan_ = typePos + 2 + len;
      if (scan_ >= tail_) return Stop(overrun, static_cast<int>(scan_));
    }
  }

  // From the first lyric text on, every event is taken for a meta event and
  // the data of each becomes a syllable.
  bool LyricPhase() {
    constexpr AnalysisStop cut = AnalysisStop::LyricWalkCutShort;
    timeline_.SyllableCount = 0;
    out_.lyricPhaseReached = true;
    do {
      uint8_t len;
      if (!At(scan_, len)) return Stop(cut, static_cast<int>(scan_));
      ++scan_;
      if (len > 0) {
        // The text must lie within the bytes read: the lines are built from it.
        if (scan_ + len > bytes_) return Stop(cut, static_cast<int>(scan_));
        const int64_t time = static_cast<int64_t>(ticks_) * 4 / division_;
        if (time < std::numeric_limits<int32_t>::min() || time > std::numeric_limits<int32_t>::max())
          return Stop(AnalysisStop::TimeOutOfRange, static_cast<int>(scan_));
        // Beyond the table's size the syllables are counted but not kept.
        if (timeline_.SyllableCount < kMaxSyllables) {
          timeline_.SyllableTable[static_cast<size_t>(timeline_.SyllableCount)] =
              Syllable{static_cast<int32_t>(time), len, static_cast<int32_t>(scan_)};
          ++timeline_.SyllableCount;
        }
        ++out_.syllablesSeen;
        scan_ += len;
      }
      if (!Delta(cut)) return false;
      scan_ += 2;  // over the next event's FF and type byte, whatever they hold
    } while (scan_ < tail_);
    // A walk in step ends inside the closing FF 2F 00, on its 00.
    if (scan_ != tail_ + 1) return Stop(AnalysisStop::LyricWalkMisaligned, static_cast<int>(scan_));
    if (timeline_.SyllableCount == 0) return Stop(AnalysisStop::NoSyllables, static_cast<int>(scan_));
    return true;
  }

  // One line per line-break mark; syllables joined by ".".
  void BuildLines() {
    std::vector<std::string> lines;
    int longest = 0;
    std::string line;
    bool lineStarted = false;
    auto flush = [&] {
      longest = std::max(longest, static_cast<int>(line.size()));
      lines.push_back(std::move(line));
      line.clear();
    };
    for (int i = 0; i < timeline_.SyllableCount; ++i) {
      const Syllable& s = timeline_.SyllableTable[static_cast<size_t>(i)];
      const uint8_t* text = buf_.data() + s.Text;
      int n = s.Length;
      if (IsLineBreakMark(text[0])) {
        if (lineStarted) flush();
        lineStarted = true;
        ++text;
        --n;
      }
      if (n > 0) {
        const auto* nul = static_cast<const uint8_t*>(std::memchr(text, 0, static_cast<size_t>(n)));
        const std::string piece(reinterpret_cast<const char*>(text), nul ? static_cast<size_t>(nul - text) : n);
        if (line.empty()) line = piece;
        else line += "." + piece;
      }
    }
    if (!line.empty()) flush();
    out_.lines = std::move(lines);
    out_.longestLine = longest;
    out_.result = true;
    out_.stop = AnalysisStop::Done;
    out_.stopPos = -1;
  }

  const SongData& song_;
  const std::array<uint8_t, kSongBufferSize>& buf_;
  const int bytes_;
  LyricTimeline& timeline_;
  AnalysisOutcome out_;
  int headerLength_ = 0;
  uint16_t division_ = 0;
  int64_t chunkStart_ = 0;
  int64_t tail_ = 0;
  int64_t scan_ = 0;
  int32_t ticks_ = 0;
};

}  // namespace

int ReadSongStart(const std::string& path, SongData& song, std::string* whyNot) {
  song.SongBytes = -1;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    if (whyNot) *whyNot = std::strerror(errno);
  } else {
    const size_t n = std::fread(song.SongBuffer.data(), 1, kMaxSongRead, f);
    if (std::ferror(f)) {
      if (whyNot) *whyNot = errno ? std::strerror(errno) : "read error";
    } else {
      song.SongBytes = static_cast<int>(n);
    }
    std::fclose(f);
  }
  song.SongBuffer[kMaxSongRead] = 0;
  return song.SongBytes;
}

AnalysisOutcome AnalyseSong(const SongData& song, LyricTimeline& timeline) { return Walk(song, timeline).Run(); }

std::optional<int> FindMarker(const SongData& song, uint8_t first, uint8_t second) {
  const int bytes = BytesRead(song);
  for (int p = 4; p + 1 < bytes; ++p)
    if (song.SongBuffer[static_cast<size_t>(p)] == first && song.SongBuffer[static_cast<size_t>(p) + 1] == second)
      return p;
  return std::nullopt;
}

std::optional<int32_t> ReadVarLen(const SongData& song, int& ScanPos) {
  int32_t value = 0;
  if (ReadVarLenAt(song, ScanPos, value) != VarLen::Ok) return std::nullopt;
  return value;
}

TempoSetup TempoSetupFor(int tempoMicros, int defaultBpm) {
  return TempoSetup{tempoMicros, defaultBpm, defaultBpm / 3 + 1, 2 * defaultBpm, defaultBpm};
}

const char* DescribeStop(AnalysisStop stop) {
  switch (stop) {
    case AnalysisStop::HeaderCutShort: return "fewer than 8 bytes: no MIDI file header";
    case AnalysisStop::NotMidiHeader: return "not a Standard MIDI File (no \"MThd\" header)";
    case AnalysisStop::NoTimeSignature: return "no time-signature event (FF 58)";
    case AnalysisStop::NoTempo: return "no tempo event (FF 51)";
    case AnalysisStop::TempoCutShort: return "the tempo event's data lies beyond the bytes read";
    case AnalysisStop::TempoZero: return "the tempo event's value is 0";
    case AnalysisStop::DivisionCutShort: return "the header's division lies beyond the bytes read";
    case AnalysisStop::BadDivision: return "division 0 or frame-based timing";
    case AnalysisStop::ShortHeaderLength: return "header length 3 or less";
    case AnalysisStop::FirstChunkBad: return "no track chunk at index 14, or it ends beyond the bytes read";
    case AnalysisStop::FirstChunkNoEnd: return "the first track chunk does not end with end-of-track";
    case AnalysisStop::SecondChunkBad: return "no second track chunk, or it ends beyond the bytes read";
    case AnalysisStop::MarkerScanCutShort: return "the karaoke marker scan reached the end of the bytes read";
    case AnalysisStop::MarkerScanOverrun: return "the karaoke marker scan ran past the second chunk";
    case AnalysisStop::ThirdChunkBad: return "no third track chunk, or it ends beyond the bytes read";
    case AnalysisStop::TitleWalkCutShort: return "an event before the lyrics runs beyond the bytes read";
    case AnalysisStop::TitleWalkOverrun: return "the third chunk has no lyric text event";
    case AnalysisStop::LyricWalkCutShort: return "a lyric event runs beyond the bytes read";
    case AnalysisStop::LyricWalkMisaligned: return "the lyric walk did not end on the third chunk's end-of-track";
    case AnalysisStop::NumberTooLarge: return "a delta time above 0x7FFFFFFF";
    case AnalysisStop::TimeOutOfRange: return "a tick count or syllable time beyond 32 bits";
    case AnalysisStop::NoSyllables: return "the lyric walk found no syllable";
    case AnalysisStop::Done: return "lyric timeline in place";
  }
  return "unknown";
}

}  // namespace melvar::analysis
