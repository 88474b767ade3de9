// Playing a folder with the real device on SDL's silent driver: a click in
// the list plays the song, a karaoke song goes through its temporary copy,
// an MP3 has no tempo control, and the end of a song starts the next one.
#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "app/tform1.h"
#include "app_test_support.h"
#include "platform/device/media_device.h"
#include "platform/system/settings_file.h"
#include "platform/widgets/song_list.h"
#include "song_builder.h"
#include "test_support.h"

namespace melvar::app {
namespace {

using test::SongBuilder;

// A karaoke song of two lines, eight syllables over two seconds at 120 bpm.
SongBuilder ShortKaraoke() {
  SongBuilder b(480, 500000);
  b.title("Test Song").title("Traditional");
  const char* texts[] = {"\\Twin", "kle ", "twin", "kle", "/lit", "tle ", "st", "ar"};
  for (int i = 0; i < 8; ++i) b.syllable(texts[i], 240 + 240 * i);
  return b;
}

class PlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!QFile::exists("/usr/share/sounds/sf2/TimGM6mb.sf2") &&
        !QFile::exists("/usr/share/sounds/sf2/FluidR3_GM.sf2"))
      GTEST_SKIP() << "no General MIDI SoundFont installed";
    if (QFile::exists("/usr/share/sounds/sf2/TimGM6mb.sf2"))
      setenv("MELVAR_SOUNDFONT", "/usr/share/sounds/sf2/TimGM6mb.sf2", 1);
    setenv("TEMP", temp_.path().toLocal8Bit().constData(), 1);
    folder_ = songs_.path();
    ASSERT_TRUE(SongBuilder::write(path("a_song.kar"), ShortKaraoke().karaoke()));
    ASSERT_TRUE(SongBuilder::write(path("b_plain.mid"), ShortKaraoke().plainMidi()));
    ASSERT_TRUE(SongBuilder::write(path("c_next.mid"), ShortKaraoke().plainMidi()));
    mp3_ = findMp3();
    if (!mp3_.isEmpty()) QFile::copy(mp3_, QString::fromStdString(path("d_audio.mp3")));
  }
  void TearDown() override { unsetenv("TEMP"); }

  std::string path(const char* name) const { return (folder_ + "/" + name).toStdString(); }

  static QString findMp3() {
    const QString demo = QString::fromStdString(test::DemoDir());
    for (const QString& f : QDir(demo).entryList({"*.mp3"}, QDir::Files)) return demo + "/" + f;
    const std::string corpus = test::CorpusDir();
    if (!corpus.empty()) return QString::fromStdString(corpus + "/mp3/12oz_44k-stereo.mp3");
    return QString();
  }

  // Clicks list item `row` the way a user does.
  static void clickItem(TForm1& form, int row) {
    QListWidgetItem* item = form.Midis->item(row);
    ASSERT_NE(item, nullptr);
    form.Midis->scrollToItem(item);
    QTest::mouseClick(form.Midis->viewport(), Qt::LeftButton, {},
                      form.Midis->visualItemRect(item).center());
  }

  std::unique_ptr<TForm1> openForm() {
    auto form = std::make_unique<TForm1>(device_, QStringList{folder_});
    form->setMessageSink([this](const QString&, const QString& text, bool) { messages_ << text; });
    form->show();
    return form;
  }

  test::IsolatedSettings settings_;
  device::MediaDevice device_;
  QTemporaryDir songs_;
  QTemporaryDir temp_;
  QString folder_;
  QString mp3_;
  QStringList messages_;
};

TEST_F(PlaybackTest, ClickingAKaraokeSongPlaysItThroughItsCopy) {
  auto form = openForm();
  ASSERT_GE(form->Midis->count(), 3);
  clickItem(*form, 0);
  ASSERT_TRUE(messages_.isEmpty()) << messages_.join("\n").toStdString();
  EXPECT_TRUE(form->MediaPlayer->isPlaying());
  EXPECT_EQ(form->Song.SongExt, ".KAR");
  EXPECT_EQ(form->Song.DevicePath, form->Song.TempSongPath);
  EXPECT_TRUE(form->Song.TempSongPath.startsWith(temp_.path()));
  QFile copy(form->Song.TempSongPath), original(QString::fromStdString(path("a_song.kar")));
  ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
  ASSERT_TRUE(original.open(QIODevice::ReadOnly));
  EXPECT_EQ(copy.readAll(), original.readAll());

  EXPECT_EQ(form->windowTitle(), "Melvar 1.0: [" + QString::fromStdString(path("a_song.kar")) + "]");
  EXPECT_EQ(platform::ReadProfileString(form->settingsPath().toStdString(), "melvar", "lastpath", "", 498),
            folder_.toStdString());
  EXPECT_TRUE(form->Lyric.HasLyrics);
  EXPECT_FALSE(form->Letra->isHidden());
  EXPECT_FALSE(form->Toclipb->isHidden());
  EXPECT_EQ(form->Titulo1->text(), "Test Song");
  EXPECT_EQ(form->Titulo2->text(), "Traditional");
  EXPECT_FALSE(form->Velocidade->isHidden());
  EXPECT_EQ(form->IndTempo->text(), "120");
  EXPECT_EQ(form->ScrollTempo->minimum(), 41);
  EXPECT_EQ(form->ScrollTempo->maximum(), 240);
}

TEST_F(PlaybackTest, AnMp3HasNoTempoControlAndNoLyrics) {
  if (mp3_.isEmpty()) GTEST_SKIP() << "no MP3 file to play";
  auto form = openForm();
  clickItem(*form, 0);  // a karaoke song first: its tempo box and lyrics must go
  ASSERT_TRUE(form->MediaPlayer->isPlaying());
  clickItem(*form, 3);
  ASSERT_TRUE(messages_.isEmpty()) << messages_.join("\n").toStdString();
  EXPECT_TRUE(form->MediaPlayer->isPlaying());
  EXPECT_EQ(form->Song.SongExt, ".MP3");
  EXPECT_EQ(form->Song.TempoOff, -1);
  EXPECT_TRUE(form->Velocidade->isHidden());
  EXPECT_FALSE(form->Lyric.HasLyrics);
  EXPECT_TRUE(form->Toclipb->isHidden());
  EXPECT_TRUE(form->Titulo1->text().isEmpty());
}

TEST_F(PlaybackTest, TheEndOfASongStartsTheNextOne) {
  auto form = openForm();
  clickItem(*form, 1);
  ASSERT_TRUE(form->MediaPlayer->isPlaying());
  EXPECT_EQ(form->Song.SongIndex, 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return form->Song.SongIndex == 2; }, 15000));
  EXPECT_TRUE(form->windowTitle().endsWith("c_next.mid]"));
  EXPECT_TRUE(form->MediaPlayer->isPlaying());
}

TEST_F(PlaybackTest, StopEndsThePlayWithoutStartingTheNext) {
  auto form = openForm();
  clickItem(*form, 1);
  ASSERT_TRUE(form->MediaPlayer->isPlaying());
  form->Button1Click();
  EXPECT_FALSE(form->MediaPlayer->isPlaying());
  QTest::qWait(300);
  EXPECT_EQ(form->Song.SongIndex, 1);
  EXPECT_FALSE(form->MediaPlayer->isPlaying());
}

TEST_F(PlaybackTest, ASelectionByTheProgramPlaysNothing) {
  auto form = openForm();
  form->Midis->selectIndex(1);
  QTest::qWait(50);
  EXPECT_FALSE(form->MediaPlayer->isPlaying());
  EXPECT_EQ(form->windowTitle(), "Melvar");
}

TEST_F(PlaybackTest, AFileGoneSinceTheListingIsReportedAndNotReplaced) {
  auto form = openForm();
  clickItem(*form, 0);
  ASSERT_TRUE(form->MediaPlayer->isPlaying());
  const QString before = form->windowTitle();
  ASSERT_TRUE(QFile::remove(QString::fromStdString(path("b_plain.mid"))));
  clickItem(*form, 1);
  ASSERT_EQ(messages_.size(), 1);
  EXPECT_TRUE(messages_.first().contains("b_plain.mid")) << messages_.first().toStdString();
  EXPECT_FALSE(form->MediaPlayer->isPlaying());
  EXPECT_EQ(form->windowTitle(), before);  // caption keeps the song that last started
  EXPECT_EQ(form->Midis->selectedIndex(), -1);  // the list was read again
  EXPECT_EQ(form->Midis->count(), mp3_.isEmpty() ? 2 : 3);
}

TEST_F(PlaybackTest, ForwardAndBackwardJumpsWhilePlaying) {
  auto form = openForm();
  clickItem(*form, 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->MediaPlayer->position() > 1; }, 5000));
  const int64_t length = form->MediaPlayer->length();
  const int64_t before = form->MediaPlayer->position();
  form->BitBtn2Click();
  EXPECT_TRUE(form->MediaPlayer->isPlaying());
  EXPECT_GE(form->MediaPlayer->position(), std::min(length - 1, before + length / 20 + 2) - 1);
  form->BitBtn1Click();
  EXPECT_TRUE(form->MediaPlayer->isPlaying());
  EXPECT_LE(form->MediaPlayer->position(), before + length / 20 + 2);
}

}  // namespace
}  // namespace melvar::app
