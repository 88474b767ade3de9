#include "score.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <sstream>

namespace melvar::mkdemo {
namespace {

MkError Fail(int code, std::string text) { return MkError{code, std::move(text)}; }

std::vector<std::string> SplitWords(std::string_view text) {
  std::vector<std::string> words;
  std::istringstream in{std::string(text)};
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// "h.", "q+e", "w" -> ticks; 0 on a malformed duration.
uint32_t ParseDuration(std::string_view text) {
  uint32_t total = 0;
  size_t i = 0;
  while (i < text.size()) {
    uint32_t base = 0;
    switch (text[i]) {
      case 'w': base = 4 * kDivision; break;
      case 'h': base = 2 * kDivision; break;
      case 'q': base = kDivision; break;
      case 'e': base = kDivision / 2; break;
      case 's': base = kDivision / 4; break;
      default: return 0;
    }
    ++i;
    if (i < text.size() && text[i] == '.') {
      base += base / 2;
      ++i;
    }
    total += base;
    if (i < text.size()) {
      if (text[i] != '+') return 0;
      ++i;
      if (i == text.size()) return 0;
    }
  }
  return total;
}

// "C4" = 60, "Bb3" = 58, "F#4" = 66; -1 on a malformed pitch.
int ParsePitch(std::string_view text) {
  static const int kSteps[] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
  if (text.size() < 2 || text[0] < 'A' || text[0] > 'G') return -1;
  int pc = kSteps[text[0] - 'A'];
  size_t i = 1;
  if (text[i] == '#') { ++pc; ++i; }
  else if (text[i] == 'b') { --pc; ++i; }
  if (i + 1 != text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return -1;
  return (text[i] - '0' + 1) * 12 + pc;
}

// Walks "<head>:<duration>" tokens with bar lines, checking full bars, and
// hands each token's head, start and length to onToken.
template <typename OnToken>
MkError WalkTimed(std::string_view text, const Meter& meter, uint32_t* length, OnToken onToken) {
  uint32_t now = 0, barStart = 0;
  int bar = 1;
  auto closeBar = [&]() -> MkError {
    if (now - barStart != meter.BarTicks())
      return Fail(kBadNotation, "bar " + std::to_string(bar) + " holds " + std::to_string(now - barStart) +
                                    " ticks, not " + std::to_string(meter.BarTicks()));
    barStart = now;
    ++bar;
    return {};
  };
  for (const std::string& token : SplitWords(text)) {
    if (token == "|") {
      if (MkError e = closeBar(); e.failed()) return e;
      continue;
    }
    std::string body = token;
    bool tied = false;
    if (body.size() > 1 && body.back() == '-') {
      tied = true;
      body.pop_back();
    }
    size_t colon = body.find(':');
    uint32_t ticks = colon == std::string::npos ? 0 : ParseDuration(std::string_view(body).substr(colon + 1));
    if (ticks == 0) return Fail(kBadNotation, "bad token \"" + token + "\" in bar " + std::to_string(bar));
    if (now + ticks - barStart > meter.BarTicks())
      return Fail(kBadNotation, "token \"" + token + "\" crosses the end of bar " + std::to_string(bar));
    if (MkError e = onToken(body.substr(0, colon), now, ticks, tied); e.failed()) {
      e.text += " (bar " + std::to_string(bar) + ")";
      return e;
    }
    now += ticks;
  }
  if (now != barStart)
    if (MkError e = closeBar(); e.failed()) return e;
  *length = now;
  return {};
}

}  // namespace

MkError ParseMelody(std::string_view text, const Meter& meter, std::vector<Note>* notes, uint32_t* length) {
  notes->clear();
  bool lastTied = false;
  return WalkTimed(text, meter, length,
                   [&](const std::string& head, uint32_t start, uint32_t ticks, bool tied) -> MkError {
                     if (head == "r") {
                       if (lastTied) return Fail(kBadNotation, "a tie into a rest");
                       lastTied = false;
                       return {};
                     }
                     int key = ParsePitch(head);
                     if (key < 0) return Fail(kBadNotation, "bad pitch \"" + head + "\"");
                     if (lastTied) {
                       if (notes->empty() || notes->back().key != key)
                         return Fail(kBadNotation, "a tie between different pitches");
                       notes->back().length += ticks;
                     } else {
                       notes->push_back(Note{start, ticks, key});
                     }
                     lastTied = tied;
                     return {};
                   });
}

MkError ParseChords(std::string_view text, const Meter& meter, std::vector<Chord>* chords, uint32_t* length) {
  static const std::map<std::string, std::vector<int>> kQualities = {
      {"", {0, 4, 7}}, {"m", {0, 3, 7}}, {"7", {0, 4, 7, 10}}, {"m7", {0, 3, 7, 10}}};
  chords->clear();
  return WalkTimed(text, meter, length,
                   [&](const std::string& head, uint32_t start, uint32_t ticks, bool tied) -> MkError {
                     if (tied) return Fail(kBadNotation, "chords cannot be tied");
                     if (head == "N") {
                       chords->push_back(Chord{start, ticks, 0, {}});
                       return {};
                     }
                     size_t rootLen = head.size() > 1 && (head[1] == '#' || head[1] == 'b') ? 2 : 1;
                     int pitch = ParsePitch(head.substr(0, rootLen) + "4");
                     auto quality = kQualities.find(head.substr(rootLen));
                     if (pitch < 0 || quality == kQualities.end())
                       return Fail(kBadNotation, "bad chord \"" + head + "\"");
                     chords->push_back(Chord{start, ticks, (pitch + 12) % 12, quality->second});
                     return {};
                   });
}

MkError ParseLyrics(std::string_view text, std::vector<LyricItem>* items) {
  items->clear();
  std::vector<bool> wordEnd;
  std::string mark;
  for (const std::string& token : SplitWords(text)) {
    if (token == "/" || token == "\\") {
      if (!mark.empty()) return Fail(kBadNotation, "two line marks in a row");
      mark = token;
      continue;
    }
    if (token == "_") {
      if (!mark.empty()) return Fail(kBadNotation, "a held note cannot start a line");
      items->push_back(LyricItem{"", true});
      wordEnd.push_back(false);
      continue;
    }
    std::string part;
    for (size_t i = 0; i <= token.size(); ++i) {
      bool atEnd = i == token.size();
      if (atEnd || token[i] == '-' || token[i] == '~') {
        if (!atEnd && token[i] == '~') part += '-';
        if (part.empty()) return Fail(kBadNotation, "empty syllable in \"" + token + "\"");
        items->push_back(LyricItem{mark + part, false});
        wordEnd.push_back(atEnd);
        mark.clear();
        part.clear();
      } else {
        part += token[i];
      }
    }
  }
  if (!mark.empty()) return Fail(kBadNotation, "a line mark at the end of the lyrics");
  // A word's last syllable carries the space to the next word, except at the
  // end of a line, where the panel would show it as trailing blank.
  for (size_t i = 0; i < items->size(); ++i) {
    if (!wordEnd[i]) continue;
    size_t next = i + 1;
    while (next < items->size() && (*items)[next].hold) ++next;
    if (next == items->size()) continue;
    char first = (*items)[next].text[0];
    if (first != '/' && first != '\\') (*items)[i].text += ' ';
  }
  return {};
}

std::vector<std::string> LyricLines(const std::vector<LyricItem>& items) {
  std::vector<std::string> lines;
  std::string current;
  bool started = false;
  for (const LyricItem& item : items) {
    if (item.hold) continue;
    std::string_view text = item.text;
    if (text[0] == '/' || text[0] == '\\') {
      if (started) lines.push_back(current);
      current.clear();
      started = true;
      text.remove_prefix(1);
    }
    if (text.empty()) continue;
    if (!current.empty()) current += '.';
    current += text;
  }
  if (!current.empty()) lines.push_back(current);
  return lines;
}

namespace {

constexpr uint8_t kMelodyChannel = 0, kChordChannel = 1, kBassChannel = 2, kSecondChannel = 3, kDrumChannel = 9;

void ChannelSetup(TrackBuilder& track, uint8_t channel, uint8_t program, uint8_t volume, uint8_t pan) {
  track.Program(0, channel, program);
  track.Control(0, channel, 7, volume);
  track.Control(0, channel, 10, pan);
  track.Control(0, channel, 91, 40);  // a little reverb
}

// Legato but separated: repeated notes of the same key must be heard twice.
uint32_t Played(uint32_t length) { return length > 160 ? length - 40 : length * 3 / 4; }

void AddVoice(TrackBuilder& track, const std::vector<Note>& notes, uint8_t channel, int transpose, uint8_t velocity) {
  for (const Note& n : notes)
    track.Note(n.start, Played(n.length), channel, static_cast<uint8_t>(n.key + transpose), velocity);
}

// Chord tones from F3 up, close position.
std::vector<int> Voicing(const Chord& c) {
  int base = 48 + c.root;
  if (base < 53) base += 12;
  std::vector<int> keys;
  for (int i : c.intervals) keys.push_back(base + i);
  return keys;
}

// Where the accompaniment plays within a chord: the chord's start and every
// strike step (half bars in 4/4, bars in 3/4) inside it.
std::vector<uint32_t> StrikePoints(const Chord& c, uint32_t step) {
  std::vector<uint32_t> points{c.start};
  for (uint32_t t = (c.start / step + 1) * step; t < c.start + c.length; t += step) points.push_back(t);
  return points;
}

void AddAccompaniment(TrackBuilder& chords, TrackBuilder& bass, const SongDef& song, const std::vector<Chord>& spans) {
  const uint32_t bar = song.meter.BarTicks();
  const uint32_t step = song.meter.beats % 2 == 0 ? bar / 2 : bar;
  for (const Chord& c : spans) {
    if (c.intervals.empty()) continue;
    const uint32_t end = c.start + c.length;
    std::vector<int> keys = Voicing(c);
    std::vector<uint32_t> points = StrikePoints(c, step);
    for (size_t i = 0; i < points.size(); ++i) {
      uint32_t t = points[i];
      uint32_t next = i + 1 < points.size() ? points[i + 1] : end;
      bool downbeat = t % bar == 0;
      // Root on the chord's start and on downbeats, the fifth in between.
      int bassKey = 36 + c.root + ((i == 0 || downbeat) ? 0 : 7);
      while (bassKey < 40) bassKey += 12;
      while (bassKey > 55) bassKey -= 12;
      bass.Note(t, Played(next - t), kBassChannel, static_cast<uint8_t>(bassKey), downbeat ? 88 : 76);
    }
    switch (song.accompaniment) {
      case Accompaniment::Block:
        for (size_t i = 0; i < points.size(); ++i) {
          uint32_t next = i + 1 < points.size() ? points[i + 1] : end;
          uint8_t vel = points[i] % bar == 0 ? 70 : 60;
          for (int k : keys) chords.Note(points[i], Played(next - points[i]), kChordChannel, static_cast<uint8_t>(k), vel);
        }
        break;
      case Accompaniment::Pad: {
        // Held through the chord, struck again at each bar.
        std::vector<uint32_t> bars{c.start};
        for (uint32_t t = (c.start / bar + 1) * bar; t < end; t += bar) bars.push_back(t);
        for (size_t i = 0; i < bars.size(); ++i) {
          uint32_t next = i + 1 < bars.size() ? bars[i + 1] : end;
          for (int k : keys) chords.Note(bars[i], next - bars[i] - 10, kChordChannel, static_cast<uint8_t>(k), 58);
        }
        break;
      }
      case Accompaniment::Arpeggio: {
        // Root, fifth, the third an octave up, fifth: in eighth notes.
        const int pattern[4] = {keys[0], keys[2], keys[1] + 12, keys[2]};
        const uint32_t eighth = kDivision / 2;
        for (uint32_t t = c.start, i = 0; t < end; t += eighth, ++i) {
          uint32_t len = std::min<uint32_t>(2 * eighth - 10, end - t);
          chords.Note(t, len, kChordChannel, static_cast<uint8_t>(pattern[i % 4]), i % 4 == 0 ? 66 : 54);
        }
        break;
      }
    }
  }
}

void AddDrums(TrackBuilder& drums, const SongDef& song, uint32_t length) {
  constexpr uint8_t kKick = 36, kCrash = 49;
  constexpr uint32_t kHit = 60;
  const uint32_t bar = song.meter.BarTicks();
  const int bars = static_cast<int>(length / bar);
  const int beats = song.meter.beats;
  for (int b = 0; b < bars; ++b) {
    const uint32_t t0 = static_cast<uint32_t>(b) * bar;
    if (b == bars - 1) {  // the last bar: one crash and kick, then let it ring
      drums.Note(t0, kHit, kDrumChannel, kCrash, 84);
      drums.Note(t0, kHit, kDrumChannel, kKick, 84);
      continue;
    }
    if (b < song.introBars) {  // count-in
      for (int beat = 0; beat < beats; ++beat)
        drums.Note(t0 + beat * kDivision, kHit, kDrumChannel, song.hatKey, beat == 0 ? 64 : 48);
      continue;
    }
    if (b == song.introBars) drums.Note(t0, kHit, kDrumChannel, kCrash, 70);
    if (beats % 2 == 0) {
      for (int beat = 0; beat < beats; ++beat) {
        uint32_t t = t0 + beat * kDivision;
        if (beat % 2 == 0) drums.Note(t, kHit, kDrumChannel, kKick, beat == 0 ? 80 : 68);
        else drums.Note(t, kHit, kDrumChannel, song.snareKey, 64);
        drums.Note(t, kHit, kDrumChannel, song.hatKey, 52);
        drums.Note(t + kDivision / 2, kHit, kDrumChannel, song.hatKey, 38);
      }
    } else {
      drums.Note(t0, kHit, kDrumChannel, kKick, 72);
      for (int beat = 0; beat < beats; ++beat)
        drums.Note(t0 + beat * kDivision, kHit, kDrumChannel, song.hatKey, beat == 0 ? 50 : 40);
    }
  }
}

uint32_t TickOf(const SongDef& song, const TempoChange& c) {
  return static_cast<uint32_t>(c.bar) * song.meter.BarTicks() + static_cast<uint32_t>(c.beat) * kDivision;
}

double Seconds(const SongDef& song, uint32_t length) {
  double seconds = 0;
  uint32_t at = 0;
  int bpm = song.bpm;
  for (const TempoChange& c : song.tempoChanges) {
    uint32_t t = std::min(TickOf(song, c), length);
    seconds += (t - at) / double(kDivision) * 60.0 / bpm;
    at = t;
    bpm = c.bpm;
  }
  return seconds + (length - at) / double(kDivision) * 60.0 / bpm;
}

MkError CheckSyllables(const std::vector<LyricItem>& items) {
  for (const LyricItem& item : items) {
    if (item.hold) continue;
    if (item.text.empty() || item.text.size() > 127)
      return Fail(kLayout, "syllable \"" + item.text + "\" does not fit a one-byte length");
    if (item.text[0] == '@') return Fail(kLayout, "syllable \"" + item.text + "\" would read as a tag");
    if (item.text.find('\0') != std::string::npos) return Fail(kLayout, "syllable with a zero byte");
  }
  return {};
}

}  // namespace

MkError BuildSong(const SongDef& song, BuiltSong* out) {
  *out = BuiltSong{};
  const std::string where = song.fileName + ": ";
  std::vector<Note> melody, second;
  std::vector<Chord> chords;
  uint32_t length = 0, chordLength = 0, secondLength = 0;
  if (MkError e = ParseMelody(song.melody, song.meter, &melody, &length); e.failed())
    return Fail(e.code, where + "melody: " + e.text);
  if (MkError e = ParseChords(song.chords, song.meter, &chords, &chordLength); e.failed())
    return Fail(e.code, where + "chords: " + e.text);
  if (chordLength != length)
    return Fail(kMismatch, where + "chords last " + std::to_string(chordLength) + " ticks, the melody " +
                               std::to_string(length));
  if (!song.secondVoice.empty()) {
    if (MkError e = ParseMelody(song.secondVoice, song.meter, &second, &secondLength); e.failed())
      return Fail(e.code, where + "second voice: " + e.text);
    if (secondLength != length) return Fail(kMismatch, where + "the second voice is not as long as the melody");
  }
  const bool karaoke = !song.lyrics.empty();
  std::vector<LyricItem> lyrics;
  if (karaoke) {
    if (MkError e = ParseLyrics(song.lyrics, &lyrics); e.failed()) return Fail(e.code, where + "lyrics: " + e.text);
    if (lyrics.size() != melody.size())
      return Fail(kMismatch, where + std::to_string(lyrics.size()) + " lyric items for " +
                                 std::to_string(melody.size()) + " melody notes");
    if (MkError e = CheckSyllables(lyrics); e.failed()) return Fail(e.code, where + e.text);
  }

  std::vector<Bytes> chunks;
  size_t wordsEnd = 0;

  TrackBuilder tempo;
  tempo.TimeSignature(0, static_cast<uint8_t>(song.meter.beats), 2);
  tempo.Tempo(0, 60000000u / song.bpm);
  tempo.Name(0, song.title);
  for (const TempoChange& c : song.tempoChanges) tempo.Tempo(TickOf(song, c), 60000000u / c.bpm);
  chunks.push_back(tempo.Chunk(length));

  if (karaoke) {
    TrackBuilder marker;
    marker.Text(0, "@KMIDI KARAOKE FILE");
    marker.Text(0, "@V0100");
    marker.Text(0, "@IMelvar demo song");
    marker.Text(0, "@L" + song.language);
    chunks.push_back(marker.Chunk(0));

    // The words track holds meta events only: its name, the two titles, then
    // one text event per syllable at its melody note's onset.
    TrackBuilder words;
    words.Name(0, "Words");
    words.Text(0, "@T" + song.title);
    words.Text(0, "@T" + song.subtitle);
    for (size_t i = 0; i < lyrics.size(); ++i) {
      if (lyrics[i].hold) continue;
      words.Text(melody[i].start, lyrics[i].text);
      ++out->syllables;
    }
    chunks.push_back(words.Chunk(length));
    wordsEnd = 14;
    for (const Bytes& c : chunks) wordsEnd += c.size();
    out->lines = LyricLines(lyrics);
    for (const std::string& line : out->lines)
      if (line.size() >= kMaxLineChars)
        return Fail(kLayout, where + "line \"" + line + "\" has " + std::to_string(line.size()) + " characters");
    if (wordsEnd > kPlayerReadBytes)
      return Fail(kLayout, where + "the words track ends at byte " + std::to_string(wordsEnd));
  }

  TrackBuilder melodyTrack, secondTrack, chordTrack, bassTrack, drumTrack;
  melodyTrack.Name(0, "Melody");
  ChannelSetup(melodyTrack, kMelodyChannel, song.melodyProgram, 110, 64);
  AddVoice(melodyTrack, melody, kMelodyChannel, song.melodyTranspose, 100);
  chunks.push_back(melodyTrack.Chunk(length));
  if (!second.empty()) {
    secondTrack.Name(0, "Second voice");
    ChannelSetup(secondTrack, kSecondChannel, song.secondVoiceProgram, 95, 88);
    AddVoice(secondTrack, second, kSecondChannel, song.secondVoiceTranspose, 92);
    chunks.push_back(secondTrack.Chunk(length));
  }
  chordTrack.Name(0, "Accompaniment");
  ChannelSetup(chordTrack, kChordChannel, song.chordProgram, 85, 44);
  bassTrack.Name(0, "Bass");
  ChannelSetup(bassTrack, kBassChannel, song.bassProgram, 100, 64);
  AddAccompaniment(chordTrack, bassTrack, song, chords);
  chunks.push_back(chordTrack.Chunk(length));
  chunks.push_back(bassTrack.Chunk(length));
  drumTrack.Name(0, "Drums");
  drumTrack.Control(0, kDrumChannel, 7, 80);
  drumTrack.Control(0, kDrumChannel, 91, 30);
  AddDrums(drumTrack, song, length);
  chunks.push_back(drumTrack.Chunk(length));

  out->file = SmfFile(1, kDivision, chunks);
  out->wordsTrackEnd = wordsEnd;
  out->seconds = Seconds(song, length);
  return {};
}

}  // namespace melvar::mkdemo
