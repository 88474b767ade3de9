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
  // Scrolls so that the selected folder is the top row; the folders above it
  // are read in the background, so the scroll is made again as they arrive.
  void scrollSelectedToTop();

  QFileSystemModel* fileSystemModel() const { return model_; }

 signals:
  // The selected folder changed, by the user or by the program.
  void selectionChangedByAnyone();
  // The user clicked a folder (after the selection change the click made).
  void clickedByUser();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void keepPendingAtTop();

  QFileSystemModel* model_ = nullptr;
  QString topPending_;  // the folder to keep at the top while its parents load
};

}  // namespace melvar::widgets
