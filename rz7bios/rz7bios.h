/* rz7bios: the emulator interface library. Every operation of the in-circuit
 * emulator is one exported function; in driver mode each becomes exactly one
 * I/O-control request to the interface driver. The caller allocates the
 * 1,046-byte work area zero-filled, fills its port base and interface kind,
 * and hands it over once with _NT_setbioswork. Buffers are plain caller memory.
 * Results: u8, u16 or u32 as listed; a failed request shows the operation's
 * error box and answers 0 (see each function for the exceptions). */
#ifndef RZ7BIOS_RZ7BIOS_H
#define RZ7BIOS_RZ7BIOS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A caller's own lock and unlock functions: point work-area offset 531 at the
 * token of such a record before _NT_setbioswork. */
typedef struct LockHookRecord {
  uint32_t tag;           /* 0xABCDEF01 */
  uint32_t value;         /* ignored by the library */
  void (*lock)(void);
  void (*unlock)(void);
} LockHookRecord;

/* Set-up and driver control. */
int _NT_setbioswork(void* work);
int _NT_open_driver(void);
int _NT_close_driver(void);
uint32_t _NT_driver_status(void);
int _NT_getver(void);
int _NT_get_bios_workp_size(void);
int _NT_get_rz7arg_size(void);
int _Q_get_qn_func(void);
uint32_t _Q_if_lap_time(void);
void _nt_STARTCMD(uint16_t code);

/* Host ports and interface registers. */
uint8_t _Q_iord(uint16_t port);
void _Q_iowr(uint16_t port, uint8_t value);
uint8_t _Q_rdreg(uint8_t reg);
void _Q_rdregblk(uint8_t reg, void* buffer, uint16_t count);
void _Q_wrreg0(uint8_t reg, uint8_t value, uint8_t mask);
void _Q_wrreg1(uint8_t reg, uint8_t value);
void _Q_wrregblk(uint8_t reg, const void* buffer, uint16_t count);
uint8_t _Q_if_init(void);
void _Q_init(void);

/* Emulation memory and monitor memory. */
void _Q_wrrom(uint8_t value);
void _Q_wrromblk(const void* buffer, uint16_t count);
uint8_t _Q_rdrom(void);
void _Q_rdromblk(void* buffer, uint16_t count);
void _Q_bankset(uint16_t bank);
void _Q_wrmonblk(uint16_t bank, uint16_t address, const void* buffer, uint16_t count);
void _Q_rdmonblk(uint16_t bank, uint16_t address, void* buffer, uint16_t count);
void _Q_mon_en(uint16_t flag);

/* The target channel. */
void _Q_fifo_rst(void);
uint32_t _Q_putrs(uint8_t byte);
uint32_t _Q_putrsblk(const void* buffer, uint16_t count, uint16_t stop_on_input);
uint32_t _Q_rschk(void);
uint8_t _Q_getrs(void);
uint32_t _Q_getrsblk(void* buffer, uint16_t count);
void _Q_flushrs(void);
void _Q_push_getrs(uint8_t byte);

/* Target control. */
void _Q_br_port_sel(void);
void _Q_trg_rst(uint16_t mode, uint16_t fifo_reset);
void _Q_trg_NMI(uint16_t ms);
uint16_t _Q_chk_run(void);
uint32_t _Q_chk_vcc(uint16_t second);

/* Events, timers and trace. */
void _Q_ev_set(uint16_t flags);
uint8_t _Q_ev_stat(uint16_t page);
uint16_t _Q_delay_rd(void);
void _Q_trig_set(uint16_t channel);
void _Q_rtc0_clr(void);
uint32_t _Q_rtc0_rd(void);
void _Q_tm_start(void);
void _Q_tm_set(void);
uint8_t _Q_tm_rd(uint32_t* out);
void _Q_bt_sel(uint32_t page);
void _Q_tr_go(void);
void _Q_tr_on(void);
uint32_t _Q_tr_stop(uint32_t* frame_out, uint32_t* delay_out);
uint32_t _Q_tr_rdadr(void);
uint16_t _Q_rdsmp_adr(uint32_t* address_out, uint16_t* status_out);
void _Q_set_fadr(uint16_t frame);
void _Q_rd_trc_data(uint16_t frame, uint32_t* address_out, uint32_t* data_out, uint16_t* status_out,
                    uint16_t* extra_out);

/* Logic configuration, waits, profiler and JTAG. */
uint32_t _Q_flex_cfg(uint8_t flags, const void* buffer, uint16_t length);
void _Q_wait(uint16_t ms);
uint16_t _Q_profnmi(void* buffer, uint16_t count, uint8_t code, uint16_t mode);
uint16_t _Q_jtag_wrregblk(const void* buffer, uint16_t count);
uint16_t _Q_jtag_rdFIFO(const void* wbuffer, uint16_t wcount, void* rbuffer, uint16_t rcount);

#ifdef __cplusplus
}
#endif

#endif
