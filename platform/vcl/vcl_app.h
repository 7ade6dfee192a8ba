// The form layer's message loop and the program's start:
// vcl_run_main makes the Qt application, shows the host layer's message boxes
// as Qt boxes, and hands the program its command line in the system's form.
#pragma once

#include <functional>
#include <string_view>

namespace vcl {
class TForm;
}

// The message loop with `main_form` shown, until the main form closes.
int vcl_run(vcl::TForm& main_form);
// Tests: what vcl_run does in place of the message loop once the main form is
// shown; its result is vcl_run's. An empty hook restores the loop.
void vcl_set_run_hook(std::function<int(vcl::TForm& main_form)> hook);
// Runs the message loop until `done` holds (checked after each batch of
// events): tests wait on a form's state this way, never on time.
void vcl_process_until(const std::function<bool()>& done);
// Ends the message loop (as closing the main form does).
void vcl_terminate();
// The framework's box for an exception that reached the program's entry.
void vcl_show_exception(std::string_view what);

// The exit status of a program whose start failed (-1 as a process status).
constexpr int kVclStartFailure = 255;

// The program's start: entry(argc, argv) with argv[0] the program file's
// path in the system's form and the arguments converted to CP932. When the
// window system cannot be had (no display), the reason goes to standard
// error and the process ends with kVclStartFailure.
int vcl_run_main(int argc, char** argv, int (*entry)(int argc, char** argv));

// Message box through the host layer's sink. Styles and answers as the system
// gives them: buttons in the low four bits (0 OK, 1 OK/Cancel, 4 Yes/No),
// icons 0x10 error, 0x20 question, 0x30 warning, 0x40 information; answers
// 1 OK, 2 Cancel, 6 Yes, 7 No.
int vcl_message_box(std::string_view caption, std::string_view text, unsigned style);
// The Qt box behind the host layer's message box (vcl_run_main installs it).
int vcl_qt_message_box(std::string_view title, std::string_view text, unsigned style);
