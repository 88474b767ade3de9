// melvar-inspect [--json] FILE...
// melvar-inspect --summary FOLDER...
//
// Tells what the player sees in each song: it reads and analyses every file
// as a fresh start of the player would (nothing carried over from the file
// before), and prints the tempo, division, titles, lyric lines, syllables
// and why the analysis stopped, then where the lyrics the song shows come
// from (the soft-karaoke walk, the lyric reader or none), their code page and
// their lines as the user sees them. With --json it prints one JSON object
// per file and line; every text of the walk is the song's bytes, each byte as
// the character of the same number, so the output is exact whatever the
// song's code page; the "lyrics" object holds the decoded lines in UTF-8.
// With --summary it counts, per folder (sub-folders included), the MIDI and
// karaoke songs with lyrics by source.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "analysis/lyric_reader.h"
#include "analysis/song_analysis.h"
#include "playback/song_kind.h"
#include "lyrics/lyric_memo_text.h"
#include "lyrics/utf8.h"
#include "playback/song_selection.h"

using namespace melvar::analysis;

namespace {

// MP3 and WAV songs go to the player's decoders unread.
bool IsAudioFile(const std::string& path) {
  using namespace melvar::playback;
  return KindOfExtension(SongExtension(path)) == SongKind::Audio;
}

// A JSON string. Byte-wise: every byte is the character of the same number
// (ISO-8859-1); otherwise the text is already UTF-8 (file paths).
std::string JsonString(const std::string& s, bool byteWise = true) {
  std::string out = "\"";
  for (size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    char esc[8];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F || (byteWise && c >= 0x80 && c < 0xA0)) {
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else if (c < 0x80 || !byteWise) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out + "\"";
}

std::string JsonPath(const std::string& path) { return JsonString(path, !melvar::lyrics::IsValidUtf8(path)); }

// Song bytes for a terminal: printable bytes as they are, others as \xNN.
std::string Readable(const std::string& s) {
  std::string out;
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02X", c);
      out += esc;
    } else {
      out += ch;
    }
  }
  return out;
}

struct Inspection {
  std::string file;
  bool readable = true;
  std::string error;
  bool audio = false;
  bool analysed = false;
  std::unique_ptr<SongData> song = std::make_unique<SongData>();
  std::unique_ptr<LyricTimeline> timeline = std::make_unique<LyricTimeline>();
  AnalysisOutcome out;
  SongLyrics lyrics;
  melvar::lyrics::TextDecoder decoder;

  std::string SyllableText(int i) const {
    const Syllable& s = timeline->SyllableTable[static_cast<size_t>(i)];
    const int end = std::min<int>(s.Text + s.Length, kSongBufferSize);
    if (s.Text < 0 || s.Text >= end) return {};
    return std::string(reinterpret_cast<const char*>(song->SongBuffer.data()) + s.Text,
                       static_cast<size_t>(end - s.Text));
  }
};

Inspection Inspect(const std::string& path) {
  Inspection r;
  r.file = path;
  if (IsAudioFile(path)) {
    // Not read by the player; only check that the file is there to be played.
    r.audio = true;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f || (std::fgetc(f) == EOF && std::ferror(f))) {
      r.readable = false;
      r.error = f ? "cannot be read" : std::strerror(errno);
    }
    if (f) std::fclose(f);
    return r;
  }
  // A FIFO or device would block the read: only regular files are read.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    r.readable = false;
    r.error = "not a regular file";
    return r;
  }
  if (ReadSongStart(path, *r.song, &r.error) < 0) {
    r.readable = false;
    return r;
  }
  if (r.song->SongBytes > 300) {
    r.analysed = true;
    r.lyrics = AnalyseSongLyrics(path, *r.song, *r.timeline);
    r.out = r.lyrics.walk;
    r.decoder = melvar::lyrics::TextDecoder::ForSong(r.lyrics.title1, r.lyrics.title2, r.lyrics.lines);
  }
  return r;
}

void PrintJson(const Inspection& r) {
  if (!r.readable) {
    std::printf("{\"file\":%s,\"error\":%s}\n", JsonPath(r.file).c_str(), JsonString(r.error, false).c_str());
    return;
  }
  const AnalysisOutcome& o = r.out;
  std::string j = "{\"file\":" + JsonPath(r.file);
  j += ",\"analysed\":" + std::string(r.analysed ? "true" : "false");
  j += ",\"bytes\":" + std::to_string(r.audio ? 0 : r.song->SongBytes);
  j += ",\"result\":" + std::string(o.result ? "true" : "false");
  if (o.tempo) {
    j += ",\"tempo\":{\"micros\":" + std::to_string(o.tempo->TempoMicros) +
         ",\"bpm\":" + std::to_string(o.tempo->DefaultBpm) + ",\"min\":" + std::to_string(o.tempo->ScrollMin) +
         ",\"max\":" + std::to_string(o.tempo->ScrollMax) +
         ",\"position\":" + std::to_string(o.tempo->ScrollPosition) + "}";
  } else {
    j += ",\"tempo\":null";
  }
  j += ",\"division\":" + (o.division ? std::to_string(*o.division) : std::string("null"));
  j += ",\"titles\":[" + JsonString(o.title1) + "," + JsonString(o.title2) + "]";
  if (o.lyricPhaseReached) {
    j += ",\"syllables\":[";
    for (int i = 0; i < r.timeline->SyllableCount; ++i) {
      const Syllable& s = r.timeline->SyllableTable[static_cast<size_t>(i)];
      if (i) j += ",";
      j += "{\"time\":" + std::to_string(s.Time) + ",\"length\":" + std::to_string(s.Length) +
           ",\"text\":" + JsonString(r.SyllableText(i)) + "}";
    }
    j += "]";
  }
  j += ",\"lines\":[";
  for (size_t i = 0; i < o.lines.size(); ++i) j += (i ? "," : "") + JsonString(o.lines[i]);
  j += "],\"longestLine\":" + std::to_string(o.longestLine);
  if (r.analysed) {
    const SongLyrics& l = r.lyrics;
    j += ",\"lyrics\":{\"source\":\"" + std::string(DescribeSource(l.source)) + "\"";
    j += ",\"encoding\":" + JsonString(r.decoder.name(), false);
    if (l.source == LyricSource::Reader) {
      j += ",\"choice\":" + JsonString(DescribeChoice(l.reader.choice), false);
      j += ",\"track\":" + std::to_string(l.reader.track) + ",\"type\":" + std::to_string(l.reader.eventType);
    }
    j += ",\"titles\":[" + JsonString(r.decoder.decodeToUtf8(l.title1), false) + "," +
         JsonString(r.decoder.decodeToUtf8(l.title2), false) + "],\"lines\":[";
    for (size_t i = 0; i < l.lines.size(); ++i) j += (i ? "," : "") + JsonString(r.decoder.decodeToUtf8(l.lines[i]), false);
    j += "]}";
  }
  j += "}";
  std::printf("%s\n", j.c_str());
}

void PrintReadable(const Inspection& r) {
  std::printf("%s\n", r.file.c_str());
  if (!r.readable) {
    std::printf("  cannot be read: %s\n\n", r.error.c_str());
    return;
  }
  if (r.audio) {
    std::printf("  MP3/WAV song: played as it is, not analysed\n\n");
    return;
  }
  std::printf("  bytes read:  %d\n", r.song->SongBytes);
  if (!r.analysed) {
    std::printf("  not analysed: 300 bytes or fewer\n\n");
    return;
  }
  const AnalysisOutcome& o = r.out;
  if (o.tempo)
    std::printf("  tempo:       %d us per quarter = %d bpm (control %d..%d at %d)\n", o.tempo->TempoMicros,
                o.tempo->DefaultBpm, o.tempo->ScrollMin, o.tempo->ScrollMax, o.tempo->ScrollPosition);
  else
    std::printf("  tempo:       none (tempo control left as it was)\n");
  if (o.division)
    std::printf("  division:    %u ticks per quarter\n", static_cast<unsigned>(*o.division));
  else
    std::printf("  division:    not set\n");
  std::printf("  title 1:     %s\n", Readable(o.title1).c_str());
  std::printf("  title 2:     %s\n", Readable(o.title2).c_str());
  if (o.lyricPhaseReached) {
    std::printf("  syllables:   %d", r.timeline->SyllableCount);
    if (o.syllablesSeen > r.timeline->SyllableCount) std::printf(" kept of %d", o.syllablesSeen);
    std::printf("\n");
  }
  std::printf("  result:      %s\n", o.result ? "lyrics" : "no lyrics");
  std::printf("  stopped:     %s", DescribeStop(o.stop));
  if (o.stopPos >= 0) std::printf(" (at byte %d)", o.stopPos);
  std::printf("\n");
  if (o.result) {
    std::printf("  lines:       %zu, longest %d\n", o.lines.size(), o.longestLine);
    for (const auto& line : o.lines) std::printf("    | %s\n", Readable(line).c_str());
  }
  const SongLyrics& l = r.lyrics;
  std::printf("  lyrics:      %s", DescribeSource(l.source));
  if (l.source == LyricSource::Reader)
    std::printf(" (%s: track %d, %s events)", DescribeChoice(l.reader.choice), l.reader.track,
                l.reader.eventType == 0x05 ? "LYRIC" : "TEXT");
  std::printf(", %s\n", r.decoder.name().c_str());
  if (l.source != LyricSource::Walk && (!l.title1.empty() || !l.title2.empty()))
    std::printf("  shown titles: %s / %s\n", Readable(r.decoder.decodeToUtf8(l.title1)).c_str(),
                Readable(r.decoder.decodeToUtf8(l.title2)).c_str());
  if (l.source != LyricSource::None) {
    std::printf("  shown lines: %zu, longest %d\n", l.lines.size(), l.longestLine);
    for (const auto& line : l.lines) std::printf("    | %s\n", Readable(r.decoder.decodeToUtf8(line)).c_str());
  }
  std::printf("\n");
}

int Usage(std::FILE* to, int code) {
  std::fprintf(to, "usage: melvar-inspect [--json] FILE...\n       melvar-inspect --summary FOLDER...\n");
  return code;
}

// Counts the MIDI and karaoke songs of a folder (and its sub-folders) by
// where their lyrics come from.
bool Summarise(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    std::fprintf(stderr, "melvar-inspect: %s: not a folder\n", folder.c_str());
    return false;
  }
  std::vector<std::string> files;
  for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    const std::string ext = melvar::playback::SongExtension(it->path().string());
    if (ext == ".MID" || ext == ".KAR") files.push_back(it->path().string());
  }
  std::sort(files.begin(), files.end());
  // Per extension: songs, then lyrics by walk, by reader, none, unread.
  std::map<std::string, std::array<int, 5>> counts;
  for (const auto& f : files) {
    const Inspection r = Inspect(f);
    auto& c = counts[melvar::playback::SongExtension(f)];
    ++c[0];
    if (!r.readable || !r.analysed) ++c[4];
    else if (r.lyrics.source == LyricSource::Walk) ++c[1];
    else if (r.lyrics.source == LyricSource::Reader) ++c[2];
    else ++c[3];
  }
  std::printf("%s\n", folder.c_str());
  std::array<int, 5> total{};
  for (const auto& [ext, c] : counts) {
    std::printf("  %-5s %4d songs: lyrics by walk %d, by reader %d, none %d, not analysed %d\n", ext.c_str(), c[0],
                c[1], c[2], c[3], c[4]);
    for (size_t i = 0; i < c.size(); ++i) total[i] += c[i];
  }
  std::printf("  all   %4d songs: lyrics by walk %d, by reader %d, none %d, not analysed %d\n", total[0], total[1],
              total[2], total[3], total[4]);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  bool json = false;
  bool summary = false;
  std::vector<std::string> files;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (options && a == "--json") json = true;
    else if (options && a == "--summary") summary = true;
    else if (options && a == "--") options = false;
    else if (options && (a == "-h" || a == "--help")) return Usage(stdout, 0);
    else files.push_back(a);
  }
  if (files.empty() || (summary && json)) return Usage(stderr, 2);
  if (summary) {
    bool ok = true;
    for (const auto& folder : files) ok = Summarise(folder) && ok;
    return ok ? 0 : 1;
  }
  bool allRead = true;
  for (const auto& f : files) {
    const Inspection r = Inspect(f);
    allRead = allRead && r.readable;
    if (json) PrintJson(r);
    else PrintReadable(r);
    std::fflush(stdout);
  }
  return allRead ? 0 : 1;
}
