// The target channel. In direct mode the port back end counts FIFO room and
// contents itself (bios_direct.cpp). In driver mode: Small sends gather in the work area's
// 32-byte channel buffer until a request carries them; bytes the driver read
// ahead wait there in receive mode and are served without a request. The
// buffer state (index, count, receive mode) lives in the argument block,
// where the driver rewrites it on every request; the index and count it
// leaves are clamped to the buffer before use.
#include <algorithm>

#include "platform/device/dev_tokens.h"
#include "rz7bios/bios_core.h"
#include "rz7bios/bios_direct.h"
#include "rz7bios/rz7bios.h"

namespace {

u32 chan_index() { return std::min<u32>(Bios.Block.get32<kArgChanIndex>(), kChannelBufferSize); }
u32 chan_count() { return std::min<u32>(Bios.Block.get32<kArgChanCount>(), kChannelBufferSize - chan_index()); }
bool receive_mode() { return Bios.Block.get32<kArgChanReceive>() != 0; }
u8* chan_buffer() { return &Bios.Work->bytes[kWorkChannelBuffer]; }

void leave_receive_mode() {
  Bios.Block.set32<kArgChanReceive>(0);
  Bios.Block.set32<kArgChanCount>(0);
  Bios.Block.set32<kArgChanIndex>(Bios.Block.get32<kArgChanSavedIndex>());
}

// Takes n buffered bytes; leaves receive mode when none are left.
void take_buffered(u8* out, u32 n) {
  const u32 index = chan_index();
  const u32 count = chan_count();
  n = std::min(n, count);
  std::copy_n(chan_buffer() + index, n, out);
  if (count - n == 0) {
    leave_receive_mode();
    return;
  }
  Bios.Block.set32<kArgChanIndex>(index + n);
  Bios.Block.set32<kArgChanCount>(count - n);
}

// A sending call that finds the driver's read-ahead waiting is a caller error.
void check_not_receiving() {
  if (receive_mode()) bios_message("\n############ Buffering ERROR ###############");
}

// A channel request that failed counts as a time-out, so that callers who
// check the status word after each channel call see it.
u32 channel_call(BiosRequest n, std::string_view op, u32 failed_result) {
  if (bios_send(n)) return bios_result();
  bios_error_box(op);
  Bios.Work->set16<kWorkStatus>(u16(Bios.Work->get16<kWorkStatus>() | kStatusTimeout));
  return failed_result;
}

bool pushed_back() { return Bios.Work->get16<kWorkPushback>() != kNoPushback; }

u8 take_pushback() {
  const u8 b = u8(Bios.Work->get16<kWorkPushback>());
  Bios.Work->set16<kWorkPushback>(kNoPushback);
  return b;
}

}  // namespace

extern "C" {

void _Q_fifo_rst(void) {
  LockScope lock;
  if (!Bios.Work) return;
  if (!bios_driver_mode()) return dir_fifo_reset();
  Packer();
  channel_call(BiosRequest::FifoReset, "fifo_rst", 0);
}

uint32_t _Q_putrs(uint8_t byte) {
  LockScope lock;
  if (!Bios.Work) return 0;
  if (!bios_driver_mode()) return dir_putrs(byte);
  check_not_receiving();
  const u32 index = chan_index();
  const u32 count = Bios.Block.get32<kArgChanCount>();
  // the pending count is the driver's word: widened, so that no value wraps
  if (!receive_mode() && u64(count) + 1 < kChannelBufferSize && index < kChannelBufferSize) {
    chan_buffer()[index] = byte;
    Bios.Block.set32<kArgChanIndex>(index + 1);
    Bios.Block.set32<kArgChanCount>(count + 1);
    return 0;
  }
  Packer().u8_(byte);
  return channel_call(BiosRequest::PutChannel, "putrs", 1);
}

uint32_t _Q_putrsblk(const void* buffer, uint16_t count, uint16_t stop_on_input) {
  LockScope lock;
  if (!Bios.Work) return 0;
  if (!bios_driver_mode()) {
    if (!buffer) return count ? 1 : 0;
    return dir_putrsblk(std::span(static_cast<const u8*>(buffer), count), stop_on_input != 0);
  }
  check_not_receiving();
  const u32 index = chan_index();
  const u32 pending = Bios.Block.get32<kArgChanCount>();
  // at most 31 bytes are ever pending; a missing buffer goes to the driver,
  // which refuses it
  if (!receive_mode() && buffer != nullptr && u64(pending) + count < kChannelBufferSize &&
      u64(index) + count <= kChannelBufferSize) {
    std::copy_n(static_cast<const u8*>(buffer), count, chan_buffer() + index);
    Bios.Block.set32<kArgChanIndex>(index + count);
    Bios.Block.set32<kArgChanCount>(pending + count);
    return 0;
  }
  ScopedToken b(const_cast<void*>(buffer), count);
  Packer().u32_(b.token()).u16_(count).u32_(stop_on_input);
  return channel_call(BiosRequest::PutChannelBlock, "putrsblk", 1);
}

uint32_t _Q_rschk(void) {
  LockScope lock;
  if (!Bios.Work) return 0;
  if (!bios_driver_mode()) return dir_rschk();
  if (pushed_back()) return 1;
  if (receive_mode()) return chan_count();
  Packer();
  return channel_call(BiosRequest::ChannelCheck, "rschk", 0);
}

uint8_t _Q_getrs(void) {
  LockScope lock;
  if (!Bios.Work) return 0;
  if (!bios_driver_mode()) return dir_getrs();
  if (pushed_back()) return take_pushback();
  if (receive_mode()) {
    if (chan_count() > 0) {
      u8 b;
      take_buffered(&b, 1);
      return b;
    }
    leave_receive_mode();
  }
  Packer();
  return u8(channel_call(BiosRequest::GetChannel, "getrs", 0));
}

uint32_t _Q_getrsblk(void* buffer, uint16_t count) {
  LockScope lock;
  if (!Bios.Work || count == 0) return 0;
  if (!bios_driver_mode()) return buffer ? dir_getrsblk(std::span(static_cast<u8*>(buffer), count)) : 1;
  u8* out = static_cast<u8*>(buffer);
  u32 left = count;
  // a missing buffer takes nothing here: the driver refuses it
  if (out != nullptr && pushed_back()) {
    *out++ = take_pushback();
    --left;
  }
  if (out != nullptr && left > 0 && receive_mode()) {
    const u32 buffered = chan_count();
    take_buffered(out, left);
    if (buffered >= left) return 0;
    out += buffered;
    left -= buffered;
    leave_receive_mode();
  }
  if (left == 0) return 0;
  ScopedToken b(out, left);
  Packer().u32_(b.token()).u16_(u16(left));
  return channel_call(BiosRequest::GetChannelBlock, "getrsblk", 1);
}

void _Q_flushrs(void) {
  LockScope lock;
  if (!Bios.Work) return;
  if (!bios_driver_mode()) return dir_flushrs();
  if (receive_mode()) leave_receive_mode();
  Packer();
  channel_call(BiosRequest::FlushChannel, "flushrs", 0);
}

void _Q_push_getrs(uint8_t byte) {
  LockScope lock;
  if (!Bios.Work) return;
  if (!bios_driver_mode()) return Bios.Work->set16<kWorkPushback>(byte);
  Packer().u8_(byte);
  channel_call(BiosRequest::PushChannel, "push_getrs", 0);
}

}  // extern "C"
