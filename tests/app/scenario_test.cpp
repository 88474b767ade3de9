// The window against a fake device: plant a state, run a handler or a tick,
// and check what reached the device and what the controls show.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>

#include "app/tform1.h"
#include "app_test_support.h"
#include "fake_device.h"
#include "platform/system/settings_file.h"
#include "platform/widgets/song_list.h"
#include "song_builder.h"

namespace melvar::app {
namespace {

using test::FakeDevice;
using test::SongBuilder;

// Two lines, eight syllables, one every eighth note (two sixteenths).
SongBuilder Karaoke() {
  SongBuilder b(480, 500000);
  b.title("Test Song").title("Traditional");
  const char* texts[] = {"\\Twin", "kle ", "twin", "kle", "/lit", "tle ", "st", "ar"};
  for (int i = 0; i < 8; ++i) b.syllable(texts[i], 240 + 240 * i);
  return b;
}

// A plain MIDI song whose tempo event is turned into a text event of the
// same size: the analysis finds no tempo in it.
std::vector<uint8_t> WithoutTempo(std::vector<uint8_t> bytes) {
  for (size_t i = 0; i + 2 < bytes.size(); ++i)
    if (bytes[i] == 0xFF && bytes[i + 1] == 0x51 && bytes[i + 2] == 0x03) bytes[i + 1] = 0x01;
  return bytes;
}

class ScenarioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TEMP", temp_.path().toLocal8Bit().constData(), 1);
    write("a_song.kar", Karaoke().karaoke());
    write("b_plain.mid", Karaoke().plainMidi());
    write("c_notempo.mid", WithoutTempo(Karaoke().plainMidi()));
    write("d_audio.mp3", {'I', 'D', '3'});
    write("e_wave.wav", {'R', 'I', 'F', 'F'});
  }
  void TearDown() override { unsetenv("TEMP"); }

  void write(const char* name, const std::vector<uint8_t>& bytes) {
    ASSERT_TRUE(SongBuilder::write((songs_.path() + "/" + name).toStdString(), bytes));
  }
  QString path(const char* name) const { return songs_.path() + "/" + name; }

  TForm1& form() {
    if (!form_) {
      form_ = std::make_unique<TForm1>(
          device_, QStringList{songs_.path()},
          TForm1::Setup{{}, [this](const QString&, const QString& text, bool) { messages_ << text; }});
      form_->Timer1->stop();  // the tests run the ticks themselves
      form_->show();
    }
    return *form_;
  }
  // Plays list item `row` as a click does, and forgets the calls so far.
  void play(int row) {
    form().Midis->selectIndex(row);
    form().MidisClick();
    device_.takeCalls();
  }
  QString tempoCommand(int bpm) const {
    return QString("set \"%1\" tempo %2 wait").arg(form_->Song.DevicePath).arg(bpm);
  }

  test::IsolatedSettings settings_;
  QTemporaryDir songs_, temp_;
  FakeDevice device_;
  std::unique_ptr<TForm1> form_;
  QStringList messages_;
};

TEST_F(ScenarioTest, StartingEachKindOfSong) {
  struct Row {
    const char* name;
    bool viaCopy;      // the device opens the temporary copy
    bool lyrics;       // lyric panel, "Clipcopy" and the full window height
    bool tempoBox;     // "Beats per minute" shown
    const char* bpm;   // what IndTempo shows
  };
  const Row rows[] = {
      {"a_song.kar", true, true, true, "120"},
      {"b_plain.mid", false, false, true, "96"},    // 300 bytes or fewer: not analysed, the device's tempo
      {"c_notempo.mid", false, false, true, "96"},  // the device's own tempo for the song
      {"d_audio.mp3", false, false, false, nullptr},
  };
  device_.Bpm = 96;
  for (int i = 0; i < 4; ++i) {
    const Row& r = rows[i];
    SCOPED_TRACE(r.name);
    form().Midis->selectIndex(i);
    form().MidisClick();
    EXPECT_TRUE(messages_.isEmpty()) << messages_.join("\n").toStdString();
    const QString opened = r.viaCopy ? form().Song.TempSongPath : path(r.name);
    EXPECT_EQ(device_.takeCalls(), (QStringList{"close", "open " + opened, "play"}));
    EXPECT_EQ(form().Lyric.HasLyrics, r.lyrics);
    EXPECT_EQ(form().Toclipb->isHidden(), !r.lyrics);
    EXPECT_EQ(form().frameGeometry().height(),
              r.lyrics ? form().Song.FullHeight : form().Cpright->y() + 60);
    EXPECT_EQ(form().Velocidade->isHidden(), !r.tempoBox);
    if (r.bpm) {
      EXPECT_EQ(form().IndTempo->text(), QString(r.bpm));
    }
    EXPECT_EQ(form().windowTitle(), "Melvar 1.0: [" + path(r.name) + "]");
  }
  EXPECT_EQ(platform::ReadProfileString(form().settingsPath().toStdString(), "MELVAR", "LASTPATH", "", 498),
            songs_.path().toStdString());
  // The karaoke copy holds the song itself.
  QFile copy(form().Song.TempSongPath), song(path("a_song.kar"));
  ASSERT_TRUE(copy.open(QIODevice::ReadOnly) && song.open(QIODevice::ReadOnly));
  EXPECT_EQ(copy.readAll(), song.readAll());
}

TEST_F(ScenarioTest, TransportJumps) {
  struct Row {
    const char* what;
    void (TForm1::*handler)();
    int64_t position;
    QStringList calls;  // "TEMPO" stands for the tempo command
  };
  const Row rows[] = {
      {"backward", &TForm1::BitBtn1Click, 500, {"seek 450", "play", "TEMPO"}},
      {"backward near the start", &TForm1::BitBtn1Click, 30, {"seek 0", "play", "TEMPO"}},
      {"forward", &TForm1::BitBtn2Click, 11, {"pause", "seek 63", "play", "TEMPO"}},
      {"forward in the first hundredth", &TForm1::BitBtn2Click, 10, {}},
      {"forward from the last tenth", &TForm1::BitBtn2Click, 900, {"pause", "seek 999", "play", "TEMPO"}},
      {"stop", &TForm1::Button1Click, 500, {"stop"}},
  };
  play(1);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    device_.setMode(device::PlayerDevice::Playing);
    device_.Position = r.position;
    (form().*r.handler)();
    QStringList expected = r.calls;
    expected.replaceInStrings("TEMPO", tempoCommand(120));
    EXPECT_EQ(device_.takeCalls(), expected);
  }
  // Nothing moves a song that does not play.
  device_.setMode(device::PlayerDevice::Stopped);
  form().BitBtn1Click();
  form().BitBtn2Click();
  EXPECT_TRUE(device_.takeCalls().isEmpty());
}

TEST_F(ScenarioTest, TheTickHandsTheWantedTempoOverOnce) {
  play(1);
  form().ScrollTempo->setValue(150);
  form().ScrollTempo->setValue(151);
  form().Timer1Timer();
  EXPECT_EQ(form().IndTempo->text(), "151");
  EXPECT_EQ(device_.takeCalls().filter("tempo"), QStringList{tempoCommand(151)});
  form().Timer1Timer();
  EXPECT_TRUE(device_.takeCalls().filter("tempo").isEmpty());
  // The indicator's click brings the song's own tempo back.
  form().IndTempoClick();
  form().Timer1Timer();
  EXPECT_EQ(device_.takeCalls().filter("tempo"), QStringList{tempoCommand(120)});
  // An MP3 takes no tempo at all.
  play(3);
  form().ScrollTempo->setValue(100);
  form().Timer1Timer();
  EXPECT_TRUE(device_.takeCalls().filter("tempo").isEmpty());
}

TEST_F(ScenarioTest, TheTransportButtonsShowOnlyWhilePlaying) {
  play(1);
  form().Timer1Timer();
  EXPECT_FALSE(form().BitBtn1->isHidden());
  EXPECT_FALSE(form().Button1->isHidden());
  device_.setMode(device::PlayerDevice::Stopped);
  form().Timer1Timer();
  EXPECT_TRUE(form().BitBtn1->isHidden());
  EXPECT_TRUE(form().BitBtn2->isHidden());
  EXPECT_TRUE(form().Button1->isHidden());
}

TEST_F(ScenarioTest, WhatTheEndOfAPlayStarts) {
  struct Row {
    int playing;        // the list item playing
    int notice;
    int next;           // the item opened next, -1 for none
  };
  const Row rows[] = {
      {1, FakeDevice::Successful, 2},
      {1, FakeDevice::Aborted, -1},
      {3, FakeDevice::Failure, 4},
      {4, FakeDevice::Successful, -1},  // a WAV song never moves on
      {2, FakeDevice::Successful, 3},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.playing);
    play(r.playing);
    form().MediaPlayerNotify(r.notice);
    const QStringList opens = device_.takeCalls().filter("open ");
    if (r.next < 0) {
      EXPECT_TRUE(opens.isEmpty());
    } else {
      ASSERT_EQ(opens.size(), 1);
      EXPECT_EQ(form().Song.SongIndex, r.next);
    }
  }
  // After the last item, the first one.
  write("f_last.mid", Karaoke().plainMidi());
  form().Midis->reread();
  play(5);
  form().MediaPlayerNotify(FakeDevice::Successful);
  EXPECT_EQ(form().Song.SongIndex, 0);
  EXPECT_EQ(device_.takeCalls().filter("open "), QStringList{"open " + form().Song.TempSongPath});
}

TEST_F(ScenarioTest, ShuffleDrawsAfterTheFirstItemAndRemembers) {
  form().Embaralha->setChecked(true);
  EXPECT_EQ(platform::ReadProfileString(form().settingsPath().toStdString(), "MELVAR", "SHUFFLE", "", 2), "1");
  for (int n = 0; n < 8; ++n) {
    play(2);
    form().MediaPlayerNotify(FakeDevice::Successful);
    EXPECT_GE(form().Song.SongIndex, 1);
    EXPECT_LE(form().Song.SongIndex, 4);
  }
  EXPECT_EQ(form().Song.Recent.RecentNext, 8);
}

TEST_F(ScenarioTest, AClickOnTheSelectedSongPlaysItAgainAfterStop) {
  form();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
  const QRect item = form().Midis->visualItemRect(form().Midis->item(1));
  QTest::mouseClick(form().Midis->viewport(), Qt::LeftButton, {}, item.center());
  form().Button1Click();
  device_.takeCalls();
  QTest::mouseClick(form().Midis->viewport(), Qt::LeftButton, {}, item.center());
  EXPECT_EQ(device_.takeCalls(), (QStringList{"close", "open " + path("b_plain.mid"), "play"}));
}

TEST_F(ScenarioTest, AFileGoneSinceTheListingIsReported) {
  play(0);
  const QString before = form().windowTitle();
  ASSERT_TRUE(QFile::remove(path("b_plain.mid")));
  form().Midis->selectIndex(1);
  form().MidisClick();
  ASSERT_EQ(messages_.size(), 1);
  EXPECT_EQ(messages_.first(), "The specified file cannot be found or read");
  EXPECT_EQ(device_.takeCalls(), (QStringList{"close", "open " + path("b_plain.mid")}));
  EXPECT_EQ(form().windowTitle(), before);
  EXPECT_EQ(form().Midis->selectedIndex(), -1);  // the list was read again
}

TEST_F(ScenarioTest, AKaraokeSongWhoseCopyFailsPlaysNothing) {
  play(0);  // a copy exists now
  setenv("TEMP", (temp_.path() + "/missing").toLocal8Bit().constData(), 1);
  form_.reset();
  form().Midis->selectIndex(0);
  form().MidisClick();
  ASSERT_EQ(messages_.size(), 1);
  EXPECT_TRUE(messages_.first().startsWith("The song cannot be prepared for playing")) << messages_.first().toStdString();
  EXPECT_EQ(device_.takeCalls(), QStringList{"close"});
  EXPECT_FALSE(form().Lyric.HasLyrics);
}

TEST_F(ScenarioTest, APlayThatKeepsFailingIsTriedThreeTimesWithOneMessage) {
  device_.PlayError = 7;
  device_.Texts[7] = "The device is busy";
  form().Midis->selectIndex(1);
  form().MidisClick();
  EXPECT_EQ(messages_, QStringList{"The device is busy"});
  EXPECT_EQ(device_.takeCalls().filter("play").size(), 3);
  EXPECT_EQ(form().windowTitle(), "Melvar");
}

class LyricScenarioTest : public ScenarioTest {
 protected:
  // Plays the karaoke song and lets the tick follow the device to `position`.
  void tickAt(int64_t position) {
    device_.Position = position;
    form().Timer1Timer();
  }
  QString highlighted() { return form().Letra->textCursor().selectedText(); }
  QColor textColour() { return form().Letra->palette().color(QPalette::Text); }
};

TEST_F(LyricScenarioTest, TheHighlightAndItsColourFollowTheDevice) {
  play(0);
  ASSERT_TRUE(form().Lyric.HasLyrics);
  EXPECT_EQ(form().Letra->toPlainText(), "Twin.kle .twin.kle\nlit.tle .st.ar");
  tickAt(0);  // the first syllable is one sixteenth away: the cue is yellow
  EXPECT_EQ(textColour(), QColor(255, 255, 0));
  EXPECT_EQ(highlighted(), "");
  tickAt(4);  // syllables at 1 and 3 are due
  EXPECT_EQ(highlighted(), "kle ");
  tickAt(16);  // the last one: the pass ends, the text turns silver
  EXPECT_EQ(highlighted(), "ar");
  EXPECT_FALSE(form().Lyric.HasLyrics);
  EXPECT_EQ(textColour(), QColor(192, 192, 192));
}

// Between ticks, a single-shot timer armed from the device's clock runs the
// catch-up when the next syllable falls due; the tick's other work (its
// count, the tempo, the scroll) stays with Timer1.
TEST_F(LyricScenarioTest, TheNextSyllableIsHighlightedWhenItFallsDueBetweenTicks) {
  play(0);
  device_.UntilMs = 37;
  tickAt(2);  // syllables at 1 passed; the next, at 3, is due once the position passes 3
  EXPECT_EQ(highlighted(), "Twin");
  EXPECT_EQ(device_.UntilTarget, 4);
  ASSERT_TRUE(form().SyllableTimer->isActive());
  EXPECT_EQ(form().SyllableTimer->interval(), 37);
  const int ticks = form().Lyric.TickCounter;
  device_.Position = 4;
  form().SyllableTimer->stop();
  form().SyllableTimerTimer();
  EXPECT_EQ(highlighted(), "kle ");
  EXPECT_EQ(form().Lyric.TickCounter, ticks);
  EXPECT_EQ(device_.UntilTarget, 6);  // armed again for the next one
  EXPECT_TRUE(form().SyllableTimer->isActive());
  // Without a clock (or once the song stops) nothing is armed.
  device_.UntilMs = -1;
  tickAt(4);
  EXPECT_FALSE(form().SyllableTimer->isActive());
  device_.UntilMs = 10;
  device_.setMode(device::PlayerDevice::Stopped);
  form().Timer1Timer();
  EXPECT_FALSE(form().SyllableTimer->isActive());
}

TEST_F(LyricScenarioTest, AClickOnALineJumpsToItsFirstSyllable) {
  device_.Length = 100;
  play(0);
  tickAt(4);
  device_.takeCalls();
  form().LetraMouseUp(form().LineHeight + 1);  // the second line starts with "/lit" at 9
  EXPECT_EQ(device_.takeCalls(), (QStringList{"pause", "seek 9", "play", tempoCommand(120)}));
  // Within the song's first two-hundredth a click does nothing.
  device_.setMode(device::PlayerDevice::Playing);
  device_.Position = 0;
  form().LetraMouseUp(1);
  EXPECT_TRUE(device_.takeCalls().isEmpty());
}

TEST_F(LyricScenarioTest, TheClipboardHoldsBothTitlesThenTheLines) {
  play(0);
  form().ToclipbClick();
  EXPECT_EQ(QGuiApplication::clipboard()->text(),
            "\r\n          Test Song\r\n              Traditional\r\n\r\nTwin.kle .twin.kle\r\nlit.tle .st.ar\r\n");
  EXPECT_EQ(messages_.size(), 1);
}

TEST_F(LyricScenarioTest, LyricEventsInTrackOneAreFollowedToTheLastSyllable) {
  // One letter per LYRIC event in the melody's track, a CR ending the first line.
  SongBuilder b(480, 500000);
  const char* texts[] = {"U", "M", "I", "I", "Y", "A", "K\r", "U", "M", "I", "I", "Y", "A", "K"};
  for (int i = 0; i < 14; ++i) b.syllable(texts[i], 240 + 240 * i);  // due at 1, 3, 5, ...
  write("a_song.kar", b.lyricsInTrack1());
  play(0);
  ASSERT_TRUE(form().Lyric.HasLyrics);
  EXPECT_EQ(form().Letra->toPlainText(), "UMIIYAK\nUMIIYAK");
  form().ToclipbClick();
  EXPECT_EQ(QGuiApplication::clipboard()->text(),
            "\r\n          \r\n              \r\n\r\nUMIIYAK\r\nUMIIYAK\r\n");
  device_.UntilMs = 20;
  tickAt(4);
  EXPECT_EQ(highlighted(), "M");
  EXPECT_TRUE(form().SyllableTimer->isActive());  // the reader's syllables are on the clock too
  device_.UntilMs = -1;
  tickAt(16);  // the first letter of the second line
  EXPECT_EQ(highlighted(), "U");
  EXPECT_EQ(form().Letra->textCursor().selectionStart(), 8);
  EXPECT_EQ(form().Lyric.LineCursor, 2);
  tickAt(30);
  EXPECT_EQ(highlighted(), "K");
  EXPECT_EQ(form().Letra->textCursor().selectionStart(), 14);
  EXPECT_FALSE(form().Lyric.HasLyrics);
}

TEST_F(LyricScenarioTest, TheLastLinesReachTheTopOfThePanel) {
  SongBuilder b(480, 500000);
  for (int line = 0; line < 13; ++line) {
    b.syllable((line == 0 ? "\\Line " : "/Line ") + std::to_string(line), 240 + 480 * line);
  }
  write("a_song.kar", b.karaoke());
  play(0);
  ASSERT_GT(form().LineHeight, 0);
  for (int64_t at = 0; at <= 60; ++at) tickAt(at);
  for (int n = 0; n < 10; ++n) form().Timer1Timer();  // the scroll settles
  // The line being sung is the panel's first row.
  const int top = form().Letra->y() + 12 * form().LineHeight;
  EXPECT_EQ(top, form().ScrollLetra->frameWidth());
}

}  // namespace
}  // namespace melvar::app
