// The lyric reader over the layouts real karaoke and MIDI files use, each
// song written with the project's SMF writer. Every row also walks the
// highlight over the timeline: each syllable must select exactly its text in
// the memo, as for soft-karaoke songs.
#include "analysis/lyric_reader.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>
#include <vector>

#include "lyrics/lyric_memo_text.h"
#include "lyrics/lyric_sync.h"
#include "tools/smf/smf.h"

namespace melvar::analysis {
namespace {

using smf::EventList;

// A tempo track (track 0) followed by the given tracks.
smf::Bytes Song(std::vector<EventList> tracks, uint16_t format = 1, uint16_t division = 480) {
  EventList tempo;
  tempo.Raw(0, {0xFF, 0x58, 0x04, 4, 2, 24, 8}).Tempo(0, 500000);
  if (format == 1) tracks.insert(tracks.begin(), tempo);
  std::vector<smf::Bytes> chunks;
  for (EventList& t : tracks) chunks.push_back(smf::Chunk(t.End().bytes()));
  return smf::SmfFile(format, division, chunks);
}

// Syllables of one type, one every eighth note from tick 240.
EventList Texts(uint8_t type, const std::vector<std::string>& texts, const char* name = nullptr) {
  EventList t;
  if (name) t.Name(0, name);
  for (size_t i = 0; i < texts.size(); ++i) t.Meta(240, type, texts[i]);
  return t;
}

// The highlight selects each syllable's text in the memo's raw text.
void ExpectHighlightCoversEachSyllable(const ReaderLyrics& r) {
  const OwnedTimeline& t = r.timeline;
  const lyrics::TimelineView view =
      lyrics::TimelineView(t, t.Bytes.data(), static_cast<int>(t.Bytes.size())).JoinedAsWritten();
  const std::string raw = lyrics::MemoText(r.lines).rawText();
  lyrics::LyricState s;
  s.HasLyrics = true;
  lyrics::ResetLyricState(s, view, 24);
  for (int i = 0; i < t.SyllableCount; ++i) {
    const lyrics::CatchUpResult step = lyrics::CatchUpStep(s, view, 24, INT64_MAX, s.TimelineGeneration);
    std::string text(reinterpret_cast<const char*>(t.Bytes.data()) + t.SyllableTable[i].Text, t.SyllableTable[i].Length);
    if (text[0] == '/') text.erase(0, 1);
    ASSERT_EQ(raw.substr(step.selectionStart, step.selectionLength), text) << "syllable " << i;
  }
  EXPECT_EQ(s.LineCursor, static_cast<int>(r.lines.size()));
}

struct LayoutCase {
  const char* name;
  smf::Bytes song;
  std::vector<std::string> lines;
  LyricChoice choice;
  int track;
  uint8_t type;
};

class LyricLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(LyricLayoutTest, ReadsTheLinesOfOneStream) {
  const LayoutCase& c = GetParam();
  const ReaderLyrics r = ReadLyrics(c.song.data(), c.song.size());
  EXPECT_EQ(r.lines, c.lines);
  EXPECT_EQ(r.choice, c.choice);
  if (c.choice == LyricChoice::None) return;
  EXPECT_EQ(r.track, c.track);
  EXPECT_EQ(r.eventType, c.type);
  ExpectHighlightCoversEachSyllable(r);
}

std::vector<std::string> Many(const char* text, int n) { return std::vector<std::string>(n, text); }

INSTANTIATE_TEST_SUITE_P(
    Layouts, LyricLayoutTest,
    ::testing::Values(
        LayoutCase{"LyricEventsWithCrLfLineEnds",
                   Song({Texts(0x05, {"Hel", "lo\r\n", "dear ", "World\r", "bye\n"})}),
                   {"Hello", "dear World", "bye"}, LyricChoice::MostSyllables, 1, 0x05},
        LayoutCase{"SoftKaraokeMarksInTheLastTrack",
                   Song({EventList().NoteOn(0, 0, 60, 90), EventList().NoteOn(0, 1, 60, 90),
                         Texts(0x01, {"\\Twin", "kle ", "twin", "kle", "/lit", "tle"})}),
                   {"Twinkle twinkle", "little"}, LyricChoice::LineMarks, 3, 0x01},
        LayoutCase{"FormatZeroSingleTrack",
                   Song({Texts(0x05, {"One\n", "two\n", "three"})}, 0), {"One", "two", "three"},
                   LyricChoice::MostSyllables, 0, 0x05},
        LayoutCase{"OneLetterPerEvent", Song({Texts(0x05, {"U", "M", "I", "I", "Y", "A", "K"})}),
                   {"UMIIYAK"}, LyricChoice::MostSyllables, 1, 0x05},
        LayoutCase{"DoubledLyricsShowOnce",
                   Song({Texts(0x05, {"Hap", "py ", "day\r"}), Texts(0x01, {"Hap", "py ", "day\r"})}),
                   {"Happy day"}, LyricChoice::MostSyllables, 1, 0x05},
        LayoutCase{"ChordNamesAreNotLyrics",
                   Song({Texts(0x01, {"A sus4/D", "Am", "C#m7", "G/B", "Bbmaj7", "E", "N.C."}),
                         Texts(0x05, {"Sing ", "a ", "song"})}),
                   {"Sing a song"}, LyricChoice::MostSyllables, 2, 0x05},
        LayoutCase{"TextCutAtItsFirstNul",
                   Song({Texts(0x05, {std::string("Hel\0\x93\xFFzz", 7), std::string("lo\r\0junk", 8)})}),
                   {"Hello"}, LyricChoice::MostSyllables, 1, 0x05},
        LayoutCase{"EmptySyllablesAddNothing",
                   Song({Texts(0x05, {"", "A\r\n", "\r\n", "/", "B", ""})}), {"A", "B"},
                   LyricChoice::MostSyllables, 1, 0x05},
        LayoutCase{"WordsTrackBeforeMoreSyllables",
                   Song({Texts(0x05, Many("la ", 8)), Texts(0x01, {"Real ", "words"}, " words ")}),
                   {"Real words"}, LyricChoice::WordsTrack, 2, 0x01},
        LayoutCase{"RemarkBeforeTheFirstMarkedLine",
                   Song({EventList().Text(0, "DURATION: 46").Text(192, "\\Twin").Text(96, "kle").Text(96, "/lit")}),
                   {"Twinkle", "lit"}, LyricChoice::LineMarks, 1, 0x01},
        LayoutCase{"RemarksAtTheStartAreNotLyrics",
                   Song({EventList().Text(0, "Generated by a notation program").Text(0, "Jim")}),
                   {}, LyricChoice::None, 0, 0},
        LayoutCase{"VersesUnderTheSameNotesShowTheFirst",
                   Song({EventList().Lyric(0, "Za").Lyric(0, "Das").Lyric(240, "ch").Lyric(0, "Kind")}),
                   {"Zach"}, LyricChoice::MostSyllables, 1, 0x05},
        LayoutCase{"NotationHyphensJoinWordsAndSpacesEndThem",
                   Song({Texts(0x05, {"Za-", "cha-", "ri-", "as", "war", "stumm_", "t"})}),
                   {"Za-cha-ri-as war stumm_t "}, LyricChoice::MostSyllables, 1, 0x05}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LyricReader, TagsFromAnyTrackGiveTheTitlesAndAreNotLyrics) {
  const smf::Bytes song = Song({Texts(0x05, {"Sing\r", "on"}),
                                EventList().Text(0, "@KMIDI KARAOKE FILE").Text(0, "@LENG").Text(0, "@TFirst")
                                    .Text(0, "@TSecond").Text(0, "@IInfo")});
  const ReaderLyrics r = ReadLyrics(song.data(), song.size());
  EXPECT_EQ(r.title1, "First");
  EXPECT_EQ(r.title2, "Second");
  EXPECT_EQ(r.lines, (std::vector<std::string>{"Sing", "on"}));
}

TEST(LyricReader, TimesAreSixteenthsOneEarlyWithoutASyllableLimit) {
  std::vector<std::string> texts(1500, "la ");
  const smf::Bytes song = Song({Texts(0x05, texts)}, 1, 96);
  const ReaderLyrics r = ReadLyrics(song.data(), song.size());
  ASSERT_EQ(r.timeline.SyllableCount, 1500);
  // Ticks 240, 480, ... at 96 per quarter: (tick - 24) * 4 / 96.
  EXPECT_EQ(r.timeline.SyllableTable[0].Time, 9);
  EXPECT_EQ(r.timeline.SyllableTable[1].Time, 19);
  EXPECT_EQ(r.timeline.SyllableTable[1499].Time, (1500 * 240 - 24) * 4 / 96);
  // A syllable at tick 0 is one sixteenth before the start.
  const smf::Bytes early = Song({EventList().Lyric(0, "a").Lyric(10, "b").Lyric(400, "c")});
  const ReaderLyrics e = ReadLyrics(early.data(), early.size());
  ASSERT_EQ(e.timeline.SyllableCount, 3);
  EXPECT_EQ(e.timeline.SyllableTable[0].Time, -1);
  EXPECT_EQ(e.timeline.SyllableTable[1].Time, 0);  // truncated towards zero
  EXPECT_EQ(e.timeline.SyllableTable[2].Time, 2);
}

TEST(LyricReader, LongTextsAndOversizedFiles) {
  // A text longer than a syllable holds is kept whole, split at the same time.
  const std::string longText(600, 'x');
  const smf::Bytes song = Song({Texts(0x05, {longText, "y", "z"})});
  const ReaderLyrics r = ReadLyrics(song.data(), song.size());
  EXPECT_EQ(r.lines, std::vector<std::string>{longText + "yz"});
  EXPECT_EQ(r.longestLine, 602);
  ExpectHighlightCoversEachSyllable(r);

  std::vector<uint8_t> huge(kMaxLyricFileBytes + 1, 0);
  std::copy(song.begin(), song.end(), huge.begin());
  EXPECT_FALSE(ReadLyrics(huge.data(), huge.size()).found);
  EXPECT_FALSE(ReadLyricsFromFile("/dev/zero").found);
}

// Code pages: the reader keeps the song's bytes; the memo detects the code
// page over lyrics and titles and shows the right letters, and the
// highlight's byte positions fall on whole characters.
std::string Encode(const std::string& utf8, const char* codePage) {
  iconv_t cd = iconv_open(codePage, "UTF-8");
  std::string out(utf8.size() * 4, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size(), outLeft = out.size();
  char* o = out.data();
  iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

struct CodePageCase {
  const char* name;
  const char* codePage;
  std::vector<std::string> syllables;  // UTF-8; "\r" ends a line
  const char* title;
};

class LyricCodePageTest : public ::testing::TestWithParam<CodePageCase> {};

TEST_P(LyricCodePageTest, LyricsAndTitlesReadRight) {
  const CodePageCase& c = GetParam();
  std::vector<std::string> texts;
  std::string expected;
  for (const std::string& s : c.syllables) texts.push_back(Encode(s, c.codePage));
  EventList words = Texts(0x05, texts);
  const smf::Bytes song = Song({words, EventList().Text(0, "@T" + Encode(c.title, c.codePage))});
  const ReaderLyrics r = ReadLyrics(song.data(), song.size());
  ASSERT_TRUE(r.found);
  const lyrics::TextDecoder d = lyrics::TextDecoder::ForSong(r.title1, r.title2, r.lines);
  EXPECT_EQ(d.decodeToUtf8(r.title1), c.title) << d.name();
  std::string shown;
  for (const std::string& line : r.lines) shown += d.decodeToUtf8(line) + "|";
  std::string want;
  for (const std::string& s : c.syllables) want += s.back() == '\r' ? s.substr(0, s.size() - 1) + "|" : s;
  EXPECT_EQ(shown, want + "|") << d.name();

  // Each highlighted syllable shows its own characters.
  const lyrics::MemoText memo(r.lines, d);
  const OwnedTimeline& t = r.timeline;
  const lyrics::TimelineView view =
      lyrics::TimelineView(t, t.Bytes.data(), static_cast<int>(t.Bytes.size())).JoinedAsWritten();
  lyrics::LyricState s;
  s.HasLyrics = true;
  lyrics::ResetLyricState(s, view, 24);
  for (int i = 0; i < t.SyllableCount; ++i) {
    const lyrics::CatchUpResult step = lyrics::CatchUpStep(s, view, 24, INT64_MAX, s.TimelineGeneration);
    const auto [from, to] = memo.toDisplayRange(step.selectionStart, step.selectionLength);
    std::string syllable = c.syllables[static_cast<size_t>(i)];
    if (syllable.back() == '\r') syllable.pop_back();
    EXPECT_EQ(memo.displayText().substr(from, to - from), d.decode(Encode(syllable, c.codePage))) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Languages, LyricCodePageTest,
    ::testing::Values(
        CodePageCase{"RussianWindows1251", "WINDOWS-1251",
                     {"Ка", "лин", "ка, ", "ка", "лин", "ка\r", "ка", "лин", "ка ", "мо", "я!"}, "Калинка"},
        CodePageCase{"RussianKoi8R", "KOI8-R",
                     {"Под", "мос", "ков", "ны", "е ", "ве", "че", "ра\r", "Ре", "чка ", "дви", "жет", "ся"},
                     "Подмосковные вечера"},
        CodePageCase{"Greek", "ISO-8859-7",
                     {"Πού ", "πας ", "κα", "ρα", "βά", "κι\r", "με ", "τέ", "τοι", "ο ", "και", "ρό"}, "Καραβάκι"},
        CodePageCase{"Turkish", "WINDOWS-1254",
                     {"Üs", "kü", "dar'", "a ", "gi", "der ", "i", "ken\r", "al", "dı da ", "bir ", "yağ", "mur"},
                     "Üsküdar'a Gider İken"},
        CodePageCase{"Thai", "TIS-620",
                     {"ช้าง ", "ช้าง ", "ช้าง\r", "น้อง ", "เคย ", "เห็น ", "ช้าง ", "หรือ ", "เปล่า"}, "ช้าง"},
        CodePageCase{"JapaneseShiftJis", "SHIFT_JIS",
                     {"さ", "く", "ら ", "さ", "く", "ら\r", "や", "よ", "い", "の", "空", "は"}, "さくら さくら"},
        CodePageCase{"KoreanEucKr", "EUC-KR",
                     {"아", "리", "랑 ", "아", "리", "랑\r", "아", "라", "리", "요"}, "아리랑"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace melvar::analysis
