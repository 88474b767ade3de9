// The media-player service on a private session bus, driven by a client
// connection (and once by dbus-send, as a desktop's own tools would), with a
// fake player that records what reaches it.
#include "platform/dbus/mpris_service.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QProcess>
#include <QTest>
#include <functional>
#include <memory>
#include <vector>

#include "dbus_session.h"

namespace melvar::dbus {
namespace {

const QString kPath = QString::fromLatin1(MprisService::kObjectPath);
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
const QString kProps = QStringLiteral("org.freedesktop.DBus.Properties");

class FakePlayer : public MprisPlayer {
 public:
  MprisState now;
  int64_t position = 0;
  bool opens = true;
  QStringList calls;

  MprisState state() const override { return now; }
  int64_t positionMicros() const override { return position; }
  void play() override { calls << "play"; }
  void pause() override { calls << "pause"; }
  void stop() override { calls << "stop"; }
  void next() override { calls << "next"; }
  void setPositionMicros(int64_t micros) override {
    calls << QStringLiteral("seek %1").arg(micros);
    position = micros;
  }
  bool openFile(const QString& path) override {
    calls << "open " + path;
    return opens;
  }
  void raise() override { calls << "raise"; }
  void quit() override { calls << "quit"; }
};

MprisState PlayingSong() {
  MprisState s;
  s.status = PlaybackStatus::Playing;
  s.track.path = "/songs/Amazing Grace.kar";
  s.track.titles = {"Amazing Grace", ""};
  s.track.lengthMicros = 180'000'000;
  s.track.lyricLines = {"Amazing grace, how sweet the sound", "That saved a wretch like me"};
  s.track.bpm = 90;
  s.canPlay = s.canPause = s.canSeek = s.canGoNext = true;
  return s;
}

// Records the signals the service sends.
class SignalLog : public QObject {
  Q_OBJECT
 public:
  std::vector<QDBusMessage> messages;
 public slots:
  void record(const QDBusMessage& message) { messages.push_back(message); }
};

class MprisServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!bus_.ok()) GTEST_SKIP() << bus_.error().toStdString();
    player_.now = PlayingSong();
    player_.position = 10'000'000;
    service_ = std::make_unique<MprisService>(player_);
    QString error;
    ASSERT_TRUE(service_->start(bus_.connect("service"), &error)) << error.toStdString();
    client_ = std::make_unique<QDBusConnection>(bus_.connect("client"));
    ASSERT_TRUE(client_->isConnected());
  }

  // A method call from the client, answered while the event loop runs (the
  // service lives on this same thread).
  QDBusMessage call(const QString& interface, const QString& method, const QVariantList& args = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(service_->busName(), kPath, interface, method);
    message.setArguments(args);
    QDBusPendingCall pending = client_->asyncCall(message, 5000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return pending.isFinished(); }, 5000)) << method.toStdString();
    return pending.reply();
  }

  QVariant property(const QString& interface, const QString& name) {
    const QDBusMessage reply = call(kProps, "Get", {interface, name});
    if (reply.type() != QDBusMessage::ReplyMessage) return {};
    return reply.arguments().value(0).value<QDBusVariant>().variant();
  }

  QVariantMap metadata() { return qdbus_cast<QVariantMap>(property(kPlayer, "Metadata")); }

  // Subscribes `log` to a signal of the service; a round trip afterwards
  // makes sure the bus has the subscription before the test goes on.
  void listen(const QString& interface, const QString& name, SignalLog& log) {
    ASSERT_TRUE(client_->connect(QString(), kPath, interface, name, &log, SLOT(record(QDBusMessage))));
    property(kRoot, "Identity");
  }

  // Lets queued signals arrive.
  void settle() {
    property(kRoot, "Identity");
    QTest::qWait(50);
  }

  melvar::test::DBusSession bus_;
  FakePlayer player_;
  std::unique_ptr<MprisService> service_;
  std::unique_ptr<QDBusConnection> client_;
};

// What a non-Qt client reads, with the wire types the interface prescribes
// (int64 length and position, an object path as trackid, a file URL).
TEST_F(MprisServiceTest, DBusSendReadsIdentityAndTheSongWithTheirWireTypes) {
  auto getAll = [&](const QString& interface) {
    QProcess send;
    send.start("dbus-send", {"--bus=" + bus_.address(), "--print-reply", "--dest=" + service_->busName(),
                             kPath, "org.freedesktop.DBus.Properties.GetAll", "string:" + interface});
    EXPECT_TRUE(QTest::qWaitFor([&] { return send.state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(send.exitCode(), 0) << send.readAllStandardError().toStdString();
    return QString::fromUtf8(send.readAllStandardOutput()).simplified();
  };
  const QString root = getAll(kRoot);
  for (const char* expected : {R"("Identity" variant string "Melvar")",
                               R"("DesktopEntry" variant string "org.example.Melvar")",
                               R"("CanQuit" variant boolean true)", R"("CanRaise" variant boolean true)",
                               R"("HasTrackList" variant boolean false)",
                               R"(string "audio/midi" string "audio/x-midi" string "audio/mpeg" string "audio/x-wav" string "audio/vnd.wave")"}) {
    EXPECT_TRUE(root.contains(expected)) << expected << "\nin: " << root.toStdString();
  }
  const QString song = getAll(kPlayer);
  for (const char* expected :
       {R"("PlaybackStatus" variant string "Playing")",
        R"("mpris:trackid" variant object path "/org/example/Melvar/track/1")",
        R"("mpris:length" variant int64 180000000)", R"("xesam:title" variant string "Amazing Grace")",
        R"("xesam:url" variant string "file:///songs/Amazing%20Grace.kar")",
        R"("xesam:asText" variant string "Amazing grace, how sweet the sound That saved a wretch like me")",
        R"("xesam:audioBPM" variant int32 90)", R"("Position" variant int64 10000000)",
        R"("CanSeek" variant boolean true)", R"("CanGoPrevious" variant boolean false)",
        R"("CanControl" variant boolean true)", R"("Rate" variant double 1)"}) {
    EXPECT_TRUE(song.contains(expected)) << expected << "\nin: " << song.toStdString();
  }
}

struct MethodCase {
  const char* name;
  std::function<void(MprisState&, int64_t& position)> setUp;  // from a playing song at 10 s
  QString method;
  QVariantList args;
  QStringList expectedCalls;
};

TEST_F(MprisServiceTest, MethodsReachThePlayerOnlyWhenTheStateAllowsThem) {
  const auto nothing = [](MprisState&, int64_t&) {};
  const auto paused = [](MprisState& s, int64_t&) { s.status = PlaybackStatus::Paused; s.canPause = false; };
  const auto stoppedNoSong = [](MprisState& s, int64_t&) {
    s = MprisState();
    s.canPlay = s.canGoNext = true;
  };
  const auto emptyList = [](MprisState& s, int64_t&) { s = MprisState(); };
  const QVariant track = "the current trackid";  // put in at the call
  const QVariant staleTrack = QVariant::fromValue(QDBusObjectPath("/org/example/Melvar/track/999"));
  const std::vector<MethodCase> cases = {
      {"PlayPause pauses a playing song", nothing, "PlayPause", {}, {"pause"}},
      {"PlayPause resumes a paused song", paused, "PlayPause", {}, {"play"}},
      {"Play while playing does nothing", nothing, "Play", {}, {}},
      {"Play with no song starts the list", stoppedNoSong, "Play", {}, {"play"}},
      {"Pause without a song does nothing", stoppedNoSong, "Pause", {}, {}},
      {"Play on an empty list does nothing", emptyList, "Play", {}, {}},
      {"Stop", nothing, "Stop", {}, {"stop"}},
      {"Next", nothing, "Next", {}, {"next"}},
      {"Next on an empty list does nothing", emptyList, "Next", {}, {}},
      {"Previous does nothing", nothing, "Previous", {}, {}},
      {"Seek forward", nothing, "Seek", {qlonglong(5'000'000)}, {"seek 15000000"}},
      {"Seek before the start goes to 0", nothing, "Seek", {qlonglong(-20'000'000)}, {"seek 0"}},
      {"Seek past the end takes the next song", nothing, "Seek", {qlonglong(175'000'000)}, {"next"}},
      {"Seek without a song does nothing", stoppedNoSong, "Seek", {qlonglong(1'000'000)}, {}},
      {"SetPosition", nothing, "SetPosition", {track, qlonglong(30'000'000)}, {"seek 30000000"}},
      {"SetPosition on another song is ignored", nothing, "SetPosition", {staleTrack, qlonglong(30'000'000)}, {}},
      {"SetPosition past the end is ignored", nothing, "SetPosition", {track, qlonglong(181'000'000)}, {}},
      {"SetPosition before the start is ignored", nothing, "SetPosition", {track, qlonglong(-1)}, {}},
      {"OpenUri of a local file", nothing, "OpenUri", {"file:///music/Song%20One.kar"}, {"open /music/Song One.kar"}},
      {"OpenUri of a web address is refused", nothing, "OpenUri", {"https://example.org/song.mid"}, {}},
  };
  for (const MethodCase& c : cases) {
    SCOPED_TRACE(c.name);
    player_.now = PlayingSong();
    player_.position = 10'000'000;
    c.setUp(player_.now, player_.position);
    service_->notifyChanged();
    player_.calls.clear();
    QVariantList args = c.args;
    if (!args.isEmpty() && args[0] == track) args[0] = QVariant::fromValue(QDBusObjectPath(service_->trackId()));
    const QDBusMessage reply = call(kPlayer, c.method, args);
    EXPECT_EQ(player_.calls.join(", ").toStdString(), c.expectedCalls.join(", ").toStdString());
    if (c.args.value(0).toString().startsWith("https:")) {
      EXPECT_EQ(reply.errorName(), "org.freedesktop.DBus.Error.NotSupported");
    } else {
      EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    }
  }

  // A file the player refuses comes back as an error; Raise and Quit reach it.
  player_.opens = false;
  player_.calls.clear();
  EXPECT_EQ(call(kPlayer, "OpenUri", {"file:///music/notes.txt"}).errorName(),
            "org.freedesktop.DBus.Error.InvalidArgs");
  call(kRoot, "Raise");
  call(kRoot, "Quit");
  EXPECT_TRUE(QTest::qWaitFor([&] { return player_.calls.contains("quit"); }, 2000));
  EXPECT_EQ(player_.calls.join(", ").toStdString(), "open /music/notes.txt, raise, quit");
}

TEST_F(MprisServiceTest, AnnouncesWhatChangedAndEverySeek) {
  SignalLog changes, seeks;
  listen(kProps, "PropertiesChanged", changes);
  listen(kPlayer, "Seeked", seeks);
  const QString firstTrack = metadata().value("mpris:trackid").value<QDBusObjectPath>().path();

  // Nothing changed: nothing is sent.
  service_->notifyChanged();
  settle();
  EXPECT_TRUE(changes.messages.empty());

  // Paused: only the status and what it allows.
  player_.now.status = PlaybackStatus::Paused;
  player_.now.canPause = false;
  service_->notifyChanged();
  settle();
  ASSERT_EQ(changes.messages.size(), 1u);
  EXPECT_EQ(changes.messages[0].arguments().value(0).toString(), kPlayer);
  QVariantMap changed = qdbus_cast<QVariantMap>(changes.messages[0].arguments().value(1));
  EXPECT_EQ(changed.keys(), QStringList({"CanPause", "PlaybackStatus"}));
  EXPECT_EQ(changed.value("PlaybackStatus").toString(), "Paused");

  // Another song (one without titles or lyrics, an audio file): new
  // metadata under a new trackid, the file's name as its title.
  MprisState next = PlayingSong();
  next.track = {"/songs/ode.mp3", {"", ""}, 60'000'000, {}, 0};
  player_.now = next;
  service_->notifyChanged();
  settle();
  ASSERT_EQ(changes.messages.size(), 2u);
  changed = qdbus_cast<QVariantMap>(changes.messages[1].arguments().value(1));
  const QVariantMap song = qdbus_cast<QVariantMap>(changed.value("Metadata"));
  EXPECT_EQ(song.value("xesam:title").toString(), "ode.mp3");
  EXPECT_FALSE(song.contains("xesam:asText"));
  EXPECT_FALSE(song.contains("xesam:audioBPM"));
  const QString secondTrack = song.value("mpris:trackid").value<QDBusObjectPath>().path();
  EXPECT_NE(secondTrack, firstTrack);
  EXPECT_EQ(metadata(), song);

  // A seek through the bus and a jump in the window both send Seeked with
  // the position after the move.
  call(kPlayer, "SetPosition", {QVariant::fromValue(QDBusObjectPath(secondTrack)), qlonglong(42'000'000)});
  player_.position = 7'000'000;
  service_->notifySeeked();
  settle();
  ASSERT_EQ(seeks.messages.size(), 2u);
  EXPECT_EQ(seeks.messages[0].arguments().value(0).toLongLong(), 42'000'000);
  EXPECT_EQ(seeks.messages[1].arguments().value(0).toLongLong(), 7'000'000);

  // The song closed: empty metadata, so the desktop shows no song.
  player_.now = MprisState();
  service_->notifyChanged();
  settle();
  ASSERT_EQ(changes.messages.size(), 3u);
  changed = qdbus_cast<QVariantMap>(changes.messages[2].arguments().value(1));
  EXPECT_TRUE(qdbus_cast<QVariantMap>(changed.value("Metadata")).isEmpty());
  EXPECT_EQ(changed.value("PlaybackStatus").toString(), "Stopped");
}

TEST_F(MprisServiceTest, ASecondPlayerTakesANameOfItsOwnAndNoBusIsNoError) {
  FakePlayer other;
  MprisService second(other);
  ASSERT_TRUE(second.start(bus_.connect("second")));
  EXPECT_EQ(second.busName(), QStringLiteral("org.mpris.MediaPlayer2.melvar.instance%1")
                                  .arg(QCoreApplication::applicationPid()));
  EXPECT_EQ(service_->busName(), "org.mpris.MediaPlayer2.melvar");

  MprisService offline(other);
  QString error;
  EXPECT_FALSE(offline.start(QDBusConnection(QStringLiteral("no such connection")), &error));
  EXPECT_FALSE(error.isEmpty());
  offline.notifyChanged();  // harmless without a bus
  offline.notifySeeked();
}

}  // namespace
}  // namespace melvar::dbus

#include "mpris_service_test.moc"
