#include "platform/widgets/song_list.h"

#include "playback/song_kind.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <algorithm>
#include <utility>
#include <vector>

namespace melvar::widgets {
namespace {

// Wildcard match of an already case-folded name against a case-folded
// pattern: "*" any run of characters, "?" any one character.
bool WildcardMatch(const QString& name, const QString& pattern) {
  qsizetype n = 0, p = 0, starP = -1, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      starP = p++;
      starN = n;
    } else if (starP >= 0) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

QStringList SplitMask(const QString& mask) {
  QStringList patterns;
  for (const QString& part : mask.split(u';', Qt::SkipEmptyParts)) {
    const QString trimmed = part.trimmed();
    if (!trimmed.isEmpty()) patterns << trimmed;
  }
  return patterns;
}

// Absolute and clean, without a trailing "/" except for the root.
QString CleanAbsolute(const QString& path) {
  return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

}  // namespace

SongList::SongList(QWidget* parent)
    : QListWidget(parent), patterns_(SplitMask(QString::fromStdString(playback::SongListMask()))) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setUniformItemSizes(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  connect(this, &QListWidget::itemSelectionChanged, this, &SongList::onSelectionChanged);
}

QStringList SongList::ListFolder(const QString& folder, const QStringList& patterns, bool* ok) {
  const QByteArray encoded = QFile::encodeName(folder);
  DIR* dir = ::opendir(encoded.constData());
  if (ok) *ok = dir != nullptr;
  if (!dir) return {};
  QStringList folded;
  for (const QString& p : patterns) folded << p.toCaseFolded();

  std::vector<std::pair<QString, QString>> found;  // (folded name, name)
  const int fd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] == '.') continue;  // hidden files, "." and ".."
    QString name = QFile::decodeName(entry->d_name);
    QString key = name.toCaseFolded();
    if (std::none_of(folded.begin(), folded.end(),
                     [&key](const QString& p) { return WildcardMatch(key, p); })) {
      continue;
    }
    bool regular = entry->d_type == DT_REG;
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
      // Only names that pass the mask cost a stat: a link counts by its target.
      struct stat st {};
      regular = ::fstatat(fd, entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
    }
    if (regular) found.emplace_back(std::move(key), std::move(name));
  }
  ::closedir(dir);

  std::sort(found.begin(), found.end());  // case-insensitive, then exact as tie-break
  QStringList names;
  names.reserve(static_cast<qsizetype>(found.size()));
  for (auto& f : found) names << std::move(f.second);
  return names;
}

void SongList::setItems(const QStringList& names) {
  ++programmatic_;
  clear();
  addItems(names);
  lastSelected_ = -1;
  --programmatic_;
}

void SongList::reread() {
  setItems(folder_.isEmpty() ? QStringList() : ListFolder(folder_, patterns_));
}

int SongList::rowOfName(const QString& name) const {
  int folded = -1;
  for (int row = 0; row < count(); ++row) {
    const QString text = item(row)->text();
    if (text == name) return row;
    if (folded < 0 && text.compare(name, Qt::CaseInsensitive) == 0) folded = row;
  }
  return folded;
}

bool SongList::moveTo(const QString& path, QString* error) {
  if (path.isEmpty()) return true;
  const QString absolute = CleanAbsolute(path);
  const QString selected = selectedFilePath();
  if (!selected.isEmpty() && absolute == selected) return true;

  QString folder = absolute;
  QString last;
  // A path ending in "/" always names a folder.
  if (!path.endsWith(u'/') && !QFileInfo(absolute).isDir()) {
    const qsizetype slash = absolute.lastIndexOf(u'/');
    folder = slash <= 0 ? QStringLiteral("/") : absolute.left(slash);
    last = absolute.mid(slash + 1);
  }

  if (folder != folder_) {
    bool ok = false;
    const QStringList defaults = SplitMask(QString::fromStdString(playback::SongListMask()));
    const QStringList names = ListFolder(folder, defaults, &ok);
    if (!ok) {
      if (error) *error = QStringLiteral("Cannot enter the folder %1").arg(folder);
      return false;
    }
    // A mask narrowed to one file belongs to that file's folder, so a new
    // folder starts with the playable kinds again.
    folder_ = folder;
    patterns_ = defaults;
    setItems(names);
  }
  if (last.isEmpty()) return true;

  if (last.contains(u'*') || last.contains(u'?')) {
    patterns_ = SplitMask(last);
    reread();
    return true;
  }

  int row = rowOfName(last);
  if (row < 0) {
    if (!QFileInfo::exists(absolute)) {
      selectIndex(-1);
      if (error) *error = QStringLiteral("File not found: %1").arg(absolute);
      return false;
    }
    // The file is there but the mask leaves it out: list just that name.
    patterns_ = QStringList{last};
    reread();
    row = rowOfName(last);
  }
  if (row >= 0) selectIndex(row);
  return true;
}

QString SongList::selectedFilePath() const {
  const int row = selectedIndex();
  if (row < 0) return {};
  const QString name = item(row)->text();
  return folder_.endsWith(u'/') ? folder_ + name : folder_ + u'/' + name;
}

int SongList::selectedIndex() const {
  const QModelIndexList rows = selectionModel()->selectedIndexes();
  return rows.isEmpty() ? -1 : rows.first().row();
}

void SongList::selectIndex(int i) {
  if (i < -1 || i >= count()) return;
  ++programmatic_;
  if (i == -1) {
    clearSelection();
  } else {
    setCurrentRow(i, QItemSelectionModel::ClearAndSelect);
    scrollToItem(item(i));
  }
  lastSelected_ = selectedIndex();
  --programmatic_;
}

void SongList::onSelectionChanged() {
  const int now = selectedIndex();
  if (programmatic_ > 0) {
    lastSelected_ = now;
    return;
  }
  if (now == lastSelected_) return;
  lastSelected_ = now;
  // Only a choice of a song is a request; a user clearing it is not.
  if (now >= 0) {
    chosenSincePress_ = true;
    emit userSelectionChanged();
  }
}

void SongList::mousePressEvent(QMouseEvent* event) {
  pressedRow_ = indexAt(event->position().toPoint()).row();
  chosenSincePress_ = false;
  QListWidget::mousePressEvent(event);
}

// A click on the song already selected chooses it again (to play it after
// "Stop", say); a click that changed the selection has chosen already.
void SongList::mouseReleaseEvent(QMouseEvent* event) {
  QListWidget::mouseReleaseEvent(event);
  const int row = indexAt(event->position().toPoint()).row();
  if (event->button() == Qt::LeftButton && row >= 0 && row == pressedRow_ && row == selectedIndex() &&
      !chosenSincePress_) {
    chosenSincePress_ = true;
    emit userSelectionChanged();
  }
}

}  // namespace melvar::widgets
