#pragma once
// The look of the window's design on this desktop: stand-ins for the fonts
// it names, its colours, and small setters for a control's colours.
#include <QColor>
#include <QFont>
#include <QWidget>

namespace melvar::widgets {

inline const QColor kNavy(0, 0, 128);
inline const QColor kMaroon(128, 0, 0);
inline const QColor kSilver(192, 192, 192);
inline const QColor kYellow(255, 255, 0);
inline const QColor kSkyBlue(166, 202, 240);
inline const QColor kBlue(0, 0, 255);

// "Arial" at a pixel size: Liberation Sans, else DejaVu Sans.
QFont ArialFont(int pixelSize, bool bold, bool italic = false);
// "System" and "Small Fonts": the desktop's sans face at a pixel size.
QFont SansFont(int pixelSize, bool bold);
// A filled background (and text field base, unless `base` is false).
void SetBackground(QWidget* w, const QColor& colour, bool base = true);
// Every kind of text the control draws.
void SetTextColour(QWidget* w, const QColor& colour);

// Names a control (its objectName) and puts it at its design place.
template <typename W>
W* Placed(W* w, const char* name, int left, int top, int width, int height) {
  w->setObjectName(QString::fromLatin1(name));
  w->setGeometry(left, top, width, height);
  return w;
}

}  // namespace melvar::widgets
