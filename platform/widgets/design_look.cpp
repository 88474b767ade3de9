#include "platform/widgets/design_look.h"

#include <QFontDatabase>
#include <QPalette>

namespace melvar::widgets {

QFont ArialFont(int pixelSize, bool bold, bool italic) {
  QFont f;
  f.setFamilies({"Liberation Sans", "Arial", "DejaVu Sans"});
  f.setPixelSize(pixelSize);
  f.setBold(bold);
  f.setItalic(italic);
  return f;
}

QFont SansFont(int pixelSize, bool bold) {
  QFont f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  f.setPixelSize(pixelSize);
  f.setBold(bold);
  f.setItalic(false);
  return f;
}

void SetBackground(QWidget* w, const QColor& colour, bool base) {
  QPalette p = w->palette();
  p.setColor(QPalette::Window, colour);
  if (base) p.setColor(QPalette::Base, colour);
  w->setPalette(p);
  w->setAutoFillBackground(true);
}

void SetTextColour(QWidget* w, const QColor& colour) {
  QPalette p = w->palette();
  p.setColor(QPalette::WindowText, colour);
  p.setColor(QPalette::Text, colour);
  p.setColor(QPalette::ButtonText, colour);
  w->setPalette(p);
}

}  // namespace melvar::widgets
