#include "platform/widgets/lyric_memo.h"

#include <QMouseEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>

namespace melvar::widgets {
namespace {

// The character size that fills a line height (a sans face's line is about
// 1.15 times its character height).
int CharacterSizeForLineHeight(int lineHeight) { return std::max(1, (lineHeight * 100 + 57) / 115); }

}  // namespace

LyricMemo::LyricMemo(QWidget* parent) : QTextEdit(parent) {
  setReadOnly(true);
  setUndoRedoEnabled(false);
  setLineWrapMode(QTextEdit::NoWrap);
  setWordWrapMode(QTextOption::NoWrap);
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setTextInteractionFlags(Qt::NoTextInteraction);
  setFocusPolicy(Qt::NoFocus);  // skipped by Tab; the highlight needs no focus
  setContextMenuPolicy(Qt::NoContextMenu);
  document()->setDocumentMargin(0);
  viewport()->setCursor(Qt::PointingHandCursor);
}

void LyricMemo::showText(const QString& text) {
  setPlainText(text);
  formatLines();
}

void LyricMemo::setFontHeight(int fontHeight) {
  fontHeight_ = fontHeight;
  QFont f = font();
  f.setPixelSize(fontHeight > 0 ? CharacterSizeForLineHeight(fontHeight) : -fontHeight);
  setFont(f);
  formatLines();
}

void LyricMemo::formatLines() {
  QTextCursor c(document());
  c.select(QTextCursor::Document);
  QTextBlockFormat fmt;
  fmt.setAlignment(Qt::AlignHCenter);
  if (fontHeight_ > 0) fmt.setLineHeight(fontHeight_, QTextBlockFormat::FixedHeight);
  c.mergeBlockFormat(fmt);
}

void LyricMemo::selectRange(int from, int to) {
  QTextCursor c(document());
  c.setPosition(from);
  c.setPosition(to, QTextCursor::KeepAnchor);
  setTextCursor(c);
}

void LyricMemo::setTextColour(const QColor& colour) {
  QPalette p = palette();
  if (p.color(QPalette::Text) == colour) return;
  p.setColor(QPalette::Text, colour);
  setPalette(p);
}

void LyricMemo::mousePressEvent(QMouseEvent* event) { event->accept(); }
void LyricMemo::mouseMoveEvent(QMouseEvent* event) { event->accept(); }
void LyricMemo::mouseDoubleClickEvent(QMouseEvent* event) { event->accept(); }
void LyricMemo::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
  emit mouseReleased(qRound(event->position().y()));
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (rect().contains(event->position().toPoint())) emit clicked();
}

}  // namespace melvar::widgets
