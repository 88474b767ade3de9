#pragma once
// What the main window needs of a media device: open a song, play, stop,
// pause and seek it, ask its length, position and mode, the last error and
// its text, the tempo command string, and one end-of-play notice per play.
// MediaDevice is the real one; tests give the window a fake.
//
// Threads: every method is for the UI thread (the thread that owns the
// object); notify() is delivered there too.
//
// Units: MIDI songs in sixteenth notes, MP3 and WAV songs in milliseconds.
#include <QObject>

#include <cstdint>
#include <string>

namespace melvar::device {

class PlayerDevice : public QObject {
  Q_OBJECT

 public:
  enum Mode { NotOpen, Stopped, Playing, Paused };
  // Values of notify(): how a play ended.
  enum Notice { Successful = 1, Superseded = 2, Aborted = 4, Failure = 8 };
  // open() ended early because a close or another open came while it was
  // waiting for the song: the newer request stands, nothing to report.
  static constexpr int kOpenInterrupted = 13;

  using QObject::QObject;
  ~PlayerDevice() override = default;

  // Starts loading what songs need (the SoundFont) in the background, so
  // the first song starts at once; call it once the window is shown.
  // Returns at once with the error code; a device with nothing to load
  // returns 0.
  virtual int preload() { return 0; }

  // Each returns the error code (0 = success), also kept as the last error.
  virtual int open(const std::string& path) = 0;
  virtual int close() = 0;
  virtual int play() = 0;
  virtual int stop() = 0;
  virtual int pause() = 0;
  virtual int seek(int64_t target) = 0;

  virtual int64_t length() = 0;
  virtual int64_t position() = 0;
  // The device's clock: milliseconds until position() first reaches
  // `target` (same unit), at the tempo now in force; 0 when it has already,
  // -1 when the song is not playing or `target` lies beyond its end. The
  // window arms a single-shot timer with it for the next syllable's due
  // moment, so the highlight does not wait for the next periodic tick. A
  // device without a clock returns -1 (the periodic tick alone then runs
  // the highlight).
  virtual int64_t msUntil(int64_t target) { (void)target; return -1; }
  virtual Mode mode() = 0;
  bool isPlaying() { return mode() == Playing; }

  // The tempo, in beats per minute, that the open MIDI song plays at when no
  // tempo command changed it: its first tempo event, else 120; 0 for other
  // songs and when nothing is open.
  virtual int songBpm() = 0;

  virtual int lastError() const = 0;
  // Text for an error code; "Unknown error code" for a code the device does
  // not know.
  virtual std::string errorText(int code) const = 0;
  // The command-string interface: set "<path>" tempo <bpm> wait.
  virtual int sendString(const std::string& command) = 0;

 signals:
  // A play ended (one of Notice); delivered queued on the UI thread.
  void notify(int value);
};

}  // namespace melvar::device
