// The table of every emulator operation that goes to the driver as one
// request: how to call it, its request number, its packed inputs and the width
// of its result.
#pragma once

#include <functional>
#include <variant>
#include <vector>

#include "platform/device/dev_layout.h"
#include "rz7bios/rz7bios.h"

// One packed input: a number of the given width, or a token that must stand
// for `length` bytes at `memory`.
struct Num {
  int width;
  u32 value;
};
struct Tok {
  const void* memory;
  std::size_t length;
};
using Field = std::variant<Num, Tok>;

inline Num B(u32 v) { return {1, v}; }
inline Num W(u32 v) { return {2, v}; }
inline Num L(u32 v) { return {4, v}; }

struct ExportCase {
  const char* name;
  BiosRequest request;
  std::function<u32()> call;
  std::vector<Field> inputs;
  int result_width;  // 0: no result
};

// Caller memory the calls hand over.
inline u8 buf[64];
inline u32 out32a, out32b;
inline u16 out16a, out16b;

inline std::vector<ExportCase> export_cases() {
  return {
      {"iord", BiosRequest::IoRead, [] { return _Q_iord(0x1234); }, {W(0x1234)}, 1},
      {"iowr", BiosRequest::IoWrite, [] { _Q_iowr(0x1234, 0x56); return 0u; }, {W(0x1234), B(0x56)}, 0},
      {"rdreg", BiosRequest::ReadRegister, [] { return _Q_rdreg(7); }, {B(7)}, 1},
      {"rdregblk", BiosRequest::ReadRegisterBlock, [] { _Q_rdregblk(9, buf, 5); return 0u; },
       {B(9), Tok{buf, 5}, W(5)}, 0},
      {"wrreg0", BiosRequest::WriteRegisterMasked, [] { _Q_wrreg0(1, 0xF0, 0x3C); return 0u; },
       {B(1), B(0xF0), B(0x3C)}, 0},
      {"wrreg1", BiosRequest::WriteRegister, [] { _Q_wrreg1(2, 0x81); return 0u; }, {B(2), B(0x81)}, 0},
      {"wrregblk", BiosRequest::WriteRegisterBlock, [] { _Q_wrregblk(3, buf, 7); return 0u; },
       {B(3), Tok{buf, 7}, W(7)}, 0},
      {"init", BiosRequest::Init, [] { _Q_init(); return 0u; }, {}, 0},
      {"wrrom", BiosRequest::WriteRom, [] { _Q_wrrom(0xA5); return 0u; }, {B(0xA5)}, 0},
      {"wrromblk", BiosRequest::WriteRomBlock, [] { _Q_wrromblk(buf, 64); return 0u; }, {Tok{buf, 64}, W(64)}, 0},
      {"rdrom", BiosRequest::ReadRom, [] { return _Q_rdrom(); }, {}, 1},
      {"rdromblk", BiosRequest::ReadRomBlock, [] { _Q_rdromblk(buf, 3); return 0u; }, {Tok{buf, 3}, W(3)}, 0},
      {"bankset", BiosRequest::BankSet, [] { _Q_bankset(0x7F); return 0u; }, {W(0x7F)}, 0},
      {"wrmonblk", BiosRequest::WriteMonitorBlock, [] { _Q_wrmonblk(3, 0x40, buf, 5); return 0u; },
       {W(3), W(0x40), Tok{buf, 5}, W(5)}, 0},
      {"rdmonblk", BiosRequest::ReadMonitorBlock, [] { _Q_rdmonblk(255, 0x3F, buf, 1); return 0u; },
       {W(255), W(0x3F), Tok{buf, 1}, W(1)}, 0},
      {"mon_en", BiosRequest::MonitorEnable, [] { _Q_mon_en(1); return 0u; }, {W(1)}, 0},
      {"fifo_rst", BiosRequest::FifoReset, [] { _Q_fifo_rst(); return 0u; }, {}, 0},
      {"putrsblk", BiosRequest::PutChannelBlock, [] { return _Q_putrsblk(buf, 32, 1); },
       {Tok{buf, 32}, W(32), L(1)}, 4},
      {"rschk", BiosRequest::ChannelCheck, [] { return _Q_rschk(); }, {}, 4},
      {"getrs", BiosRequest::GetChannel, [] { return u32(_Q_getrs()); }, {}, 1},
      {"getrsblk", BiosRequest::GetChannelBlock, [] { return _Q_getrsblk(buf, 6); }, {Tok{buf, 6}, W(6)}, 4},
      {"flushrs", BiosRequest::FlushChannel, [] { _Q_flushrs(); return 0u; }, {}, 0},
      {"br_port_sel", BiosRequest::BreakPortSelect, [] { _Q_br_port_sel(); return 0u; }, {}, 0},
      {"trg_rst", BiosRequest::TargetReset, [] { _Q_trg_rst(5, 1); return 0u; }, {W(5), W(1)}, 0},
      {"trg_NMI", BiosRequest::TargetNmi, [] { _Q_trg_NMI(20); return 0u; }, {W(20)}, 0},
      {"chk_run", BiosRequest::CheckRun, [] { return u32(_Q_chk_run()); }, {}, 2},
      {"chk_vcc", BiosRequest::CheckVcc, [] { return _Q_chk_vcc(1); }, {W(1)}, 4},
      {"ev_set", BiosRequest::EventSet, [] { _Q_ev_set(2); return 0u; }, {W(2)}, 0},
      {"ev_stat", BiosRequest::EventStatus, [] { return u32(_Q_ev_stat(1)); }, {W(1)}, 1},
      {"delay_rd", BiosRequest::DelayRead, [] { return u32(_Q_delay_rd()); }, {}, 2},
      {"trig_set", BiosRequest::TriggerSet, [] { _Q_trig_set(3); return 0u; }, {W(3)}, 0},
      {"rtc0_clr", BiosRequest::RunTimeClear, [] { _Q_rtc0_clr(); return 0u; }, {}, 0},
      {"rtc0_rd", BiosRequest::RunTimeRead, [] { return _Q_rtc0_rd(); }, {}, 4},
      {"tm_start", BiosRequest::TimerStart, [] { _Q_tm_start(); return 0u; }, {}, 0},
      {"tm_set", BiosRequest::TimerSet, [] { _Q_tm_set(); return 0u; }, {}, 0},
      {"tm_rd", BiosRequest::TimerRead, [] { return u32(_Q_tm_rd(&out32a)); }, {Tok{&out32a, 4}}, 1},
      {"bt_sel", BiosRequest::PageSelect, [] { _Q_bt_sel(1); return 0u; }, {L(1)}, 0},
      {"tr_go", BiosRequest::TraceGo, [] { _Q_tr_go(); return 0u; }, {}, 0},
      {"tr_on", BiosRequest::TraceOn, [] { _Q_tr_on(); return 0u; }, {}, 0},
      // the second argument is packed first
      {"tr_stop", BiosRequest::TraceStop, [] { return _Q_tr_stop(&out32a, &out32b); },
       {Tok{&out32b, 4}, Tok{&out32a, 4}}, 4},
      {"tr_rdadr", BiosRequest::TraceReadAddress, [] { return _Q_tr_rdadr(); }, {}, 4},
      {"rdsmp_adr", BiosRequest::SampleAddress, [] { return u32(_Q_rdsmp_adr(&out32a, &out16a)); },
       {Tok{&out32a, 4}, Tok{&out16a, 2}}, 2},
      {"set_fadr", BiosRequest::SetFrameAddress, [] { _Q_set_fadr(0x1FF); return 0u; }, {W(0x1FF)}, 0},
      {"rd_trc_data", BiosRequest::ReadTraceData,
       [] { _Q_rd_trc_data(9, &out32a, &out32b, &out16a, &out16b); return 0u; },
       {W(9), Tok{&out32a, 4}, Tok{&out32b, 4}, Tok{&out16a, 2}, Tok{&out16b, 2}}, 0},
      {"flex_cfg", BiosRequest::FlexConfig, [] { return _Q_flex_cfg(3, buf, 40); }, {B(3), Tok{buf, 40}, W(40)}, 4},
      {"wait", BiosRequest::Wait, [] { _Q_wait(10); return 0u; }, {W(10)}, 0},
      {"prof_nmi", BiosRequest::ProfileNmi, [] { return u32(_Q_profnmi(buf, 8, 0x42, 2)); },
       {Tok{buf, 8}, W(8), B(0x42), W(2)}, 2},
      {"jtag_wrregblk", BiosRequest::JtagWriteBlock, [] { return u32(_Q_jtag_wrregblk(buf, 4)); },
       {Tok{buf, 4}, W(4)}, 2},
      {"jtag_rdFIFO", BiosRequest::JtagReadFifo, [] { return u32(_Q_jtag_rdFIFO(buf, 2, &out32a, 4)); },
       {Tok{buf, 2}, W(2), Tok{&out32a, 4}, W(4)}, 2},
      {"push_getrs", BiosRequest::PushChannel, [] { _Q_push_getrs(0x99); return 0u; }, {B(0x99)}, 0},
  };
}

