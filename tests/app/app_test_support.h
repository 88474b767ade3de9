#pragma once
// Test fixtures for window tests: a private settings folder so the tests never
// touch the user's MELVAR.INI.
#include <QString>
#include <QTemporaryDir>
#include <cstdlib>
#include <ostream>
#include <string>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace melvar::test {

class IsolatedSettings {
 public:
  IsolatedSettings() {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    if (old) old_ = old, hadOld_ = true;
    setenv("XDG_CONFIG_HOME", dir_.path().toLocal8Bit().constData(), 1);
  }
  ~IsolatedSettings() {
    if (hadOld_) setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
    else unsetenv("XDG_CONFIG_HOME");
  }
  QString path() const { return dir_.path(); }

 private:
  QTemporaryDir dir_;
  std::string old_;
  bool hadOld_ = false;
};

}  // namespace melvar::test
