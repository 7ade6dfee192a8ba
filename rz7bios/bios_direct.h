// The direct back end's ground floor: the card's ports, the board probe and
// port map, the 64 interface registers with their select cache and write
// shadow, the register page, the wait step and the board timer, and the
// initialisation behind _Q_if_init and _Q_init. All state lives in the work
// area; every routine expects Bios.Work to be set.
#pragma once

#include <span>

#include "rz7bios/bios_core.h"

// Board generations, as the probe stores them in the high nibble of offset 33.
constexpr u8 kBoardGen10 = 0x10;  // word ports
constexpr u8 kBoardGen20 = 0x20;  // byte ports only
constexpr u8 kBoardGen30 = 0x30;  // word, double-word, prefetch and second-bank ports

// Port map slots: work-area offsets of the ports derived from the base.
constexpr std::size_t kPortSelect = 6;        // B+2 register select (byte)
constexpr std::size_t kPortData = 8;          // B+3 register data (byte)
constexpr std::size_t kPortWordWrite = 10;    // B+4 word data (write)
constexpr std::size_t kPortWordRead = 12;     // B+2 word data (read)
constexpr std::size_t kPortRegWrite = 14;     // B+2 register write (number low, value high)
constexpr std::size_t kPortTimerControl = 16; // B+7
constexpr std::size_t kPortTimerCount = 18;   // B+5
constexpr std::size_t kPortBoard = 20;        // B+4
constexpr std::size_t kPortBank2Select = 22;  // B+10
constexpr std::size_t kPortBank2Data = 24;    // B+11
constexpr std::size_t kPortBank2 = 26;        // B+10
constexpr std::size_t kPortDword = 28;        // B+12 double-word data (write)
constexpr std::size_t kPortPrefetch = 30;     // B+14 prefetch word read

// Registers the channel and the set-up use.
constexpr u8 kDirRegEmuMode = 2;
constexpr u8 kDirRegControl = 7;
constexpr u8 kDirRegReceive = 14;
constexpr u8 kDirRegChannel = 15;
constexpr u8 kDirRegPage = 44;
constexpr u8 kDirRegAlive = 63;

// The port in slot `slot` of the port map; 0 = absent.
u16 dir_port(std::size_t slot);

// Board set-up: register caches unknown, the generation probe, the port map,
// the generation 0x30 set-up bytes, the polls per tick.
void dir_board_setup();
// _Q_if_init in direct mode: 255 when register 63 bit 3 does not toggle.
u8 dir_if_init();
// _Q_init in direct mode.
void dir_init();

// Register access (the write shadow at offsets 35..98 is the only record of
// what the write-only registers hold). Register numbers are 0..63.
u8 dir_read(u8 reg);
u8 dir_read_bank2(u8 reg);
void dir_write(u8 reg, u8 value);
void dir_write_masked(u8 reg, u8 value, u8 mask);
void dir_read_block(u8 reg, std::span<u8> out);
void dir_write_block(u8 reg, std::span<const u8> data);  // data not empty
// Register page 0 or 1 (register 44 bit 7), written only when it changes.
void dir_select_page(u32 page);
// Set, then clear, bits of register 7.
void dir_pulse_control(u8 bits);

// Wait step: resets both counters before a wait; a step lets go of the lock
// and takes it again. True when the wait has timed out (status word bit 0).
void dir_wait_begin();
bool dir_wait_step();

// Board timer: 16-bit, 1 MHz, high byte read.
void dir_timer_reset();
u32 dir_timer_ms();
// n reads of the base port (2n on generation 0x30).
void dir_io_delay(u32 n);
// Busy wait of ms on the board timer, also ended by the host's tick count.
void dir_wait_ms(u32 ms);

// The channel (FIFO credit and count, push-back).
void dir_fifo_reset();
u32 dir_putrs(u8 byte);
u32 dir_putrsblk(std::span<const u8> data, bool stop_on_input);
u32 dir_rschk();
u8 dir_getrs();
u32 dir_getrsblk(std::span<u8> out);
void dir_flushrs();

// Waits until the channel has a byte for us; false on a time-out.
bool dir_wait_input();

// Break-port selection from offsets 524/525; the event timer.
void dir_br_port_sel();
void dir_tm_start();
void dir_tm_set();

// --- The operations (bios_direct_ops.cpp) ------------------------------------

// Emulation memory at the work area's address (305) and area kind (303). The
// block forms advance the address by the block's length.
void dir_wrrom(u8 value);
u8 dir_rdrom();
void dir_wrromblk(std::span<const u8> data);
void dir_rdromblk(std::span<u8> out);
// Monitor memory, byte by byte through registers 4, 5 and 6; bank 0..255.
void dir_bankset(u16 bank);
void dir_wrmonblk(u16 bank, u16 address, std::span<const u8> data);
void dir_rdmonblk(u16 bank, u16 address, std::span<u8> out);
void dir_mon_en(u16 flag);
// Target control and the run-time counter.
void dir_trg_rst(u16 mode, u16 fifo_reset);
void dir_trg_nmi(u16 ms);
u16 dir_chk_run();
u32 dir_chk_vcc(u16 second);
void dir_rtc0_clr();
u32 dir_rtc0_rd();
// Event channels: channel n (1..3), or all three (0).
void dir_trig_set(u16 channel);
void dir_ev_set(u16 flags);
u8 dir_ev_stat(u16 page);
u16 dir_delay_rd();
u8 dir_tm_rd(u32* out);
// Real-time trace.
void dir_tr_on();
void dir_tr_go();
u32 dir_tr_stop(u32* frame_out, u32* delay_out);
u32 dir_tr_rdadr();
void dir_set_fadr(u16 frame);
void dir_rd_trc_data(u16 frame, u32* address_out, u32* data_out, u16* status_out, u16* extra_out);
u16 dir_rdsmp_adr(u32* address_out, u16* status_out);
// Logic configuration: 0 done, 1 failed (status word 2).
u32 dir_flex_cfg(u8 flags, std::span<const u8> data);
// JTAG port: 0 done, 1 time-out / bytes read.
u16 dir_jtag_wrregblk(std::span<const u8> data);
u16 dir_jtag_rdfifo(std::span<const u8> write, std::span<u8> read);
// The profiler's sample exchange: 0 done, 1 time-out, 2 not the echo, 3 not running.
u16 dir_profnmi(std::span<u8> buffer, u8 code, u16 mode);
