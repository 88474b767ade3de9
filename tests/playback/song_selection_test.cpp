// The choice of the next item, the wrap, the extension rules, the transport
// targets, the end-of-play rule and the tempo command.
#include "playback/song_selection.h"

#include <gtest/gtest.h>

#include <deque>
#include <vector>

namespace melvar::playback {
namespace {

// A draw that replays fixed values and records the ranges it was asked for.
struct ScriptedDraw {
  std::deque<int> values;
  std::vector<int> asked;
  UniformDraw fn() {
    return [this](int maxInclusive) {
      asked.push_back(maxInclusive);
      const int v = values.empty() ? 0 : values.front();
      if (!values.empty()) values.pop_front();
      return v;
    };
  }
};

struct ChoiceCase {
  const char* name;
  int songIndex;
  bool shuffle;
  int count;
  std::vector<int> draws;
  int expected;
  int drawsUsed;
};

class ChoiceTest : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(ChoiceTest, ChoosesTheItem) {
  const ChoiceCase& c = GetParam();
  ShuffleHistory history;
  ScriptedDraw draw{{c.draws.begin(), c.draws.end()}, {}};
  const int chosen = ChooseNextItem(c.songIndex, c.shuffle, [&] { return c.count; }, history,
                                    draw.fn());
  EXPECT_EQ(chosen, c.expected);
  EXPECT_EQ(static_cast<int>(draw.asked.size()), c.drawsUsed);
  if (c.drawsUsed == 0) {
    EXPECT_EQ(history.RecentNext, 0);
    EXPECT_TRUE(std::all_of(history.RecentSongs.begin(), history.RecentSongs.end(),
                            [](int v) { return v == -1; }));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Requests, ChoiceTest,
    ::testing::Values(
        ChoiceCase{"DirectItem0", -30001, false, 5, {}, 0, 0},
        ChoiceCase{"DirectItem0Shuffle", -30001, true, 5, {}, 0, 0},
        ChoiceCase{"DirectItem7Shuffle", 7 - 30001, true, 50, {}, 7, 0},
        ChoiceCase{"DirectLastEncodable", 30000 - 30001, false, 40000, {}, 30000, 0},
        ChoiceCase{"DirectNoneSelected", -1 - 30001, false, 5, {}, -1, 0},
        ChoiceCase{"Advance", 3, false, 5, {}, 4, 0},
        ChoiceCase{"AdvancePastEnd", 4, false, 5, {}, 5, 0},
        ChoiceCase{"ZeroWithShuffleNoDraw", 0, true, 5, {}, 1, 0},
        ChoiceCase{"OneItemShuffleAfterIt", 0, true, 1, {}, 1, 0},
        ChoiceCase{"ShuffleDraw", 2, true, 5, {3}, 4, 1},
        ChoiceCase{"ShuffleTwoItems", 1, true, 2, {0}, 1, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ShuffleTest, DrawsFromZeroToCountMinusTwoReadAfreshEachDraw) {
  ShuffleHistory history;
  history.RecentSongs[0] = 0;  // the first draws hit the history
  history.RecentSongs[1] = 1;
  history.RecentNext = 2;
  std::vector<int> counts{10, 8, 6};
  size_t reads = 0;
  ScriptedDraw draw{{0, 1, 2}, {}};
  const int chosen = ChooseNextItem(5, true, [&] { return counts[std::min(reads++, counts.size() - 1)]; },
                                    history, draw.fn());
  EXPECT_EQ(chosen, 3);
  EXPECT_EQ(draw.asked, (std::vector<int>{8, 6, 4}));
  EXPECT_EQ(history.RecentSongs[2], 2);
  EXPECT_EQ(history.RecentNext, 3);
}

TEST(ShuffleTest, TenDrawsAllInTheHistoryTakeTheTenthAndWriteItAgain) {
  ShuffleHistory history;
  for (int i = 0; i < 10; ++i) history.RecentSongs[i] = i;
  history.RecentNext = 10;
  ScriptedDraw draw{{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11}, {}};
  const int chosen = ChooseNextItem(4, true, [] { return 100; }, history, draw.fn());
  EXPECT_EQ(draw.asked.size(), 10u);
  EXPECT_EQ(chosen, 10);  // the tenth value 9, plus one
  EXPECT_EQ(history.RecentSongs[10], 9);
  EXPECT_EQ(history.RecentNext, 11);
}

TEST(ShuffleTest, RingOfTwentyLeavesSlotTwentyUnwritten) {
  ShuffleHistory history;
  int value = 100;
  ScriptedDraw draw;
  for (int pick = 0; pick < 45; ++pick) {
    draw.values.push_back(value++);
    ChooseNextItem(1, true, [] { return 1000; }, history, draw.fn());
  }
  EXPECT_EQ(history.RecentNext, 45 % 20);
  EXPECT_EQ(history.RecentSongs[20], -1);
  EXPECT_EQ(history.RecentSongs[4], 144);  // the 45th pick went to slot 4
}

TEST(ShuffleTest, NeverDrawsTheFirstItemWithARealEngine) {
  ShuffleHistory history;
  std::mt19937 rng(1234);
  int songIndex = 1;
  for (int i = 0; i < 500; ++i) {
    songIndex = ChooseNextItem(songIndex, true, [] { return 7; }, history, rng);
    ASSERT_GE(songIndex, 1);
    ASSERT_LE(songIndex, 6);
  }
}

TEST(ShuffleTest, EmptyListDrawsFromZeroAlone) {
  ShuffleHistory history;
  ScriptedDraw draw{{0}, {}};
  EXPECT_EQ(ChooseNextItem(3, true, [] { return 0; }, history, draw.fn()), 1);
  EXPECT_EQ(draw.asked, (std::vector<int>{0}));
}

TEST(WrapTest, PastTheEndOrBelowMinusOneWrapsToTheFirstItem) {
  struct Case { int songIndex, reported, expected; };
  for (const Case& c : {Case{5, 4, 0}, Case{5, -1, 0}, Case{3, 3, 3}, Case{-1, -1, -1},
                        Case{-5, 2, 0}, Case{1, 0, 0}}) {
    EXPECT_EQ(IndexAfterSelect(c.songIndex, c.reported), c.expected)
        << c.songIndex << " reported " << c.reported;
  }
}

TEST(ExtensionTest, KindsByName) {
  struct Case { const char* path; const char* songExt; SongKind kind; const char* fileExt; bool listed; DeviceKind device; };
  const Case cases[] = {
      {"/music/Song.kar", ".KAR", SongKind::Karaoke, ".KAR", true, DeviceKind::None},
      {"/music/a.Mp3", ".MP3", SongKind::Audio, ".MP3", true, DeviceKind::Mpeg},
      {"/music/b.wav", ".WAV", SongKind::Audio, ".WAV", true, DeviceKind::Wave},
      {"/music/c.MID", ".MID", SongKind::Midi, ".MID", true, DeviceKind::Sequencer},
      {"/music/d.rmi", ".RMI", SongKind::Midi, ".RMI", false, DeviceKind::Sequencer},
      {"/music/notes.txt", ".TXT", SongKind::Midi, ".TXT", false, DeviceKind::None},
      {"/music/song.midi", "MIDI", SongKind::Midi, ".MIDI", false, DeviceKind::None},
      {"/my.folder/readme", "ADME", SongKind::Midi, "", false, DeviceKind::None},
      {"ab", "AB", SongKind::Midi, "", false, DeviceKind::None},
      {"/m/x.k\xC3\xa4r", ".K\xC3\xa4R", SongKind::Midi, ".K\xC3\xa4R", false, DeviceKind::None},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SongExtension(c.path), c.songExt) << c.path;
    EXPECT_EQ(KindOfExtension(SongExtension(c.path)), c.kind) << c.path;
    EXPECT_EQ(FileExtension(c.path), c.fileExt) << c.path;
    EXPECT_EQ(IsSongExtension(FileExtension(c.path)), c.listed) << c.path;
    EXPECT_EQ(DeviceKindOf(c.path), c.device) << c.path;
  }
  EXPECT_EQ(SongListMask(), "*.mid;*.kar;*.mp3;*.wav");
}

TEST(SongStartTest, WhatTheDeviceOpensAndWhatIsRead) {
  struct Case { const char* path; bool exists; const char* device; bool copy, read; int tempoOff; };
  const Case cases[] = {
      {"/m/Song.kar", true, "/t/tmpzzztmpwkla.mid", true, true, 0},
      {"/m/a.Mp3", true, "/m/a.Mp3", false, false, -1},
      {"/m/b.WAV", true, "/m/b.WAV", false, false, -1},
      {"/m/c.mid", true, "/m/c.mid", false, true, 0},
      {"/m/other.xyz", true, "/m/other.xyz", false, true, 0},
      {"/m/gone.kar", false, "/m/gone.kar", false, false, 0},  // the device names what is missing
  };
  for (const Case& c : cases) {
    const SongStart s = PlanSongStart(c.path, c.exists, "/t/tmpzzztmpwkla.mid");
    EXPECT_EQ(s.devicePath, c.device) << c.path;
    EXPECT_EQ(s.copyToTemp, c.copy) << c.path;
    EXPECT_EQ(s.readSong, c.read) << c.path;
    EXPECT_EQ(s.tempoOff, c.tempoOff) << c.path;
  }
  EXPECT_FALSE(WorthAnalysing(300));
  EXPECT_TRUE(WorthAnalysing(301));
}

TEST(SongStartTest, AttemptsEndWithOneMessage) {
  struct Case { int error; bool opened; int attempt; bool selected; AttemptResult result; bool message; };
  const Case cases[] = {
      {0, true, 1, true, AttemptResult::Started, false},
      {5, false, 1, false, AttemptResult::GiveUp, false},  // the open's message is shown already
      {7, true, 1, true, AttemptResult::TryAgain, false},
      {7, true, kMaxPlayAttempts, true, AttemptResult::GiveUp, true},
      {7, true, 1, false, AttemptResult::GiveUp, true},
  };
  for (const Case& c : cases) {
    const AfterAttempt a = AfterAttemptWith(c.error, c.opened, c.attempt, c.selected);
    EXPECT_EQ(a.result, c.result) << c.error << " attempt " << c.attempt;
    EXPECT_EQ(a.showError, c.message) << c.error << " attempt " << c.attempt;
  }
}

TEST(TransportTest, BackwardTargets) {
  struct Case { int64_t position, length, target; };
  for (const Case& c : {Case{30, 1000, 0}, Case{500, 1000, 450}, Case{50, 1000, 0},
                        Case{51, 1000, 1}, Case{0, 0, 0}, Case{19, 19, 19}}) {
    EXPECT_EQ(BackwardTarget(c.position, c.length), c.target) << c.position << "/" << c.length;
  }
}

TEST(TransportTest, ForwardTargets) {
  struct Case { int64_t position, length; bool allowed; int64_t target; };
  const Case cases[] = {
      {10, 1000, false, 0},  {11, 1000, true, 63},  {900, 1000, true, 999},
      {899, 1000, true, 951}, {999, 1000, true, 999}, {0, 0, false, 0},
      {8, 10, true, 9},      {5000, 100000, true, 10002},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ForwardAllowed(c.position, c.length), c.allowed) << c.position << "/" << c.length;
    if (c.allowed) {
      EXPECT_EQ(ForwardTarget(c.position, c.length), c.target) << c.position << "/" << c.length;
    }
  }
}

TEST(NoticeTest, NextSongStartsOnEveryNoticeButAbortedExceptAfterWav) {
  struct Case { int notice; const char* ext; bool starts; };
  const Case cases[] = {
      {kNoticeSuccessful, ".MID", true}, {kNoticeSuperseded, ".MID", true},
      {kNoticeFailure, ".MID", true},    {kNoticeAborted, ".MID", false},
      {kNoticeSuccessful, ".KAR", true}, {kNoticeSuccessful, ".MP3", true},
      {kNoticeAborted, ".MP3", false},   {kNoticeSuccessful, ".WAV", false},
      {kNoticeFailure, ".WAV", false},   {kNoticeSuccessful, "", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StartsNextSong(c.notice, c.ext), c.starts) << c.notice << " " << c.ext;
  }
}

TEST(TempoTest, CommandText) {
  EXPECT_EQ(TempoCommand("/tmp/tmpzzztmpwkla.mid", "132"),
            "set \"/tmp/tmpzzztmpwkla.mid\" tempo 132 wait");
  EXPECT_EQ(TempoCommand("/m/My Song.mid", "00"), "set \"/m/My Song.mid\" tempo 00 wait");
}

}  // namespace
}  // namespace melvar::playback
