#include "app/media_controls.h"

#include <QUrl>

#include "app/tform1.h"
#include "platform/device/player_device.h"
#include "platform/widgets/song_list.h"
#include "playback/start_up.h"

namespace melvar::app {

double MediaControls::microsPerUnit() const {
  if (form_.Song.TempoOff != 0) return 1000.0;
  return 15'000'000.0 / std::max(1, form_.Song.AppliedBpm);
}

dbus::MprisState MediaControls::state() const {
  device::PlayerDevice& device = *form_.MediaPlayer;
  const device::PlayerDevice::Mode mode = device.mode();
  dbus::MprisState s;
  s.status = mode == device::PlayerDevice::Playing  ? dbus::PlaybackStatus::Playing
             : mode == device::PlayerDevice::Paused ? dbus::PlaybackStatus::Paused
                                                    : dbus::PlaybackStatus::Stopped;
  const bool open = mode != device::PlayerDevice::NotOpen;
  if (open) {
    s.track.path = form_.Song.SongPath;
    s.track.titles = {form_.Titulo1->text(), form_.Titulo2->text()};
    s.track.lengthMicros = static_cast<int64_t>(device.length() * microsPerUnit());
    if (form_.Lyric.HasLyrics || !form_.Letra->isHidden())
      for (int i = 0; i < form_.MemoText.lineCount(); ++i)
        s.track.lyricLines << QString::fromStdU16String(form_.MemoText.lineDisplay(i));
    s.track.bpm = form_.Song.TempoOff == 0 ? form_.Song.AppliedBpm : 0;
  }
  const bool songs = form_.Midis->count() > 0;
  s.canPlay = open || songs;
  s.canPause = mode == device::PlayerDevice::Playing;
  s.canSeek = open && device.length() > 0;
  s.canGoNext = songs;
  return s;
}

int64_t MediaControls::positionMicros() const {
  return static_cast<int64_t>(form_.MediaPlayer->position() * microsPerUnit());
}

void MediaControls::play() {
  if (form_.MediaPlayer->mode() != device::PlayerDevice::NotOpen) {
    form_.MediaPlayer->play();
    form_.ApplyTempo();
    return;
  }
  if (form_.Midis->selectedIndex() < 0) form_.Midis->selectIndex(0);
  form_.MidisClick();
}

void MediaControls::pause() { form_.MediaPlayer->pause(); }

void MediaControls::stop() { form_.Button1Click(); }

void MediaControls::next() { form_.PlayNextSong(); }

void MediaControls::setPositionMicros(int64_t micros) {
  const bool playing = form_.MediaPlayer->isPlaying();
  form_.MediaPlayer->seek(static_cast<int64_t>(micros / microsPerUnit()));
  if (playing) form_.MediaPlayer->play();
  form_.ResetLyricPanel();
}

bool MediaControls::openFile(const QString& path) {
  if (!playback::DropAccepted(path.toStdString())) return false;
  form_.DropFiles({QUrl::fromLocalFile(path)});
  return true;
}

void MediaControls::raise() {
  form_.showNormal();
  form_.raise();
  form_.activateWindow();
}

void MediaControls::quit() { form_.FinalizaClick(); }

}  // namespace melvar::app
