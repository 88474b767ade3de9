// The lyric reader: TEXT and LYRIC events of every track, one stream chosen,
// texts cut and marked the way the lyric display rules expect.
#include "analysis/lyric_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <map>
#include <string_view>

#include "midi_file.h"

namespace melvar::analysis {
namespace {

constexpr uint8_t kTextEvent = 0x01;
constexpr uint8_t kTrackName = 0x03;
constexpr uint8_t kLyricEvent = 0x05;

struct Text {
  int64_t tick = 0;
  std::string bytes;  // cut at the first NUL
};

// The texts of one track and event type, in file order.
struct Stream {
  int track = 0;
  uint8_t type = 0;
  std::vector<Text> texts;
  int syllables = 0;  // texts with something to show
  int marks = 0;      // texts that begin with / or \ .
  int chords = 0;     // texts that read as chord names
  int ticks = 0;      // distinct ticks with a text
  int sharedTicks = 0;  // ticks with more than one text
};

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }
bool IsMark(char c) { return c == '/' || c == '\\'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

// "@T", "@K", "@L", ...: karaoke tags, not lyrics.
bool IsTag(std::string_view s) { return s.size() >= 2 && s[0] == '@' && IsAsciiLetter(s[1]); }

// A root note, then chord qualities, then an optional bass note:
// "Am", "C#m7", "A sus4/D", "Bbmaj7(9)", "G/B", "N.C.".
bool IsChordName(std::string_view s) {
  s = Trim(s);
  if (s == "N.C." || s == "NC") return true;
  auto root = [](std::string_view& t) {
    if (t.empty() || t[0] < 'A' || t[0] > 'G') return false;
    t.remove_prefix(1);
    if (!t.empty() && (t[0] == '#' || t[0] == 'b')) t.remove_prefix(1);
    return true;
  };
  if (!root(s)) return false;
  static constexpr std::string_view kQualities[] = {"maj", "min", "dim", "aug", "sus", "add", "m", "M",
                                                     "+",   "-",   "#",   "b",   "(",   ")",   ",", " "};
  while (!s.empty()) {
    if (s[0] >= '0' && s[0] <= '9') {
      s.remove_prefix(1);
      continue;
    }
    if (s[0] == '/') {
      s.remove_prefix(1);
      return root(s) && s.empty();
    }
    bool matched = false;
    for (std::string_view q : kQualities) {
      if (s.substr(0, q.size()) == q) {
        s.remove_prefix(q.size());
        matched = true;
        break;
      }
    }
    if (!matched) return false;
  }
  return true;
}

// A section marker written as a TEXT event: "[Chorus]", "[Intro]".
bool IsMarker(std::string_view s) {
  s = Trim(s);
  return s.size() >= 2 && s.front() == '[' && s.back() == ']';
}

bool HasShownText(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) { return !IsLineEnd(c) && !IsMark(c); });
}

// A syllable's time as the soft-karaoke walk computes it: sixteenth notes
// from the tick, one sixteenth early, truncated towards zero.
int32_t SyllableTime(const midi::MidiSong& song, int64_t tick) {
  int64_t t;
  if (song.smpte) {
    t = song.SixteenthOfTick(tick) - 1;
  } else {
    const int64_t division = song.divisionWord;
    t = (tick - division / 4) * 4 / division;
  }
  return static_cast<int32_t>(std::clamp<int64_t>(t, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// Builds the timeline and the lines from the chosen stream's texts.
class TimelineBuilder {
 public:
  TimelineBuilder(const midi::MidiSong& song, ReaderLyrics& out) : song_(song), out_(out) {}

  void Add(const Text& t) {
    std::string_view s = t.bytes;
    bool startsLine = false, endsLine = false;
    if (!s.empty() && IsMark(s[0])) {
      startsLine = true;
      s.remove_prefix(1);
    }
    while (!s.empty() && IsLineEnd(s.front())) {
      startsLine = true;
      s.remove_prefix(1);
    }
    while (!s.empty() && IsLineEnd(s.back())) {
      endsLine = true;
      s.remove_suffix(1);
    }
    if (s.empty()) {
      // Empty syllables add nothing; their marks carry over to the next text.
      breakPending_ |= startsLine || endsLine;
      return;
    }
    std::string text(s);
    // A line break inside a text is shown as a space, so the memo's lines
    // stay the lyric lines.
    std::replace_if(text.begin(), text.end(), IsLineEnd, ' ');
    const bool newLine = startsLine || breakPending_ || lines_.empty();
    breakPending_ = endsLine;
    if (newLine) {
      lines_.emplace_back();
      text.insert(text.begin(), '/');
    }
    // A stored text holds at most 255 bytes; a longer one becomes several
    // syllables at the same time, which the memo shows joined. A piece after
    // the first must not begin with a line mark: such a byte becomes a space.
    for (std::size_t at = 255; at < text.size(); at += 255)
      if (IsMark(text[at])) text[at] = ' ';
    lines_.back().append(text, newLine ? 1 : 0, std::string::npos);
    const int32_t time = SyllableTime(song_, t.tick);
    for (std::size_t at = 0; at < text.size(); at += 255) {
      const std::size_t n = std::min<std::size_t>(255, text.size() - at);
      Syllable syl;
      syl.Time = time;
      syl.Length = static_cast<uint8_t>(n);
      syl.Text = static_cast<int32_t>(out_.timeline.Bytes.size());
      out_.timeline.Bytes.insert(out_.timeline.Bytes.end(), text.begin() + static_cast<long>(at),
                                 text.begin() + static_cast<long>(at + n));
      out_.timeline.SyllableTable.push_back(syl);
    }
  }

  void Finish() {
    out_.timeline.SyllableCount = static_cast<int>(out_.timeline.SyllableTable.size());
    out_.found = out_.timeline.SyllableCount > 0;
    for (const std::string& line : lines_) out_.longestLine = std::max(out_.longestLine, static_cast<int>(line.size()));
    out_.lines = std::move(lines_);
  }

 private:
  const midi::MidiSong& song_;
  ReaderLyrics& out_;
  std::vector<std::string> lines_;
  bool breakPending_ = false;
};

}  // namespace

ReaderLyrics ReadLyrics(const uint8_t* bytes, std::size_t size) {
  ReaderLyrics out;
  if (size > kMaxLyricFileBytes) {
    out.error = "the file is larger than 16 MB";
    return out;
  }
  midi::MidiSong song;
  const audio::MediaError e = midi::ParseMidiFile(bytes, size, &song);
  if (!e.ok()) {
    out.error = e.text;
    return out;
  }

  std::map<std::pair<int, uint8_t>, Stream> streams;
  std::map<int, std::string> trackNames;
  std::vector<std::string> titles;
  for (const midi::MidiEvent& ev : song.events) {
    if (ev.status != 0xFF) continue;
    const midi::PayloadSpan span = song.PayloadOf(ev);
    const uint8_t type = span.metaType;
    if (type != kTextEvent && type != kLyricEvent && type != kTrackName) continue;
    const char* p = reinterpret_cast<const char*>(song.payload.data()) + span.offset;
    std::string text(p, span.length);
    text.resize(std::min(text.size(), text.find('\0')));  // a text ends at its first NUL
    if (type == kTrackName) {
      trackNames.try_emplace(span.track, text);
      continue;
    }
    if (IsTag(text)) {
      if (text[1] == 'T' || text[1] == 't') titles.push_back(text.substr(2));
      continue;
    }
    if (type == kTextEvent && IsMarker(text)) continue;
    Stream& s = streams[{span.track, type}];
    s.track = span.track;
    s.type = type;
    if (HasShownText(text)) ++s.syllables;
    if (!text.empty() && IsMark(text[0])) ++s.marks;
    if (IsChordName(text)) ++s.chords;
    if (s.texts.empty() || s.texts.back().tick != ev.tick) {
      ++s.ticks;
    } else if (s.texts.size() < 2 || s.texts[s.texts.size() - 2].tick != ev.tick) {
      ++s.sharedTicks;
    }
    s.texts.push_back({ev.tick, std::move(text)});
  }
  if (!titles.empty()) out.title1 = titles[0];
  if (titles.size() > 1) out.title2 = titles[1];

  // The stream to show: a track named "Words", else one whose texts carry
  // line marks, else the one with the most syllables. Streams that read as
  // chord names (half their texts or more) are not lyrics. On a tie the
  // LYRIC events win over TEXT events, then the earlier track.
  const Stream* chosen = nullptr;
  auto preference = [&](const Stream& s) {
    const auto name = trackNames.find(s.track);
    if (name != trackNames.end() && EqualsIgnoringCase(Trim(name->second), "Words")) return 2;
    return s.marks >= 2 ? 1 : 0;  // two marks at least: a single "/" may begin any text
  };
  auto rank = [&](const Stream& s) {
    return std::make_tuple(preference(s), s.syllables, s.type == kLyricEvent, -s.track);
  };
  for (const auto& [key, s] : streams) {
    if (s.syllables == 0 || 2 * s.chords >= static_cast<int>(s.texts.size())) continue;
    // TEXT events also carry remarks ("Generated by ...") at the song's
    // start: unless marked as lyrics, TEXT events are lyrics only when sung
    // at three ticks or more.
    if (s.type == kTextEvent && s.ticks < 3 && preference(s) == 0) continue;
    ++out.streams;
    if (!chosen || rank(s) > rank(*chosen)) chosen = &s;
  }
  if (!chosen) return out;

  const auto r = rank(*chosen);
  out.choice = std::get<0>(r) == 2   ? LyricChoice::WordsTrack
               : std::get<0>(r) == 1 ? LyricChoice::LineMarks
                                     : LyricChoice::MostSyllables;
  out.track = chosen->track;
  out.eventType = chosen->type;
  // Verses written under the same notes (a text per verse at each tick):
  // the first verse is shown. Texts all at one tick are shown whole.
  const bool verses = chosen->ticks >= 2 && 2 * chosen->sharedTicks >= chosen->ticks;
  // Syllables in the notation style ("Za-", "cha-", "ri-", "as"): no spaces,
  // a hyphen (or a melisma's "_") where a word goes on. A word ends after a
  // syllable without one.
  int hyphens = 0;
  bool spaced = false;
  for (const Text& t : chosen->texts) {
    const std::string_view v = Trim(t.bytes);
    if (!v.empty() && (v.back() == '-' || v.back() == '_')) ++hyphens;
    spaced |= v.size() != t.bytes.size() || v.find(' ') != std::string_view::npos;
  }
  const bool notation = !spaced && 10 * hyphens >= static_cast<int>(chosen->texts.size());
  // With line marks, texts at tick 0 before the first marked one, which is
  // sung later, are remarks ("DURATION: 46"), not lyrics.
  std::size_t first = 0;
  if (out.choice != LyricChoice::MostSyllables) {
    const std::vector<Text>& texts = chosen->texts;
    std::size_t marked = 0;
    while (marked < texts.size() && (texts[marked].bytes.empty() || !IsMark(texts[marked].bytes[0]))) ++marked;
    if (marked < texts.size() && texts[marked].tick > 0)
      while (first < marked && texts[first].tick == 0) ++first;
  }
  TimelineBuilder builder(song, out);
  for (std::size_t i = first; i < chosen->texts.size(); ++i) {
    Text t = chosen->texts[i];
    if (verses && i > 0 && chosen->texts[i - 1].tick == t.tick) continue;
    if (notation && !t.bytes.empty() && t.bytes.back() != '-' && t.bytes.back() != '_' && !IsLineEnd(t.bytes.back()))
      t.bytes += ' ';
    builder.Add(t);
  }
  builder.Finish();
  return out;
}

ReaderLyrics ReadLyricsFromFile(const std::string& path) {
  ReaderLyrics out;
  // Opened without blocking, so a FIFO or device is refused at once.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    out.error = std::strerror(errno);
    return out;
  }
  struct stat st {};
  std::vector<uint8_t> bytes;
  if (::fstat(fd, &st) != 0) {
    out.error = std::strerror(errno);
  } else if (!S_ISREG(st.st_mode)) {
    out.error = "not a regular file";
  } else if (static_cast<uint64_t>(st.st_size) > kMaxLyricFileBytes) {
    out.error = "the file is larger than 16 MB";
  } else {
    bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (got < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);  // a file that shrank while read gives what was there
  }
  ::close(fd);
  if (!out.error.empty()) return out;
  return ReadLyrics(bytes.data(), bytes.size());
}

const char* DescribeChoice(LyricChoice c) {
  switch (c) {
    case LyricChoice::None: return "none";
    case LyricChoice::WordsTrack: return "the track named Words";
    case LyricChoice::LineMarks: return "the texts with / or \\ line marks";
    case LyricChoice::MostSyllables: return "the track and event type with the most syllables";
  }
  return "unknown";
}

const char* DescribeSource(LyricSource s) {
  switch (s) {
    case LyricSource::None: return "none";
    case LyricSource::Walk: return "walk";
    case LyricSource::Reader: return "reader";
  }
  return "unknown";
}

SongLyrics AnalyseSongLyrics(const std::string& path, const SongData& song, LyricTimeline& timeline) {
  SongLyrics r;
  r.walk = AnalyseSong(song, timeline);
  r.title1 = r.walk.title1;
  r.title2 = r.walk.title2;
  if (r.walk.result) {
    r.source = LyricSource::Walk;
    r.lines = r.walk.lines;
    r.longestLine = r.walk.longestLine;
    return r;
  }
  r.reader = ReadLyricsFromFile(path);
  if (r.title1.empty() && r.title2.empty()) {
    r.title1 = r.reader.title1;
    r.title2 = r.reader.title2;
  }
  if (!r.reader.found) return r;
  r.source = LyricSource::Reader;
  r.lines = r.reader.lines;
  r.longestLine = r.reader.longestLine;
  return r;
}

}  // namespace melvar::analysis
