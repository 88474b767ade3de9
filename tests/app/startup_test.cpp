// The start of the player and its shell: the settings and the command line
// at start, the folder tree, dropped files, the screen saver, the end.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "app/tform1.h"
#include "app_test_support.h"
#include "dbus_session.h"
#include "fake_device.h"
#include "platform/session/quit_signals.h"
#include "platform/system/settings_file.h"
#include "platform/widgets/folder_tree.h"
#include "platform/widgets/song_list.h"
#include "song_builder.h"

namespace melvar::app {
namespace {

using test::FakeDevice;
using test::SongBuilder;

class StartUpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = root_.path() + "/home";
    program_ = root_.path() + "/program";
    songs_ = root_.path() + "/songs";
    for (const QString& d : {home_, program_, songs_}) QDir().mkpath(d);
    setenv("HOME", home_.toLocal8Bit().constData(), 1);
    setenv("TEMP", root_.path().toLocal8Bit().constData(), 1);
    for (const char* name : {"a.kar", "b.mid", "c.mid", "d.mid", "e.mid"}) song(songs_ + "/" + name);
    song(program_ + "/demo.kar");
  }
  void TearDown() override { unsetenv("TEMP"); }

  static void song(const QString& path) {
    SongBuilder b;
    b.title("Song").syllable("\\La", 240).syllable("la", 480);
    ASSERT_TRUE(SongBuilder::write(path.toStdString(), b.karaoke()));
  }
  void setting(const char* key, const std::string& value) {
    ASSERT_TRUE(platform::WriteProfileString(platform::SettingsFilePath(), "MELVAR", key, value));
  }
  TForm1& start(const QStringList& args = {}) {
    form_ = std::make_unique<TForm1>(
        device_, args, TForm1::Setup{program_, [this](const QString&, const QString& text, bool) { messages_ << text; }});
    QCoreApplication::processEvents();  // a command-line song starts once the loop runs
    return *form_;
  }

  QTemporaryDir root_;
  test::IsolatedSettings settings_;
  QString home_, program_, songs_;
  FakeDevice device_;
  std::unique_ptr<TForm1> form_;
  QStringList messages_;
};

TEST_F(StartUpTest, WhereTheListOpens) {
  struct Row {
    const char* what;
    const char* lastPath;  // nullptr: no settings file
    QString expected;
  };
  const QString removed = root_.path() + "/gone";
  const Row rows[] = {
      {"a new user: the program's own songs", nullptr, program_},
      {"the last folder", "songs", songs_},
      {"a removed last folder: home", "gone", home_},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    QFile::remove(QString::fromStdString(platform::SettingsFilePath()));
    if (r.lastPath) setting("LASTPATH", (root_.path() + "/" + r.lastPath).toStdString());
    TForm1& form = start();
    EXPECT_EQ(form.Midis->currentFolder(), r.expected);
    EXPECT_EQ(form.ShellTreeView1->selectedPath(), r.expected);
    EXPECT_EQ(form.Midis->selectedIndex(), form.Midis->count() > 0 ? 0 : -1);
    EXPECT_TRUE(device_.takeCalls().isEmpty());
    EXPECT_TRUE(messages_.isEmpty());
  }
  // Nothing was written for the new user.
  form_.reset();
  QFile::remove(QString::fromStdString(platform::SettingsFilePath()));
  start();
  EXPECT_FALSE(QFile::exists(QString::fromStdString(platform::SettingsFilePath())));
}

TEST_F(StartUpTest, ALongLastPathIsCutTo498Characters) {
  QString deep = root_.path();
  while (deep.size() < 498) deep += "/" + QString(std::min<qsizetype>(40, 497 - deep.size()), 'x');
  ASSERT_EQ(deep.size(), 498);
  ASSERT_TRUE(QDir().mkpath(deep));
  setting("LASTPATH", (deep + "/and/a/bit/more/beyond/the/limit/of/the/setting/xxxxxxxxxxxxxxxx").toStdString());
  EXPECT_EQ(start().Midis->currentFolder(), deep);
}

TEST_F(StartUpTest, TheShuffleSettingByItsFirstCharacter) {
  struct Row { const char* value; bool checked; };
  for (const Row& r : {Row{"1x", true}, Row{"1", true}, Row{"0", false}, Row{"", false}, Row{"true", false}}) {
    SCOPED_TRACE(r.value);
    setting("LASTPATH", songs_.toStdString());
    setting("SHUFFLE", r.value);
    TForm1& form = start();
    EXPECT_EQ(form.Embaralha->isChecked(), r.checked);
    if (r.checked) {
      // One of the first four of the five songs is selected; nothing plays.
      EXPECT_GE(form.Midis->selectedIndex(), 0);
      EXPECT_LE(form.Midis->selectedIndex(), 3);
      EXPECT_EQ(platform::ReadProfileString(platform::SettingsFilePath(), "MELVAR", "SHUFFLE", "", 9), "1");
    }
    EXPECT_TRUE(device_.takeCalls().filter("open").isEmpty());
  }
}

TEST_F(StartUpTest, ACommandLineSong) {
  setting("LASTPATH", program_.toStdString());
  struct Row {
    QString argument;
    QString folder;     // where the list opens
    QString opened;     // what plays at once ("" for nothing)
    QString message;
  };
  QDir().mkpath(root_.path() + "/empty");
  const Row rows[] = {
      {songs_ + "/c.mid", songs_, songs_ + "/c.mid", ""},
      {songs_ + "/missing.mid", songs_, "", "Falha ao ativar " + songs_ + "/missing.mid"},
      {root_.path() + "/empty/missing.mid", root_.path() + "/empty", "", ""},
      {songs_, songs_, "", ""},  // a folder: the list opens there
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.argument.toStdString());
    messages_.clear();
    TForm1& form = start({r.argument});
    EXPECT_EQ(form.Midis->currentFolder(), r.folder);
    const QStringList opens = device_.takeCalls().filter("open ");
    EXPECT_EQ(opens, r.opened.isEmpty() ? QStringList() : QStringList{"open " + r.opened});
    EXPECT_EQ(messages_, r.message.isEmpty() ? QStringList() : QStringList{r.message});
  }
}

TEST_F(StartUpTest, DroppedFiles) {
  setting("LASTPATH", program_.toStdString());
  QFile::copy(songs_ + "/b.mid", songs_ + "/Song.Mid");
  QFile::copy(songs_ + "/b.mid", songs_ + "/.hidden.mid");
  QFile(songs_ + "/notes.txt").open(QIODevice::WriteOnly);
  struct Row {
    QStringList files;
    QString opened;   // "" for nothing
    QString message;
  };
  const Row rows[] = {
      {{songs_ + "/c.mid", songs_ + "/d.mid", songs_ + "/e.mid"}, songs_ + "/c.mid", ""},
      {{songs_ + "/notes.txt"}, "", "Dont Know how to play this ..."},
      {{songs_ + "/Song.Mid"}, songs_ + "/Song.Mid", ""},
      {{songs_ + "/vanished.mid"}, "", "*error*"},
  };
  TForm1& form = start();
  for (const Row& r : rows) {
    SCOPED_TRACE(r.files.first().toStdString());
    messages_.clear();
    QList<QUrl> urls;
    for (const QString& f : r.files) urls << QUrl::fromLocalFile(f);
    form.DropFiles(urls);
    const QStringList opens = device_.takeCalls().filter("open ");
    EXPECT_EQ(opens, r.opened.isEmpty() ? QStringList() : QStringList{"open " + r.opened});
    if (r.message == "*error*") {
      EXPECT_EQ(messages_.size(), 1);
    } else {
      EXPECT_EQ(messages_, r.message.isEmpty() ? QStringList() : QStringList{r.message});
    }
  }
  // A file on another machine is refused like an unknown kind.
  messages_.clear();
  form.DropFiles({QUrl("https://example.org/song.mid")});
  EXPECT_EQ(messages_, QStringList{"Dont Know how to play this ..."});
}

TEST_F(StartUpTest, TheListFollowsTreeClicksNotKeyboardMoves) {
  setting("LASTPATH", songs_.toStdString());
  TForm1& form = start();
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  // The keyboard: the tree moves, the list stays with its first song selected.
  form.ShellTreeView1->setFocus();
  QTest::keyClick(form.ShellTreeView1, Qt::Key_Up);
  EXPECT_NE(form.ShellTreeView1->selectedPath(), songs_);
  EXPECT_EQ(form.Midis->currentFolder(), songs_);
  EXPECT_EQ(form.Midis->selectedIndex(), 0);
  EXPECT_EQ(form.Song.SongIndex, 0);
  // A click on a folder: the list follows, nothing selected.
  ASSERT_TRUE(form.ShellTreeView1->showPath(program_));
  const QModelIndex index = form.ShellTreeView1->currentIndex();
  form.ShellTreeView1->scrollTo(index);
  QTest::mouseClick(form.ShellTreeView1->viewport(), Qt::LeftButton, {},
                    form.ShellTreeView1->visualRect(index).center());
  EXPECT_EQ(form.Midis->currentFolder(), program_);
  EXPECT_EQ(form.Midis->selectedIndex(), -1);
  EXPECT_TRUE(device_.takeCalls().filter("open").isEmpty());
}

TEST_F(StartUpTest, AboutAndTheEnd) {
  TForm1& form = start();
  form.BaboutClick();
  ASSERT_EQ(messages_.size(), 1);
  EXPECT_EQ(messages_.first(),
            "== Melvar was developed by Talmesk\n --- Its intent is to entertain you.\n"
            " --- If you like it, just share with friends.\n       march,2003      melvar@example.org");
  // The temporary copy of the last karaoke song goes with the window.
  form.Midis->selectIndex(0);
  form.MidisClick();
  const QString copy = form.Song.TempSongPath;
  ASSERT_TRUE(QFile::exists(copy));
  form.FinalizaClick();
  EXPECT_FALSE(form.isVisible());
  form_.reset();
  EXPECT_FALSE(QFile::exists(copy));
}

// A stand-in for the desktop's screen saver service that counts the calls.
class FakeScreenSaver : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
 public:
  QStringList calls;
 public slots:
  uint Inhibit(const QString& application, const QString&) {
    calls << "Inhibit " + application;
    return 42;
  }
  void UnInhibit(uint cookie) { calls << QString("UnInhibit %1").arg(cookie); }
};

TEST_F(StartUpTest, TheScreenSaverIsHeldOffWhileTheWindowIsOpen) {
  test::DBusSession bus;
  if (!bus.ok()) GTEST_SKIP() << bus.error().toStdString();
  bus.exportAddress();  // before this process's first use of the session bus
  FakeScreenSaver saver;
  QDBusConnection service = bus.connect("screensaver");
  ASSERT_TRUE(service.registerObject("/org/freedesktop/ScreenSaver", &saver, QDBusConnection::ExportAllSlots));
  ASSERT_TRUE(service.registerService("org.freedesktop.ScreenSaver"));
  TForm1& form = start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !saver.calls.isEmpty(); }, 5000));
  EXPECT_EQ(saver.calls, QStringList{"Inhibit Melvar"});
  form.close();
  ASSERT_TRUE(QTest::qWaitFor([&] { return saver.calls.size() == 2; }, 5000));
  EXPECT_EQ(saver.calls, (QStringList{"Inhibit Melvar", "UnInhibit 42"}));
}

TEST(QuitSignalsTest, TermAndIntAskTheWindowToClose) {
  session::QuitSignals quit;
  QSignalSpy spy(&quit, &session::QuitSignals::quitRequested);
  for (int sig : {SIGTERM, SIGINT}) {
    raise(sig);
    ASSERT_TRUE(spy.wait(2000)) << sig;
  }
  EXPECT_EQ(spy.count(), 2);
}

}  // namespace
}  // namespace melvar::app

#include "startup_test.moc"
