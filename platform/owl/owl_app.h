// The application object and the program's start: owl_run_main makes the Qt
// application, hands the program its command line in the system's form and
// calls the program's entry; the entry makes a TApplication and runs it. Idle
// time runs the main window's command enablers.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/owl/owl_window.h"

class TFrameWindow;

class TApplication : public TEventHandler {
 public:
  // name: the application's name (ASCII).
  explicit TApplication(std::string_view name);
  ~TApplication() override;
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // Builds the main window; runs once, at the start of Run.
  virtual void InitMainWindow() {}
  // The main window, owned by the application from here on.
  void SetMainWindow(TFrameWindow* frame);
  TFrameWindow* GetMainWindow() const { return main_.get(); }
  // The framework's three-dimensional control look: always on here.
  void EnableCtl3d(bool) {}
  const std::string& GetName() const { return name_; }

  // InitMainWindow, then the main window is created and shown (nCmdShow) and
  // the message loop runs until the main window is destroyed. Returns the
  // loop's result; -1 when there is no main window.
  int Run();
  // One idle pass: the main window's enablers.
  void IdleAction();

  int nCmdShow = SW_SHOWNORMAL;

  static TApplication* Current();

  // Tests: what Run does in place of the message loop, once the main window
  // is shown and idle passes are wired; its result is Run's. nullptr restores
  // the loop.
  using RunHook = int (*)(TApplication& app);
  static void SetRunHook(RunHook hook);

 private:
  std::string name_;
  std::unique_ptr<TFrameWindow> main_;
  TApplication* previous_ = nullptr;
};

// The program's start: the Qt application, the message boxes of the host
// layer shown as Qt boxes, then entry(argc, argv) with argv[0] the program
// file's path in the system's form and the arguments converted to CP932.
int owl_run_main(int argc, char** argv, int (*entry)(int argc, char** argv));

// Message box: task-modal, `owner` may be null. Texts CP932; style and answer
// as host_ui.h gives them. Goes through the host layer's sink, so tests answer
// it with their own.
int owl_message_box(TWindow* owner, std::string_view text, std::string_view caption, unsigned style);
// The Qt box behind host_message_box (owl_run_main installs it).
int owl_qt_message_box(std::string_view title, std::string_view text, unsigned style);
// The texts (CP932) of the box's OK, Cancel, Yes and No buttons; an empty
// text leaves the button's own.
struct OwlBoxButtonTexts {
  std::string ok, cancel, yes, no;
};
void owl_set_box_button_texts(const OwlBoxButtonTexts& texts);

// The primary screen's work area (x, y from its top left) and the height of a
// caption button.
TRect owl_screen_work_area();
int owl_caption_button_height();

// System metrics of an MDI child's decoration: the caption's height and the
// sizing frame's height, such that a child's outer height is its client
// height + 2 x SM_CYFRAME + SM_CYCAPTION. Other indexes give 0.
constexpr int SM_CYCAPTION = 4;
constexpr int SM_CYFRAME = 33;
int owl_system_metric(int index);

// The modifier keys held now: MK_SHIFT, MK_CONTROL and kOwlAltDown.
constexpr u32 kOwlAltDown = 0x20;
u32 owl_key_modifiers();

// Timers on a manual clock (tests): from now on timers tick only when the
// clock is advanced, and the host layer's tick clock is the same fake clock.
void owl_clock_use_manual(u32 start_ms);
// Moves the manual clock on and posts the ticks that fell due.
void owl_clock_advance(u32 ms);
void owl_clock_use_real();
