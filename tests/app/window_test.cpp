// The main window as designed: every control exists under its name, at its
// place and size, with its texts and initial visibility.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QScreen>
#include <QTextEdit>

#include "app/tform1.h"
#include "app_test_support.h"
#include "fake_device.h"

namespace melvar::app {
namespace {

struct ControlRow {
  const char* name;
  QRect geometry;
  const char* text;     // caption, or nullptr when the control has none to check
  const char* toolTip;  // nullptr: none
  bool hidden;
};

const ControlRow kControls[] = {
    {"Fundo", {0, 0, 116, 58}, nullptr, nullptr, false},
    {"Titulo1", {16, 0, 93, 15}, "Titulo da musica", nullptr, true},
    {"Titulo2", {41, 13, 93, 15}, "Titulo da musica", nullptr, true},
    {"Label1", {416, 312, 44, 16}, "Label1", nullptr, false},
    {"Cpright", {8, 182, 250, 15}, "Melvar 1.0 (c) 2003 Talmesk", nullptr, false},
    {"Midis", {266, 32, 247, 145}, nullptr, nullptr, false},
    {"Finaliza", {600, 32, 49, 17}, "Bye", "Exit the program", false},
    {"Babout", {522, 32, 39, 17}, "About", "Information about the program", false},
    {"BitBtn1", {520, 64, 39, 25}, "", "Backward the song", false},
    {"BitBtn2", {616, 64, 41, 25}, "", "Forward the song", false},
    {"Toclipb", {603, 104, 54, 17}, "Clipcopy", "Copy lyrics to the clipboard", true},
    {"Embaralha", {525, 104, 68, 17}, "Shuffle", "Play the songs in a random order", false},
    {"Velocidade", {520, 136, 137, 25}, "Beats per minute", nullptr, true},
    {"IndTempo", {112, 9, 10, 11}, "00", "Click here to reset to default velocity", false},
    {"ScrollTempo", {10, 13, 95, 6}, nullptr, "Change the velocity of the song", false},
    {"Button1", {568, 64, 41, 25}, "Stop", "Stop playing a song", false},
    {"ShellTreeView1", {8, 32, 257, 145}, nullptr, nullptr, false},
};

QString captionOf(QWidget* w) {
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  return QString();
}

class WindowTest : public ::testing::Test {
 protected:
  test::IsolatedSettings settings_;
  QTemporaryDir songs_;
  test::FakeDevice device_;
};

TEST_F(WindowTest, EveryControlAsDesigned) {
  TForm1 form(device_, {songs_.path()}, {{}, [](const QString&, const QString&, bool) {}});
  for (const ControlRow& row : kControls) {
    SCOPED_TRACE(row.name);
    auto* w = form.findChild<QWidget*>(row.name);
    ASSERT_NE(w, nullptr);
    if (qobject_cast<QLabel*>(w) && w != form.Fundo) {
      EXPECT_EQ(w->pos(), row.geometry.topLeft());
    } else {
      EXPECT_EQ(w->geometry(), row.geometry);
    }
    if (row.text) {
      EXPECT_EQ(captionOf(w), QString::fromUtf8(row.text));
    }
    EXPECT_EQ(w->toolTip(), row.toolTip ? QString::fromUtf8(row.toolTip) : QString());
    EXPECT_EQ(w->isHidden(), row.hidden);
  }
  // The labels take the size of their captions, wherever they stand.
  for (QLabel* l : std::initializer_list<QLabel*>{form.Titulo1, form.Titulo2, form.Label1, form.Cpright, form.IndTempo}) {
    SCOPED_TRACE(l->objectName().toStdString());
    EXPECT_EQ(l->size(), l->sizeHint());
  }
  EXPECT_EQ(form.windowTitle(), "Melvar");
  ASSERT_NE(form.findChild<QObject*>("Timer1"), nullptr);
  EXPECT_EQ(form.Timer1->interval(), 100);
  EXPECT_TRUE(form.Timer1->isActive());
}

TEST_F(WindowTest, OpensAtTheLeftEdgeAsWideAsTheScreen) {
  TForm1 form(device_, {songs_.path()}, {{}, [](const QString&, const QString&, bool) {}});
  form.show();
  const int screen = form.screen()->geometry().width();
  EXPECT_EQ(form.x(), 0);
  EXPECT_EQ(form.size(), QSize(screen, 341));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());  // fixed border until the user asks
  // The progress bar sits right above the lyric panel, as wide as the window.
  EXPECT_GE(form.Tocado->width(), screen);
  EXPECT_EQ(form.Tocado->geometry().bottom() + 1, form.ScrollLetra->y());
  EXPECT_EQ(form.ScrollLetra->geometry().bottom() + 1, form.height());
  // A click on the window lets the user resize it.
  form.FormClick();
  EXPECT_NE(form.minimumSize(), form.maximumSize());
}

TEST_F(WindowTest, LyricMemoStartsWithTheCreditsInsideItsFrame) {
  TForm1 form(device_, {songs_.path()}, {{}, [](const QString&, const QString&, bool) {}});
  EXPECT_EQ(form.Letra->parentWidget(), form.ScrollLetra);
  const QStringList lines = form.Letra->toPlainText().split('\n');
  ASSERT_EQ(lines.size(), 4);
  EXPECT_TRUE(lines[0].contains("Talmesk"));
  EXPECT_TRUE(lines[2].contains("melvar@example.org"));
  EXPECT_TRUE(lines[3].isEmpty());
  EXPECT_TRUE(form.Letra->isReadOnly());
  EXPECT_EQ(form.Letra->focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(form.Letra->font().pixelSize(), 27);
}

TEST_F(WindowTest, TempoBarRangeAndSteps) {
  TForm1 form(device_, {songs_.path()}, {{}, [](const QString&, const QString&, bool) {}});
  EXPECT_EQ(form.ScrollTempo->minimum(), 40);
  EXPECT_EQ(form.ScrollTempo->maximum(), 300);
  EXPECT_EQ(form.ScrollTempo->value(), 100);
  EXPECT_EQ(form.ScrollTempo->singleStep(), 1);
  EXPECT_EQ(form.ScrollTempo->pageStep(), 5);
  form.ScrollTempo->setValue(10);
  EXPECT_EQ(form.ScrollTempo->value(), 40);
  form.ScrollTempo->setValue(1000);
  EXPECT_EQ(form.ScrollTempo->value(), 300);
}

TEST_F(WindowTest, KeyboardOrderFollowsTheDesign) {
  TForm1 form(device_, {songs_.path()}, {{}, [](const QString&, const QString&, bool) {}});
  const char* order[] = {"Babout", "Toclipb", "BitBtn1", "BitBtn2", "Finaliza", "Midis",
                         "Embaralha", "ScrollTempo", "Button1", "ShellTreeView1"};
  for (size_t i = 0; i + 1 < std::size(order); ++i) {
    SCOPED_TRACE(order[i]);
    auto* w = form.findChild<QWidget*>(order[i]);
    ASSERT_NE(w, nullptr);
    // The tab chain may pass through inner widgets (scroll-area viewports);
    // walk it to the next named control of the table.
    QWidget* next = w->nextInFocusChain();
    while (next && next != w && !std::count_if(std::begin(order), std::end(order),
                                               [&](const char* n) { return next->objectName() == n; }))
      next = next->nextInFocusChain();
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->objectName(), QString(order[i + 1]));
  }
}

}  // namespace
}  // namespace melvar::app
