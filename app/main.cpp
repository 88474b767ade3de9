// Program entry: the application titled "Melvar", its one main window, and
// the event loop until the window closes.
#include <QApplication>
#include <QMessageBox>
#include <exception>
#include <iostream>

#include "platform/device/media_device.h"
#include "platform/session/quit_signals.h"
#include "platform/system/program_info.h"
#include "media_controls.h"
#include "tform1.h"

namespace {

// An error that a handler does not catch ends that handler and is shown in
// the error box; the program goes on with the next event.
class MelvarApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      QMessageBox::critical(nullptr, "Melvar", QString::fromLocal8Bit(e.what()));
    } catch (...) {
      QMessageBox::critical(nullptr, "Melvar", "Unexpected error");
    }
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (auto code = melvar::platform::RunInformationOption(argc, argv, std::cout)) return *code;
  MelvarApplication app(argc, argv);
  QApplication::setApplicationName("Melvar");
  // Installed before the audio output starts, so a logout or Ctrl+C closes
  // the window the normal way.
  melvar::session::QuitSignals quitSignals;
  QGuiApplication::setDesktopFileName(melvar::platform::kApplicationId);
  QStringList args = QApplication::arguments();
  args.removeFirst();
  melvar::device::MediaDevice device;
  melvar::app::TForm1 form(device, args);
  QObject::connect(&quitSignals, &melvar::session::QuitSignals::quitRequested, &form, &QWidget::close);
  // The desktop's media controls; without a session bus the player simply
  // runs without them.
  melvar::app::MediaControls controls(form);
  melvar::dbus::MprisService mediaService(controls);
  mediaService.start();
  QObject::connect(form.Timer1, &QTimer::timeout, &mediaService, &melvar::dbus::MprisService::notifyChanged);
  QObject::connect(&form, &melvar::app::TForm1::jumped, &mediaService, &melvar::dbus::MprisService::notifySeeked);
  form.show();
  device.preload();  // the SoundFont loads in the background from here on
  return app.exec();
}
