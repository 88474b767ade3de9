#pragma once
// The player's one main window. It owns every control of the window design
// and the song state. Each handler reads the controls, asks one rule of the
// analysis, playback or lyrics library, and applies the answer to the
// controls and the media device.
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "analysis/lyric_reader.h"
#include "analysis/song_analysis.h"
#include "lyrics/lyric_memo_text.h"
#include "lyrics/lyric_sync.h"
#include "lyrics/lyric_timeline.h"
#include "platform/widgets/lyric_memo.h"
#include "playback/song_selection.h"

namespace melvar::device { class PlayerDevice; }
namespace melvar::widgets { class SongList; class FolderTree; }
namespace melvar::dbus { class ScreenSaverInhibitor; }

namespace melvar::app {

// The song state, under the names the handlers share.
struct SongState {
  int SongIndex = 0;
  QString SongPath;
  QString SongExt;
  QString DevicePath;
  QString TempSongPath;
  int TempoOff = 0;
  analysis::SongData Buffer;         // SongBuffer and SongBytes
  analysis::LyricTimeline Timeline;  // SyllableTable and SyllableCount
  analysis::OwnedTimeline ReaderTimeline;  // the lyric reader's, when it gave the lyrics
  bool ReaderLyrics = false;         // the lyrics come from the lyric reader
  int FullHeight = 0;                // outer height at creation, frame included once known
  playback::ShuffleHistory Recent;   // RecentSongs and RecentNext
  int TempoMicros = 0;
  int DefaultBpm = 0;
  int WantedBpm = 0;
  int AppliedBpm = 0;
  uint16_t Division = 0;
  int LongestLine = 0;
  std::string TitleBytes[2];         // the titles as the song stores them
};

class TForm1 : public QWidget {
  Q_OBJECT
 public:
  // Message boxes are modal; tests replace them with a recorder.
  using MessageSink = std::function<void(const QString& title, const QString& text, bool error)>;
  // What the window is built with besides its device.
  struct Setup {
    QString programFolder;  // the program's own songs, a new user's first folder (empty: beside the program)
    MessageSink messages;   // empty: real message boxes
  };

  // `device` plays the songs and outlives the window; `args` are the
  // command-line arguments after the program name.
  TForm1(device::PlayerDevice& device, const QStringList& args, Setup setup = {}, QWidget* parent = nullptr);
  ~TForm1() override;

  // --- Controls, named as in the window design (also their objectName). ---
  QLabel* Fundo = nullptr;
  QLabel* Titulo1 = nullptr;
  QLabel* Titulo2 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Cpright = nullptr;
  device::PlayerDevice* MediaPlayer = nullptr;
  widgets::SongList* Midis = nullptr;
  QPushButton* Finaliza = nullptr;
  QPushButton* Babout = nullptr;
  QPushButton* BitBtn1 = nullptr;
  QPushButton* BitBtn2 = nullptr;
  QPushButton* Toclipb = nullptr;
  QFrame* ScrollLetra = nullptr;
  widgets::LyricMemo* Letra = nullptr;
  QCheckBox* Embaralha = nullptr;
  QProgressBar* Tocado = nullptr;
  QGroupBox* Velocidade = nullptr;
  widgets::ClickableLabel* IndTempo = nullptr;
  QScrollBar* ScrollTempo = nullptr;
  QPushButton* Button1 = nullptr;
  widgets::FolderTree* ShellTreeView1 = nullptr;
  QTimer* Timer1 = nullptr;
  // Single shot, armed from the device's clock for the moment the next
  // syllable falls due, so the highlight does not wait for Timer1's tick.
  QTimer* SyllableTimer = nullptr;

  // --- State. ---
  SongState Song;
  lyrics::LyricState Lyric;   // highlight state; Lyric.HasLyrics is HasLyrics
  lyrics::MemoText MemoText;  // what Letra shows, with the position map
  int LyricFontHeight = -27;  // positive: a line height; negative: the design's character height
  int LineHeight = -27;
  int VisibleLines = 0;

  // The author named in the credits and the About box.
  static constexpr const char* AuthorName = "Talmesk";

  // --- Handlers and operations. ---
  void FormCreate(const QStringList& args, const QString& programFolder);
  void FormClick();
  void FinalizaClick();
  void BaboutClick();
  void ShellTreeView1Change();
  void ShellTreeView1Click();
  void DropFiles(const QList<QUrl>& urls);
  void PlayNextSong();
  void MidisClick();
  void EmbaralhaClick();
  void Button1Click();
  void BitBtn1Click();
  void BitBtn2Click();
  void ScrollTempoChange(int position);
  void IndTempoClick();
  void MediaPlayerNotify(int value);
  void ApplyTempo();
  bool AnalyseSong();
  void LayoutLyricPanel();
  void ResetLyricPanel();
  void FormResize();
  void Timer1Timer();
  void SyllableTimerTimer();
  void LetraMouseUp(int y);
  void ToclipbClick();

  // The settings file the window reads and writes (MELVAR.INI).
  QString settingsPath() const { return settingsPath_; }

 signals:
  // The song was moved by the user: a jump button or a click on a lyric line.
  void jumped();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;      // FormClose
  void mouseReleaseEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void buildControls();
  void wireControls();
  bool openStartFolder(const QString& folder);
  void playCommandLineSong(const QString& song);
  void showMessage(const QString& text, const QString& title = QStringLiteral("Melvar"));
  void showError(const QString& text);
  bool prepareSong(const playback::SongStart& start);
  void readAndAnalyseSong();
  void clearLyricState();
  void setUpTempoControl(const analysis::TempoSetup& tempo);
  void setCaption(QLabel* label, const QString& text);
  void setOuterHeight(int outer);
  int fullHeight();
  int screenWidth() const;
  lyrics::TimelineView timelineView() const;
  void selectMemoRange(int start, int length);
  void setMemoLines(const std::vector<std::string>& lines, const lyrics::TextDecoder& decoder = {});
  void catchUpLyrics(int64_t position);
  void armSyllableTimer(int atLeastMs = 0);

  QString settingsPath_;
  MessageSink messageSink_;
  std::unique_ptr<dbus::ScreenSaverInhibitor> screenSaver_;
  bool memoHoldsLyrics_ = false;  // Letra shows a song's lyric lines (not the design's empty lines)
  bool fullHeightFramed_ = false; // FullHeight includes the window manager's frame
};

}  // namespace melvar::app
