#include "lyrics/clipboard_text.h"

#include <gtest/gtest.h>

namespace melvar::lyrics {
namespace {

const std::string kHeadTail = "\r\n\r\n";

std::string Head(const std::string& t1, const std::string& t2) {
  return "\r\n" + std::string(10, ' ') + t1 + "\r\n" + std::string(14, ' ') + t2 + kHeadTail;
}

TEST(Clipboard, ByteForByte) {
  EXPECT_EQ(ClipboardText("Song", "Singer", {"Sun.ny.day", "is.here"}),
            "\r\n          Song\r\n              Singer\r\n\r\nSun.ny.day\r\nis.here\r\n");
}

TEST(Clipboard, NoTitlesKeepTheIndentation) {
  EXPECT_EQ(ClipboardText("", "", {"a"}), "\r\n" + std::string(10, ' ') + "\r\n" + std::string(14, ' ') +
                                              "\r\n\r\na\r\n");
}

TEST(Clipboard, StopsBeforeTheFirstEmptyLine) {
  EXPECT_EQ(ClipboardText("T", "U", {"one", "two", "", "four"}), Head("T", "U") + "one\r\ntwo\r\n");
  EXPECT_EQ(ClipboardText("T", "U", {}), Head("T", "U"));
  EXPECT_EQ(ClipboardText("T", "U", {"", "x"}), Head("T", "U"));
}

// Lines of 98 bytes: each takes 100 with its CR LF.
std::vector<std::string> ManyLines(int count, std::size_t length = 98) {
  std::vector<std::string> lines;
  for (int i = 0; i < count; ++i) lines.push_back(std::string(length, static_cast<char>('a' + i % 26)));
  return lines;
}

TEST(Clipboard, AppendsOnlyWhileAtMost2901) {
  // Head of 34 bytes ("T", "U"), so after n lines the text is 34 + 100 n:
  // 2834 after 28 lines goes on, 2934 after 29 stops.
  const std::string text = ClipboardText("T", "U", ManyLines(40));
  EXPECT_EQ(text.size(), 34u + 29 * 100);
  EXPECT_EQ(text, Head("T", "U") + [] {
    std::string body;
    for (const std::string& l : ManyLines(29)) body += l + "\r\n";
    return body;
  }());
}

TEST(Clipboard, ExactlyAt2901GoesOn) {
  // Head 34 + 2867 = 2901 after the first line: one more is appended.
  std::vector<std::string> lines = {std::string(2865, 'x'), "yy", "zz"};
  const std::string text = ClipboardText("T", "U", lines);
  EXPECT_EQ(text.size(), 2901u + 4);
  EXPECT_EQ(text.substr(2901), "yy\r\n");
}

TEST(Clipboard, NeverLongerThan3000) {
  // After 28 lines the text is 2834; a line of 300 would pass 3000: left out
  // whole, and the walk ends there.
  std::vector<std::string> lines = ManyLines(28);
  lines.push_back(std::string(300, 'Q'));
  lines.push_back("short");
  const std::string text = ClipboardText("T", "U", lines);
  EXPECT_EQ(text.size(), 2834u);
  EXPECT_EQ(text.find('Q'), std::string::npos);
  EXPECT_EQ(text.find("short"), std::string::npos);

  // A line that ends exactly at 3000 is taken.
  lines[28] = std::string(3000 - 2834 - 2, 'Q');
  EXPECT_EQ(ClipboardText("T", "U", lines).size(), 3000u);

  // One huge first line does not fit at all.
  EXPECT_EQ(ClipboardText("T", "U", {std::string(5000, 'x')}), Head("T", "U"));
}

TEST(Clipboard, OverlongTitlesAreCut) {
  EXPECT_EQ(ClipboardText(std::string(4000, 't'), "U", {"a"}).size(), kClipboardLimit);
}

}  // namespace
}  // namespace melvar::lyrics
