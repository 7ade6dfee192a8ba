// Message texts, the error box and the errors reported to the window side.
// Message N of the command language is string resource N + 1; texts are
// converted to CP932 once and loaded into the shared 1,024-byte message buffer.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "halv80/engine/win_codes.h"
#include "platform/host/host_types.h"

constexpr std::size_t kMessageBufferSize = 1024;
constexpr std::size_t kMessageLineSize = 1024;

// String resources that are not messages of the command language.
constexpr u16 kStrTargetHung = 800;     // "ﾀｰｹﾞｯﾄCPUがﾊﾝｸﾞｱｯﾌﾟしました"
constexpr u16 kStrMayReinit = 802;      // "QUENDAR-RZ7を初期化してもよいですか？"
constexpr u16 kStrMayQuit = 803;        // "QUENDAR-RZ7を終了してもよいですか？"

// Told of every new message on the message line (CP932), so that a window
// side can show it where it wants.
using MessageLineObserver = void (*)(void* context, std::string_view text);

struct SupState {
  char MessageBuffer[kMessageBufferSize]{};  // the text last loaded
  char MessageLine[kMessageLineSize]{};      // output made on the window side
  u16 MessageLineLength = 0;
  char Appended[kMessageBufferSize]{};       // text to append to the next kind-0 error
  u16 AppendedLength = 0;
  u16 AppendCapturing = 0;                   // 1 while characters go to Appended
  u16 SuppressOnce = 0;                      // one-shot: the next error does not unwind
  u16 StartupFailure = 0;                    // 0 none, 1 failed, 2 failed with retry offered
  u16 WindowAction = 0;                      // kActionQuit or kActionErrorWait
  const char* TypedText = nullptr;           // into MessageLine: keys the key reader delivers first; null none
  MessageLineObserver Observer = nullptr;    // told of each new message (not of typed text)
  void* ObserverContext = nullptr;
};
extern SupState Sup;

// Replaces the message line by at most 1,023 characters of `text`; flag 1
// also makes them the typed text, which the key reader delivers as keys
// before any other key.
void sup_set_message_line(std::string_view text, u16 flag);
// Lets the window side follow the messages put on the message line.
void sup_set_message_line_observer(MessageLineObserver observer, void* context);

// The CP932 text of string resource `id` (empty when there is none).
std::string_view sup_string_resource(u16 id);
// Puts `text` (cut to fit) into the message buffer.
void sup_set_message_buffer(std::string_view text);
// Loads message N (string resource N + 1) into the message buffer; returns it.
const char* sup_load_message(u16 n);
// n != 0: message n, else `text`, into the message buffer, then the error box:
// on the command side through request 11 (the window side shows it), on the
// window side directly, titled "QUENDAR ERROR". Returns 1 (OK) or 2 (Cancel).
int sup_show_error_box(u16 n, std::string_view text);
// Records an error in PendingError with the coding of its kind (kind 0 takes
// the appended text along); nothing else.
void sup_record_error(u16 n, u16 kind);
// Records an error for the window side and, for kinds 0 and 2 on the window
// side, unwinds unless the one-shot suppress flag was set. Kind 1 beeps and
// returns; kind 3 returns at once; kind 2 on the command side waits (wait kind
// 9) until the window side took the error, then returns.
void sup_raise_error(u16 n, u16 kind);
// The window side's error box for the text in the message buffer (request 11
// and direct calls): title "QUENDAR ERROR"; with a retry offered at start-up,
// OK/Cancel and the question whether to quit. Returns the answer.
int sup_error_box_window_side();
// The text that the window side shows for an error word (CP932).
std::string sup_pending_error_text(u16 error);
// Appends one byte to the message line while it has room.
void sup_message_line_putc(u8 c);
// Empties the appended-text buffer and stops capturing.
void sup_reset_appended();
// Starts capturing: characters given to sup_appended_putc are kept (up to
// the buffer's size) for the next kind-0 error.
void sup_append_begin();
void sup_appended_putc(u8 c);
