#pragma once
// The desktop's media controls (media keys, the panel's sound menu) as the
// window's own handlers: what the media-player service asks of the player,
// answered from the window's state and carried out by its handlers.
#include "platform/dbus/mpris_service.h"

namespace melvar::app {

class TForm1;

class MediaControls : public dbus::MprisPlayer {
 public:
  explicit MediaControls(TForm1& form) : form_(form) {}

  dbus::MprisState state() const override;
  int64_t positionMicros() const override;
  void play() override;
  void pause() override;
  void stop() override;
  void next() override;
  void setPositionMicros(int64_t micros) override;
  bool openFile(const QString& path) override;
  void raise() override;
  void quit() override;

 private:
  // Microseconds per device unit: a millisecond for MP3 and WAV songs, a
  // sixteenth note at the tempo the song plays at for MIDI songs.
  double microsPerUnit() const;

  TForm1& form_;
};

}  // namespace melvar::app
