// melvar-inspect [--json] FILE...
//
// Tells what the player sees in each song: it reads and analyses every file
// as a fresh start of the player would (nothing carried over from the file
// before), and prints the tempo, division, titles, lyric lines, syllables
// and why the analysis stopped. With --json it prints one JSON object per
// file and line; every text is the song's bytes, each byte as the character
// of the same number, so the output is exact whatever the song's code page.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "analysis/song_analysis.h"

using namespace melvar::analysis;

namespace {

// MP3 and WAV songs go to the player's decoders unread.
bool IsAudioFile(const std::string& path) {
  if (path.size() < 4) return false;
  std::string ext = path.substr(path.size() - 4);
  for (char& c : ext) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return ext == ".MP3" || ext == ".WAV";
}

bool IsValidUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t more;
    if (c < 0x80) more = 0;
    else if (c >= 0xC2 && c <= 0xDF) more = 1;
    else if ((c >> 4) == 0xE) more = 2;
    else if (c >= 0xF0 && c <= 0xF4) more = 3;
    else return false;
    if (i + more >= s.size() && more > 0) return false;
    for (size_t k = 1; k <= more; ++k)
      if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
    i += more + 1;
  }
  return true;
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

std::string JsonPath(const std::string& path) { return JsonString(path, !IsValidUtf8(path)); }

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
  if (ReadSongStart(path, *r.song, &r.error) < 0) {
    r.readable = false;
    return r;
  }
  if (r.song->SongBytes > 300) {
    r.analysed = true;
    r.out = AnalyseSong(*r.song, *r.timeline);
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
  j += "],\"longestLine\":" + std::to_string(o.longestLine) + "}";
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
  std::printf("\n");
}

int Usage(std::FILE* to, int code) {
  std::fprintf(to, "usage: melvar-inspect [--json] FILE...\n");
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  bool json = false;
  std::vector<std::string> files;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (options && a == "--json") json = true;
    else if (options && a == "--") options = false;
    else if (options && (a == "-h" || a == "--help")) return Usage(stdout, 0);
    else files.push_back(a);
  }
  if (files.empty()) return Usage(stderr, 2);
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
