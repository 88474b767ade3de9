#pragma once
// A private D-Bus session bus for a test: its own dbus-daemon, started by the
// constructor and ended by the destructor (or, should the test crash, with
// the test process), so that no test touches the user's own session bus.
//
//   melvar::test::DBusSession bus;
//   if (!bus.ok()) GTEST_SKIP() << bus.error();
//   QDBusConnection service = bus.connect("service");
//   QDBusConnection client = bus.connect("client");
//
// Code that calls QDBusConnection::sessionBus() itself reaches the private
// bus once exportAddress() has run before that code's first use of the
// session bus in the process (Qt keeps the first session connection).
#include <QByteArray>
#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <csignal>
#include <sys/prctl.h>

namespace melvar::test {

class DBusSession {
 public:
  DBusSession() {
    daemon_.setProgram(QStringLiteral("dbus-daemon"));
    daemon_.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"),
                          QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
    // The daemon ends with the test process even when the test crashes.
    daemon_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    daemon_.start(QIODevice::ReadOnly);
    if (!daemon_.waitForStarted(5000)) {
      error_ = QStringLiteral("Cannot start dbus-daemon (package dbus-daemon): ") + daemon_.errorString();
      return;
    }
    while (!daemon_.canReadLine() && daemon_.waitForReadyRead(5000)) {
    }
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    if (address_.isEmpty()) error_ = QStringLiteral("dbus-daemon printed no address");
  }

  ~DBusSession() {
    for (const QString& name : names_) QDBusConnection::disconnectFromBus(name);
    if (daemon_.state() != QProcess::NotRunning) {
      daemon_.terminate();
      if (!daemon_.waitForFinished(3000)) {
        daemon_.kill();
        daemon_.waitForFinished(3000);
      }
    }
  }

  DBusSession(const DBusSession&) = delete;
  DBusSession& operator=(const DBusSession&) = delete;

  bool ok() const { return error_.isEmpty(); }
  QString error() const { return error_; }
  // The bus address, as DBUS_SESSION_BUS_ADDRESS would hold it.
  QString address() const { return address_; }

  // A new connection to the private bus, under a name unique in the process
  // (one per role: the service under test, the client that drives it).
  QDBusConnection connect(const QString& role) {
    const QString name = QStringLiteral("melvar-test-%1-%2-%3")
                             .arg(role)
                             .arg(daemon_.processId())
                             .arg(names_.size());
    names_ << name;
    return QDBusConnection::connectToBus(address_, name);
  }

  // Points DBUS_SESSION_BUS_ADDRESS at the private bus, for code and child
  // processes (dbus-send) that use the session bus.
  void exportAddress() const { qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8()); }

 private:
  QProcess daemon_;
  QString address_;
  QString error_;
  QStringList names_;
};

}  // namespace melvar::test
