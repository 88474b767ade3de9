#pragma once
// The song list (the window's `Midis`): the playable files of one folder, as
// bare names sorted without regard to case, with single selection. A
// selection the program makes is silent; one the user makes with the mouse or
// the keyboard, and a mouse click on the item already selected, emit
// userSelectionChanged().
#include <QListWidget>
#include <QString>
#include <QStringList>

namespace melvar::widgets {

class SongList : public QListWidget {
  Q_OBJECT
 public:
  explicit SongList(QWidget* parent = nullptr);

  // Moves to a folder or a file (relative paths from the current directory):
  // - "" or the selected file's own path: nothing changes;
  // - the folder part (the whole path when it names a folder) is entered when
  //   it differs from the current one, which re-reads the items with the
  //   default mask and leaves nothing selected; a folder that cannot be
  //   entered is an error and the list stays as it was;
  // - a last part with "*" or "?" becomes the mask;
  // - any other last part is a file name whose item gets selected (exact name
  //   first, else without regard to case); a file that exists but is left out
  //   by the mask makes its name the mask, and its item is selected if it can
  //   be listed at all; a missing file is an error, nothing selected.
  // Returns false with the reason in *error (when given) on an error.
  bool moveTo(const QString& path, QString* error = nullptr);

  // Current folder + "/" + selected name; "" when nothing is selected.
  QString selectedFilePath() const;
  // The selected row, -1 when none.
  int selectedIndex() const;
  int count() const { return QListWidget::count(); }
  // Selects row i; -1 clears; below -1 or past the end changes nothing.
  // Never emits userSelectionChanged().
  void selectIndex(int i);
  // Lists the current folder again with the current mask; nothing selected.
  void reread();
  // Absolute, without a trailing "/" except for the root; "" before the
  // first successful moveTo.
  QString currentFolder() const { return folder_; }
  // The patterns joined by ";".
  QString mask() const { return patterns_.join(QLatin1Char(';')); }

  // The listing rule on its own: the regular files (or links to them) of
  // folder whose names do not start with "." and match one of the patterns
  // (* and ? wildcards, without regard to case), sorted without regard to
  // case. ok (when given) is false when the folder cannot be read.
  static QStringList ListFolder(const QString& folder, const QStringList& patterns,
                                bool* ok = nullptr);

 signals:
  // The user chose a song: changed the selection with the mouse or the
  // keyboard, or clicked the selected item.
  void userSelectionChanged();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void onSelectionChanged();
  void setItems(const QStringList& names);
  int rowOfName(const QString& name) const;

  QString folder_;
  QStringList patterns_;
  int programmatic_ = 0;   // > 0 while the program changes the selection
  int lastSelected_ = -1;  // the selection the last signal (or program) left
  int pressedRow_ = -1;    // the row under the last mouse press
  bool chosenSincePress_ = false;
};

}  // namespace melvar::widgets
