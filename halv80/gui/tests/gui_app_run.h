// Running the window program inside a test: the message boxes it shows are
// recorded as "title|text" (UTF-8) and answered from a queue (then OK), and
// the test's body runs once the frame is up and painted.
#pragma once

#include <QApplication>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "halv80/gui/app_main.h"
#include "platform/host/host_text.h"
#include "platform/host/host_ui.h"

inline std::vector<std::string> Boxes;
inline std::vector<int> Answers;  // the answers to give, in order; then OK

inline int record_box(std::string_view title, std::string_view text, unsigned) {
  Boxes.push_back(host_cp932_to_utf8(title) + "|" + host_cp932_to_utf8(text));
  if (Answers.empty()) return kBoxAnswerOk;
  const int a = Answers.front();
  Answers.erase(Answers.begin());
  return a;
}

inline std::function<void(TMDIApp&)> Body;
inline int run_body(TApplication& app) {
  Body(static_cast<TMDIApp&>(app));
  return 0;
}

// Runs the application (the run hook must be run_body); `body` sees it once
// the frame is up and painted.
inline void run_app(std::function<void(TMDIApp&)> body) {
  Body = [body](TMDIApp& app) {
    app.frame->SendMessage(WM_PAINT);
    QApplication::processEvents();
    body(app);
  };
  TMDIApp app(kAppName);
  app.Run();
}
