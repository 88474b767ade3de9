#include "lyrics/lyric_memo_text.h"
#include "lyrics/utf8.h"

#include <gtest/gtest.h>

namespace melvar::lyrics {
namespace {

std::u16string Shown(const MemoText& m, int start, int length) {
  const auto [from, to] = m.toDisplayRange(start, length);
  return m.displayText().substr(from, to - from);
}

TEST(Decoding, Utf8LyricsAreReadAsUtf8) {
  const MemoText m({"Erh\xC3\xB6re", "mich"});
  EXPECT_EQ(m.decoder().encoding(), TextEncoding::Utf8);
  EXPECT_EQ(m.displayText(), u"Erh\u00F6re\nmich");
  EXPECT_EQ(m.lineDisplay(0), u"Erh\u00F6re");
  EXPECT_EQ(m.lineCount(), 2);
  EXPECT_EQ(m.rawText(), "Erh\xC3\xB6re\r\nmich");
  EXPECT_EQ(m.rawLength(), 13);
}

TEST(Decoding, OtherBytesAreWindows1252) {
  const MemoText m({"caf\xE9", "\x80\x81\x8D\x8F\x90\x9D\x9F"});
  EXPECT_EQ(m.decoder().encoding(), TextEncoding::Windows1252);
  EXPECT_EQ(m.displayText(), u"caf\u00E9\n\u20AC\u0081\u008D\u008F\u0090\u009D\u0178");
}

TEST(Decoding, PlainAsciiIsWindows1252) {
  EXPECT_EQ(MemoText({"plain"}).decoder().encoding(), TextEncoding::Windows1252);
}

struct EncodingCase {
  const char* name;
  std::string bytes;
  bool utf8;
};

class EncodingChoiceTest : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(EncodingChoiceTest, OnlyValidMultiByteUtf8IsUtf8) {
  const EncodingCase c = GetParam();
  EXPECT_EQ(IsUtf8WithMultiByte(c.bytes), c.utf8);
  EXPECT_EQ(TextDecoder::ForLines({c.bytes}).encoding() == TextEncoding::Utf8, c.utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, EncodingChoiceTest,
    ::testing::Values(EncodingCase{"TwoByte", "\xC3\xA9", true}, EncodingCase{"ThreeByte", "\xE2\x82\xAC", true},
                      EncodingCase{"FourByte", "\xF0\x9F\x8E\xB5", true},
                      EncodingCase{"LoneContinuation", "a\xA9", false},
                      EncodingCase{"CutSequence", "\xC3", false},
                      EncodingCase{"Overlong", "\xC0\xAF", false},
                      EncodingCase{"OverlongThreeByte", "\xE0\x80\xAF", false},
                      EncodingCase{"Surrogate", "\xED\xA0\x80", false},
                      EncodingCase{"AboveUnicode", "\xF4\x90\x80\x80", false},
                      EncodingCase{"ValidThenLatin1", "\xC3\xA9 caf\xE9", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Decoding, EncodingIsChosenOverAllLines) {
  // One line in Latin-1 makes the whole song Windows-1252.
  EXPECT_EQ(TextDecoder::ForLines({"Erh\xC3\xB6re", "caf\xE9"}).encoding(), TextEncoding::Windows1252);
  EXPECT_EQ(TextDecoder::ForLines({"plain", "Erh\xC3\xB6re"}).encoding(), TextEncoding::Utf8);
}

TEST(Decoding, InvalidBytesInUtf8ModeBecomeReplacementCharacters) {
  const TextDecoder d(TextEncoding::Utf8);
  EXPECT_EQ(d.decode("a\xFF" "b\xC3"), u"a\uFFFDb\uFFFD");
  EXPECT_EQ(d.decode("\xF0\x9F\x8E\xB5"), u"\U0001F3B5");
}

struct RangeCase {
  const char* name;
  int start;
  int length;
  std::u16string shown;
};

class Utf8RangeTest : public ::testing::TestWithParam<RangeCase> {};

// Raw: E r h C3 B6 r e CR LF m i c h  (0..12); display: "Erhöre\nmich".
TEST_P(Utf8RangeTest, CoversTheSameCharacters) {
  const MemoText m({"Erh\xC3\xB6re", "mich"});
  const RangeCase c = GetParam();
  EXPECT_EQ(Shown(m, c.start, c.length), c.shown);
}

INSTANTIATE_TEST_SUITE_P(Selections, Utf8RangeTest,
                         ::testing::Values(RangeCase{"Word", 0, 2, u"Er"},
                                           RangeCase{"MultiByteSyllable", 2, 3, u"h\u00F6"},
                                           RangeCase{"AfterTheMultiByte", 5, 2, u"re"},
                                           RangeCase{"NextLine", 9, 4, u"mich"},
                                           RangeCase{"StartInsideTheCharacter", 4, 1, u"\u00F6"},
                                           RangeCase{"EndInsideTheCharacter", 2, 2, u"h\u00F6"},
                                           RangeCase{"LineBreakIsOneCharacter", 7, 2, u"\n"},
                                           RangeCase{"CrAlone", 7, 1, u"\n"},
                                           RangeCase{"StartOnTheLf", 8, 3, u"\nmi"},
                                           RangeCase{"Empty", 9, 0, u""},
                                           RangeCase{"BeforeTheText", -1, 3, u"Er"},
                                           RangeCase{"PastTheEnd", 12, 10, u"h"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Mapping, Windows1252IsOneToOneWithinALine) {
  // Raw: c a f E9 CR LF n o i r; display "café\nnoir".
  const MemoText m({"caf\xE9", "noir"});
  EXPECT_EQ(Shown(m, 0, 4), u"caf\u00E9");
  EXPECT_EQ(Shown(m, 3, 1), u"\u00E9");
  EXPECT_EQ(Shown(m, 6, 4), u"noir");
  EXPECT_EQ(m.toDisplayPosition(6), 5);
  EXPECT_EQ(m.toDisplayPosition(5), 4);
}

TEST(Mapping, CharactersOutsideTheBasicPlaneTakeTwoUnits) {
  const MemoText m({"a\xF0\x9F\x8E\xB5" "b"});
  EXPECT_EQ(m.displayText().size(), 4u);
  EXPECT_EQ(Shown(m, 1, 4), u"\U0001F3B5");
  EXPECT_EQ(Shown(m, 2, 1), u"\U0001F3B5");
  EXPECT_EQ(Shown(m, 5, 1), u"b");
  EXPECT_EQ(m.toDisplayPosition(5), 3);
}

TEST(Mapping, EmptyLinesKeepTheirBreaks) {
  // Raw: a CR LF CR LF b: b at 5; display "a\n\nb".
  const MemoText m({"a", "", "b"});
  EXPECT_EQ(m.displayText(), u"a\n\nb");
  EXPECT_EQ(m.toDisplayPosition(5), 3);
  EXPECT_EQ(Shown(m, 5, 1), u"b");
  EXPECT_EQ(m.lineBytes(1), "");
  EXPECT_EQ(m.lineBytes(7), "");
}

TEST(Mapping, LineBreakBytesInsideALineShowAsSpaces) {
  const MemoText m({"a\rb\nc"});
  EXPECT_EQ(m.displayText(), u"a b c");
  EXPECT_EQ(m.lineDisplay(0), u"a b c");
  EXPECT_EQ(Shown(m, 2, 1), u"b");
}

TEST(Mapping, NoLines) {
  const MemoText m;
  EXPECT_EQ(m.rawLength(), 0);
  EXPECT_EQ(m.toDisplayRange(0, 5), (std::pair<int, int>{0, 0}));
  EXPECT_EQ(m.toDisplayRange(3, 1), (std::pair<int, int>{0, 0}));
}

TEST(Clipboard, Utf16FollowsTheSongsDecoding) {
  const MemoText m({"Erh\xC3\xB6re"});
  EXPECT_EQ(m.decode("\r\n  Erh\xC3\xB6re"), u"\r\n  Erh\u00F6re");
  const MemoText latin({"caf\xE9"});
  EXPECT_EQ(latin.decode("caf\xE9"), u"caf\u00E9");
}

}  // namespace
}  // namespace melvar::lyrics
