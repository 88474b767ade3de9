// The lyric panel: its layout, the 100 ms tick that follows the music, line
// jumps and the clipboard copy. The rules live in the lyrics library; these
// handlers apply them to the memo, its frame and the device.
#include <algorithm>

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QScreen>

#include "lyrics/clipboard_text.h"
#include "lyrics/jump_walk.h"
#include "lyrics/panel_layout.h"
#include "platform/device/player_device.h"
#include "platform/widgets/design_look.h"
#include "platform/widgets/lyric_memo.h"
#include "tform1.h"

namespace melvar::app {

int TForm1::screenWidth() const {
  const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
  return s ? s->geometry().width() : 640;
}

void TForm1::LayoutLyricPanel() {
  LyricFontHeight =
      lyrics::ChooseLyricFontHeight(Song.LongestLine, screenWidth(), LyricFontHeight, memoHoldsLyrics_);
  Letra->setFontHeight(LyricFontHeight);
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
  Letra->move(ScrollLetra->frameWidth(), ScrollLetra->frameWidth());
  Letra->resize(Letra->width(), std::max(0, MemoText.lineCount() * LineHeight));
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
  const bool playing = MediaPlayer->isPlaying();
  const bool progressTick = lyrics::CountTick(Lyric);
  const lyrics::TickPlan plan =
      lyrics::PlanTick(Song.WantedBpm, Song.AppliedBpm, playing, progressTick, Lyric.HasLyrics);
  if (plan.handOverTempo) {
    setCaption(IndTempo, QString::number(Song.WantedBpm));
    ApplyTempo();
    Song.AppliedBpm = Song.WantedBpm;
  }
  // The memo moves up inside the panel, half a line a tick.
  if (const int up = lyrics::ScrollAnimationStep(Lyric, LineHeight); up != 0) Letra->move(Letra->x(), Letra->y() - up);
  for (QWidget* b : {static_cast<QWidget*>(BitBtn1), static_cast<QWidget*>(BitBtn2), static_cast<QWidget*>(Button1)})
    b->setVisible(plan.transportVisible);
  if (!playing) {
    if (plan.moveProgress) Tocado->setValue(0);
    SyllableTimer->stop();
    return;
  }
  const int64_t position = MediaPlayer->position();
  if (plan.moveProgress) Tocado->setValue(static_cast<int>(std::min<int64_t>(position, INT32_MAX)));
  if (plan.followLyrics) catchUpLyrics(position);
  armSyllableTimer();  // afresh every tick: a seek or a new tempo moves the moment
}

// The catch-up step of the tick, run at the moment the next syllable falls
// due; the tick's other work stays with Timer1.
void TForm1::SyllableTimerTimer() {
  if (!Lyric.HasLyrics || !MediaPlayer->isPlaying()) return;
  const int cursor = Lyric.SyllableCursor;
  catchUpLyrics(MediaPlayer->position());
  // Should the clock have fired a hair early, look again shortly rather
  // than at once.
  armSyllableTimer(Lyric.SyllableCursor == cursor ? 1 : 0);
}

// Arms SyllableTimer for when the heard position first passes the next
// syllable's time, as the device's clock tells it; stops it when no syllable
// is left or the device has no clock.
void TForm1::armSyllableTimer(int atLeastMs) {
  const int64_t ms = Lyric.HasLyrics && Lyric.SyllableCursor < timelineView().Count()
                         ? MediaPlayer->msUntil(int64_t{Lyric.NextSyllableTime} + 1)
                         : -1;
  if (ms < 0) {
    SyllableTimer->stop();
    return;
  }
  SyllableTimer->start(static_cast<int>(std::clamp<int64_t>(ms, atLeastMs, 60000)));
}

// Highlights every syllable whose time has come; pending events run before
// each step, and may replace the timeline under us.
void TForm1::catchUpLyrics(int64_t position) {
  const uint64_t generation = Lyric.TimelineGeneration;
  while (lyrics::CatchUpDue(Lyric, timelineView(), position, generation)) {
    QCoreApplication::processEvents();
    const lyrics::CatchUpResult step =
        lyrics::CatchUpStep(Lyric, timelineView(), LineHeight, position, generation);
    if (!step.taken) break;
    selectMemoRange(step.selectionStart, step.selectionLength);
  }
  if (generation != Lyric.TimelineGeneration) return;
  const lyrics::Colour cue = lyrics::ColourCue(Lyric, timelineView(), position);
  if (cue != lyrics::Colour::Unchanged)
    Letra->setTextColour(cue == lyrics::Colour::Yellow ? widgets::kYellow : widgets::kSilver);
}

void TForm1::LetraMouseUp(int y) {
  if (!lyrics::LineJumpAllowed(MediaPlayer->isPlaying(), MediaPlayer->position(), MediaPlayer->length())) return;
  MediaPlayer->pause();
  const lyrics::JumpTarget target = lyrics::WalkToClickedLine(Lyric, timelineView(), y, LineHeight);
  if (target.valid) MediaPlayer->seek(target.time);
  ResetLyricPanel();
  MediaPlayer->play();
  ApplyTempo();
  emit jumped();
}

void TForm1::ToclipbClick() {
  if (!Lyric.HasLyrics) return;
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  const std::string bytes = lyrics::ClipboardText(Song.TitleBytes[0], Song.TitleBytes[1], MemoText.lines());
  clipboard->setText(QString::fromStdU16String(MemoText.decode(bytes)));
  showMessage("Lyrics sent to the clipBoard. Just \"paste\" them to any text editor!", "Lyrics Saved");
}

lyrics::TimelineView TForm1::timelineView() const {
  if (Song.ReaderLyrics) {
    return lyrics::TimelineView(Song.ReaderTimeline, Song.ReaderTimeline.Bytes.data(),
                                static_cast<int>(Song.ReaderTimeline.Bytes.size()))
        .JoinedAsWritten();
  }
  return lyrics::TimelineView(Song.Timeline, Song.Buffer.SongBuffer.data(), std::max(0, Song.Buffer.SongBytes));
}

void TForm1::setMemoLines(const std::vector<std::string>& lines, const lyrics::TextDecoder& decoder) {
  MemoText = lyrics::MemoText(lines, decoder);
  Letra->showText(QString::fromStdU16String(MemoText.displayText()));
}

// Selections arrive in the memo positions the lyric rules count in (bytes,
// a line break as two); the memo shows decoded characters.
void TForm1::selectMemoRange(int start, int length) {
  const auto [from, to] = MemoText.toDisplayRange(start, length);
  Letra->selectRange(from, to);
}

}  // namespace melvar::app
