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

// Break-port selection from offsets 524/525; the event timer.
void dir_br_port_sel();
void dir_tm_start();
void dir_tm_set();
