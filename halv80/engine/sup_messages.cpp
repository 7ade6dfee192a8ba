// The message buffer, the error box, sup_raise_error and the message line.
#include "halv80/engine/sup_messages.h"

#include <algorithm>
#include <cstring>

#include "halv80/engine/co_coroutine.h"
#include "platform/host/host_ui.h"

constinit SupState Sup;

namespace {

constexpr std::string_view kErrorBoxTitle = "QUENDAR ERROR";

}  // namespace

// Copies at most the buffer size - 1 bytes and terminates.
void sup_set_message_buffer(std::string_view text) {
  const std::size_t n = std::min(text.size(), kMessageBufferSize - 1);
  std::memcpy(Sup.MessageBuffer, text.data(), n);
  Sup.MessageBuffer[n] = '\0';
}

const char* sup_load_message(u16 n) {
  sup_set_message_buffer(sup_string_resource(u16(n + 1)));
  return Sup.MessageBuffer;
}

int sup_error_box_window_side() {
  std::string_view text = Sup.MessageBuffer;
  // the box shows the text without the line break and blanks it starts with
  while (!text.empty() && (text.front() == '\n' || text.front() == ' ')) text.remove_prefix(1);
  std::string shown(text);
  unsigned style = kBoxIconExclamation;
  const bool retry_offered = (Sup.StartupFailure & 2) != 0;
  if (retry_offered) {
    shown += '\n';
    shown += sup_string_resource(kStrMayQuit);
    style |= kBoxOkCancel | kBoxDefaultButton2;
  }
  const int answer = host_message_box(kErrorBoxTitle, shown, style);
  if (retry_offered && answer == kBoxAnswerOk) {
    Sup.StartupFailure = 1;
    Sup.WindowAction = kActionQuit;
  } else if (answer != kBoxAnswerOk) {
    Sup.StartupFailure = 0;
  }
  return answer;
}

int sup_show_error_box(u16 n, std::string_view text) {
  if (n != 0)
    sup_load_message(n);
  else
    sup_set_message_buffer(text);
  if (Co.OnCommandSide) {
    // the window side shows it while the command side waits
    co_post_request(RequestCode::ErrorBox);
    return kBoxAnswerOk;
  }
  return sup_error_box_window_side();
}

void sup_record_error(u16 n, u16 kind) {
  switch (kind) {
    case 0:
      if (Sup.AppendedLength != 0) {
        std::string text(sup_string_resource(u16(n + 1)));
        text.append(Sup.Appended, Sup.AppendedLength);
        sup_set_message_buffer(text);
        Co.PendingError = kErrTextInBuffer;
      } else {
        Co.PendingError = u16(n + 1);
      }
      break;
    case 1:
      Co.PendingError = u16(n + kErrBusyBase);
      break;
    case 2:
      Co.PendingError = Co.OnCommandSide ? kErrTextInBuffer : kErrWaitWindowSide;
      break;
    default:
      Co.PendingError = u16(n + kErrStatusBase);
      break;
  }
}

void sup_raise_error(u16 n, u16 kind) {
  sup_record_error(n, kind);
  if (kind == 3) return;
  if (kind == 2 && Co.OnCommandSide) {
    Sup.WindowAction = kActionErrorWait;
    // The window side takes the error from the message buffer and changes
    // the word; waiting with kind 9 stops its pump, so it gets the chance.
    for (int i = 0; i < 1000 && Co.PendingError == kErrTextInBuffer; ++i) co_wait_gui(kWaitBusy);
    if (Co.PendingError == kErrTextInBuffer) Co.PendingError = 0;
    return;
  }
  if (Sup.SuppressOnce) {
    Sup.SuppressOnce = 0;
    return;
  }
  host_beep();
  // A busy-kind error leaves the caller to go on (a paused target must be
  // resumed by it).
  if (kind == 1) return;
  co_abort_to_main();
}

void sup_set_message_line(std::string_view text, u16 flag) {
  const std::size_t n = std::min(text.size(), kMessageLineSize - 1);
  std::copy_n(text.data(), n, Sup.MessageLine);
  Sup.MessageLine[n] = '\0';
  Sup.MessageLineLength = u16(n);
  Sup.TypedText = flag == 1 && n != 0 ? Sup.MessageLine : nullptr;
  if (flag != 1 && n != 0 && Sup.Observer != nullptr) Sup.Observer(Sup.ObserverContext, {Sup.MessageLine, n});
}

void sup_set_message_line_observer(MessageLineObserver observer, void* context) {
  Sup.Observer = observer;
  Sup.ObserverContext = context;
}

void sup_message_line_putc(u8 c) {
  if (std::size_t(Sup.MessageLineLength) + 1 >= kMessageLineSize) return;
  Sup.MessageLine[Sup.MessageLineLength++] = char(c);
  Sup.MessageLine[Sup.MessageLineLength] = '\0';
}

void sup_append_begin() {
  Sup.AppendedLength = 0;
  Sup.AppendCapturing = 1;
}

void sup_appended_putc(u8 c) {
  if (!Sup.AppendCapturing || std::size_t(Sup.AppendedLength) + 1 >= kMessageBufferSize) return;
  Sup.Appended[Sup.AppendedLength++] = char(c);
}

void sup_reset_appended() {
  Sup.AppendedLength = 0;
  Sup.AppendCapturing = 0;
}

std::string sup_pending_error_text(u16 error) {
  if ((error & kErrCodeMask) == kErrorTargetHung) {
    std::string text(sup_string_resource(kStrTargetHung));
    text += '\n';
    text += sup_string_resource(kStrMayReinit);
    return text;
  }
  if (error == kErrTextInBuffer || error == kErrWaitWindowSide) return Sup.MessageBuffer;
  if (error >= kErrBusyBase) return std::string(sup_string_resource(u16(error - kErrBusyBase + 1)));
  if (error >= kErrStatusBase && error < kErrTextInBuffer)
    return std::string(sup_string_resource(u16(error - kErrStatusBase + 1)));
  return std::string(sup_string_resource(error));  // message N + 1 is resource N + 1
}
