// The application object, the program's start and the message boxes.
#include "platform/owl/owl_app.h"

#include <QAbstractButton>
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/host/host_file.h"
#include "platform/host/host_text.h"
#include "platform/host/host_ui.h"
#include "platform/owl/owl_qt.h"

namespace {

TApplication* CurrentApp = nullptr;
TApplication::RunHook Hook = nullptr;

}  // namespace

TApplication::TApplication(std::string_view name) : name_(name), previous_(CurrentApp) { CurrentApp = this; }

TApplication::~TApplication() {
  main_.reset();
  CurrentApp = previous_;
}

TApplication* TApplication::Current() { return CurrentApp; }

void TApplication::SetRunHook(RunHook hook) { Hook = hook; }

void TApplication::SetMainWindow(TFrameWindow* frame) { main_.reset(frame); }

void TApplication::IdleAction() {
  static bool busy = false;  // an enabler that runs a loop of its own
  if (busy || !main_ || !main_->IsCreated()) return;
  busy = true;
  main_->EnableCommands();
  busy = false;
}

int TApplication::Run() {
  InitMainWindow();
  if (!main_) return -1;
  main_->Create();
  main_->ShowWindow(nCmdShow);
  // the loop is idle each time it is about to wait
  QObject idle_relay;
  QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, &idle_relay,
                   [this] { IdleAction(); });
  return Hook ? Hook(*this) : QApplication::exec();
}

TRect owl_screen_work_area() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return TRect{0, 0, 1024, 768};
  const QRect g = screen->availableGeometry();
  return TRect{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
}

int owl_caption_button_height() {
  return QApplication::style() ? QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight) : 18;
}

int owl_system_metric(int index) {
  QStyle* style = QApplication::style();
  if (!style) return 0;
  // A sub-window has its title bar (which takes in the frame's top edge)
  // above the client area and its frame below it.
  const int frame = style->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth);
  switch (index) {
    case SM_CYFRAME: return frame;
    case SM_CYCAPTION: return std::max(0, style->pixelMetric(QStyle::PM_TitleBarHeight) - frame);
    default: return 0;
  }
}

u32 owl_key_modifiers() {
  const Qt::KeyboardModifiers m = QGuiApplication::queryKeyboardModifiers();
  return ((m & Qt::ShiftModifier) ? MK_SHIFT : 0) | ((m & Qt::ControlModifier) ? MK_CONTROL : 0) |
         ((m & Qt::AltModifier) ? kOwlAltDown : 0);
}

namespace {

OwlBoxButtonTexts BoxTexts;

void name_button(QMessageBox& box, QMessageBox::StandardButton which, const std::string& text) {
  if (QAbstractButton* b = box.button(which); b && !text.empty()) b->setText(owl_qstring(text));
}

void name_buttons(QMessageBox& box) {
  name_button(box, QMessageBox::Ok, BoxTexts.ok);
  name_button(box, QMessageBox::Cancel, BoxTexts.cancel);
  name_button(box, QMessageBox::Yes, BoxTexts.yes);
  name_button(box, QMessageBox::No, BoxTexts.no);
}

}  // namespace

void owl_set_box_button_texts(const OwlBoxButtonTexts& texts) { BoxTexts = texts; }

int owl_qt_message_box(std::string_view title, std::string_view text, unsigned style) {
  QMessageBox box(QApplication::activeWindow());
  box.setWindowModality(Qt::ApplicationModal);
  box.setWindowTitle(owl_qstring(title));
  box.setText(owl_qstring(text));
  switch (style & 0xF0) {
    case 0x10: box.setIcon(QMessageBox::Critical); break;
    case 0x20: box.setIcon(QMessageBox::Question); break;
    case 0x30: box.setIcon(QMessageBox::Warning); break;
    case 0x40: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
  switch (style & 0x0F) {
    case kBoxOkCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box.setDefaultButton((style & kBoxDefaultButton2) ? QMessageBox::Cancel : QMessageBox::Ok);
      name_buttons(box);
      return box.exec() == QMessageBox::Cancel ? kBoxAnswerCancel : kBoxAnswerOk;
    case kBoxYesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton((style & kBoxDefaultButton2) ? QMessageBox::No : QMessageBox::Yes);
      name_buttons(box);
      return box.exec() == QMessageBox::Yes ? kBoxAnswerYes : kBoxAnswerNo;
    default:
      box.setStandardButtons(QMessageBox::Ok);
      name_buttons(box);
      box.exec();
      return kBoxAnswerOk;
  }
}

int owl_message_box(TWindow*, std::string_view text, std::string_view caption, unsigned style) {
  return host_message_box(caption, text, style);
}

int owl_run_main(int argc, char** argv, int (*entry)(int argc, char** argv)) {
  static int qt_argc;  // QApplication keeps a reference to it
  qt_argc = argc;
  QApplication app(qt_argc, argv);
  host_set_message_box_sink(owl_qt_message_box);

  std::error_code ec;
  std::string self = std::filesystem::read_symlink("/proc/self/exe", ec).string();
  if (ec || self.empty()) self = qt_argc > 0 ? argv[0] : "";
  std::vector<std::string> args{host_system_path(self)};
  for (int i = 1; i < qt_argc; ++i) args.push_back(host_utf8_to_cp932(argv[i]));
  std::vector<char*> pointers;
  for (std::string& a : args) pointers.push_back(a.data());
  pointers.push_back(nullptr);
  const int result = entry(int(args.size()), pointers.data());
  host_set_message_box_sink(nullptr);
  return result;
}
