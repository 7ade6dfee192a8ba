// The one Qt application of a test binary, made on first use.
#pragma once

#include <QApplication>
#include <cstdlib>

inline QApplication& owl_test_app() {
  static int argc = 1;
  static char name[] = "owl_tests";
  static char* argv[] = {name, nullptr};
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}
