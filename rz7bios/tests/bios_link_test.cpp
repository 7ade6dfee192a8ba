// A program that knows the library only by its name and its public header.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "rz7bios/rz7bios.h"
#include "rz7bios/tests/fake_driver.h"

namespace {

TEST(BiosLinkTest, EveryExportIsFoundByItsName) {
  void* library = dlopen(RZ7BIOS_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  const char* names[] = {
      "_NT_setbioswork", "_NT_open_driver", "_NT_close_driver", "_NT_driver_status", "_NT_getver",
      "_NT_get_bios_workp_size", "_NT_get_rz7arg_size", "_Q_get_qn_func", "_Q_if_lap_time", "_nt_STARTCMD",
      "_Q_iord", "_Q_iowr", "_Q_rdreg", "_Q_rdregblk", "_Q_wrreg0", "_Q_wrreg1", "_Q_wrregblk", "_Q_if_init",
      "_Q_init", "_Q_wrrom", "_Q_wrromblk", "_Q_rdrom", "_Q_rdromblk", "_Q_bankset", "_Q_wrmonblk",
      "_Q_rdmonblk", "_Q_mon_en", "_Q_fifo_rst", "_Q_putrs", "_Q_putrsblk", "_Q_rschk", "_Q_getrs",
      "_Q_getrsblk", "_Q_flushrs", "_Q_push_getrs", "_Q_br_port_sel", "_Q_trg_rst", "_Q_trg_NMI",
      "_Q_chk_run", "_Q_chk_vcc", "_Q_ev_set", "_Q_ev_stat", "_Q_delay_rd", "_Q_trig_set", "_Q_rtc0_clr",
      "_Q_rtc0_rd", "_Q_tm_start", "_Q_tm_set", "_Q_tm_rd", "_Q_bt_sel", "_Q_tr_go", "_Q_tr_on", "_Q_tr_stop",
      "_Q_tr_rdadr", "_Q_rdsmp_adr", "_Q_set_fadr", "_Q_rd_trc_data", "_Q_flex_cfg", "_Q_wait", "_Q_profnmi",
      "_Q_jtag_wrregblk", "_Q_jtag_rdFIFO",
  };
  for (const char* name : names) EXPECT_NE(dlsym(library, name), nullptr) << name;
  // the library's own internals stay inside it
  EXPECT_EQ(dlsym(library, "Bios"), nullptr);
  dlclose(library);
}

TEST(BiosLinkTest, LinkedProgramRunsARequestThroughTheDriver) {
  EXPECT_EQ(_NT_get_bios_workp_size(), 1046);
  EXPECT_EQ(_NT_get_rz7arg_size(), 416);
  BiosRig rig;
  ASSERT_EQ(rig.open_code, 0);
  EXPECT_EQ(_Q_get_qn_func(), 1);
  u8 data[5] = {1, 2, 3, 4, 5};
  _Q_wrmonblk(3, 0x40, data, 5);
  ASSERT_EQ(rig.driver.calls.size(), 2u);
  const auto& inputs = rig.driver.calls[1].inputs;
  EXPECT_EQ(inputs[0], 3);
  EXPECT_EQ(inputs[2], 0x40);
  EXPECT_EQ(inputs[8], 5);
}

}  // namespace
