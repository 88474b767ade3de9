#include "platform/dbus/mpris_service.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFileInfo>
#include <QMetaObject>
#include <QUrl>
#include <algorithm>

#include "platform/system/program_info.h"

namespace melvar::dbus {

namespace {

const QString kRootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

QString StatusName(PlaybackStatus status) {
  switch (status) {
    case PlaybackStatus::Playing: return QStringLiteral("Playing");
    case PlaybackStatus::Paused: return QStringLiteral("Paused");
    case PlaybackStatus::Stopped: break;
  }
  return QStringLiteral("Stopped");
}

}  // namespace

// org.mpris.MediaPlayer2: who the player is and what the desktop may ask of
// the application as a whole.
class RootAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
  Q_PROPERTY(bool CanQuit READ canQuit)
  Q_PROPERTY(bool CanRaise READ canRaise)
  Q_PROPERTY(bool HasTrackList READ hasTrackList)
  Q_PROPERTY(QString Identity READ identity)
  Q_PROPERTY(QString DesktopEntry READ desktopEntry)
  Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
  Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)

 public:
  explicit RootAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), service_(service) {}

  bool canQuit() const { return true; }
  bool canRaise() const { return true; }
  bool hasTrackList() const { return false; }
  QString identity() const { return QStringLiteral("Melvar"); }
  QString desktopEntry() const { return QString::fromLatin1(platform::kApplicationId); }
  QStringList supportedUriSchemes() const { return {QStringLiteral("file")}; }
  QStringList supportedMimeTypes() const {
    QStringList types;
    for (const std::string& type : platform::SupportedMimeTypes()) types << QString::fromStdString(type);
    return types;
  }

 public slots:
  void Raise() { service_->player().raise(); }
  // The window closes once this call has been answered.
  void Quit() {
    QMetaObject::invokeMethod(service_, [service = service_] { service->player().quit(); },
                              Qt::QueuedConnection);
  }

 private:
  MprisService* service_;
};

// org.mpris.MediaPlayer2.Player: the transport and the current song.
class PlayerAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
  Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
  Q_PROPERTY(double Rate READ rate WRITE setRate)
  Q_PROPERTY(double MinimumRate READ rate)
  Q_PROPERTY(double MaximumRate READ rate)
  Q_PROPERTY(QVariantMap Metadata READ metadata)
  Q_PROPERTY(double Volume READ volume WRITE setVolume)
  Q_PROPERTY(qlonglong Position READ position)
  Q_PROPERTY(bool CanGoNext READ canGoNext)
  Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
  Q_PROPERTY(bool CanPlay READ canPlay)
  Q_PROPERTY(bool CanPause READ canPause)
  Q_PROPERTY(bool CanSeek READ canSeek)
  Q_PROPERTY(bool CanControl READ canControl)

 public:
  explicit PlayerAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), service_(service) {}

  QString playbackStatus() const { return StatusName(current().status); }
  // The speed is the tempo control's business; through this interface it
  // stays 1.0 and writes are ignored, as the interface allows.
  double rate() const { return 1.0; }
  void setRate(double) {}
  QVariantMap metadata() const {
    current();
    return service_->metadata();
  }
  // The player has no volume control of its own.
  double volume() const { return 1.0; }
  void setVolume(double) {}
  qlonglong position() const { return std::max<int64_t>(0, service_->player().positionMicros()); }
  bool canGoNext() const { return current().canGoNext; }
  bool canGoPrevious() const { return false; }
  bool canPlay() const { return current().canPlay; }
  bool canPause() const { return current().canPause; }
  bool canSeek() const { return current().canSeek; }
  bool canControl() const { return true; }

 public slots:
  void Next() {
    if (current().canGoNext) service_->player().next();
    service_->notifyChanged();
  }
  void Previous() {}
  void Pause() {
    if (current().canPause) service_->player().pause();
    service_->notifyChanged();
  }
  void PlayPause() {
    const MprisState state = current();
    if (state.status == PlaybackStatus::Playing) {
      if (state.canPause) service_->player().pause();
    } else if (state.canPlay) {
      service_->player().play();
    }
    service_->notifyChanged();
  }
  void Stop() {
    service_->player().stop();
    service_->notifyChanged();
  }
  void Play() {
    const MprisState state = current();
    if (state.status != PlaybackStatus::Playing && state.canPlay) service_->player().play();
    service_->notifyChanged();
  }
  void Seek(qlonglong Offset) { service_->seekBy(Offset); }
  void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position) {
    service_->setPosition(TrackId.path(), Position);
  }
  void OpenUri(const QString& Uri) {
    const QUrl url(Uri);
    if (!url.isLocalFile()) {
      service_->refuseCall(QDBusError::NotSupported, QStringLiteral("Melvar opens local files only: ") + Uri);
      return;
    }
    if (!service_->player().openFile(url.toLocalFile())) {
      service_->refuseCall(QDBusError::InvalidArgs, QStringLiteral("Melvar cannot play ") + url.toLocalFile());
      return;
    }
    service_->notifyChanged();
  }

 signals:
  void Seeked(qlonglong Position);

 private:
  // The player's state as announced: a read first sends what changed, so
  // that a reader never sees a song the signals have not told about.
  MprisState current() const {
    service_->notifyChanged();
    return service_->player().state();
  }

  MprisService* service_;
};

MprisService::MprisService(MprisPlayer& player, QObject* parent)
    : QObject(parent), player_(player), bus_(QString()) {
  root_ = new RootAdaptor(this);
  playerAdaptor_ = new PlayerAdaptor(this);
  trackId_ = QString::fromLatin1(kNoTrack);
}

MprisService::~MprisService() {
  if (busName_.isEmpty()) return;
  bus_.unregisterService(busName_);
  bus_.unregisterObject(QString::fromLatin1(kObjectPath));
}

bool MprisService::start(const QDBusConnection& bus, QString* error) {
  auto fail = [error](const QString& why) {
    if (error) *error = why;
    return false;
  };
  if (!busName_.isEmpty()) return fail(QStringLiteral("The media-player service is already running"));
  if (!bus.isConnected()) {
    return fail(QStringLiteral("No session bus: ") + bus.lastError().message());
  }
  bus_ = bus;
  announced_ = player_.state();
  adoptTrack(announced_.track);
  const QString path = QString::fromLatin1(kObjectPath);
  if (!bus_.registerObject(path, this, QDBusConnection::ExportAdaptors)) {
    return fail(QStringLiteral("Cannot register ") + path + QStringLiteral(" on the session bus"));
  }
  // The plain name for the first Melvar; later ones add their process id.
  const QStringList names = {
      QString::fromLatin1(kBusName),
      QString::fromLatin1(kBusName) + QStringLiteral(".instance") +
          QString::number(QCoreApplication::applicationPid())};
  for (const QString& name : names) {
    if (bus_.registerService(name)) {
      busName_ = name;
      return true;
    }
  }
  const QString why = bus_.lastError().message();
  bus_.unregisterObject(path);
  return fail(QStringLiteral("Cannot take the bus name ") + names.front() + QStringLiteral(": ") + why);
}

void MprisService::adoptTrack(const MprisTrack& track) {
  if (track.path.isEmpty()) {
    trackId_ = QString::fromLatin1(kNoTrack);
  } else if (track.path != announced_.track.path || trackId_ == QLatin1String(kNoTrack)) {
    trackId_ = QStringLiteral("/org/example/Melvar/track/") + QString::number(++trackSerial_);
  }
}

void MprisService::notifyChanged() {
  const MprisState now = player_.state();
  if (now == announced_) return;
  QVariantMap changed;
  if (now.status != announced_.status) changed.insert(QStringLiteral("PlaybackStatus"), StatusName(now.status));
  if (now.track != announced_.track) {
    adoptTrack(now.track);
    changed.insert(QStringLiteral("Metadata"), MprisMetadata(now.track, trackId_));
  }
  const std::pair<const char*, bool MprisState::*> flags[] = {
      {"CanPlay", &MprisState::canPlay},
      {"CanPause", &MprisState::canPause},
      {"CanSeek", &MprisState::canSeek},
      {"CanGoNext", &MprisState::canGoNext}};
  for (const auto& [name, flag] : flags) {
    if (now.*flag != announced_.*flag) changed.insert(QString::fromLatin1(name), now.*flag);
  }
  announced_ = now;
  sendPropertiesChanged(kPlayerInterface, changed);
}

void MprisService::notifySeeked() { emitSeeked(); }

void MprisService::refuseCall(QDBusError::ErrorType type, const QString& text) {
  if (calledFromDBus()) sendErrorReply(type, text);
}

QVariantMap MprisService::metadata() const { return MprisMetadata(announced_.track, trackId_); }

void MprisService::seekBy(int64_t offsetMicros) {
  notifyChanged();
  if (!announced_.canSeek) return;
  const int64_t length = announced_.track.lengthMicros;
  int64_t target = std::max<int64_t>(0, player_.positionMicros()) + offsetMicros;
  if (target < 0) target = 0;
  if (length > 0 && target > length) {
    // Past the end: as if the song had ended.
    if (announced_.canGoNext) player_.next();
  } else {
    player_.setPositionMicros(target);
    emitSeeked();
  }
  notifyChanged();
}

void MprisService::setPosition(const QString& trackId, int64_t micros) {
  notifyChanged();
  // A request for another song (one that has since been replaced) or a
  // position outside the song is ignored.
  if (!announced_.canSeek || trackId != trackId_ || micros < 0) return;
  if (announced_.track.lengthMicros > 0 && micros > announced_.track.lengthMicros) return;
  player_.setPositionMicros(micros);
  emitSeeked();
  notifyChanged();
}

void MprisService::emitSeeked() {
  if (busName_.isEmpty()) return;
  emit playerAdaptor_->Seeked(std::max<int64_t>(0, player_.positionMicros()));
}

void MprisService::sendPropertiesChanged(const QString& interface, const QVariantMap& changed) {
  if (busName_.isEmpty() || changed.isEmpty()) return;
  QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kObjectPath),
                                                   QStringLiteral("org.freedesktop.DBus.Properties"),
                                                   QStringLiteral("PropertiesChanged"));
  signal << interface << changed << QStringList();
  bus_.send(signal);
}

QVariantMap MprisMetadata(const MprisTrack& track, const QString& trackId) {
  QVariantMap map;
  if (track.path.isEmpty()) return map;
  map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(trackId)));
  if (track.lengthMicros > 0) map.insert(QStringLiteral("mpris:length"), qlonglong(track.lengthMicros));
  QStringList titles;
  for (const QString& title : track.titles) {
    if (!title.trimmed().isEmpty()) titles << title.trimmed();
  }
  map.insert(QStringLiteral("xesam:title"),
             titles.isEmpty() ? QFileInfo(track.path).fileName() : titles.join(QStringLiteral(" - ")));
  map.insert(QStringLiteral("xesam:url"), QString::fromLatin1(QUrl::fromLocalFile(track.path).toEncoded()));
  if (!track.lyricLines.isEmpty()) map.insert(QStringLiteral("xesam:asText"), track.lyricLines.join('\n'));
  if (track.bpm > 0) map.insert(QStringLiteral("xesam:audioBPM"), track.bpm);
  return map;
}

}  // namespace melvar::dbus

#include "mpris_service.moc"
