// The song list: what it lists, how it sorts and selects, how it moves to a
// folder or a file, and which selections reach the window.
#include "platform/widgets/song_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QSignalSpy>
#include <QTest>

#include "scratch_dir.h"

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) {
  *os << '{' << l.join(QStringLiteral(", ")).toStdString() << '}';
}

namespace melvar::widgets {
namespace {

using melvar::test::ScratchDir;
using melvar::test::WriteFile;

QString Q(const std::string& s) { return QString::fromStdString(s); }

QStringList Items(const SongList& list) {
  QStringList names;
  for (int i = 0; i < list.count(); ++i) names << list.item(i)->text();
  return names;
}

// A folder with songs of every kind and case, and things that are not songs.
class SongFolder {
 public:
  SongFolder() {
    for (const char* name : {"b.MID", "A.kar", "c.Mp3", "d.wav", "Zed.mid", "alpha.MID",
                             "notes.txt", "song.midi", ".hidden.mid"}) {
      WriteFile(dir / name, "x");
    }
    ::mkdir((dir / "folder.mid").c_str(), 0700);
    ::mkdir((dir / "sub").c_str(), 0700);
    WriteFile(dir / "sub/inner.kar", "x");
    ::mkfifo((dir / "pipe.mp3").c_str(), 0600);
    ::symlink((dir / "b.MID").c_str(), (dir / "link.mid").c_str());
    ::symlink((dir / "sub").c_str(), (dir / "dirlink.mid").c_str());
    ::symlink((dir / "gone").c_str(), (dir / "dangling.mid").c_str());
  }
  QString path() const { return Q(dir.path()); }
  QString operator/(const char* name) const { return Q(dir / name); }
  ScratchDir dir;
};

TEST(SongListTest, ListsPlayableRegularFilesSortedWithoutRegardToCase) {
  SongFolder songs;
  SongList list;
  ASSERT_TRUE(list.moveTo(songs.path()));
  EXPECT_EQ(Items(list), (QStringList{"A.kar", "alpha.MID", "b.MID", "c.Mp3", "d.wav",
                                      "link.mid", "Zed.mid"}));
  EXPECT_EQ(list.currentFolder(), songs.path());
  EXPECT_EQ(list.mask(), "*.mid;*.kar;*.mp3;*.wav");
  EXPECT_EQ(list.selectedIndex(), -1);
  EXPECT_EQ(list.selectedFilePath(), "");
}

TEST(SongListTest, WildcardMatching) {
  SongFolder songs;
  struct Case { const char* mask; QStringList expected; };
  const Case cases[] = {
      {"*.MID", {"alpha.MID", "b.MID", "link.mid", "Zed.mid"}},
      {"?.*", {"A.kar", "b.MID", "c.Mp3", "d.wav"}},
      {"*a*", {"A.kar", "alpha.MID", "d.wav"}},
      {"*.txt;*.midi", {"notes.txt", "song.midi"}},
      {"zed.mid", {"Zed.mid"}},
      {"*", {"A.kar", "alpha.MID", "b.MID", "c.Mp3", "d.wav", "link.mid", "notes.txt",
             "song.midi", "Zed.mid"}},
  };
  for (const Case& c : cases) {
    bool ok = false;
    EXPECT_EQ(SongList::ListFolder(songs.path(), QString(c.mask).split(';'), &ok), c.expected)
        << c.mask;
    EXPECT_TRUE(ok);
  }
  bool ok = true;
  EXPECT_TRUE(SongList::ListFolder(songs / "nowhere", {"*"}, &ok).isEmpty());
  EXPECT_FALSE(ok);
}

TEST(SongListTest, SelectByIndex) {
  SongFolder songs;
  SongList list;
  ASSERT_TRUE(list.moveTo(songs.path()));
  struct Case { int select, expected; };
  // Each step starts from the selection the previous one left.
  for (const Case& c : {Case{2, 2}, Case{7, 2}, Case{-2, 2}, Case{-30000, 2}, Case{6, 6},
                        Case{-1, -1}, Case{0, 0}}) {
    list.selectIndex(c.select);
    EXPECT_EQ(list.selectedIndex(), c.expected) << "select " << c.select;
  }
  EXPECT_EQ(list.selectedFilePath(), songs / "A.kar");
  list.reread();
  EXPECT_EQ(list.selectedIndex(), -1);
  EXPECT_EQ(list.count(), 7);
}

TEST(SongListTest, MoveToAFileSelectsIt) {
  SongFolder songs;
  SongList list;
  ASSERT_TRUE(list.moveTo(songs / "c.Mp3"));
  EXPECT_EQ(list.currentFolder(), songs.path());
  EXPECT_EQ(list.selectedFilePath(), songs / "c.Mp3");
  // Without regard to case, and the selected path itself changes nothing.
  ASSERT_TRUE(list.moveTo(songs / "ZED.MID"));
  EXPECT_EQ(list.selectedFilePath(), songs / "Zed.mid");
  ASSERT_TRUE(list.moveTo(songs / "Zed.mid"));
  EXPECT_EQ(list.selectedFilePath(), songs / "Zed.mid");
  ASSERT_TRUE(list.moveTo(""));
  EXPECT_EQ(list.selectedFilePath(), songs / "Zed.mid");
}

TEST(SongListTest, MoveToAFileLeftOutByTheMaskListsJustThatFile) {
  SongFolder songs;
  SongList list;
  ASSERT_TRUE(list.moveTo(songs.path()));
  ASSERT_TRUE(list.moveTo(songs / "notes.txt"));
  EXPECT_EQ(list.mask(), "notes.txt");
  EXPECT_EQ(Items(list), QStringList{"notes.txt"});
  EXPECT_EQ(list.selectedFilePath(), songs / "notes.txt");
  // A hidden file gets the mask but cannot be listed: nothing selected.
  ASSERT_TRUE(list.moveTo(songs / ".hidden.mid"));
  EXPECT_EQ(list.mask(), ".hidden.mid");
  EXPECT_EQ(list.count(), 0);
  EXPECT_EQ(list.selectedIndex(), -1);
  // Another folder starts with the playable kinds again.
  ASSERT_TRUE(list.moveTo(songs / "sub"));
  EXPECT_EQ(list.mask(), "*.mid;*.kar;*.mp3;*.wav");
  EXPECT_EQ(Items(list), QStringList{"inner.kar"});
}

TEST(SongListTest, MoveToErrors) {
  SongFolder songs;
  SongList list;
  ASSERT_TRUE(list.moveTo(songs.path()));
  list.selectIndex(1);
  QString error;
  // A folder that cannot be entered leaves the list as it was.
  EXPECT_FALSE(list.moveTo(songs / "nowhere/x.mid", &error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_EQ(list.currentFolder(), songs.path());
  EXPECT_EQ(list.selectedIndex(), 1);
  EXPECT_FALSE(list.moveTo(songs / "nowhere/", &error));
  EXPECT_EQ(list.currentFolder(), songs.path());
  // A missing file: the list stays in that folder with nothing selected.
  error.clear();
  EXPECT_FALSE(list.moveTo(songs / "sub/missing.mid", &error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_EQ(list.currentFolder(), songs / "sub");
  EXPECT_EQ(list.selectedIndex(), -1);
}

TEST(SongListTest, WildcardLastPartBecomesTheMask) {
  SongFolder songs;
  SongList list;
  ASSERT_TRUE(list.moveTo(songs / "*.mid"));
  EXPECT_EQ(list.mask(), "*.mid");
  EXPECT_EQ(Items(list), (QStringList{"alpha.MID", "b.MID", "link.mid", "Zed.mid"}));
}

TEST(SongListTest, ProgramSelectionsAreSilentUserChoicesAreNot) {
  SongFolder songs;
  SongList list;
  list.resize(300, 400);
  list.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
  ASSERT_TRUE(list.moveTo(songs.path()));
  QSignalSpy spy(&list, &SongList::userSelectionChanged);

  list.selectIndex(3);
  list.selectIndex(-1);
  list.moveTo(songs / "b.MID");
  list.reread();
  EXPECT_EQ(spy.count(), 0);

  // A click on an item.
  const QRect rect = list.visualItemRect(list.item(4));
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, rect.center());
  EXPECT_EQ(spy.count(), 1);
  EXPECT_EQ(list.selectedIndex(), 4);
  // Clicking the selected item chooses it again (to play it after "Stop").
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, rect.center());
  EXPECT_EQ(spy.count(), 2);
  // The keyboard.
  list.setFocus();
  QTest::keyClick(&list, Qt::Key_Down);
  EXPECT_EQ(spy.count(), 3);
  EXPECT_EQ(list.selectedIndex(), 5);
  // After a program selection, the user's choice is still reported.
  list.selectIndex(0);
  QTest::keyClick(&list, Qt::Key_Down);
  EXPECT_EQ(spy.count(), 4);
  EXPECT_EQ(list.selectedIndex(), 1);
}

}  // namespace
}  // namespace melvar::widgets
