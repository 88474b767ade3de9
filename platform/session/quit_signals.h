#pragma once
// SIGTERM and SIGINT (a logout, kill, Ctrl+C in a terminal) arrive as a
// signal on the UI thread, so that the window closes the normal way and its
// close handlers run. One instance per process.
#include <QObject>

class QSocketNotifier;

namespace melvar::session {

class QuitSignals : public QObject {
  Q_OBJECT
 public:
  // UI thread. Installs the handlers; they stay until the object is gone.
  explicit QuitSignals(QObject* parent = nullptr);
  ~QuitSignals() override;

 signals:
  void quitRequested();

 private:
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace melvar::session
