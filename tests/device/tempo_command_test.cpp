// The tempo command string as the window builds it, and what is refused.
#include <gtest/gtest.h>

#include "tempo_command.h"

namespace melvar::device {
namespace {

struct Case {
  const char* command;
  int code;
  const char* path;  // expected path when accepted
  int bpm;
};

TEST(ParseTempoCommand, Table) {
  const Case cases[] = {
      {"set \"/tmp/song.mid\" tempo 120 wait", audio::kErrNone, "/tmp/song.mid", 120},
      {"set \"/tmp/Song.MID\" tempo 1 wait", audio::kErrNone, "/tmp/Song.MID", 1},
      {"set \"/tmp/a.mid\" tempo 1000 wait", audio::kErrNone, "/tmp/a.mid", 1000},
      {"SET \"/tmp/a.mid\" TEMPO 90 WAIT", audio::kErrNone, "/tmp/a.mid", 90},
      {"set \"/tmp/a.mid\" tempo 90", audio::kErrNone, "/tmp/a.mid", 90},
      {"set \"/tmp/a.mid\" tempo 0090 wait", audio::kErrNone, "/tmp/a.mid", 90},
      // A quote inside the path: the path runs to the last '" tempo '.
      {"set \"/tmp/say \"hi\".mid\" tempo 100 wait", audio::kErrNone, "/tmp/say \"hi\".mid", 100},
      {"set \"/tmp/x\" tempo 5\".mid\" tempo 77 wait", audio::kErrNone, "/tmp/x\" tempo 5\".mid", 77},
      {"set \"/tmp/a.mid\" tempo 00 wait", audio::kErrTempoOutOfRange, "", 0},
      {"set \"/tmp/a.mid\" tempo 0 wait", audio::kErrTempoOutOfRange, "", 0},
      {"set \"/tmp/a.mid\" tempo 1001 wait", audio::kErrTempoOutOfRange, "", 0},
      {"set \"/tmp/a.mid\" tempo 5000 wait", audio::kErrTempoOutOfRange, "", 0},
      {"set \"/tmp/a.mid\" tempo 99999999999999999999999 wait", audio::kErrTempoOutOfRange, "", 0},
      {"set \"/tmp/a.mid\" tempo -5 wait", audio::kErrBadCommand, "", 0},
      {"set \"/tmp/a.mid\" tempo wait", audio::kErrBadCommand, "", 0},
      {"set \"/tmp/a.mid\" tempo 12x wait", audio::kErrBadCommand, "", 0},
      {"set \"/tmp/a.mid\" tempo 120 wait now", audio::kErrBadCommand, "", 0},
      {"set /tmp/a.mid tempo 120 wait", audio::kErrBadCommand, "", 0},
      {"set \"/tmp/a.mid tempo 120 wait", audio::kErrBadCommand, "", 0},
      {"set \"\" tempo 120 wait", audio::kErrBadCommand, "", 0},
      {"play \"/tmp/a.mid\" tempo 120 wait", audio::kErrBadCommand, "", 0},
      {"garbage", audio::kErrBadCommand, "", 0},
      {"", audio::kErrBadCommand, "", 0},
  };
  for (const Case& c : cases) {
    TempoCommand cmd;
    audio::MediaError e = ParseTempoCommand(c.command, &cmd);
    EXPECT_EQ(e.code, c.code) << c.command << " -> " << e.text;
    if (c.code == audio::kErrNone) {
      EXPECT_EQ(cmd.path, c.path) << c.command;
      EXPECT_EQ(cmd.bpm, c.bpm) << c.command;
    } else {
      EXPECT_FALSE(e.text.empty()) << c.command;
    }
  }
}

TEST(SamePathIgnoringCase, OnlyAsciiLettersFold) {
  EXPECT_TRUE(SamePathIgnoringCase("/tmp/Song.MID", "/TMP/song.mid"));
  EXPECT_FALSE(SamePathIgnoringCase("/tmp/song.mid", "/tmp/song.mid "));
  EXPECT_FALSE(SamePathIgnoringCase("/tmp/\xc3\xa9.mid", "/tmp/\xc3\x89.mid"));
  EXPECT_FALSE(SamePathIgnoringCase("/tmp/a[.mid", "/tmp/a{.mid"));  // '[' and '{' differ by 32 too
}

}  // namespace
}  // namespace melvar::device
