// A karaoke song played in real time on SDL's silent driver: the highlight
// follows the music to the last syllable.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>

#include "app/tform1.h"
#include "app_test_support.h"
#include "platform/device/media_device.h"
#include "platform/widgets/song_list.h"
#include "song_builder.h"

namespace melvar::app {
namespace {

using test::SongBuilder;

TEST(LyricsWidgetTest, TheHighlightReachesTheLastSyllable) {
  if (!QFile::exists("/usr/share/sounds/sf2/TimGM6mb.sf2")) GTEST_SKIP() << "TimGM6mb not installed";
  setenv("MELVAR_SOUNDFONT", "/usr/share/sounds/sf2/TimGM6mb.sf2", 1);
  test::IsolatedSettings settings;
  QTemporaryDir songs, temp;
  setenv("TEMP", temp.path().toLocal8Bit().constData(), 1);
  SongBuilder b(480, 500000);
  b.title("Sing").title("Along");
  const char* texts[] = {"\\Row ", "row ", "row ", "your ", "/boat", "gent", "ly ", "down"};
  for (int i = 0; i < 8; ++i) b.syllable(texts[i], 240 + 240 * i);
  ASSERT_TRUE(SongBuilder::write((songs.path() + "/row.kar").toStdString(), b.karaoke()));

  device::MediaDevice device;
  QStringList messages;
  TForm1 form(device, {songs.path()}, {{}, [&](const QString&, const QString& t, bool) { messages << t; }});
  form.show();
  form.Midis->selectIndex(0);
  form.MidisClick();
  ASSERT_TRUE(messages.isEmpty()) << messages.join("\n").toStdString();
  ASSERT_TRUE(form.Lyric.HasLyrics);
  EXPECT_EQ(form.Letra->toPlainText(), "Row .row .row .your \nboat.gent.ly .down");

  // The pass ends when the last syllable has been highlighted.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form.Lyric.HasLyrics; }, 10000));
  EXPECT_EQ(form.Letra->textCursor().selectedText(), "down");
  EXPECT_EQ(form.Lyric.LineCursor, 2);
  unsetenv("TEMP");
}

}  // namespace
}  // namespace melvar::app
