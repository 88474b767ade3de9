#pragma once
// A media device for window tests: the test sets its length, position, mode
// and errors, and reads back the calls it received. Nothing sounds and
// nothing waits.
#include <QFileInfo>
#include <QMetaObject>
#include <QString>
#include <QStringList>
#include <map>
#include <string>

#include "platform/device/player_device.h"

namespace melvar::test {

class FakeDevice : public device::PlayerDevice {
 public:
  // What the test plants.
  int64_t Length = 1000;
  int64_t Position = 0;
  int Bpm = 120;                        // songBpm() of an open MIDI song
  int OpenError = 0;                    // returned by every open()
  int PlayError = 0;                    // returned by every play()
  int SendError = 0;                    // returned by every sendString()
  int64_t UntilMs = -1;                 // msUntil() while playing: the device's clock
  static constexpr int kMissing = 275;   // open() of a file that is not there
  std::map<int, std::string> Texts = {{kMissing, "The specified file cannot be found or read"}};

  // What the window did, one entry per call: "open PATH", "play", "seek 450" ...
  QStringList Calls;
  std::string OpenPath;                 // the path of the last successful open

  int open(const std::string& path) override {
    Calls << QString::fromStdString("open " + path);
    if (OpenError) return fail(OpenError);
    if (!QFileInfo::exists(QString::fromStdString(path))) return fail(kMissing);
    OpenPath = path;
    mode_ = Stopped;
    Position = 0;
    return ok();
  }
  int close() override {
    Calls << "close";
    if (mode_ == Playing) endPlay(Aborted);
    mode_ = NotOpen;
    OpenPath.clear();
    return ok();
  }
  int play() override {
    Calls << "play";
    if (mode_ == NotOpen) return fail(5);
    if (PlayError) return fail(PlayError);
    mode_ = Playing;
    ++plays_;
    return ok();
  }
  int stop() override {
    Calls << "stop";
    if (mode_ == Playing) endPlay(Aborted);
    if (mode_ != NotOpen) mode_ = Stopped;
    return ok();
  }
  int pause() override {
    Calls << "pause";
    if (mode_ == Playing) {
      endPlay(Aborted);
      mode_ = Paused;
    }
    return ok();
  }
  int seek(int64_t target) override {
    Calls << QString("seek %1").arg(target);
    if (mode_ == Playing) endPlay(Aborted);
    if (mode_ != NotOpen) mode_ = Stopped;
    Position = target;
    return ok();
  }
  int64_t length() override { return mode_ == NotOpen ? 0 : Length; }
  int64_t position() override { return mode_ == NotOpen ? 0 : Position; }
  int64_t msUntil(int64_t target) override {
    UntilTarget = target;
    return mode_ == Playing ? UntilMs : -1;
  }
  int64_t UntilTarget = -1;             // the last position msUntil() was asked about
  Mode mode() override { return mode_; }
  int songBpm() override { return mode_ == NotOpen ? 0 : Bpm; }
  int lastError() const override { return lastError_; }
  std::string errorText(int code) const override {
    const auto it = Texts.find(code);
    return it != Texts.end() ? it->second : "Unknown error code";
  }
  int sendString(const std::string& command) override {
    Calls << QString::fromStdString(command);
    return SendError ? fail(SendError) : ok();
  }

  // The song plays to its end: the device stops and posts Successful.
  void finishSong() {
    Position = Length;
    endPlay(Successful);
    mode_ = Stopped;
  }
  void setMode(Mode m) { mode_ = m; }
  // The calls since the last clear, and a fresh start.
  QStringList takeCalls() {
    QStringList c = Calls;
    Calls.clear();
    return c;
  }

 private:
  int ok() { return lastError_ = 0; }
  int fail(int code) { return lastError_ = code; }
  // A play ends with one queued notice, as the real device delivers it.
  void endPlay(int notice) {
    QMetaObject::invokeMethod(this, [this, notice] { emit notify(notice); }, Qt::QueuedConnection);
  }

  Mode mode_ = NotOpen;
  int lastError_ = 0;
  int plays_ = 0;
};

}  // namespace melvar::test
