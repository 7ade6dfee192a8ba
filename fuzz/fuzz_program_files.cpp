// The program-file readers on any bytes, without a target: the input is read
// as Intel HEX and as S-records (with the address checks of a target without
// memory management, and of one with it and a load offset), cut into pieces of
// every size so that lines break anywhere, and as a .db0 memory image. A read
// ends with a status, never a crash; no record handed on passes 0xFFFF.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/engine_state.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/dbi_image.h"
#include "halv80/symbols/rd_program.h"

namespace {

// Checks what the decoder hands on: data inside the 64 KiB space, within the
// record's bytes.
class RecordCheck final : public RdRecordSink {
 public:
  RdStatus take(const RdRecord& r) override {
    if (r.count > r.data.size()) std::abort();
    if (r.kind == kRdRecordData && (r.address > 0xFFFF || r.address + r.count > 0x10000)) std::abort();
    if (r.kind == kRdRecordStart && r.address > 0xFFFF) std::abort();
    return RdStatus::Reading;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = [] {
    reset_engine_state();
    return true;
  }();
  (void)ready;
  const std::span<const u8> input(data, size);
  for (const u16 form : {kRdIntelHex, kRdSRecord}) {
    // without memory management, then with it: the bank window at E000H, a
    // load offset as the first segment base, toolchain kind 16
    Cfg.MmuKind = kMmuNone;
    rd_check_records(form, input, 0);
    Cfg.MmuKind = kMmuBank;
    TgtMmu.BankBase = 0xE000;
    Sw.ToolchainKind = 16;
    rd_check_records(form, input, 0x50000);
    Cfg.MmuKind = kMmuNone;

    RecordCheck check;
    RdDecoder decoder(form, check);
    const std::size_t piece = 1 + size % 13;
    RdStatus s = RdStatus::Reading;
    for (std::size_t at = 0; at < size && s == RdStatus::Reading; at += piece)
      s = decoder.feed(input.subspan(at, std::min(piece, size - at)));
    decoder.finish();
  }
  dbi_check_image(input);
  return 0;
}
