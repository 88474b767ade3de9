// The folder tree: shows and selects a folder, reports what it selected.
#include "platform/widgets/folder_tree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFileSystemModel>
#include <QSignalSpy>
#include <QTest>

#include "scratch_dir.h"

namespace melvar::widgets {
namespace {

using melvar::test::ScratchDir;
using melvar::test::WriteFile;

TEST(FolderTreeTest, ShowsAndSelectsAFolder) {
  ScratchDir dir;
  ::mkdir((dir / "a").c_str(), 0700);
  ::mkdir((dir / "a/b").c_str(), 0700);
  WriteFile(dir / "a/file.mid", "x");
  FolderTree tree;
  QSignalSpy spy(&tree, &FolderTree::selectionChangedByAnyone);
  EXPECT_EQ(tree.selectedPath(), "");
  const QString target = QString::fromStdString(dir / "a/b");
  ASSERT_TRUE(tree.showPath(target));
  EXPECT_EQ(tree.selectedPath(), target);
  EXPECT_EQ(spy.count(), 1);
  EXPECT_TRUE(tree.isExpanded(tree.fileSystemModel()->index(QString::fromStdString(dir / "a"))));
  tree.scrollSelectedToTop();
  EXPECT_EQ(tree.indentation(), 19);
  EXPECT_FALSE(tree.rootIsDecorated());
}

TEST(FolderTreeTest, PathsThatAreNotFoldersAreErrorsNamingThePath) {
  ScratchDir dir;
  WriteFile(dir / "file.mid", "x");
  FolderTree tree;
  ASSERT_TRUE(tree.showPath(QString::fromStdString(dir.path())));
  for (const std::string& bad : {dir / "file.mid", dir / "missing"}) {
    QString error;
    EXPECT_FALSE(tree.showPath(QString::fromStdString(bad), &error));
    EXPECT_TRUE(error.contains(QString::fromStdString(bad))) << error.toStdString();
    EXPECT_EQ(tree.selectedPath(), QString::fromStdString(dir.path()));
  }
}

TEST(FolderTreeTest, AClickIsReportedAfterTheSelectionChange) {
  ScratchDir dir;
  ::mkdir((dir / "a").c_str(), 0700);
  ::mkdir((dir / "b").c_str(), 0700);
  FolderTree tree;
  tree.resize(400, 600);
  tree.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&tree));
  const QString a = QString::fromStdString(dir / "a");
  const QString b = QString::fromStdString(dir / "b");
  ASSERT_TRUE(tree.showPath(a));
  ASSERT_TRUE(tree.showPath(b));  // a and b are now both visible rows
  tree.scrollTo(tree.fileSystemModel()->index(a));
  QSignalSpy changed(&tree, &FolderTree::selectionChangedByAnyone);
  QSignalSpy clicked(&tree, &FolderTree::clickedByUser);
  QString seenAtClick;
  QObject::connect(&tree, &FolderTree::clickedByUser, [&] { seenAtClick = tree.selectedPath(); });
  const QRect rect = tree.visualRect(tree.fileSystemModel()->index(a));
  ASSERT_TRUE(rect.isValid());
  QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, rect.center());
  EXPECT_EQ(changed.count(), 1);
  EXPECT_EQ(clicked.count(), 1);
  EXPECT_EQ(seenAtClick, a);
}

}  // namespace
}  // namespace melvar::widgets
