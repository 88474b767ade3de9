#include "platform/dbus/screen_saver.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace melvar::dbus {
namespace {

constexpr const char* kService = "org.freedesktop.ScreenSaver";
constexpr const char* kPath = "/org/freedesktop/ScreenSaver";

}  // namespace

ScreenSaverInhibitor::ScreenSaverInhibitor(const QString& application, const QString& reason, QObject* parent)
    : QObject(parent) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, "Inhibit");
  call << application << reason;
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
    const QDBusPendingReply<uint32_t> reply = *w;
    w->deleteLater();
    if (reply.isError()) return;  // no such service: nothing to hold
    cookie_ = reply.value();
    // Closed before the answer came: the hold goes at once.
    if (released_) {
      released_ = false;
      release();
    }
  });
}

void ScreenSaverInhibitor::release() {
  released_ = true;
  if (cookie_ == 0) return;
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, "UnInhibit");
  call << cookie_;
  QDBusConnection::sessionBus().send(call);
  cookie_ = 0;
}

}  // namespace melvar::dbus
