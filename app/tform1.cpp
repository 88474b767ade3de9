// Construction of the main window: every control at its designed place,
// size, font, colour and visibility, and the wiring of their events.
#include "tform1.h"

#include <QApplication>
#include <QMessageBox>
#include <QPalette>

#include "platform/device/player_device.h"
#include "platform/dbus/screen_saver.h"
#include "platform/system/program_info.h"
#include "platform/system/settings_file.h"
#include "platform/system/temp_song.h"
#include "platform/widgets/folder_tree.h"
#include "platform/widgets/design_look.h"
#include "platform/widgets/lyric_memo.h"
#include "platform/widgets/song_list.h"

// The window's pictures are compiled into this static library; their
// registration must be pulled in explicitly or the linker drops it.
static void initResources() { Q_INIT_RESOURCE(melvar); }

namespace melvar::app {

using namespace widgets;

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
  initResources();
  setObjectName("Form1");
  setWindowTitle("Melvar");
  setWindowIcon(QIcon(":/icon.png"));
  // Black behind everything; lists, trees and buttons keep their own faces.
  SetBackground(this, Qt::black, false);
  SetTextColour(this, Qt::black);
  setFont(SansFont(14, true));
  setFixedSize(672, 341);  // single, fixed border: the user cannot resize it
  move(82, 145);

  auto label = [](QWidget* parent, const char* name, QRect r, const QString& text, const QFont& font,
                  const QColor& colour) {
    auto* l = Placed(new QLabel(text, parent), name, r.x(), r.y(), r.width(), r.height());
    l->setFont(font);
    SetTextColour(l, colour);
    l->setAttribute(Qt::WA_TranslucentBackground);
    return l;
  };
  auto button = [this](const char* name, QRect r, const QString& text, const char* tip, const QFont& font) {
    auto* b = Placed(new QPushButton(text, this), name, r.x(), r.y(), r.width(), r.height());
    b->setToolTip(tip);
    b->setFont(font);
    return b;
  };
  auto glyph = [](QPushButton* b, const char* normal, const char* disabled) {
    QIcon icon(normal);
    icon.addPixmap(QPixmap(disabled), QIcon::Disabled);
    b->setIcon(icon);
    b->setIconSize(QSize(16, 16));
  };

  Fundo = Placed(new QLabel(this), "Fundo", 0, 0, 116, 58);
  Fundo->setPixmap(QPixmap(":/background.bmp"));
  Fundo->setScaledContents(true);
  Titulo1 = label(this, "Titulo1", {16, 0, 93, 15}, "Titulo da musica", ArialFont(12, true), kBlue);
  Titulo2 = label(this, "Titulo2", {41, 13, 93, 15}, "Titulo da musica", ArialFont(12, true), kBlue);
  Label1 = label(this, "Label1", {416, 312, 44, 16}, "Label1", font(), Qt::black);
  Cpright = label(this, "Cpright", {8, 182, 250, 15}, "Melvar 1.0 (c) 2003 Talmesk", font(), Qt::black);
  Titulo1->hide();
  Titulo2->hide();
  MediaPlayer->setObjectName("MediaPlayer");

  Midis = Placed(new SongList(this), "Midis", 266, 32, 247, 145);
  Midis->setFont(SansFont(9, true));
  Midis->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  Finaliza = button("Finaliza", {600, 32, 49, 17}, "Bye", "Exit the program", ArialFont(12, true, true));
  Babout = button("Babout", {522, 32, 39, 17}, "About", "Information about the program", SansFont(9, true));
  BitBtn1 = button("BitBtn1", {520, 64, 39, 25}, "", "Backward the song", font());
  glyph(BitBtn1, ":/backward.png", ":/backward-disabled.png");
  BitBtn2 = button("BitBtn2", {616, 64, 41, 25}, "", "Forward the song", font());
  glyph(BitBtn2, ":/forward.png", ":/forward-disabled.png");
  Toclipb = button("Toclipb", {603, 104, 54, 17}, "Clipcopy", "Copy lyrics to the clipboard", ArialFont(12, true));
  Toclipb->hide();

  // The lyric panel: a framed box the program scrolls by moving the memo
  // inside it, as far up as the last line needs.
  ScrollLetra = Placed(new QFrame(this), "ScrollLetra", 0, 208, 512, 89);
  ScrollLetra->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  SetBackground(ScrollLetra, kNavy);
  Letra = Placed(new LyricMemo(ScrollLetra), "Letra", ScrollLetra->frameWidth(), 24, 510, 52);
  Letra->setFont(ArialFont(27, false));
  QPalette memo = Letra->palette();
  memo.setColor(QPalette::Base, kMaroon);
  memo.setColor(QPalette::Text, kSilver);
  // The selection is the syllable highlight: visible without focus too.
  for (auto group : {QPalette::Active, QPalette::Inactive}) {
    memo.setColor(group, QPalette::Highlight, kNavy.lighter(250));
    memo.setColor(group, QPalette::HighlightedText, Qt::white);
  }
  Letra->setPalette(memo);
  setMemoLines({"", "", "", ""});

  Embaralha = Placed(new QCheckBox("Shuffle", this), "Embaralha", 525, 104, 68, 17);
  Embaralha->setToolTip("Play the songs in a random order");
  Embaralha->setFont(ArialFont(12, true, true));
  SetBackground(Embaralha, kSkyBlue);
  SetTextColour(Embaralha, kNavy);

  // A continuous bar on a solid white background.
  Tocado = Placed(new QProgressBar(this), "Tocado", 0, 200, 513, 7);
  Tocado->setTextVisible(false);
  Tocado->setValue(0);
  Tocado->setStyleSheet("QProgressBar { background: white; border: none; }"
                        "QProgressBar::chunk { background: #000080; }");

  Velocidade = Placed(new QGroupBox("Beats per minute", this), "Velocidade", 520, 136, 137, 25);
  Velocidade->setFont(SansFont(9, true));
  SetBackground(Velocidade, kSkyBlue);
  Velocidade->hide();
  IndTempo = Placed(new ClickableLabel("00", Velocidade), "IndTempo", 112, 9, 10, 11);
  IndTempo->setToolTip("Click here to reset to default velocity");
  IndTempo->setFont(SansFont(9, false));
  SetTextColour(IndTempo, kNavy);
  ScrollTempo = Placed(new QScrollBar(Qt::Horizontal, Velocidade), "ScrollTempo", 10, 13, 95, 6);
  ScrollTempo->setRange(40, 300);
  ScrollTempo->setValue(100);
  ScrollTempo->setPageStep(5);
  ScrollTempo->setToolTip("Change the velocity of the song");
  ScrollTempo->setFocusPolicy(Qt::StrongFocus);

  Button1 = button("Button1", {568, 64, 41, 25}, "Stop", "Stop playing a song", font());
  ShellTreeView1 = Placed(new FolderTree(this), "ShellTreeView1", 8, 32, 257, 145);
  ShellTreeView1->setFont(SansFont(9, false));
  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(100);
  SyllableTimer = new QTimer(this);
  SyllableTimer->setObjectName("SyllableTimer");
  SyllableTimer->setSingleShot(true);
  SyllableTimer->setTimerType(Qt::PreciseTimer);

  // The design's labels take the size of their captions.
  for (QLabel* l : std::initializer_list<QLabel*>{Titulo1, Titulo2, Label1, Cpright, IndTempo})
    setCaption(l, l->text());
  // Keyboard order; hidden controls are skipped by Qt itself.
  QWidget* order[] = {Babout, Toclipb, BitBtn1, BitBtn2, Finaliza, Midis,
                      Embaralha, ScrollTempo, Button1, ShellTreeView1};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

  // First layout of the lyric panel; from now on the memo shows its frame's
  // navy instead of the design's maroon.
  Song.FullHeight = frameGeometry().height();
  LayoutLyricPanel();
  Letra->resize(Letra->width(), ScrollLetra->contentsRect().height());
  memo.setColor(QPalette::Base, kNavy);
  Letra->setPalette(memo);
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
  connect(SyllableTimer, &QTimer::timeout, this, &TForm1::SyllableTimerTimer);
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
