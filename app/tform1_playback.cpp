// Song selection, start of playback, transport, tempo and song analysis:
// the window's handlers apply the playback and analysis rules to the
// controls and the media device.
#include <QCoreApplication>
#include <QFileInfo>
#include <algorithm>
#include <chrono>
#include <random>

#include "platform/device/player_device.h"
#include "platform/system/settings_file.h"
#include "platform/system/temp_song.h"
#include "platform/widgets/song_list.h"
#include "tform1.h"

namespace melvar::app {
namespace {

std::mt19937& randomSource() {
  static std::mt19937 rng(static_cast<unsigned>(
      std::chrono::system_clock::now().time_since_epoch().count()));
  return rng;
}

}  // namespace

void TForm1::PlayNextSong() {
  MediaPlayer->close();
  Song.SongIndex = playback::ChooseNextItem(
      Song.SongIndex, Embaralha->isChecked(), [this] { return Midis->count(); }, Song.Recent,
      randomSource());

  for (int attempt = 1;; ++attempt) {
    Midis->selectIndex(Song.SongIndex);
    Song.SongIndex = playback::IndexAfterSelect(Song.SongIndex, Midis->selectedIndex());
    if (Song.SongIndex == 0) Midis->selectIndex(0);
    Song.SongPath = Midis->selectedFilePath();
    const playback::SongStart start = playback::PlanSongStart(
        Song.SongPath.toStdString(), !Song.SongPath.isEmpty() && QFileInfo(Song.SongPath).isFile(),
        Song.TempSongPath.toStdString());
    if (!prepareSong(start)) return;

    // The outcome is kept here: events processed below (the lyric timer
    // among them) make further device calls that reset its last error.
    int error = MediaPlayer->open(start.fileExists ? Song.DevicePath.toStdString() : start.devicePath);
    if (error == device::PlayerDevice::kOpenInterrupted) return;
    const bool opened = error == 0;
    if (!opened) {
      showMessage(QString::fromStdString(MediaPlayer->errorText(error)));
      Midis->reread();
      QCoreApplication::processEvents();
    } else {
      // A MIDI song whose first bytes hold no tempo plays at the tempo the
      // device found in it; the tempo control offers that one.
      if (start.fileExists && start.readSong && Song.TempoMicros == 0)
        setUpTempoControl(analysis::TempoSetupFor(0, MediaPlayer->songBpm()));
      error = MediaPlayer->play();
    }

    Toclipb->setVisible(Lyric.HasLyrics);
    setOuterHeight(playback::WindowHeightFor(Lyric.HasLyrics, fullHeight(), Cpright->y()));

    const playback::AfterAttempt next =
        playback::AfterAttemptWith(error, opened, attempt, Midis->selectedIndex() >= 0);
    if (next.showError) showMessage(QString::fromStdString(MediaPlayer->errorText(error)));
    if (next.result == playback::AttemptResult::GiveUp) return;
    if (next.result == playback::AttemptResult::Started) break;
  }

  Tocado->setMaximum(static_cast<int>(std::min<int64_t>(MediaPlayer->length(), INT32_MAX)));
  platform::WriteProfileString(settingsPath_.toStdString(), "MELVAR", "LASTPATH",
                               Midis->currentFolder().toStdString());
  setWindowTitle("Melvar 1.0: [" + Song.SongPath + "]");
}

// Puts the chosen song in place for the device: the song state, the
// temporary copy of a karaoke song, the analysis of a MIDI song. False when
// the song cannot be played and the start ends here.
bool TForm1::prepareSong(const playback::SongStart& start) {
  if (!start.fileExists) return true;  // the device reports the missing file
  Song.SongExt = QString::fromStdString(start.songExt);
  Song.DevicePath = QString::fromStdString(start.devicePath);
  Song.TempoOff = start.tempoOff;
  Song.TempoMicros = 0;
  if (!start.readSong) {
    Velocidade->hide();
    clearLyricState();
    return true;
  }
  if (start.copyToTemp) {
    // The copy of the song before is removed first, so that a copy that
    // cannot be made never leaves the device an older song to play.
    std::string why;
    platform::DeleteTempSong(Song.DevicePath.toStdString());
    if (!platform::CopySongToTemp(Song.SongPath.toStdString(), Song.DevicePath.toStdString(), &why)) {
      clearLyricState();
      showMessage(QString("The song cannot be prepared for playing: %1").arg(QString::fromStdString(why)));
      return false;
    }
  }
  readAndAnalyseSong();
  return true;
}

// Reads the first bytes of a MIDI or karaoke song and analyses them.
void TForm1::readAndAnalyseSong() {
  analysis::ReadSongStart(Song.SongPath.toStdString(), Song.Buffer);
  if (!playback::WorthAnalysing(Song.Buffer.SongBytes)) {
    // Unreadable or too short to hold lyrics: nothing of the previous song's
    // lyrics or titles may stay on screen.
    clearLyricState();
    return;
  }
  Lyric.HasLyrics = AnalyseSong();
  Letra->setVisible(Lyric.HasLyrics);
  Titulo1->setVisible(!Titulo1->text().isEmpty());
  Titulo2->setVisible(!Titulo2->text().isEmpty());
  QCoreApplication::processEvents();
}

void TForm1::clearLyricState() {
  Lyric.HasLyrics = false;
  Song.LongestLine = 0;
  Letra->hide();
  for (QLabel* t : {Titulo1, Titulo2}) {
    setCaption(t, QString());
    t->hide();
  }
}

void TForm1::setUpTempoControl(const analysis::TempoSetup& tempo) {
  Song.TempoMicros = tempo.TempoMicros;
  Song.DefaultBpm = tempo.DefaultBpm;
  // Range and position together, whatever range the previous song left.
  ScrollTempo->setRange(tempo.ScrollMin, tempo.ScrollMax);
  ScrollTempo->setValue(tempo.ScrollPosition);
  Velocidade->show();
  setCaption(IndTempo, QString::number(Song.DefaultBpm));
  Song.AppliedBpm = Song.DefaultBpm;
  Song.WantedBpm = Song.DefaultBpm;
}

void TForm1::MidisClick() {
  Song.SongIndex = Midis->selectedIndex() - playback::kDirectRequestBase;
  PlayNextSong();
}

void TForm1::EmbaralhaClick() {
  platform::WriteProfileString(settingsPath_.toStdString(), "MELVAR", "SHUFFLE",
                               Embaralha->isChecked() ? "1" : "0");
}

void TForm1::Button1Click() {
  if (MediaPlayer->isPlaying()) MediaPlayer->stop();
}

void TForm1::BitBtn1Click() {
  if (!MediaPlayer->isPlaying()) return;
  MediaPlayer->seek(playback::BackwardTarget(MediaPlayer->position(), MediaPlayer->length()));
  MediaPlayer->play();
  ResetLyricPanel();
  emit jumped();
}

void TForm1::BitBtn2Click() {
  if (!MediaPlayer->isPlaying()) return;
  if (!playback::ForwardAllowed(MediaPlayer->position(), MediaPlayer->length())) return;
  MediaPlayer->pause();
  MediaPlayer->seek(playback::ForwardTarget(MediaPlayer->position(), MediaPlayer->length()));
  MediaPlayer->play();
  ApplyTempo();
  emit jumped();
}

void TForm1::ScrollTempoChange(int position) { Song.WantedBpm = position; }

void TForm1::IndTempoClick() { ScrollTempo->setValue(Song.DefaultBpm); }

void TForm1::MediaPlayerNotify(int value) {
  if (playback::StartsNextSong(value, Song.SongExt.toStdString())) PlayNextSong();
}

void TForm1::ApplyTempo() {
  if (!MediaPlayer->isPlaying() || Song.TempoOff != 0) return;
  const int error = MediaPlayer->sendString(
      playback::TempoCommand(Song.DevicePath.toStdString(), IndTempo->text().toStdString()));
  // The device's text, as much of it as a 128-character buffer holds.
  if (error != 0) showMessage(QString::fromStdString(MediaPlayer->errorText(error)).left(127));
}

bool TForm1::AnalyseSong() {
  Song.LongestLine = 0;
  Letra->hide();
  setMemoLines({});
  memoHoldsLyrics_ = false;
  // The syllable texts point into the buffer just read: any timeline from
  // before is stale from here on.
  lyrics::NoteNewTimeline(Lyric);

  // The soft-karaoke walk over the bytes read, and the lyric reader over the
  // whole file when the walk finds no lyrics.
  analysis::SongLyrics sung = analysis::AnalyseSongLyrics(Song.SongPath.toStdString(), Song.Buffer, Song.Timeline);
  const analysis::AnalysisOutcome& out = sung.walk;
  Song.ReaderLyrics = sung.source == analysis::LyricSource::Reader;
  Song.ReaderTimeline = std::move(sung.reader.timeline);
  if (out.tempo) setUpTempoControl(*out.tempo);
  if (out.division) Song.Division = *out.division;

  const lyrics::TextDecoder decoder = lyrics::TextDecoder::ForSong(sung.title1, sung.title2, sung.lines);
  Song.TitleBytes[0] = sung.title1;
  Song.TitleBytes[1] = sung.title2;
  setCaption(Titulo1, QString::fromStdU16String(decoder.decode(sung.title1)));
  setCaption(Titulo2, QString::fromStdU16String(decoder.decode(sung.title2)));
  if (sung.source == analysis::LyricSource::None) return false;

  Song.LongestLine = sung.longestLine;
  setMemoLines(sung.lines, decoder);
  memoHoldsLyrics_ = true;
  ResetLyricPanel();
  return true;
}

// Sets the window's outer height (frame included, as far as the window
// system has told us the frame).
void TForm1::setOuterHeight(int outer) {
  const int frame = std::max(0, frameGeometry().height() - height());
  setFixedHeight(std::max(1, outer - frame));
}

// The outer height the window was created with. The window manager adds
// its frame only once the window is shown, so the frame is counted in the
// first time it is known.
int TForm1::fullHeight() {
  const int frame = frameGeometry().height() - height();
  if (!fullHeightFramed_ && frame > 0) {
    Song.FullHeight += frame;
    fullHeightFramed_ = true;
  }
  return Song.FullHeight;
}

}  // namespace melvar::app
