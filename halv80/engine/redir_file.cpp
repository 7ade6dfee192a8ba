// The redirect file, the input file and the saved macro file.
#include "halv80/engine/redir_file.h"

#include <cstring>
#include <vector>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/mac_lines.h"
#include "halv80/engine/mac_store.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/sup_paths.h"
#include "platform/host/host_file.h"
#include "platform/host/host_text.h"

RedirState Redir;
constinit InputState Input;

namespace {

constexpr std::size_t kNameSize = 1024;

// The operand's file name, made absolute with the current directory; false
// when the result would not fit.
bool absolute_name(std::string_view name, char (&out)[kNameSize]) {
  if (name.size() >= kNameSize) return false;
  std::memcpy(out, name.data(), name.size());
  out[name.size()] = '\0';
  return sup_path_make_absolute(out) >= 0;
}

// The name: the operand up to its end, trailing blanks dropped.
std::string_view operand_name(const char* operand) {
  const char* start = sup_skip_blanks(operand);
  std::size_t n = std::strlen(start);
  while (n > 0 && u8(start[n - 1]) <= 0x20) --n;
  return {start, n};
}

}  // namespace

void redir_open_create() { redir_open(false, operand_name(Mac.WordOperand)); }
void redir_open_append() { redir_open(true, operand_name(Mac.WordOperand)); }

void redir_open(bool append, std::string_view name) {
  if (const u16 failure = redir_close()) cmd_fail(failure);
  if (name.empty()) return;
  char full[kNameSize];
  if (!absolute_name(name, full)) cmd_fail(kMsgCannotCreate);
  if (append) {
    const int h = sup_file_open(full, 2);
    if (h >= 0) {
      // continue over the end-of-file mark; a file without one keeps its last byte
      const i32 size = sup_file_seek(h, 0, 2);
      if (size > 0) {
        u8 last = 0;
        sup_file_seek(h, -1, 2);
        if (sup_file_read(h, &last, 1) == 1 && last == kEndOfFileMark) sup_file_seek(h, -1, 2);
        else sup_file_seek(h, 0, 2);
      }
      Redir = RedirState{h, 0, 0, full};
      return;
    }
  }
  // A new file is written beside its name and takes it when it is closed:
  // until then an old file of that name stays as it was.
  const int h = sup_file_create_replacement(full);
  if (h < 0) cmd_fail(kMsgCannotCreate);
  Redir = RedirState{h, 0, 1, full};
}

namespace {

// Closes the file without its end mark: a new file is discarded, an appended
// one keeps what was written.
void drop_file() {
  sup_file_close(Redir.Handle);
  Redir = RedirState{};
}

}  // namespace

void redir_write_byte(u8 c) {
  if (Redir.Handle < 0) return;
  if (c == 8) {
    // back over the last byte, never before the start
    if (sup_file_seek(Redir.Handle, 0, 1) > 0) sup_file_seek(Redir.Handle, -1, 1);
    return;
  }
  if (sup_file_write(Redir.Handle, &c, 1) != 1) {
    drop_file();
    cmd_fail(kMsgDiskFull);
  }
}

void redir_put_char(u8 c) {
  if (Redir.Handle < 0) return;
  if (Redir.DbcsMark) {
    Redir.DbcsMark = 0;
    redir_write_byte(c);
  } else if (c == '\n') {
    redir_write_byte('\r');
    redir_write_byte('\n');
  } else if (host_cp932_lead(c)) {
    Redir.DbcsMark = 1;
    redir_write_byte(c);
  } else if (c >= 0x20 || c == '\t' || c == 8) {
    redir_write_byte(c);
  }
}

void redir_put_string(std::string_view s) {
  for (const char c : s) redir_put_char(c == 13 ? u8('\n') : u8(c));
}

u16 redir_close() {
  if (Redir.Handle < 0) return 0;
  const u8 eof = kEndOfFileMark;
  const bool marked = sup_file_write(Redir.Handle, &eof, 1) == 1;
  const int handle = Redir.Handle;
  const bool replacing = Redir.Replacing != 0;
  Redir = RedirState{};
  if (!marked) {
    sup_file_close(handle);  // a new file is discarded
    return kMsgDiskFull;
  }
  if (!replacing) return sup_file_close(handle) == 0 ? 0 : kMsgDiskFull;
  switch (sup_file_commit(handle)) {
    case kCommitDone: return 0;
    case kCommitNotPlaced: return kMsgCannotCreate;
    default: return kMsgDiskFull;
  }
}

// --- The input file ----------------------------------------------------------

void input_open() {
  const std::string_view name = operand_name(Mac.WordOperand);
  if (name.empty()) return;
  char full[kNameSize];
  Input.InitMark = name == "init.mcr" ? 1 : 0;
  if (Input.InitMark) {
    std::memcpy(full, name.data(), name.size());
    full[name.size()] = '\0';
  } else if (!absolute_name(name, full)) {
    if (!Mac.FeedRunning) cmd_fail(kMsgNoInputFile);
    return;
  }
  input_close();
  const int h = sup_file_open(full, 0);
  if (h < 0) {
    Input.InitMark = 0;
    if (!Mac.FeedRunning) cmd_fail(kMsgNoInputFile);
    return;
  }
  Input.Handle = h;
  Input.Previous = 0;
  Input.Turn = 0;
}

void input_close() {
  if (Input.Handle >= 0) sup_file_close(Input.Handle);
  Input.Handle = -1;
  Input.Turn = 0;
}

u8 input_read_char() {
  if (Input.Handle < 0) return 0;
  u8 c = 0;
  if (sup_file_read(Input.Handle, &c, 1) != 1 || c == kEndOfFileMark) {
    Input.InitMark = 0;
    input_close();
    return 0;
  }
  const u8 previous = Input.Previous;
  Input.Previous = c;
  return (c == '\n' && previous != '\r') ? u8('\r') : c;
}

// --- The saved macro file --------------------------------------------------------

void mac_save_file(std::string_view name) {
  if (const u16 failure = redir_close()) cmd_fail(failure);
  while (!name.empty() && u8(name.back()) <= 0x20) name.remove_suffix(1);
  if (name.empty()) return;
  char full[kNameSize];
  if (!absolute_name(name, full)) cmd_fail(kMsgCannotCreate);
  std::string text = "* loading ";
  text += name;
  text += "\r\nnlist\r\n";
  // as the redirect file would take them: CR as a line break, no control bytes
  auto add = [&](std::string_view s) {
    bool trail = false;
    for (const char ch : s) {
      const u8 c = u8(ch);
      if (trail) {
        text += ch;
        trail = false;
      } else if (c == 13 || c == '\n') {
        text += "\r\n";
      } else if (host_cp932_lead(c)) {
        text += ch;
        trail = true;
      } else if (c >= 0x20 || c == '\t') {
        text += ch;
      }
    }
  };
  for (int i = Store.Count - 1; i >= 0; --i) {
    if (mac_entry_builtin(i)) continue;
    text += '{';
    add(mac_entry_name(i));
    text += "\r\n";
    add(mac_entry_body(i));
    text += "}\r\n";
  }
  text += "list\r\n* load end\r\n";
  if (!sup_file_write_atomic(full, {reinterpret_cast<const u8*>(text.data()), text.size()}))
    cmd_fail(kMsgCannotCreate);
}
