// The emulator operations: in driver mode each is one request with its inputs
// packed in argument order and its result read at the export's width. In
// direct mode (platform 1) the port back end carries out each of them on the
// card's registers. Buffers are bounded by their counts; a null buffer with a
// count moves nothing.
#include "platform/device/dev_driver.h"
#include "platform/device/dev_tokens.h"
#include "rz7bios/bios_core.h"
#include "rz7bios/bios_direct.h"
#include "rz7bios/rz7bios.h"

#include <type_traits>

namespace {

// Lock, then pack, request and result in driver mode (`pack` writes the
// inputs in argument order), or the direct routine in direct mode.
template <class Result, class Pack, class Direct>
Result either_op(BiosRequest n, std::string_view op, Pack pack, Direct direct) {
  LockScope lock;
  if (!bios_driver_mode()) {
    if (!Bios.Work) return Result(0);
    if constexpr (std::is_void_v<decltype(direct())>) {
      direct();
      return Result(0);
    } else {
      return Result(direct());
    }
  }
  Packer p;
  pack(p);
  return Result(bios_call(n, op));
}

// The card has registers 0..63; a larger number reaches nothing.
constexpr u8 kRegisterLimit = 64;

// Caller memory for the request: a token the driver resolves.
void* mem(const void* p) { return const_cast<void*>(p); }

// The caller's buffer for a direct routine; none at all when it is null.
std::span<u8> bytes(void* p, u16 count) { return p ? std::span(static_cast<u8*>(p), count) : std::span<u8>(); }
std::span<const u8> bytes(const void* p, u16 count) {
  return p ? std::span(static_cast<const u8*>(p), count) : std::span<const u8>();
}

// Register 10 holds the monitor bank in a byte.
constexpr u16 kBankLimit = 255;

}  // namespace

extern "C" {

uint8_t _Q_iord(uint16_t port) {
  return either_op<u8>(BiosRequest::IoRead, "iord", [&](Packer& p) { p.u16_(port); },
                       [&] { return dev_port_in8(port); });
}

void _Q_iowr(uint16_t port, uint8_t value) {
  either_op<u32>(BiosRequest::IoWrite, "iowr", [&](Packer& p) { p.u16_(port).u8_(value); },
                 [&] { dev_port_out8(port, value); });
}

uint8_t _Q_rdreg(uint8_t reg) {
  return either_op<u8>(BiosRequest::ReadRegister, "rdreg", [&](Packer& p) { p.u8_(reg); },
                       [&] { return reg < kRegisterLimit ? dir_read(reg) : u8(0xFF); });
}

void _Q_rdregblk(uint8_t reg, void* buffer, uint16_t count) {
  ScopedToken b(buffer, count);
  either_op<u32>(BiosRequest::ReadRegisterBlock, "rdregblk",
                 [&](Packer& p) { p.u8_(reg).u32_(b.token()).u16_(count); }, [&] {
                   if (reg < kRegisterLimit && buffer && count > 0)
                     dir_read_block(reg, std::span(static_cast<u8*>(buffer), count));
                 });
}

void _Q_wrreg0(uint8_t reg, uint8_t value, uint8_t mask) {
  either_op<u32>(BiosRequest::WriteRegisterMasked, "wrreg0", [&](Packer& p) { p.u8_(reg).u8_(value).u8_(mask); },
                 [&] {
                   if (reg < kRegisterLimit) dir_write_masked(reg, value, mask);
                 });
}

void _Q_wrreg1(uint8_t reg, uint8_t value) {
  either_op<u32>(BiosRequest::WriteRegister, "wrreg1", [&](Packer& p) { p.u8_(reg).u8_(value); }, [&] {
    if (reg < kRegisterLimit) dir_write(reg, value);
  });
}

void _Q_wrregblk(uint8_t reg, const void* buffer, uint16_t count) {
  ScopedToken b(mem(buffer), count);
  either_op<u32>(BiosRequest::WriteRegisterBlock, "wrregblk",
                 [&](Packer& p) { p.u8_(reg).u32_(b.token()).u16_(count); }, [&] {
                   if (reg < kRegisterLimit && buffer && count > 0)
                     dir_write_block(reg, std::span(static_cast<const u8*>(buffer), count));
                 });
}

uint8_t _Q_if_init(void) {
  LockScope lock;
  // direct mode: the board's own answer, 255 when no board is alive there
  if (!bios_driver_mode()) return Bios.Work ? dir_if_init() : u8(255);
  Bios.Block.set32<kArgChanSavedIndex>(0);
  Bios.Block.set32<kArgChanIndex>(0);
  Bios.Block.set32<kArgChanCount>(0);
  Bios.Block.set32<kArgWorkArea>(Bios.WorkToken);
  Packer();
  if (bios_send(BiosRequest::InterfaceInit)) return u8(bios_result());
  bios_error_box("if_init");
  return 255;  // as a board that does not answer: 0 would read as a board id
}

void _Q_init(void) { either_op<u32>(BiosRequest::Init, "init", [](Packer&) {}, [] { dir_init(); }); }

void _Q_wrrom(uint8_t value) {
  either_op<u32>(BiosRequest::WriteRom, "wrrom", [&](Packer& p) { p.u8_(value); }, [&] { dir_wrrom(value); });
}

void _Q_wrromblk(const void* buffer, uint16_t count) {
  ScopedToken b(mem(buffer), count);
  either_op<u32>(BiosRequest::WriteRomBlock, "wrromblk", [&](Packer& p) { p.u32_(b.token()).u16_(count); },
                 [&] { dir_wrromblk(bytes(buffer, count)); });
}

uint8_t _Q_rdrom(void) {
  return either_op<u8>(BiosRequest::ReadRom, "rdrom", [](Packer&) {}, [] { return dir_rdrom(); });
}

void _Q_rdromblk(void* buffer, uint16_t count) {
  ScopedToken b(buffer, count);
  either_op<u32>(BiosRequest::ReadRomBlock, "rdromblk", [&](Packer& p) { p.u32_(b.token()).u16_(count); },
                 [&] { dir_rdromblk(bytes(buffer, count)); });
}

void _Q_bankset(uint16_t bank) {
  either_op<u32>(BiosRequest::BankSet, "bankset", [&](Packer& p) { p.u16_(bank); }, [&] {
    if (bank <= kBankLimit) dir_bankset(bank);
  });
}

void _Q_wrmonblk(uint16_t bank, uint16_t address, const void* buffer, uint16_t count) {
  ScopedToken b(mem(buffer), count);
  either_op<u32>(BiosRequest::WriteMonitorBlock, "wrmonblk",
                 [&](Packer& p) { p.u16_(bank).u16_(address).u32_(b.token()).u16_(count); }, [&] {
                   if (bank <= kBankLimit) dir_wrmonblk(bank, address, bytes(buffer, count));
                 });
}

void _Q_rdmonblk(uint16_t bank, uint16_t address, void* buffer, uint16_t count) {
  ScopedToken b(buffer, count);
  either_op<u32>(BiosRequest::ReadMonitorBlock, "rdmonblk",
                 [&](Packer& p) { p.u16_(bank).u16_(address).u32_(b.token()).u16_(count); }, [&] {
                   if (bank <= kBankLimit) dir_rdmonblk(bank, address, bytes(buffer, count));
                 });
}

void _Q_mon_en(uint16_t flag) {
  either_op<u32>(BiosRequest::MonitorEnable, "mon_en", [&](Packer& p) { p.u16_(flag); }, [&] { dir_mon_en(flag); });
}

void _Q_br_port_sel(void) {
  either_op<u32>(BiosRequest::BreakPortSelect, "br_port_sel", [](Packer&) {}, [] { dir_br_port_sel(); });
}

void _Q_trg_rst(uint16_t mode, uint16_t fifo_reset) {
  either_op<u32>(BiosRequest::TargetReset, "trg_rst", [&](Packer& p) { p.u16_(mode).u16_(fifo_reset); },
                 [&] { dir_trg_rst(mode, fifo_reset); });
}

void _Q_trg_NMI(uint16_t ms) {
  either_op<u32>(BiosRequest::TargetNmi, "trg_NMI", [&](Packer& p) { p.u16_(ms); }, [&] { dir_trg_nmi(ms); });
}

uint16_t _Q_chk_run(void) {
  LockScope lock;
  if (!bios_driver_mode()) return Bios.Work ? dir_chk_run() : u16(0);
  Packer();
  const u16 state = u16(bios_call(BiosRequest::CheckRun, "chk_run"));
  Bios.Work->set16<kWorkRunState>(state);
  return state;
}

uint32_t _Q_chk_vcc(uint16_t second) {
  LockScope lock;
  if (!bios_driver_mode()) return Bios.Work ? dir_chk_vcc(second) : 0;
  Packer().u16_(second);
  const u32 off = bios_call(BiosRequest::CheckVcc, "chk_vcc");
  if (off != 0) Bios.Work->set16<kWorkStatus>(u16(Bios.Work->get16<kWorkStatus>() | kStatusPowerOff));
  return off;
}

void _Q_ev_set(uint16_t flags) {
  either_op<u32>(BiosRequest::EventSet, "ev_set", [&](Packer& p) { p.u16_(flags); }, [&] { dir_ev_set(flags); });
}

uint8_t _Q_ev_stat(uint16_t page) {
  return either_op<u8>(BiosRequest::EventStatus, "ev_stat", [&](Packer& p) { p.u16_(page); },
                       [&] { return dir_ev_stat(page); });
}

uint16_t _Q_delay_rd(void) {
  return either_op<u16>(BiosRequest::DelayRead, "delay_rd", [](Packer&) {}, [] { return dir_delay_rd(); });
}

void _Q_trig_set(uint16_t channel) {
  either_op<u32>(BiosRequest::TriggerSet, "trig_set", [&](Packer& p) { p.u16_(channel); },
                 [&] { dir_trig_set(channel); });
}

void _Q_rtc0_clr(void) {
  either_op<u32>(BiosRequest::RunTimeClear, "rtc0_clr", [](Packer&) {}, [] { dir_rtc0_clr(); });
}

uint32_t _Q_rtc0_rd(void) {
  return either_op<u32>(BiosRequest::RunTimeRead, "rtc0_rd", [](Packer&) {}, [] { return dir_rtc0_rd(); });
}

void _Q_tm_start(void) {
  either_op<u32>(BiosRequest::TimerStart, "tm_start", [](Packer&) {}, [] { dir_tm_start(); });
}

void _Q_tm_set(void) { either_op<u32>(BiosRequest::TimerSet, "tm_set", [](Packer&) {}, [] { dir_tm_set(); }); }

uint8_t _Q_tm_rd(uint32_t* out) {
  ScopedToken o(out, sizeof *out);
  return either_op<u8>(BiosRequest::TimerRead, "tm_rd", [&](Packer& p) { p.u32_(o.token()); },
                       [&] { return dir_tm_rd(out); });
}

void _Q_bt_sel(uint32_t page) {
  either_op<u32>(BiosRequest::PageSelect, "bt_sel", [&](Packer& p) { p.u32_(page); },
                 [&] { dir_select_page(page); });
}

void _Q_tr_go(void) { either_op<u32>(BiosRequest::TraceGo, "tr_go", [](Packer&) {}, [] { dir_tr_go(); }); }

void _Q_tr_on(void) { either_op<u32>(BiosRequest::TraceOn, "tr_on", [](Packer&) {}, [] { dir_tr_on(); }); }

uint32_t _Q_tr_stop(uint32_t* frame_out, uint32_t* delay_out) {
  ScopedToken frame(frame_out, sizeof *frame_out);
  ScopedToken delay(delay_out, sizeof *delay_out);
  // the second argument goes first
  return either_op<u32>(BiosRequest::TraceStop, "tr_stop",
                        [&](Packer& p) { p.u32_(delay.token()).u32_(frame.token()); },
                        [&] { return dir_tr_stop(frame_out, delay_out); });
}

uint32_t _Q_tr_rdadr(void) {
  return either_op<u32>(BiosRequest::TraceReadAddress, "tr_rdadr", [](Packer&) {}, [] { return dir_tr_rdadr(); });
}

uint16_t _Q_rdsmp_adr(uint32_t* address_out, uint16_t* status_out) {
  ScopedToken address(address_out, sizeof *address_out);
  ScopedToken status(status_out, sizeof *status_out);
  return either_op<u16>(BiosRequest::SampleAddress, "rdsmp_adr",
                        [&](Packer& p) { p.u32_(address.token()).u32_(status.token()); },
                        [&] { return dir_rdsmp_adr(address_out, status_out); });
}

void _Q_set_fadr(uint16_t frame) {
  either_op<u32>(BiosRequest::SetFrameAddress, "set_fadr", [&](Packer& p) { p.u16_(frame); },
                 [&] { dir_set_fadr(frame); });
}

void _Q_rd_trc_data(uint16_t frame, uint32_t* address_out, uint32_t* data_out, uint16_t* status_out,
                    uint16_t* extra_out) {
  ScopedToken address(address_out, sizeof *address_out);
  ScopedToken data(data_out, sizeof *data_out);
  ScopedToken status(status_out, sizeof *status_out);
  ScopedToken extra(extra_out, sizeof *extra_out);
  either_op<u32>(
      BiosRequest::ReadTraceData, "rd_trc_data",
      [&](Packer& p) {
        p.u16_(frame).u32_(address.token()).u32_(data.token()).u32_(status.token()).u32_(extra.token());
      },
      [&] { dir_rd_trc_data(frame, address_out, data_out, status_out, extra_out); });
}

uint32_t _Q_flex_cfg(uint8_t flags, const void* buffer, uint16_t length) {
  ScopedToken b(mem(buffer), length);
  LockScope lock;
  if (!bios_driver_mode()) return Bios.Work ? dir_flex_cfg(flags, bytes(buffer, length)) : 1;
  Packer().u8_(flags).u32_(b.token()).u16_(length);
  if (bios_send(BiosRequest::FlexConfig)) return bios_result();
  bios_error_box("flex_cfg");
  // A configuration that never reached the board has failed, not succeeded.
  Bios.Work->set16<kWorkStatus>(u16(Bios.Work->get16<kWorkStatus>() | kStatusLogicConfig));
  return 1;
}

void _Q_wait(uint16_t ms) {
  either_op<u32>(BiosRequest::Wait, "wait", [&](Packer& p) { p.u16_(ms); }, [&] { dir_wait_ms(ms); });
}

uint16_t _Q_profnmi(void* buffer, uint16_t count, uint8_t code, uint16_t mode) {
  ScopedToken b(buffer, count);
  return either_op<u16>(BiosRequest::ProfileNmi, "prof_nmi",
                        [&](Packer& p) { p.u32_(b.token()).u16_(count).u8_(code).u16_(mode); },
                        [&] { return dir_profnmi(bytes(buffer, count), code, mode); });
}

uint16_t _Q_jtag_wrregblk(const void* buffer, uint16_t count) {
  ScopedToken b(mem(buffer), count);
  return either_op<u16>(BiosRequest::JtagWriteBlock, "jtag_wrregblk",
                        [&](Packer& p) { p.u32_(b.token()).u16_(count); },
                        [&] { return dir_jtag_wrregblk(bytes(buffer, count)); });
}

uint16_t _Q_jtag_rdFIFO(const void* wbuffer, uint16_t wcount, void* rbuffer, uint16_t rcount) {
  ScopedToken w(mem(wbuffer), wcount);
  ScopedToken r(rbuffer, rcount);
  return either_op<u16>(BiosRequest::JtagReadFifo, "jtag_rdFIFO",
                        [&](Packer& p) { p.u32_(w.token()).u16_(wcount).u32_(r.token()).u16_(rcount); },
                        [&] { return dir_jtag_rdfifo(bytes(wbuffer, wcount), bytes(rbuffer, rcount)); });
}

}  // extern "C"
