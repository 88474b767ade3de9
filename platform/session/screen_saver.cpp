#include "platform/session/screen_saver.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>

namespace melvar::session {
namespace {

constexpr const char* kService = "org.freedesktop.ScreenSaver";
constexpr const char* kPath = "/org/freedesktop/ScreenSaver";
constexpr int kTimeoutMs = 2000;

bool ServiceThere(const QDBusConnection& bus) {
  return bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(kService).value();
}

}  // namespace

ScreenSaverInhibitor::ScreenSaverInhibitor(const QString& application, const QString& reason) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!ServiceThere(bus)) return;
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, "Inhibit");
  call << application << reason;
  const QDBusReply<uint32_t> reply = bus.call(call, QDBus::Block, kTimeoutMs);
  if (reply.isValid()) cookie_ = reply.value();
}

void ScreenSaverInhibitor::release() {
  if (cookie_ == 0) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, "UnInhibit");
  call << cookie_;
  bus.call(call, QDBus::Block, kTimeoutMs);
  cookie_ = 0;
}

}  // namespace melvar::session
