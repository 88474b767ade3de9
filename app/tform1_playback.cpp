// Song selection, start of playback, transport, tempo and song analysis:
// the window's handlers apply the playback and analysis rules to the controls
// and the media device.
#include <QApplication>
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

// A failing play is tried again on the same item at most this many times.
constexpr int kMaxPlayAttempts = 3;

std::mt19937& randomSource() {
  static std::mt19937 rng(static_cast<unsigned>(
      std::chrono::system_clock::now().time_since_epoch().count()));
  return rng;
}

}  // namespace

void TForm1::PlayNextSong() {
  MediaPlayer->close();

  // Which item: a direct request, the next one in list order, or a random pick.
  SongIndex = playback::ChooseNextItem(
      SongIndex, Embaralha->isChecked(), [this] { return Midis->count(); }, Recent,
      randomSource());

  for (int attempt = 1;; ++attempt) {
    Midis->selectIndex(SongIndex);
    if (Midis->selectedIndex() != SongIndex) {  // past the end: wrap to the first item
      SongIndex = 0;
      Midis->selectIndex(0);
    }
    SongPath = Midis->selectedFilePath();
    QString openPath;
    if (!SongPath.isEmpty() && QFileInfo(SongPath).isFile()) {
      SongExt = QString::fromStdString(playback::SongExtension(SongPath.toStdString()));
      if (playback::IsAudioExtension(SongExt.toStdString())) {
        Velocidade->hide();
        TempoOff = -1;
        Titulo1->setText(QString());
        Titulo2->setText(QString());
        HasLyrics = false;
        Letra->hide();
        DevicePath = SongPath;
      } else {
        if (SongExt == ".KAR") {
          // The sequencer picks its kind from the name, so a karaoke song is
          // played through a ".mid" copy in the temporary folder.
          DevicePath = TempSongPath;
          platform::CopySongToTemp(SongPath.toStdString(), TempSongPath.toStdString());
        } else {
          DevicePath = SongPath;
        }
        TempoOff = 0;
        readAndAnalyseSong();
      }
      openPath = DevicePath;
    } else {
      // The listed file is gone (or nothing is selected): let the device
      // report the missing file rather than reopening the previous song.
      openPath = SongPath;
    }

    // The outcome is kept here: events processed below (the lyric timer
    // among them) make further device calls that reset its last error.
    int error = MediaPlayer->open(openPath.toStdString());
    const bool opened = error == 0;
    if (!opened) {
      showDeviceError(error);
      Midis->reread();
      QCoreApplication::processEvents();
    } else {
      error = MediaPlayer->play();
    }

    Toclipb->setVisible(HasLyrics);
    setOuterHeight(HasLyrics ? FullHeight : Cpright->y() + 60);

    if (error == 0) break;
    if (opened && (attempt >= kMaxPlayAttempts || Midis->selectedIndex() < 0)) {
      // One message for a play that keeps failing, then stop trying.
      showDeviceError(error);
      return;
    }
    if (Midis->selectedIndex() < 0) return;
  }

  Tocado->setMaximum(static_cast<int>(std::min<int64_t>(MediaPlayer->length(), INT32_MAX)));
  platform::WriteProfileString(settingsPath_.toStdString(), "MELVAR", "LASTPATH",
                               Midis->currentFolder().toStdString());
  setWindowTitle("Melvar 1.0: [" + SongPath + "]");
}

// Reads the first bytes of a MIDI or karaoke song and analyses them.
void TForm1::readAndAnalyseSong() {
  Song.SongBytes = analysis::ReadSongStart(SongPath.toStdString(), Song);
  if (Song.SongBytes > 300) {
    HasLyrics = AnalyseSong();
    Letra->setVisible(HasLyrics);
    Titulo1->setVisible(!Titulo1->text().isEmpty());
    Titulo2->setVisible(!Titulo2->text().isEmpty());
    QCoreApplication::processEvents();
  } else {
    // Unreadable or too short to hold lyrics: nothing of the previous song's
    // lyrics or titles may stay on screen.
    clearLyricState();
  }
}

void TForm1::clearLyricState() {
  HasLyrics = false;
  LongestLine = 0;
  Letra->hide();
  Titulo1->setText(QString());
  Titulo2->setText(QString());
  Titulo1->hide();
  Titulo2->hide();
}

void TForm1::MidisClick() {
  SongIndex = Midis->selectedIndex() - 30001;
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
}

void TForm1::BitBtn2Click() {
  if (!MediaPlayer->isPlaying()) return;
  if (MediaPlayer->position() <= MediaPlayer->length() / 100) return;
  MediaPlayer->pause();
  const int64_t length = MediaPlayer->length();
  const int64_t p = MediaPlayer->position();
  MediaPlayer->seek(playback::ForwardTarget(p, length));
  MediaPlayer->play();
  ApplyTempo();
}

void TForm1::ScrollTempoChange(int position) { WantedBpm = position; }

void TForm1::IndTempoClick() { ScrollTempo->setValue(DefaultBpm); }

void TForm1::MediaPlayerNotify(int value) {
  if (playback::StartsNextSong(value, SongExt.toStdString())) PlayNextSong();
}

void TForm1::ApplyTempo() {
  if (!MediaPlayer->isPlaying() || TempoOff != 0) return;
  const std::string command =
      playback::TempoCommand(DevicePath.toStdString(), IndTempo->text().toStdString());
  const int error = MediaPlayer->sendString(command);
  if (error != 0) {
    // The device's text, as much of it as a 128-character buffer holds.
    showMessage(QString::fromStdString(MediaPlayer->errorText(error)).left(127));
  }
}

bool TForm1::AnalyseSong() {
  LongestLine = 0;
  Letra->hide();
  setMemoLines({});
  memoHoldsLyrics_ = false;
  Titulo1->setText(QString());
  Titulo2->setText(QString());
  TitleBytes[0].clear();
  TitleBytes[1].clear();
  // The syllable texts point into the buffer just read: any timeline from
  // before is stale from here on.
  lyrics::NoteNewTimeline(Lyric);

  const analysis::AnalysisOutcome out = analysis::AnalyseSong(Song, Timeline);

  if (out.tempo) {
    TempoMicros = out.tempo->TempoMicros;
    DefaultBpm = out.tempo->DefaultBpm;
    // Range and position together, whatever range the previous song left.
    ScrollTempo->setRange(out.tempo->ScrollMin, out.tempo->ScrollMax);
    ScrollTempo->setValue(out.tempo->ScrollPosition);
    Velocidade->show();
    IndTempo->setText(QString::number(DefaultBpm));
    AppliedBpm = DefaultBpm;
    WantedBpm = DefaultBpm;
  }
  if (out.division) Division = *out.division;

  const lyrics::TextDecoder decoder = lyrics::TextDecoder::ForSong(out.title1, out.title2, out.lines);
  TitleBytes[0] = out.title1;
  TitleBytes[1] = out.title2;
  Titulo1->setText(QString::fromStdU16String(decoder.decode(out.title1)));
  Titulo2->setText(QString::fromStdU16String(decoder.decode(out.title2)));
  if (!out.result) return false;

  LongestLine = out.longestLine;
  setMemoLines(out.lines);
  memoHoldsLyrics_ = true;
  lyrics::NoteNewTimeline(Lyric);
  emit lyricTimelineReady();
  return true;
}

void TForm1::showDeviceError(int code) {
  showMessage(QString::fromStdString(MediaPlayer->errorText(code)));
}

// Sets the window's outer height (frame included, as far as the window
// system has told us the frame).
void TForm1::setOuterHeight(int outer) {
  const int frame = std::max(0, frameGeometry().height() - height());
  setFixedHeight(std::max(1, outer - frame));
}

}  // namespace melvar::app
