// Damaged and hostile input through the window: each case ends with a
// message or with nothing, never with a crash, a window that stops
// answering or a file lost. The real device plays where its own refusal
// matters; the fake one elsewhere.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "app/tform1.h"
#include "app_test_support.h"
#include "fake_device.h"
#include "platform/device/media_device.h"
#include "platform/system/temp_song.h"
#include "platform/widgets/song_list.h"
#include "song_builder.h"
#include "test_support.h"

namespace melvar::app {
namespace {

using test::SongBuilder;

SongBuilder Karaoke(const char* word) {
  SongBuilder b(480, 500000);
  b.title(word).title("Traditional");
  for (int i = 0; i < 8; ++i) b.syllable(i == 0 ? std::string("\\") + word : word, 240 + 240 * i);
  return b;
}

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// What a folder holds: names and contents, to show that nothing was lost.
QStringList Snapshot(const QString& folder) {
  QStringList out;
  for (const QFileInfo& fi : QDir(folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name))
    out << fi.fileName() + (fi.isFile() && !fi.isSymLink() ? ":" + QString::number(qHash(ReadAll(fi.filePath()))) : "");
  return out;
}

class BadInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TEMP", temp_.path().toLocal8Bit().constData(), 1);
    ASSERT_TRUE(SongBuilder::write(path("a_good.kar").toStdString(), Karaoke("good").karaoke()));
  }
  void TearDown() override {
    form_.reset();
    unsetenv("TEMP");
  }
  QString path(const QString& name) const { return songs_.path() + "/" + name; }

  TForm1& form(device::PlayerDevice& device, const QString& start = {}) {
    form_ = std::make_unique<TForm1>(
        device, QStringList{start.isEmpty() ? songs_.path() : start},
        TForm1::Setup{{}, [this](const QString&, const QString& text, bool) { messages_ << text; }});
    form_->show();
    return *form_;
  }
  // Clicks the list item named `name`; false when the list does not show it.
  bool click(const QString& name) {
    form_->Midis->reread();
    for (int i = 0; i < form_->Midis->count(); ++i) {
      form_->Midis->selectIndex(i);
      if (QFileInfo(form_->Midis->selectedFilePath()).fileName() == name) {
        form_->MidisClick();
        QCoreApplication::processEvents();
        return true;
      }
    }
    return false;
  }

  test::IsolatedSettings settings_;
  QTemporaryDir songs_, temp_;
  std::unique_ptr<TForm1> form_;
  QStringList messages_;
};

// Songs the real device must refuse or play, never block on, with the
// folder left as it was.
TEST_F(BadInputTest, DamagedSongsInTheFolder) {
  struct Row {
    const char* name;
    std::function<bool(const QString&)> make;
    bool plays;  // else a message, and nothing of the song before plays
  };
  const Row rows[] = {
      {"x.kar", [](const QString& p) { return QFile(p).open(QIODevice::WriteOnly); }, false},
      {"y.mid", [](const QString& p) { return QDir().mkdir(p); }, false},
      {"z.mid", [](const QString& p) { return mkfifo(p.toLocal8Bit().constData(), 0600) == 0; }, false},
      {"gone.kar", [](const QString& p) { return QFile::link(p + ".missing", p); }, false},
      // Unreadable even for root: reading this process's memory at offset 0 fails.
      {"u.kar", [](const QString& p) { return QFile::link("/proc/self/mem", p); }, false},
      {"u.mid", [](const QString& p) { return QFile::link("/proc/self/mem", p); }, false},
      {"with space 'and' \"quotes\".kar",
       [](const QString& p) { return SongBuilder::write(p.toStdString(), Karaoke("q").karaoke()); }, true},
      {"new\nline.mid",
       [](const QString& p) { return SongBuilder::write(p.toStdString(), Karaoke("n").plainMidi()); }, true},
      {"\"quoted\".mid",
       [](const QString& p) { return SongBuilder::write(p.toStdString(), Karaoke("n").plainMidi()); }, true},
      {"canção ÿ 日本.kar",
       [](const QString& p) { return SongBuilder::write(p.toStdString(), Karaoke("u").karaoke()); }, true},
  };
  device::MediaDevice device;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const QString file = path(QString::fromUtf8(r.name));
    ASSERT_TRUE(r.make(file));
    form(device);
    ASSERT_TRUE(click("a_good.kar"));
    ASSERT_TRUE(device.isPlaying());
    const QStringList before = Snapshot(songs_.path());
    messages_.clear();
    // A FIFO that the window opened for reading would hold the click: a
    // writer comes along after a while to let it go, and the test fails.
    std::atomic<bool> clicked{false}, rescued{false};
    std::thread rescue([&] {
      for (int i = 0; i < 100 && !clicked; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (clicked) return;
      rescued = true;
      const int fd = ::open(file.toLocal8Bit().constData(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0) ::close(fd);
    });
    // What the list does not show can still be dropped on the window.
    const bool listed = click(QString::fromUtf8(r.name));
    if (!listed) form_->DropFiles({QUrl::fromLocalFile(file)});
    clicked = true;
    rescue.join();
    EXPECT_FALSE(rescued) << "the window blocked on the file";
    if (!listed) {
      EXPECT_FALSE(r.plays) << "not in the list";
      EXPECT_FALSE(messages_.isEmpty());
    } else if (r.plays) {
      // Tempo commands name the path in quotes; the song must take them.
      form_->ScrollTempo->setValue(form_->ScrollTempo->value() + 7);
      form_->Timer1Timer();
      EXPECT_TRUE(device.isPlaying());
      EXPECT_TRUE(messages_.isEmpty()) << messages_.join(" / ").toStdString();
      EXPECT_EQ(form_->windowTitle(), "Melvar 1.0: [" + file + "]");
    } else {
      EXPECT_FALSE(device.isPlaying()) << "the song before plays on";
      EXPECT_FALSE(messages_.isEmpty());
    }
    EXPECT_EQ(Snapshot(songs_.path()), before);
    form_.reset();
    if (!QFile::remove(file)) QDir().rmdir(file);
  }
}

// The song file goes away between the listing and the click; a drop names
// a path that vanished.
TEST_F(BadInputTest, FilesThatVanish) {
  test::FakeDevice device;
  form(device);
  ASSERT_TRUE(SongBuilder::write(path("b_soon_gone.kar").toStdString(), Karaoke("g").karaoke()));
  form_->Midis->reread();
  ASSERT_EQ(form_->Midis->count(), 2);
  form_->Midis->selectIndex(1);
  ASSERT_TRUE(QFile::remove(path("b_soon_gone.kar")));
  form_->MidisClick();
  QCoreApplication::processEvents();
  EXPECT_FALSE(device.isPlaying());
  EXPECT_EQ(messages_, QStringList{"The specified file cannot be found or read"});

  messages_.clear();
  form_->DropFiles({QUrl::fromLocalFile(path("never_there.mid"))});
  QCoreApplication::processEvents();
  EXPECT_FALSE(device.isPlaying());
  EXPECT_LE(messages_.size(), 1);
}

// A large valid MIDI file (about 20 MB here; users' files reach 200 MB)
// starts, and the window keeps answering meanwhile: its event loop never
// stalls for long while the file opens.
TEST_F(BadInputTest, BigMidiFile) {
  ASSERT_TRUE(SongBuilder::write(path("big.mid").toStdString(), test::LargeMidiSong(3'000'000)));
  device::MediaDevice device;
  form(device);
  using Clock = std::chrono::steady_clock;
  Clock::time_point last = Clock::now();
  Clock::duration longest{};
  auto tick = [&] {
    const Clock::time_point now = Clock::now();
    longest = std::max(longest, now - last);
    last = now;
  };
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, tick);
  ticker.start(20);
  last = Clock::now();
  ASSERT_TRUE(click("big.mid"));
  tick();
  EXPECT_TRUE(device.isPlaying()) << messages_.join(" / ").toStdString();
  const auto ms = [](Clock::duration d) { return std::chrono::duration_cast<std::chrono::milliseconds>(d).count(); };
  EXPECT_LT(ms(longest), 750) << "the window stood still while the song opened";
}

// The settings file and its folder in every bad state: the window starts,
// plays and keeps the file's bytes.
TEST_F(BadInputTest, DamagedSettings) {
  const QString folder = settings_.path() + "/melvar";
  const QString ini = folder + "/MELVAR.INI";
  QByteArray junk;
  for (int i = 0; i < 4096; ++i) junk.append(static_cast<char>((i * 131 + 7) % 256));
  struct Row {
    const char* what;
    std::function<bool()> make;
    QByteArray keep;  // bytes the file must still hold
  };
  const Row rows[] = {
      {"binary junk", [&] { QFile f(ini); return f.open(QIODevice::WriteOnly) && f.write(junk) == junk.size(); }, junk},
      {"a 10 MB line",
       [&] {
         QFile f(ini);
         return f.open(QIODevice::WriteOnly) && f.write("[MELVAR]\r\nNOTE=" + QByteArray(10 << 20, 'x') + "\r\n") > 0;
       },
       "NOTE=xxxxxxxxxx"},
      // Root reads everything: a folder where the file should be stands for an unreadable one.
      {"unreadable", [&] { return QDir().mkpath(ini); }, {}},
      // Root writes anywhere: a file where the folder should be stands for a read-only one.
      {"read-only folder", [&] { QFile f(folder); return f.open(QIODevice::WriteOnly); }, {}},
  };
  test::FakeDevice device;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    QDir(folder).removeRecursively();
    QFile::remove(folder);
    QDir().mkpath(folder);
    if (std::string(r.what) == "read-only folder") QDir(folder).removeRecursively();
    ASSERT_TRUE(r.make());
    messages_.clear();
    form(device);
    ASSERT_TRUE(click("a_good.kar"));
    EXPECT_TRUE(device.isPlaying());
    EXPECT_TRUE(messages_.isEmpty()) << messages_.join(" / ").toStdString();
    form_.reset();
    if (!r.keep.isEmpty()) {
      EXPECT_TRUE(ReadAll(ini).contains(r.keep));
    }
  }
}

// The temporary copy cannot be made: the message names that cause, and no
// older copy plays.
TEST_F(BadInputTest, TempFolderMissing) {
  test::FakeDevice device;
  setenv("TEMP", (temp_.path() + "/not-there").toLocal8Bit().constData(), 1);
  form(device);
  ASSERT_TRUE(click("a_good.kar"));
  EXPECT_FALSE(device.isPlaying());
  ASSERT_EQ(messages_.size(), 1);
  EXPECT_TRUE(messages_[0].startsWith("The song cannot be prepared for playing")) << messages_[0].toStdString();
  EXPECT_FALSE(messages_[0].contains("cannot be found"));
}

// A folder tree that loops back on itself: the window opens it, lists the
// songs and plays.
TEST_F(BadInputTest, SymlinkLoopInTheTree) {
  ASSERT_TRUE(QFile::link(songs_.path(), path("loop")));
  ASSERT_TRUE(QDir().mkdir(path("sub")));
  ASSERT_TRUE(QFile::link(path("sub"), path("sub/back")));
  test::FakeDevice device;
  form(device);
  ASSERT_TRUE(click("a_good.kar"));
  EXPECT_TRUE(device.isPlaying());
  form_.reset();
  form(device, path("loop/loop/loop"));
  EXPECT_TRUE(click("a_good.kar"));
}

// The copy's fixed name in a shared, sticky temporary folder holds a link
// or a file someone else planted: the link's target is never written, the
// planted file never played; the device opens the bytes of our song.
TEST_F(BadInputTest, PlantedTemporaryCopy) {
  class RecordingDevice : public test::FakeDevice {
   public:
    QByteArray opened;
    int open(const std::string& path) override {
      const int rc = FakeDevice::open(path);
      if (rc == 0) opened = ReadAll(QString::fromStdString(path));
      return rc;
    }
  };
  const QString shared = temp_.path() + "/shared";
  ASSERT_TRUE(QDir().mkdir(shared));
  ASSERT_EQ(chmod(shared.toLocal8Bit().constData(), 01777), 0);
  setenv("TEMP", shared.toLocal8Bit().constData(), 1);
  const QString copy = shared + "/" + platform::kTempSongName;
  const QString victim = temp_.path() + "/victim.mid";
  const std::vector<uint8_t> planted = Karaoke("planted").plainMidi();
  const QByteArray ours = ReadAll(path("a_good.kar"));

  struct Row {
    const char* what;
    std::function<bool()> plant;
  };
  const Row rows[] = {
      {"a link to another file", [&] { return QFile::link(victim, copy); }},
      {"a link to nowhere", [&] { return QFile::link(temp_.path() + "/nowhere.mid", copy); }},
      {"another user's song", [&] {
         return SongBuilder::write(copy.toStdString(), planted) &&
                (geteuid() != 0 || chown(copy.toLocal8Bit().constData(), 4321, 4321) == 0);
       }},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    QFile::remove(copy);
    ASSERT_TRUE(SongBuilder::write(victim.toStdString(), planted));
    ASSERT_TRUE(r.plant());
    RecordingDevice device;
    messages_.clear();
    form(device);
    ASSERT_TRUE(click("a_good.kar"));
    EXPECT_EQ(ReadAll(victim), QByteArray(reinterpret_cast<const char*>(planted.data()), planted.size()));
    EXPECT_FALSE(QFileInfo(temp_.path() + "/nowhere.mid").exists());
    if (device.isPlaying()) {
      EXPECT_EQ(device.OpenPath, copy.toStdString());
      EXPECT_EQ(device.opened, ours);
      EXPECT_FALSE(QFileInfo(copy).isSymLink());
    } else {
      // Not ours to replace (as another user): refused with a message.
      EXPECT_EQ(messages_.size(), 1);
    }
    form_.reset();
    EXPECT_FALSE(QFileInfo(copy).exists() || QFileInfo(copy).isSymLink()) << "the copy stays after the window";
  }
}

}  // namespace
}  // namespace melvar::app
