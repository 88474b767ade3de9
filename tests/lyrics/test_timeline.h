#pragma once
// Crafted lyric timelines for the lyric rule tests: syllable texts are laid
// out in a byte buffer the way the song analysis leaves them, and the memo
// lines are built from them by the analysis's line rules, so a test can
// check a highlight against the text it should cover.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "lyrics/lyric_timeline.h"

namespace melvar::lyrics::test {

struct TestTimeline {
  std::vector<uint8_t> buffer;
  std::vector<Syllable> table;

  TestTimeline() = default;
  // (time, stored text) per syllable; a text starting with / or \ carries a mark.
  TestTimeline(std::initializer_list<std::pair<int32_t, std::string>> syllables) {
    for (const auto& [time, text] : syllables) Add(time, text);
  }

  void Add(int32_t time, const std::string& text) {
    buffer.push_back(0xFF);  // something in front, as an event header would be
    table.push_back({time, static_cast<uint8_t>(text.size()), static_cast<int32_t>(buffer.size())});
    buffer.insert(buffer.end(), text.begin(), text.end());
  }

  TimelineView View() const {
    return TimelineView(table.data(), static_cast<int>(table.size()), buffer.data(), static_cast<int>(buffer.size()));
  }

  // The text of syllable i as the memo holds it: mark dropped, cut at 0x00.
  std::string Shown(int i) const {
    std::string s(buffer.begin() + table[i].Text, buffer.begin() + table[i].Text + table[i].Length);
    if (!s.empty() && (s[0] == '/' || s[0] == '\\')) s.erase(0, 1);
    return s.substr(0, s.find('\0'));
  }

  // The memo's lines: a mark ends the line before it (unless it is the first
  // mark), texts join with "." within a line.
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::string current;
    bool started = false;
    for (int i = 0; i < static_cast<int>(table.size()); ++i) {
      std::string raw(buffer.begin() + table[i].Text, buffer.begin() + table[i].Text + table[i].Length);
      if (!raw.empty() && (raw[0] == '/' || raw[0] == '\\')) {
        if (started) {
          lines.push_back(current);
          current.clear();
        }
        started = true;
        raw.erase(0, 1);
      }
      if (!raw.empty()) {
        const std::string piece = raw.substr(0, raw.find('\0'));
        current = current.empty() ? piece : current + "." + piece;
      }
    }
    if (!current.empty()) lines.push_back(current);
    return lines;
  }

  static std::string Joined(const std::vector<std::string>& lines) {
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) out += (i ? "\r\n" : "") + lines[i];
    return out;
  }
};

}  // namespace melvar::lyrics::test
