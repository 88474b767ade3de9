// melvar-inspect over every song of the shared corpus: one valid JSON line
// per file, and the facts known of some songs.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <map>

#include "test_support.h"

namespace {

struct InspectRun {
  int exitCode = -1;
  QList<QByteArray> lines;
};

InspectRun Inspect(const QStringList& files) {
  QProcess p;
  p.start(QStringLiteral(MELVAR_BINARY_DIR "/melvar-inspect"), QStringList{"--json"} + files);
  InspectRun r;
  if (!p.waitForFinished(120000)) return r;
  r.exitCode = p.exitCode();
  r.lines = p.readAllStandardOutput().split('\n');
  if (!r.lines.isEmpty() && r.lines.back().isEmpty()) r.lines.pop_back();
  return r;
}

QStringList CorpusSongs() {
  QStringList files;
  const QString root = QString::fromStdString(melvar::test::CorpusDir());
  for (const char* sub : {"kar", "mid", "mp3", "wav"})
    for (const QFileInfo& f : QDir(root + "/" + sub).entryInfoList(QDir::Files, QDir::Name))
      files << f.absoluteFilePath();
  return files;
}

TEST(InspectCorpus, OneValidJsonLinePerSong) {
  const QStringList files = CorpusSongs();
  if (files.isEmpty()) GTEST_SKIP() << "no corpus";
  const InspectRun r = Inspect(files);
  EXPECT_EQ(r.exitCode, 0);
  ASSERT_EQ(r.lines.size(), files.size());
  std::map<QString, QJsonObject> byName;
  for (qsizetype i = 0; i < r.lines.size(); ++i) {
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(r.lines[i], &err);
    ASSERT_TRUE(doc.isObject()) << files[i].toStdString() << ": " << err.errorString().toStdString();
    const QJsonObject o = doc.object();
    EXPECT_EQ(o["file"].toString(), files[i]);
    for (const char* key : {"analysed", "bytes", "result", "tempo", "division", "titles", "lines", "longestLine"})
      EXPECT_TRUE(o.contains(key)) << key << " in " << files[i].toStdString();
    byName[QFileInfo(files[i]).fileName()] = o;
  }

  const QJsonObject hb = byName["happy-birthday_intact.kar"];
  EXPECT_TRUE(hb["result"].toBool());
  EXPECT_EQ(hb["tempo"].toObject()["bpm"].toInt(), 120);
  EXPECT_EQ(hb["division"].toInt(), 384);
  EXPECT_EQ(hb["lines"].toArray().size(), 12);
  EXPECT_EQ(hb["lines"].toArray()[0].toString(), "Happ.y. Birth.day. to. you");
  EXPECT_EQ(hb["syllables"].toArray().size(), 74);

  // All their tags and syllables are in the first track: not the three-chunk layout.
  for (const char* twinkle : {"twinkle_mma-debian.kar", "twinkle_mma-dmidiplayer.kar"}) {
    const QJsonObject t = byName[twinkle];
    EXPECT_TRUE(t["analysed"].toBool()) << twinkle;
    EXPECT_FALSE(t["result"].toBool()) << twinkle;
    EXPECT_TRUE(t["lines"].toArray().isEmpty()) << twinkle;
  }
  EXPECT_EQ(byName["twinkle_mma-dmidiplayer.kar"]["tempo"].toObject()["bpm"].toInt(), 250);

  // A full karaoke file with a .mid name is analysed by content.
  EXPECT_TRUE(byName["hark-the-herald_soft-karaoke-in-dot-mid.mid"]["result"].toBool());
  EXPECT_EQ(byName["hark-the-herald_soft-karaoke-in-dot-mid.mid"]["tempo"].toObject()["bpm"].toInt(), 102);
  // UTF-8 lyrics come out byte for byte: each byte one character.
  const QString negra = byName["negra-sombra_utf8-galician.kar"]["lines"].toArray()[2].toString();
  EXPECT_EQ(QString::fromUtf8(negra.toLatin1()).left(5), QString::fromUtf8("ó. pé"));
  EXPECT_EQ(byName["tokyo_format0_no-tempo-event.mid"]["tempo"], QJsonValue());
  EXPECT_FALSE(byName["format2_test.mid"]["analysed"].toBool());  // 270 bytes
  EXPECT_EQ(byName["format2_test.mid"]["bytes"].toInt(), 270);
  EXPECT_FALSE(byName["smpte-division_test.mid"]["analysed"].toBool());
  EXPECT_FALSE(byName["macbinary-header_test.mid"]["result"].toBool());
  EXPECT_EQ(byName["jingle-bells_tune1000.kar"]["division"].toInt(), 215);
  EXPECT_EQ(byName["jingle-bells_tune1000.kar"]["bytes"].toInt(), 20000);
  EXPECT_FALSE(byName["12oz_44k-stereo.mp3"]["analysed"].toBool());

  // Where the lyrics each song shows come from, their code page and first
  // line as the user sees it; these files show the layouts the soft-karaoke
  // walk does not read.
  struct LyricRow {
    const char* file;
    const char* source;
    const char* encoding;
    const char* firstLine;  // UTF-8, the start of the first line
  };
  const LyricRow rows[] = {
      {"happy-birthday_intact.kar", "walk", "WINDOWS-1252", "Happ.y. Birth.day. to. you"},
      {"negra-sombra_utf8-galician.kar", "walk", "UTF-8", "Can.do. pen.so. que. te. fu.ches,"},
      // TEXT events with line marks in the first track.
      {"twinkle_mma-dmidiplayer.kar", "reader", "WINDOWS-1252", "Twinkle, Twinkle little star; "},
      // LYRIC events in the third track, CR LF line ends.
      {"ave-maria_utf8-german-0x05.mid", "reader", "UTF-8", "Ave Maria! Jungfrau mild,"},
      // LYRIC events in the soprano's track (the seventh).
      {"hallelujah_lyrics-0x05-soprano-track7.mid", "reader", "WINDOWS-1252", "Hallelujah, Hallelujah,"},
      // The same verses in five voice tracks, two verses under the same notes.
      {"eccard-hymn_lyrics-in-5-voice-tracks_latin1.mid", "reader", "WINDOWS-1252",
       "Za-cha-ri-as war ganz ver-stummt, bis daß von sei-nem Wei-be kommt ein Sohn durch Got-tes Gü_te, "},
      // Only a remark in a TEXT event: no lyrics.
      {"tokyo_format0_no-tempo-event.mid", "none", "WINDOWS-1252", nullptr},
  };
  for (const LyricRow& row : rows) {
    const QJsonObject lyrics = byName[row.file]["lyrics"].toObject();
    EXPECT_EQ(lyrics["source"].toString(), row.source) << row.file;
    EXPECT_EQ(lyrics["encoding"].toString(), row.encoding) << row.file;
    const QJsonArray lines = lyrics["lines"].toArray();
    if (row.firstLine) {
      ASSERT_FALSE(lines.isEmpty()) << row.file;
      EXPECT_TRUE(lines[0].toString().startsWith(QString::fromUtf8(row.firstLine))) << lines[0].toString().toStdString();
    } else {
      EXPECT_TRUE(lines.isEmpty()) << row.file;
    }
  }
}

TEST(InspectCorpus, UnreadableFileGivesAnErrorLineAndTheToolGoesOn) {
  const QString tiny = QString::fromStdString(melvar::test::DataDir()) + "/analysis/eight-bit-title.kar";
  const InspectRun r = Inspect({"/nonexistent/song.kar", tiny});
  EXPECT_NE(r.exitCode, 0);
  ASSERT_EQ(r.lines.size(), 2);
  const QJsonObject bad = QJsonDocument::fromJson(r.lines[0]).object();
  EXPECT_TRUE(bad.contains("error"));
  const QJsonObject good = QJsonDocument::fromJson(r.lines[1]).object();
  ASSERT_TRUE(good["result"].toBool());
  // The title's bytes 0xE9 and 0x92, each as the character of its number.
  EXPECT_EQ(good["titles"].toArray()[0].toString(), QString::fromUtf16(u"Caf\u00e9 \u0092x"));
}

}  // namespace
