#pragma once
// The folder tree (the window's `ShellTreeView1`): folders only, from "/"
// down, over the file system model, which follows changes on disk itself.
#include <QString>
#include <QTreeView>

class QFileSystemModel;

namespace melvar::widgets {

class FolderTree : public QTreeView {
  Q_OBJECT
 public:
  explicit FolderTree(QWidget* parent = nullptr);

  // Expands the tree down to the folder at path and selects it. A path that
  // is not an existing, shown folder is an error whose text names the path.
  bool showPath(const QString& path, QString* error = nullptr);
  // The selected folder's path; "" when nothing is selected.
  QString selectedPath() const;
  // Scrolls so that the selected folder is the top row.
  void scrollSelectedToTop();

  QFileSystemModel* fileSystemModel() const { return model_; }

 signals:
  // The selected folder changed, by the user or by the program.
  void selectionChangedByAnyone();
  // The user clicked a folder (after the selection change the click made).
  void clickedByUser();

 private:
  QFileSystemModel* model_ = nullptr;
};

}  // namespace melvar::widgets
