#include "platform/widgets/folder_tree.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTimer>

namespace melvar::widgets {
namespace {

// How long the selected folder is kept at the top while the tree is read.
constexpr int kKeepAtTopMs = 10000;

}  // namespace

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
  // The folders above the one kept at the top arrive in the background and
  // are sorted after they arrive: each change moves it back to the top,
  // until the user takes over or the reading is long done.
  connect(model_, &QAbstractItemModel::rowsInserted, this, [this] { keepPendingAtTop(); });
  connect(model_, &QAbstractItemModel::layoutChanged, this, [this] { keepPendingAtTop(); });
  connect(model_, &QFileSystemModel::directoryLoaded, this, [this] { keepPendingAtTop(); });
}

void FolderTree::keepPendingAtTop() {
  if (topPending_.isEmpty()) return;
  QTimer::singleShot(0, this, [this] {
    const QModelIndex index = topPending_.isEmpty() ? QModelIndex() : model_->index(topPending_);
    if (!index.isValid()) return;
    for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) expand(up);
    scrollTo(index, QAbstractItemView::PositionAtTop);
  });
}

void FolderTree::mousePressEvent(QMouseEvent* event) {
  topPending_.clear();
  QTreeView::mousePressEvent(event);
}

void FolderTree::keyPressEvent(QKeyEvent* event) {
  topPending_.clear();
  QTreeView::keyPressEvent(event);
}

void FolderTree::wheelEvent(QWheelEvent* event) {
  topPending_.clear();
  QTreeView::wheelEvent(event);
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
  if (!index.isValid()) return;
  topPending_ = model_->filePath(index);
  scrollTo(index, QAbstractItemView::PositionAtTop);
  QTimer::singleShot(kKeepAtTopMs, this, [this] { topPending_.clear(); });
}

}  // namespace melvar::widgets
