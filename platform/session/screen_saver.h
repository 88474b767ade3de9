#pragma once
// Keeps the desktop's screen saver off while the player runs, through the
// session's org.freedesktop.ScreenSaver service. Without a session bus or
// without that service nothing happens and nothing is reported. Only our own
// inhibition is lifted at the end: a screen saver the user had turned off
// stays off.
#include <QString>
#include <cstdint>

namespace melvar::session {

class ScreenSaverInhibitor {
 public:
  // UI thread. Asks the service to hold the screen saver off.
  ScreenSaverInhibitor(const QString& application, const QString& reason);
  // UI thread. Lifts the hold (also done when the object goes).
  void release();
  ~ScreenSaverInhibitor() { release(); }

  bool active() const { return cookie_ != 0; }

 private:
  uint32_t cookie_ = 0;
};

}  // namespace melvar::session
