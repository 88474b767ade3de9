#pragma once
// The desktop's media controls: an MPRIS 2 service on the session bus, so
// that media keys, the panel's sound menu and tools such as playerctl can
// see and drive the player.
//
// Bus name org.mpris.MediaPlayer2.melvar (a second running Melvar takes
// org.mpris.MediaPlayer2.melvar.instance<pid>), object /org/mpris/MediaPlayer2,
// interfaces org.mpris.MediaPlayer2 and org.mpris.MediaPlayer2.Player. No
// track list, no playlists.
//
// The service knows the player only through MprisPlayer below. It asks the
// player for a snapshot (MprisState) whenever it is told that something
// changed and sends PropertiesChanged for what differs from the last
// snapshot it announced; it asks for the position when a client reads it.
//
// Threads: everything here runs on the UI thread. D-Bus calls arrive as
// events on the thread that owns the MprisService, and they call the player
// from there.
#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <cstdint>

namespace melvar::dbus {

enum class PlaybackStatus { Playing, Paused, Stopped };

// The song the player has open (the one playing, paused or stopped).
struct MprisTrack {
  QString path;               // absolute path of the song in the list (a karaoke
                              // song's own file, not its temporary copy); empty:
                              // no song open
  QStringList titles;         // the song's titles as the window shows them (the
                              // service joins the non-empty ones, or uses the
                              // file's name when there are none)
  int64_t lengthMicros = 0;   // 0 when unknown. A MIDI song's length comes from
                              // the device in sixteenth notes: at b beats per
                              // minute a sixteenth lasts 15'000'000 / b microseconds
  QStringList lyricLines;     // the lyric lines as shown; empty without lyrics
  int bpm = 0;                // the song's tempo in beats per minute; 0: none (audio files)
  bool operator==(const MprisTrack&) const = default;
};

// What the desktop sees of the player at one moment.
struct MprisState {
  PlaybackStatus status = PlaybackStatus::Stopped;
  MprisTrack track;
  bool canPlay = false;    // play() would start or resume something
  bool canPause = false;   // pause() would pause (a song is playing)
  bool canSeek = false;    // setPositionMicros() works (a song is open, its length known)
  bool canGoNext = false;  // next() would start a song (the list has songs)
  bool operator==(const MprisState&) const = default;
};

// What the window implements. Every method is called on the UI thread, from
// a D-Bus call's event, never from inside another of these methods.
class MprisPlayer {
 public:
  virtual ~MprisPlayer() = default;

  // The current snapshot. Cheap; called after each notifyChanged() and when
  // a client reads a property.
  virtual MprisState state() const = 0;
  // What is being heard now, in microseconds from the song's start (a MIDI
  // song's position converted from sixteenth notes at the tempo it plays
  // at, as lengthMicros); 0 without a song.
  virtual int64_t positionMicros() const = 0;

  // Play: resumes a paused song where it was; with a stopped song, plays it
  // from where it stands (as the device's play() does); with no song open,
  // starts the selected song of the list as a click on it would. Only called
  // when state().canPlay.
  virtual void play() = 0;
  // Pause: halts the playing song so that play() resumes it (the device's
  // pause()); the lyric panel keeps its place. Only called when canPause.
  virtual void pause() = 0;
  // Stop: what the "Stop" button does.
  virtual void stop() = 0;
  // Next: what the end of a song does (the next song in list order, or a
  // random one with "Shuffle"), at once. Only called when canGoNext.
  virtual void next() = 0;
  // Moves the open song to `micros` (0..length; the service checks the
  // range) through the same device seek and lyric rewind as the jump
  // buttons, and keeps it playing if it was playing. Only called when
  // canSeek. The service sends Seeked itself afterwards: do not call
  // notifySeeked() from here.
  virtual void setPositionMicros(int64_t micros) = 0;
  // Opens a song file as a file dropped on the window would: its folder in
  // the tree and the list, the song played at once. False (with nothing
  // changed) when the file is not a song the player plays.
  virtual bool openFile(const QString& path) = 0;
  // Brings the window to the front (un-minimised, raised, activated).
  virtual void raise() = 0;
  // Ends the program as the "Bye" button does.
  virtual void quit() = 0;
};

// The object on the bus; D-Bus calls reach it through its two adaptors.
class MprisService : public QObject, public QDBusContext {
  Q_OBJECT
 public:
  static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";
  static constexpr const char* kBusName = "org.mpris.MediaPlayer2.melvar";
  // The trackid of "no song open".
  static constexpr const char* kNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

  // `player` must outlive the service.
  explicit MprisService(MprisPlayer& player, QObject* parent = nullptr);
  ~MprisService() override;

  // Registers the object and takes the bus name on `bus` (the session bus by
  // default). Returns false, with the reason in *error when given, when
  // there is no bus or neither name can be had; the player then simply runs
  // without desktop media controls.
  bool start(const QDBusConnection& bus = QDBusConnection::sessionBus(), QString* error = nullptr);
  // The bus name taken by start(); empty before.
  QString busName() const { return busName_; }

  // The player calls this after anything in MprisState may have changed: a
  // song started, stopped, paused or resumed, a song ended, the list changed,
  // the tempo changed. Sends one PropertiesChanged with what differs from
  // the last snapshot sent; nothing when nothing differs. Cheap when called
  // too often.
  void notifyChanged();
  // The player calls this after its own jumps (the jump buttons, a click on
  // a lyric line): sends Seeked with the new position.
  void notifySeeked();

  // --- For the D-Bus adaptors. ---
  MprisPlayer& player() { return player_; }
  // The trackid of the current song: a new id for each song opened.
  QString trackId() const { return trackId_; }
  QVariantMap metadata() const;
  void seekBy(int64_t offsetMicros);
  void setPosition(const QString& trackId, int64_t micros);
  void emitSeeked();
  // Answers the D-Bus call being handled with an error instead of success.
  void refuseCall(QDBusError::ErrorType type, const QString& text);

 private:
  void adoptTrack(const MprisTrack& track);
  void sendPropertiesChanged(const QString& interface, const QVariantMap& changed);

  MprisPlayer& player_;
  QDBusConnection bus_;
  QString busName_;
  MprisState announced_;
  QString trackId_;
  uint64_t trackSerial_ = 0;
  class RootAdaptor* root_ = nullptr;
  class PlayerAdaptor* playerAdaptor_ = nullptr;
};

// The metadata map of a track, as clients read it: mpris:trackid,
// mpris:length, xesam:title, xesam:url, xesam:asText and xesam:audioBPM
// (length, lyrics and tempo only when known). Empty for no song.
QVariantMap MprisMetadata(const MprisTrack& track, const QString& trackId);

}  // namespace melvar::dbus
