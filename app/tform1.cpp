// Construction of the main window: every control at its designed place,
// size, font, colour and visibility, and the wiring of their events.
#include "tform1.h"

#include <QApplication>
#include <QFileInfo>
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
  setObjectName("Form1");
  setWindowTitle("Melvar");
  setWindowIcon(QIcon(":/icon.png"));
  initResources();
  // Black behind everything; lists, trees and buttons keep their own faces.
  SetBackground(this, Qt::black, false);
  setFont(SansFont(14, true));
  {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, Qt::black);
    p.setColor(QPalette::ButtonText, Qt::black);
    setPalette(p);
  }
  setFixedSize(672, 341);  // single, fixed border: the user cannot resize it
  move(82, 145);

  Fundo = Placed(new QLabel(this), "Fundo", 0, 0, 116, 58);
  Fundo->setPixmap(QPixmap(":/background.bmp"));
  Fundo->setScaledContents(true);

  auto makeTitle = [this](const char* name, int left, int top) {
    auto* t = Placed(new QLabel("Titulo da musica", this), name, left, top, 93, 15);
    t->setFont(ArialFont(12, true));
    SetTextColour(t, kBlue);
    t->setAttribute(Qt::WA_TranslucentBackground);
    t->setAutoFillBackground(false);
    t->hide();
    return t;
  };
  Titulo1 = makeTitle("Titulo1", 16, 0);
  Titulo2 = makeTitle("Titulo2", 41, 13);

  Label1 = Placed(new QLabel("Label1", this), "Label1", 416, 312, 44, 16);

  Cpright = Placed(new QLabel("Melvar 1.0 (c) 2003 Talmesk", this), "Cpright", 8, 182, 250, 15);
  // The design's labels take the size of their captions.
  for (QLabel* l : {Titulo1, Titulo2, Label1, Cpright}) setCaption(l, l->text());

  MediaPlayer->setObjectName("MediaPlayer");

  Midis = Placed(new SongList(this), "Midis", 266, 32, 247, 145);
  Midis->setFont(SansFont(9, true));
  SetTextColour(Midis, Qt::black);
  Midis->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);

  Finaliza = Placed(new QPushButton("Bye", this), "Finaliza", 600, 32, 49, 17);
  Finaliza->setToolTip("Exit the program");
  Finaliza->setFont(ArialFont(12, true, true));

  Babout = Placed(new QPushButton("About", this), "Babout", 522, 32, 39, 17);
  Babout->setToolTip("Information about the program");
  Babout->setFont(SansFont(9, true));

  auto makeGlyphButton = [this](const char* name, int left, int top, int width, const char* tip,
                                const char* glyph, const char* disabledGlyph) {
    auto* b = Placed(new QPushButton(this), name, left, top, width, 25);
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

  Toclipb = Placed(new QPushButton("Clipcopy", this), "Toclipb", 603, 104, 54, 17);
  Toclipb->setToolTip("Copy lyrics to the clipboard");
  Toclipb->setFont(ArialFont(12, true));
  Toclipb->hide();

  // The lyric panel: a framed box the program scrolls by moving the memo
  // inside it, as far up as the last line needs.
  ScrollLetra = Placed(new QFrame(this), "ScrollLetra", 0, 208, 512, 89);
  ScrollLetra->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  ScrollLetra->setFocusPolicy(Qt::NoFocus);
  SetBackground(ScrollLetra, kNavy);

  Letra = new LyricMemo(ScrollLetra);
  Letra->setObjectName("Letra");
  Letra->setFont(ArialFont(27, false));
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

  Embaralha = Placed(new QCheckBox("Shuffle", this), "Embaralha", 525, 104, 68, 17);
  Embaralha->setToolTip("Play the songs in a random order");
  Embaralha->setFont(ArialFont(12, true, true));
  SetBackground(Embaralha, kSkyBlue);
  SetTextColour(Embaralha, kNavy);

  Tocado = Placed(new QProgressBar(this), "Tocado", 0, 200, 513, 7);
  Tocado->setTextVisible(false);
  Tocado->setRange(0, 100);
  Tocado->setValue(0);
  Tocado->setFocusPolicy(Qt::NoFocus);
  // A continuous bar on a solid white background.
  Tocado->setStyleSheet("QProgressBar { background: white; border: none; }"
                        "QProgressBar::chunk { background: #000080; }");

  Velocidade = Placed(new QGroupBox("Beats per minute", this), "Velocidade", 520, 136, 137, 25);
  Velocidade->setFont(SansFont(9, true));
  SetBackground(Velocidade, kSkyBlue);
  SetTextColour(Velocidade, Qt::black);
  Velocidade->setFocusPolicy(Qt::NoFocus);
  Velocidade->hide();

  IndTempo = Placed(new ClickableLabel("00", Velocidade), "IndTempo", 112, 9, 10, 11);
  IndTempo->setToolTip("Click here to reset to default velocity");
  IndTempo->setFont(SansFont(9, false));
  SetTextColour(IndTempo, kNavy);
  IndTempo->setAttribute(Qt::WA_TranslucentBackground);
  setCaption(IndTempo, IndTempo->text());

  ScrollTempo = Placed(new QScrollBar(Qt::Horizontal, Velocidade), "ScrollTempo", 10, 13, 95, 6);
  ScrollTempo->setRange(40, 300);
  ScrollTempo->setValue(100);
  ScrollTempo->setSingleStep(1);
  ScrollTempo->setPageStep(5);
  ScrollTempo->setToolTip("Change the velocity of the song");
  ScrollTempo->setFocusPolicy(Qt::StrongFocus);

  Button1 = Placed(new QPushButton("Stop", this), "Button1", 568, 64, 41, 25);
  Button1->setToolTip("Stop playing a song");

  ShellTreeView1 = Placed(new FolderTree(this), "ShellTreeView1", 8, 32, 257, 145);
  ShellTreeView1->setFont(SansFont(9, false));

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
