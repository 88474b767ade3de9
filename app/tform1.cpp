// Construction of the main window: every control at its designed place,
// size, font, colour and visibility, and the wiring of their events.
#include "tform1.h"

#include <QApplication>
#include <QFileInfo>
#include <QFontDatabase>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPalette>
#include <QScreen>
#include <QTextCursor>

#include "platform/device/player_device.h"
#include "platform/dbus/screen_saver.h"
#include "platform/system/program_info.h"
#include "platform/system/settings_file.h"
#include "platform/system/temp_song.h"
#include "platform/widgets/folder_tree.h"
#include "platform/widgets/song_list.h"

// The window's pictures are compiled into this static library; their
// registration must be pulled in explicitly or the linker drops it.
static void initResources() { Q_INIT_RESOURCE(melvar); }

namespace melvar::app {
namespace {

// The design names Windows fonts; these are their stand-ins here.
QFont arialFont(int pixelSize, bool bold, bool italic = false) {
  QFont f;
  f.setFamilies({"Liberation Sans", "Arial", "DejaVu Sans"});
  f.setPixelSize(pixelSize);
  f.setBold(bold);
  f.setItalic(italic);
  return f;
}

// "System" and "Small Fonts": the default sans face at the given pixel size.
QFont sansFont(int pixelSize, bool bold) {
  QFont f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  f.setPixelSize(pixelSize);
  f.setBold(bold);
  f.setItalic(false);
  return f;
}

const QColor kNavy(0, 0, 128);
const QColor kMaroon(128, 0, 0);
const QColor kSilver(192, 192, 192);
const QColor kYellow(255, 255, 0);
const QColor kSkyBlue(166, 202, 240);
const QColor kBlue(0, 0, 255);

void setBackground(QWidget* w, const QColor& colour, bool base = true) {
  QPalette p = w->palette();
  p.setColor(QPalette::Window, colour);
  if (base) p.setColor(QPalette::Base, colour);
  w->setPalette(p);
  w->setAutoFillBackground(true);
}

void setTextColour(QWidget* w, const QColor& colour) {
  QPalette p = w->palette();
  p.setColor(QPalette::WindowText, colour);
  p.setColor(QPalette::Text, colour);
  p.setColor(QPalette::ButtonText, colour);
  w->setPalette(p);
}

template <typename W>
W* named(W* w, const char* name, int left, int top, int width, int height) {
  w->setObjectName(QString::fromLatin1(name));
  w->setGeometry(left, top, width, height);
  return w;
}

}  // namespace

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (rect().contains(event->position().toPoint())) emit clicked();
}

LyricMemo::LyricMemo(QWidget* parent) : QTextEdit(parent) {
  setReadOnly(true);
  setUndoRedoEnabled(false);
  setLineWrapMode(QTextEdit::NoWrap);
  setWordWrapMode(QTextOption::NoWrap);
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setTextInteractionFlags(Qt::NoTextInteraction);
  setFocusPolicy(Qt::NoFocus);  // skipped by Tab; the highlight needs no focus
  setContextMenuPolicy(Qt::NoContextMenu);
  document()->setDocumentMargin(0);
  viewport()->setCursor(Qt::PointingHandCursor);
}

// The user never edits or selects the memo: the selection belongs to the
// lyric highlight. Presses and moves are swallowed; a release reports its y.
void LyricMemo::mousePressEvent(QMouseEvent* event) { event->accept(); }
void LyricMemo::mouseMoveEvent(QMouseEvent* event) { event->accept(); }
void LyricMemo::mouseDoubleClickEvent(QMouseEvent* event) { event->accept(); }
void LyricMemo::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
  emit mouseReleased(qRound(event->position().y()));
}

TForm1::TForm1(device::PlayerDevice& device, const QStringList& args, Setup setup, QWidget* parent)
    : QWidget(parent), MediaPlayer(&device), messageSink_(std::move(setup.messages)) {
  settingsPath_ = QString::fromStdString(platform::SettingsFilePath());
  buildControls();
  wireControls();
  FormCreate(args, setup.programFolder.isEmpty()
                       ? QString::fromStdString(platform::ProgramSongFolder(
                             QCoreApplication::applicationDirPath().toStdString()))
                       : setup.programFolder);
}

void TForm1::buildControls() {
  setObjectName("Form1");
  setWindowTitle("Melvar");
  setWindowIcon(QIcon(":/icon.png"));
  initResources();
  // Black behind everything; lists, trees and buttons keep their own faces.
  setBackground(this, Qt::black, false);
  setFont(sansFont(14, true));
  {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, Qt::black);
    p.setColor(QPalette::ButtonText, Qt::black);
    setPalette(p);
  }
  setFixedSize(672, 341);  // single, fixed border: the user cannot resize it
  move(82, 145);

  Fundo = named(new QLabel(this), "Fundo", 0, 0, 116, 58);
  Fundo->setPixmap(QPixmap(":/background.bmp"));
  Fundo->setScaledContents(true);

  auto makeTitle = [this](const char* name, int left, int top) {
    auto* t = named(new QLabel("Titulo da musica", this), name, left, top, 93, 15);
    t->setFont(arialFont(12, true));
    setTextColour(t, kBlue);
    t->setAttribute(Qt::WA_TranslucentBackground);
    t->setAutoFillBackground(false);
    t->hide();
    return t;
  };
  Titulo1 = makeTitle("Titulo1", 16, 0);
  Titulo2 = makeTitle("Titulo2", 41, 13);

  Label1 = named(new QLabel("Label1", this), "Label1", 416, 312, 44, 16);

  Cpright = named(new QLabel("Melvar 1.0 (c) 2003 Talmesk", this), "Cpright", 8, 182, 250, 15);
  // The design's labels take the size of their captions.
  for (QLabel* l : {Titulo1, Titulo2, Label1, Cpright}) setCaption(l, l->text());

  MediaPlayer->setObjectName("MediaPlayer");

  Midis = named(new widgets::SongList(this), "Midis", 266, 32, 247, 145);
  Midis->setFont(sansFont(9, true));
  setTextColour(Midis, Qt::black);
  Midis->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);

  Finaliza = named(new QPushButton("Bye", this), "Finaliza", 600, 32, 49, 17);
  Finaliza->setToolTip("Exit the program");
  Finaliza->setFont(arialFont(12, true, true));

  Babout = named(new QPushButton("About", this), "Babout", 522, 32, 39, 17);
  Babout->setToolTip("Information about the program");
  Babout->setFont(sansFont(9, true));

  auto makeGlyphButton = [this](const char* name, int left, int top, int width, const char* tip,
                                const char* glyph, const char* disabledGlyph) {
    auto* b = named(new QPushButton(this), name, left, top, width, 25);
    QIcon icon;
    icon.addPixmap(QPixmap(glyph), QIcon::Normal);
    icon.addPixmap(QPixmap(disabledGlyph), QIcon::Disabled);
    b->setIcon(icon);
    b->setIconSize(QSize(16, 16));
    b->setToolTip(tip);
    return b;
  };
  BitBtn1 = makeGlyphButton("BitBtn1", 520, 64, 39, "Backward the song", ":/backward.png",
                            ":/backward-disabled.png");
  BitBtn2 = makeGlyphButton("BitBtn2", 616, 64, 41, "Forward the song", ":/forward.png",
                            ":/forward-disabled.png");

  Toclipb = named(new QPushButton("Clipcopy", this), "Toclipb", 603, 104, 54, 17);
  Toclipb->setToolTip("Copy lyrics to the clipboard");
  Toclipb->setFont(arialFont(12, true));
  Toclipb->hide();

  // The lyric panel: a framed box the program scrolls by moving the memo
  // inside it, as far up as the last line needs.
  ScrollLetra = named(new QFrame(this), "ScrollLetra", 0, 208, 512, 89);
  ScrollLetra->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  ScrollLetra->setFocusPolicy(Qt::NoFocus);
  setBackground(ScrollLetra, kNavy);

  Letra = new LyricMemo(ScrollLetra);
  Letra->setObjectName("Letra");
  Letra->setFont(arialFont(27, false));
  Letra->setGeometry(0, 24, 510, 52);
  {
    QPalette p = Letra->palette();
    p.setColor(QPalette::Base, kMaroon);
    p.setColor(QPalette::Text, kSilver);
    // The selection is the syllable highlight: keep it visible without focus.
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
      p.setColor(group, QPalette::Highlight, kNavy.lighter(250));
      p.setColor(group, QPalette::HighlightedText, Qt::white);
    }
    Letra->setPalette(p);
  }
  Letra->move(ScrollLetra->frameWidth(), 24);
  setMemoLines({"", "", "", ""});

  Embaralha = named(new QCheckBox("Shuffle", this), "Embaralha", 525, 104, 68, 17);
  Embaralha->setToolTip("Play the songs in a random order");
  Embaralha->setFont(arialFont(12, true, true));
  setBackground(Embaralha, kSkyBlue);
  setTextColour(Embaralha, kNavy);

  Tocado = named(new QProgressBar(this), "Tocado", 0, 200, 513, 7);
  Tocado->setTextVisible(false);
  Tocado->setRange(0, 100);
  Tocado->setValue(0);
  Tocado->setFocusPolicy(Qt::NoFocus);
  // A continuous bar on a solid white background.
  Tocado->setStyleSheet("QProgressBar { background: white; border: none; }"
                        "QProgressBar::chunk { background: #000080; }");

  Velocidade = named(new QGroupBox("Beats per minute", this), "Velocidade", 520, 136, 137, 25);
  Velocidade->setFont(sansFont(9, true));
  setBackground(Velocidade, kSkyBlue);
  setTextColour(Velocidade, Qt::black);
  Velocidade->setFocusPolicy(Qt::NoFocus);
  Velocidade->hide();

  IndTempo = named(new ClickableLabel("00", Velocidade), "IndTempo", 112, 9, 10, 11);
  IndTempo->setToolTip("Click here to reset to default velocity");
  IndTempo->setFont(sansFont(9, false));
  setTextColour(IndTempo, kNavy);
  IndTempo->setAttribute(Qt::WA_TranslucentBackground);
  setCaption(IndTempo, IndTempo->text());

  ScrollTempo = named(new QScrollBar(Qt::Horizontal, Velocidade), "ScrollTempo", 10, 13, 95, 6);
  ScrollTempo->setRange(40, 300);
  ScrollTempo->setValue(100);
  ScrollTempo->setSingleStep(1);
  ScrollTempo->setPageStep(5);
  ScrollTempo->setToolTip("Change the velocity of the song");
  ScrollTempo->setFocusPolicy(Qt::StrongFocus);

  Button1 = named(new QPushButton("Stop", this), "Button1", 568, 64, 41, 25);
  Button1->setToolTip("Stop playing a song");

  ShellTreeView1 = named(new widgets::FolderTree(this), "ShellTreeView1", 8, 32, 257, 145);
  ShellTreeView1->setFont(sansFont(9, false));

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(100);

  // Keyboard order; hidden controls are skipped by Qt itself.
  QWidget* order[] = {Babout, Toclipb, BitBtn1, BitBtn2, Finaliza, Midis,
                      Embaralha, ScrollTempo, Button1, ShellTreeView1};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

  // First layout of the lyric panel; from now on the memo shows its frame's
  // navy instead of the design's maroon.
  Song.FullHeight = frameGeometry().height();
  LayoutLyricPanel();
  Letra->resize(Letra->width(), ScrollLetra->contentsRect().height());
  QPalette p = Letra->palette();
  p.setColor(QPalette::Base, kNavy);
  Letra->setPalette(p);
}

// Every connection of the window's controls to its handlers.
void TForm1::wireControls() {
  connect(Finaliza, &QPushButton::clicked, this, &TForm1::FinalizaClick);
  connect(Babout, &QPushButton::clicked, this, &TForm1::BaboutClick);
  connect(ShellTreeView1, &widgets::FolderTree::selectionChangedByAnyone, this, &TForm1::ShellTreeView1Change);
  connect(ShellTreeView1, &widgets::FolderTree::clickedByUser, this, &TForm1::ShellTreeView1Click);
  connect(Midis, &widgets::SongList::userSelectionChanged, this, &TForm1::MidisClick);
  connect(Embaralha, &QCheckBox::toggled, this, [this] { EmbaralhaClick(); });
  connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
  connect(BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
  connect(BitBtn2, &QPushButton::clicked, this, &TForm1::BitBtn2Click);
  connect(ScrollTempo, &QScrollBar::valueChanged, this, &TForm1::ScrollTempoChange);
  connect(IndTempo, &ClickableLabel::clicked, this, &TForm1::IndTempoClick);
  connect(MediaPlayer, &device::PlayerDevice::notify, this, &TForm1::MediaPlayerNotify);
  connect(Toclipb, &QPushButton::clicked, this, &TForm1::ToclipbClick);
  connect(Letra, &LyricMemo::mouseReleased, this, &TForm1::LetraMouseUp);
  connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
  Timer1->start();
}

// The plain message box: modal, titled "Melvar" unless told, no icon, one OK button.
void TForm1::showMessage(const QString& text, const QString& title) {
  if (messageSink_) {
    messageSink_(title, text, false);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok);
  box.exec();
}

// The error box: the plain message box with an error icon.
void TForm1::showError(const QString& text) {
  if (messageSink_) {
    messageSink_(QStringLiteral("Melvar"), text, true);
    return;
  }
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Melvar"), text, QMessageBox::Ok);
  box.exec();
}

// A caption the label is sized to, as the design's labels are.
void TForm1::setCaption(QLabel* label, const QString& text) {
  label->setText(text);
  label->adjustSize();
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FormResize();
}

}  // namespace melvar::app
