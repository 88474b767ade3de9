// The lyric panel: its layout, the 100 ms tick that follows the music, line
// jumps and the clipboard copy. The rules live in the lyrics library; these
// handlers apply them to the memo, its frame and the device.
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include "lyrics/clipboard_text.h"
#include "lyrics/jump_walk.h"
#include "lyrics/panel_layout.h"
#include "platform/device/player_device.h"
#include "tform1.h"

namespace melvar::app {
namespace {

const QColor kSilver(192, 192, 192);
const QColor kYellow(255, 255, 0);

// Character size that matches one of the panel's line heights (Arial's line
// is about 1.15 times its character height).
int characterSizeForLineHeight(int lineHeight) { return std::max(1, (lineHeight * 100 + 57) / 115); }

}  // namespace

int TForm1::screenWidth() const {
  const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
  return s ? s->geometry().width() : 640;
}

void TForm1::applyLyricFont() {
  QFont f = Letra->font();
  f.setPixelSize(LyricFontHeight > 0 ? characterSizeForLineHeight(LyricFontHeight) : -LyricFontHeight);
  Letra->setFont(f);
  // Every line exactly LineHeight pixels tall, centred; the design font keeps
  // its natural line height.
  QTextCursor c(Letra->document());
  c.select(QTextCursor::Document);
  QTextBlockFormat fmt;
  fmt.setAlignment(Qt::AlignHCenter);
  if (LyricFontHeight > 0) fmt.setLineHeight(LyricFontHeight, QTextBlockFormat::FixedHeight);
  c.mergeBlockFormat(fmt);
}

void TForm1::LayoutLyricPanel() {
  LyricFontHeight =
      lyrics::ChooseLyricFontHeight(LongestLine, screenWidth(), LyricFontHeight, memoHoldsLyrics_);
  applyLyricFont();
  LineHeight = LyricFontHeight;
  lyrics::PanelInput in;
  in.clientWidth = width();
  in.clientHeight = height();
  in.outerWidth = frameGeometry().width();
  in.cprightTop = Cpright->y();
  in.cprightHeight = Cpright->height();
  in.tocadoHeight = Tocado->height();
  in.lineHeight = LineHeight;
  in.panelFrame = ScrollLetra->frameWidth();
  const lyrics::PanelGeometry g = lyrics::LayoutPanel(in);
  VisibleLines = g.visibleLines;
  ScrollLetra->setGeometry(0, g.panelTop, g.panelWidth, g.panelHeight);
  Letra->resize(g.memoWidth, Letra->height());
  Tocado->setGeometry(Tocado->x(), g.tocadoTop, g.tocadoWidth, Tocado->height());
}

void TForm1::ResetLyricPanel() {
  ApplyTempo();
  LayoutLyricPanel();
  Letra->move(0, 0);
  Letra->resize(Letra->width(), std::max(0, MemoText.lineCount() * LineHeight));
  ScrollLetra->verticalScrollBar()->setValue(0);
  lyrics::ResetLyricState(Lyric, timelineView(), LineHeight);
  selectMemoRange(0, 0);
}

void TForm1::FormResize() {
  if (!Tocado) return;  // resizes during construction
  Tocado->setGeometry(0, Tocado->y(), frameGeometry().width(), Tocado->height());
  Fundo->resize(frameGeometry().width(), frameGeometry().height());
  LayoutLyricPanel();
}

void TForm1::Timer1Timer() {
  if (WantedBpm != AppliedBpm) {
    IndTempo->setText(QString::number(WantedBpm));
    ApplyTempo();
    AppliedBpm = WantedBpm;
  }
  if (const int up = lyrics::ScrollAnimationStep(Lyric, LineHeight); up != 0) {
    QScrollBar* bar = ScrollLetra->verticalScrollBar();
    bar->setValue(bar->value() + up);
  }
  lyrics::CountTick(Lyric);

  if (!MediaPlayer->isPlaying()) {
    if (Lyric.TickCounter == 0) Tocado->setValue(0);
    if (!BitBtn1->isHidden()) {
      BitBtn1->hide();
      BitBtn2->hide();
      Button1->hide();
    }
    return;
  }
  if (BitBtn1->isHidden()) {
    BitBtn1->show();
    BitBtn2->show();
    Button1->show();
  }
  const int64_t position = MediaPlayer->position();
  if (Lyric.TickCounter == 0) Tocado->setValue(static_cast<int>(std::min<int64_t>(position, INT32_MAX)));
  if (!HasLyrics) return;

  // Catch up with every syllable whose time has come; pending events run
  // before each step, and may replace the timeline under us.
  const uint64_t generation = Lyric.TimelineGeneration;
  while (lyrics::CatchUpDue(Lyric, timelineView(), position, generation)) {
    QCoreApplication::processEvents();
    const lyrics::CatchUpResult step =
        lyrics::CatchUpStep(Lyric, timelineView(), LineHeight, position, generation);
    if (!step.taken) break;
    selectMemoRange(step.selectionStart, step.selectionLength);
  }
  if (generation == Lyric.TimelineGeneration)
    setMemoColour(lyrics::ColourCue(Lyric, timelineView(), position));
}

void TForm1::LetraMouseUp(int y) {
  if (!MediaPlayer->isPlaying()) return;
  if (MediaPlayer->position() <= MediaPlayer->length() / 200) return;
  MediaPlayer->pause();
  const int memoY = y + Letra->verticalScrollBar()->value();
  const lyrics::JumpTarget target = lyrics::WalkToClickedLine(Lyric, timelineView(), memoY, LineHeight);
  if (target.valid) MediaPlayer->seek(target.time);
  ResetLyricPanel();
  MediaPlayer->play();
  ApplyTempo();
}

void TForm1::ToclipbClick() {
  if (!HasLyrics) return;
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  const std::string bytes = lyrics::ClipboardText(TitleBytes[0], TitleBytes[1], MemoText.lines());
  clipboard->setText(QString::fromStdU16String(MemoText.decode(bytes)));
  showMessage("Lyrics Saved", "Lyrics sent to the clipBoard. Just \"paste\" them to any text editor!");
}

lyrics::TimelineView TForm1::timelineView() const {
  return lyrics::TimelineView(Timeline, Song.SongBuffer.data(), std::max(0, Song.SongBytes));
}

void TForm1::setMemoLines(const std::vector<std::string>& lines) {
  MemoText = lyrics::MemoText(lines);
  Letra->setPlainText(QString::fromStdU16String(MemoText.displayText()));
  applyLyricFont();
}

// Selections arrive in the memo positions the lyric rules count in (bytes,
// a line break as two); the memo shows decoded characters.
void TForm1::selectMemoRange(int start, int length) {
  const auto [from, to] = MemoText.toDisplayRange(start, length);
  QTextCursor c(Letra->document());
  c.setPosition(from);
  c.setPosition(to, QTextCursor::KeepAnchor);
  Letra->setTextCursor(c);
  Letra->ensureCursorVisible();
}

void TForm1::setMemoColour(lyrics::Colour colour) {
  if (colour == lyrics::Colour::Unchanged) return;
  const QColor c = colour == lyrics::Colour::Yellow ? kYellow : kSilver;
  QPalette p = Letra->palette();
  if (p.color(QPalette::Text) == c) return;
  p.setColor(QPalette::Text, c);
  Letra->setPalette(p);
}

}  // namespace melvar::app
