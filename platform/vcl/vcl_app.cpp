// The message loop, the program's start and the message box.
#include "platform/vcl/vcl_app.h"

#include <QApplication>
#include <QMessageBox>
#include <QtGlobal>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/owl/owl_app.h"
#include "platform/host/host_ui.h"
#include "platform/vcl/vcl_forms.h"
#include "platform/vcl/vcl_qt.h"

namespace {
std::function<int(vcl::TForm&)>& run_hook() {
  static std::function<int(vcl::TForm&)> hook;
  return hook;
}
}  // namespace

void vcl_set_run_hook(std::function<int(vcl::TForm& main_form)> hook) { run_hook() = std::move(hook); }

int vcl_run(vcl::TForm& main_form) {
  QApplication::setQuitOnLastWindowClosed(false);
  // The loop ends when the main form closes, whatever other forms do.
  const vcl::TNotifyEvent previous = main_form.OnClose;
  main_form.OnClose = [previous] {
    if (previous) previous();
    QCoreApplication::exit(0);  // quit() would first ask every window to close
  };
  main_form.Show();
  int result = 0;
  if (run_hook()) {
    result = run_hook()(main_form);
  } else if (main_form.Showing()) {
    result = QApplication::exec();
  }
  main_form.OnClose = previous;
  return result;
}

void vcl_process_until(const std::function<bool()>& done) {
  while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void vcl_terminate() { QCoreApplication::exit(0); }

void vcl_show_exception(std::string_view what) {
  host_message_box("Exception", what, kBoxIconError);
}

int vcl_qt_message_box(std::string_view title, std::string_view text, unsigned style) {
  return owl_qt_message_box(title, text, style);
}

int vcl_message_box(std::string_view caption, std::string_view text, unsigned style) {
  return host_message_box(caption, text, style);
}

namespace {
int (*program_entry)(int, char**) = nullptr;
// The window layer's start makes the application and the arguments; the
// form layer's boxes add the Yes/No buttons the setup program asks with.
int entry_with_boxes(int argc, char** argv) {
  host_set_message_box_sink(vcl_qt_message_box);
  return program_entry(argc, argv);
}
}  // namespace

namespace {
// The program's name on standard error.
const char* program_name = "";
QtMessageHandler previous_handler = nullptr;

// Qt ends the process with abort() on a fatal error, the lack of a display
// among them, before any window could say why. The reason goes to standard
// error and the program ends as it does for its other start-up failures.
void fatal_as_start_failure(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type != QtFatalMsg) {
    if (previous_handler) previous_handler(type, context, message);
    return;
  }
  std::fprintf(stderr, "%s: cannot start: %s\n", program_name, message.toLocal8Bit().constData());
  std::fflush(stderr);
  _exit(kVclStartFailure);
}
}  // namespace

int vcl_run_main(int argc, char** argv, int (*entry)(int argc, char** argv)) {
  program_entry = entry;
  program_name = argc > 0 && argv[0] ? argv[0] : "";
  if (const char* slash = std::strrchr(program_name, '/')) program_name = slash + 1;
  previous_handler = qInstallMessageHandler(fatal_as_start_failure);
  const int result = owl_run_main(argc, argv, entry_with_boxes);
  qInstallMessageHandler(previous_handler);
  return result;
}
