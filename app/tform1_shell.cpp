// The window's life: start-up, the folder tree and the list, dropped files,
// About, a click on the window, close and destruction.
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QUrl>
#include <chrono>
#include <random>

#include "platform/dbus/screen_saver.h"
#include "platform/device/player_device.h"
#include "platform/system/settings_file.h"
#include "platform/system/temp_song.h"
#include "platform/widgets/folder_tree.h"
#include "platform/widgets/song_list.h"
#include "playback/start_up.h"
#include "tform1.h"

namespace melvar::app {
namespace {

constexpr const char* kContact = "melvar@example.org";

int Draw(int maxInclusive) {
  static std::mt19937 rng(static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
  return std::uniform_int_distribution<int>(0, maxInclusive)(rng);
}

}  // namespace

void TForm1::FormCreate(const QStringList& args, const QString& programFolder) {
  setAcceptDrops(true);
  Song.TempSongPath = QString::fromStdString(platform::TempSongPathFromEnvironment());
  move(0, y());
  // As wide as the screen; the progress bar right above the lyric panel.
  setFixedWidth(screenWidth());
  Tocado->setGeometry(0, ScrollLetra->y() - Tocado->height(), width(), Tocado->height());
  setMemoLines({QString("Melvar, by %1").arg(AuthorName).toStdString(),
                "Choose a folder, then a song: its words follow the music",
                QString("Write to %1").arg(kContact).toStdString(), ""});
  screenSaver_ = std::make_unique<dbus::ScreenSaverInhibitor>(
      QStringLiteral("Melvar"), QStringLiteral("Playing songs and showing their lyrics"));

  const std::string ini = settingsPath_.toStdString();
  const std::string lastPath = platform::ReadProfileString(ini, "MELVAR", "LASTPATH", programFolder.toStdString(),
                                                           playback::kLastPathChars);
  if (playback::ShuffleFromSetting(platform::ReadProfileString(ini, "MELVAR", "SHUFFLE", "0", 1)))
    Embaralha->setChecked(true);

  const QFileInfo argument(args.value(0));
  const playback::StartPlace place = playback::StartPlaceFor(
      args.value(0).isEmpty() ? std::string() : argument.absoluteFilePath().toStdString(), argument.isDir(), lastPath);
  const QString song = QString::fromStdString(place.song);
  if (!openStartFolder(QString::fromStdString(place.folder)) && !openStartFolder(QDir::homePath())) return;
  ShellTreeView1->scrollSelectedToTop();
  Midis->selectIndex(0);
  if (Midis->selectedIndex() < 0) return;
  if (!song.isEmpty()) {
    playCommandLineSong(song);
  } else {
    Song.SongIndex = playback::StartSelection(Embaralha->isChecked(), Midis->count(), Draw);
    Midis->selectIndex(Song.SongIndex);
  }
}

// Moves the list, then the tree, to the start folder; an error box when the
// home folder itself cannot be shown.
bool TForm1::openStartFolder(const QString& folder) {
  QString error;
  if (Midis->moveTo(folder, &error) && ShellTreeView1->showPath(Midis->currentFolder(), &error)) return true;
  if (folder == QDir::homePath()) showError(error);
  return false;
}

void TForm1::playCommandLineSong(const QString& song) {
  Midis->moveTo(song);
  if (Midis->selectedIndex() < 0) {
    showMessage("Falha ao ativar " + song);
    return;
  }
  Song.SongIndex = Midis->selectedIndex() - playback::kDirectRequestBase;
  // Once the window is up, so that its messages have a window to stand on.
  QTimer::singleShot(0, this, &TForm1::PlayNextSong);
}

void TForm1::ShellTreeView1Change() {
  Song.SongIndex = 0;
  Midis->selectIndex(0);
}

void TForm1::ShellTreeView1Click() {
  const QString folder = ShellTreeView1->selectedPath();
  QString error;
  if (!folder.isEmpty() && !Midis->moveTo(folder, &error)) showError(error);
}

void TForm1::DropFiles(const QList<QUrl>& urls) {
  if (urls.isEmpty()) return;
  const QUrl& url = urls.first();
  const QString path = url.isLocalFile() ? url.toLocalFile() : QString();
  if (path.isEmpty() || !playback::DropAccepted(path.toStdString())) {
    showMessage("Dont Know how to play this ...");
    return;
  }
  QString error;
  if (!ShellTreeView1->showPath(QFileInfo(path).absolutePath(), &error) || !Midis->moveTo(path, &error)) {
    showError(error);
    return;
  }
  Song.SongIndex = Midis->selectedIndex() - playback::kDirectRequestBase;
  PlayNextSong();
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  event->acceptProposedAction();
  DropFiles(urls);
}

void TForm1::FormClick() {
  setMinimumSize(0, 0);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
  for (QWidget* w : std::initializer_list<QWidget*>{Midis, Finaliza, Babout, Cpright, BitBtn1, BitBtn2}) w->show();
}

void TForm1::mouseReleaseEvent(QMouseEvent* event) {
  QWidget::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) FormClick();
}

void TForm1::FinalizaClick() { close(); }

void TForm1::BaboutClick() {
  showMessage(QString("== Melvar was developed by %1\n"
                      " --- Its intent is to entertain you.\n"
                      " --- If you like it, just share with friends.\n"
                      "       march,2003      %2")
                  .arg(AuthorName, kContact));
}

void TForm1::closeEvent(QCloseEvent* event) {
  // Nothing sounds once the window is gone.
  MediaPlayer->close();
  if (screenSaver_) screenSaver_->release();
  QWidget::closeEvent(event);
}

TForm1::~TForm1() { platform::DeleteTempSong(Song.TempSongPath.toStdString()); }

}  // namespace melvar::app
