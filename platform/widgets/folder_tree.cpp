#include "platform/widgets/folder_tree.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QItemSelectionModel>

namespace melvar::widgets {

FolderTree::FolderTree(QWidget* parent) : QTreeView(parent), model_(new QFileSystemModel(this)) {
  model_->setFilter(QDir::Dirs | QDir::NoDotAndDotDot);
  model_->setReadOnly(true);
  model_->setRootPath(QStringLiteral("/"));
  setModel(model_);
  for (int column = 1; column < model_->columnCount(); ++column) hideColumn(column);
  setHeaderHidden(true);
  setIndentation(19);
  setRootIsDecorated(false);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setContextMenuPolicy(Qt::NoContextMenu);
  setEditTriggers(QAbstractItemView::NoEditTriggers);

  connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this] { emit selectionChangedByAnyone(); });
  connect(this, &QAbstractItemView::clicked, this, [this] { emit clickedByUser(); });
}

bool FolderTree::showPath(const QString& path, QString* error) {
  const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
  const QModelIndex index =
      QFileInfo(absolute).isDir() ? model_->index(absolute) : QModelIndex();
  if (!index.isValid()) {
    if (error) *error = QStringLiteral("Cannot show the folder %1").arg(path);
    return false;
  }
  for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) expand(up);
  setCurrentIndex(index);
  scrollTo(index);
  return true;
}

QString FolderTree::selectedPath() const {
  const QModelIndex index = currentIndex();
  if (!index.isValid() || !selectionModel()->isSelected(index)) return {};
  return model_->filePath(index);
}

void FolderTree::scrollSelectedToTop() {
  const QModelIndex index = currentIndex();
  if (index.isValid()) scrollTo(index, QAbstractItemView::PositionAtTop);
}

}  // namespace melvar::widgets
