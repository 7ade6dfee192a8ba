// The redirect file's byte handling.
#include "halv80/engine/redir_file.h"

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/sup_host.h"
#include "platform/host/host_text.h"

RedirState Redir;

namespace {


}  // namespace

void redir_write_byte(u8 c) {
  if (Redir.Handle < 0) return;
  if (c == 8) {
    sup_file_seek(Redir.Handle, -1, 1);
    return;
  }
  if (sup_file_write(Redir.Handle, &c, 1) != 1) {
    sup_file_close(Redir.Handle);
    Redir.Handle = -1;
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

void redir_close() {
  if (Redir.Handle < 0) return;
  const u8 eof = 0x1A;
  sup_file_write(Redir.Handle, &eof, 1);
  sup_file_close(Redir.Handle);
  Redir.Handle = -1;
  Redir.DbcsMark = 0;
}
