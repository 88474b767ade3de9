#pragma once
// Keeps the desktop's screen saver off while the player runs, through the
// session's org.freedesktop.ScreenSaver service. Without a session bus or
// without that service nothing happens and nothing is reported. Only our own
// hold is lifted at the end: a screen saver the user had turned off stays
// off. The calls never wait: a slow or hung session bus cannot hold up the
// window.
#include <QObject>
#include <QString>
#include <cstdint>

namespace melvar::dbus {

class ScreenSaverInhibitor : public QObject {
  Q_OBJECT
 public:
  // UI thread. Asks the service to hold the screen saver off.
  ScreenSaverInhibitor(const QString& application, const QString& reason, QObject* parent = nullptr);
  ~ScreenSaverInhibitor() override { release(); }
  // UI thread. Lifts the hold, once it has been granted.
  void release();

 private:
  uint32_t cookie_ = 0;
  bool released_ = false;
};

}  // namespace melvar::dbus
