// The main frame and the MDI client of the window side. Both are empty shells
// here: the frame's start-up, painting and closing and the client's window
// arrangement build on them.
#pragma once

#include <string_view>

#include "platform/owl/owl_window.h"

// The MDI client of the frame.
class TMDICltNEW : public TMDIClient {
 public:
  TMDICltNEW() = default;
};

// The decorated MDI frame with nothing added but its constructor.
class QMDIFrame : public TDecoratedMDIFrame {
 public:
  QMDIFrame(std::string_view title, u32 menu_resource, TMDIClient& client, bool trackMenuSelection)
      : TDecoratedMDIFrame(title, menu_resource, client, trackMenuSelection) {}
};

// The main window of the debugger.
class QN_Frame : public QMDIFrame {
 public:
  // title CP932.
  QN_Frame(std::string_view title, u32 menu_resource, TMDICltNEW& client, bool trackMenuSelection)
      : QMDIFrame(title, menu_resource, client, trackMenuSelection) {}
};
