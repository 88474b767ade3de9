// Shared main for every test binary: tests never need a display or a sound
// card, so the headless back-ends are chosen here before anything starts.
// Built twice: with MELVAR_TEST_GUI for binaries that create widgets
// (QApplication), without it for the rest (QCoreApplication).
#include <gtest/gtest.h>

#include <cstdlib>

#ifdef MELVAR_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  TestApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
