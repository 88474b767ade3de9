#pragma once
// The lyric memo (the window's `Letra`): read-only, centred text whose
// selection is the syllable highlight, shown without focus. The user never
// edits or selects in it; a mouse release reports its y in the memo's own
// coordinates (line 0 at the top).
#include <QColor>
#include <QString>
#include <QLabel>
#include <QTextEdit>

namespace melvar::widgets {

class LyricMemo : public QTextEdit {
  Q_OBJECT
 public:
  explicit LyricMemo(QWidget* parent = nullptr);

  // Shows `text` (lines joined by '\n'), every line centred.
  void showText(const QString& text);
  // The lyric font's height value: positive, every line exactly that many
  // pixels tall with a font to match; negative, the font's character height
  // with its natural line height.
  void setFontHeight(int fontHeight);
  // Selects the characters [from, to); an empty range clears the highlight.
  void selectRange(int from, int to);
  // The text's colour; nothing happens when it already has it.
  void setTextColour(const QColor& colour);

 signals:
  void mouseReleased(int y);

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void formatLines();
  int fontHeight_ = 0;
};

// A label that reports mouse clicks (the window's tempo indicator).
class ClickableLabel : public QLabel {
  Q_OBJECT
 public:
  using QLabel::QLabel;
 signals:
  void clicked();
 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace melvar::widgets
