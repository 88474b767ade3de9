#pragma once
// The player's one main window. It owns every control of the window design
// and the shared song state; its handlers stay short and call into the
// analysis, playback and lyrics rules and the platform services.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QString>
#include <QStringList>
#include <QTextEdit>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "analysis/song_analysis.h"
#include "lyrics/lyric_memo_text.h"
#include "lyrics/lyric_sync.h"
#include "lyrics/lyric_timeline.h"
#include "playback/song_selection.h"

namespace melvar::device { class PlayerDevice; }
namespace melvar::widgets { class SongList; class FolderTree; }

namespace melvar::app {

// A label that reports mouse clicks (the tempo indicator `IndTempo`).
class ClickableLabel : public QLabel {
  Q_OBJECT
 public:
  using QLabel::QLabel;
 signals:
  void clicked();
 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

// The lyric memo `Letra`: a read-only rich-text control whose selection is the
// syllable highlight; it reports mouse releases with the pointer's y.
class LyricMemo : public QTextEdit {
  Q_OBJECT
 public:
  explicit LyricMemo(QWidget* parent = nullptr);
 signals:
  void mouseReleased(int y);
 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
};

class TForm1 : public QWidget {
  Q_OBJECT
 public:
  // `device` plays the songs and outlives the window; `args` are the
  // command-line arguments after the program name.
  TForm1(device::PlayerDevice& device, const QStringList& args, QWidget* parent = nullptr);
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
  QScrollArea* ScrollLetra = nullptr;
  LyricMemo* Letra = nullptr;
  QCheckBox* Embaralha = nullptr;
  QProgressBar* Tocado = nullptr;
  QGroupBox* Velocidade = nullptr;
  ClickableLabel* IndTempo = nullptr;
  QScrollBar* ScrollTempo = nullptr;
  QPushButton* Button1 = nullptr;
  widgets::FolderTree* ShellTreeView1 = nullptr;
  QTimer* Timer1 = nullptr;

  // --- Shared song state. ---
  int SongIndex = 0;
  QString SongPath;
  QString SongExt;
  QString DevicePath;
  QString TempSongPath;
  int TempoOff = 0;
  analysis::SongData Song;            // SongBuffer and SongBytes
  analysis::LyricTimeline Timeline;   // SyllableTable and SyllableCount
  int FullHeight = 0;
  playback::ShuffleHistory Recent;    // RecentSongs and RecentNext
  int TempoMicros = 0;
  int DefaultBpm = 0;
  int WantedBpm = 0;
  int AppliedBpm = 0;
  uint16_t Division = 0;
  int LongestLine = 0;
  // Lyric panel: font height value (positive: line height; negative: the
  // design's character height), the lines that fit and the highlight state.
  int LyricFontHeight = -27;
  int LineHeight = -27;
  int VisibleLines = 0;
  lyrics::LyricState Lyric;           // highlight and scroll state of the tick
  bool& HasLyrics = Lyric.HasLyrics;  // the current song has syllables still to show
  lyrics::MemoText MemoText;          // what Letra shows, with the position map
  std::string TitleBytes[2];          // the titles as the song stores them

  // --- Handlers and operations. ---
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
  void LetraMouseUp(int y);
  void ToclipbClick();

  // The settings file the window reads and writes (MELVAR.INI).
  QString settingsPath() const { return settingsPath_; }
  void setSettingsPath(const QString& path) { settingsPath_ = path; }
  // Message boxes are modal; tests replace them with a recorder.
  void setMessageSink(std::function<void(const QString& title, const QString& text, bool error)> sink);

 signals:
  // Emitted once at the end of every successful song analysis.
  void lyricTimelineReady();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void createControls();
  void pointListAtStartFolder(const QStringList& args);
  void showMessage(const QString& text);
  void showMessage(const QString& title, const QString& text);
  void clearLyricState();
  void readAndAnalyseSong();
  void showDeviceError(int code);
  void setOuterHeight(int outer);
  int screenWidth() const;
  void applyLyricFont();
  lyrics::TimelineView timelineView() const;
  void selectMemoRange(int start, int length);
  void setMemoColour(lyrics::Colour colour);
  void setMemoLines(const std::vector<std::string>& lines);

  QString settingsPath_;
  std::function<void(const QString&, const QString&, bool)> messageSink_;
  bool memoHoldsLyrics_ = false;  // Letra shows a song's lyric lines (not the design's empty lines)
};

}  // namespace melvar::app
