#include "rz7bios/tests/fake_driver.h"

#include <cstring>

#include "platform/device/dev_tokens.h"

namespace {

u32 read32(const u8* p) { return u32(p[0]) | u32(p[1]) << 8 | u32(p[2]) << 16 | u32(p[3]) << 24; }
void write32(u8* p, u32 v) {
  for (int i = 0; i < 4; ++i) p[i] = u8(v >> (8 * i));
}

}  // namespace

bool FakeDriver::IoControl(u32 code, u8* block, std::size_t in_length, std::size_t out_length, u32& returned,
                           u32& error) {
  Call c{code, (code - 0x80002000u) / 4, {}, {}, read32(block + kArgWorkArea)};
  std::memcpy(c.inputs.data(), block, kArgInputSize);
  for (std::size_t o = 0; o + 4 <= kArgInputSize; ++o) {
    const u32 t = read32(block + o);
    if (void* m = dev_token_resolve(t, 0)) c.tokens.push_back({o, m, dev_token_length(t)});
  }
  // Bytes the library gathered go out before the request itself.
  if (read32(block + kArgChanReceive) == 0) {
    const u32 index = read32(block + kArgChanSavedIndex);
    write32(block + kArgChanIndex, index);
    write32(block + kArgChanCount, 0);
  }
  calls.push_back(c);
  if (in_length != kArgBlockSize || out_length != kArgBlockSize || failing.count(c.request)) {
    error = fail_error;
    return false;
  }
  if (c.request == u32(BiosRequest::FunctionSet)) {
    write32(block + kArgResult, function_set);
    write32(block + kArgSizeWorkArea, work_size);
    write32(block + kArgSizeArgBlock, arg_size);
  } else {
    write32(block + kArgResult, result);
  }
  if (on_request) on_request(c.request, block);
  returned = kArgBlockSize;
  return true;
}

std::vector<u32> FakeDriver::Requests() const {
  std::vector<u32> out;
  for (const Call& c : calls) out.push_back(c.request);
  return out;
}

BiosRig::BiosRig() {
  dev_reset_system();
  DevSys.driver = &driver;
  DevSys.service_running = true;
  // the driver's interface set-up would leave no byte pushed back
  work.set16<kWorkPushback>(kNoPushback);
  open_code = _NT_setbioswork(&work);
  driver.calls.clear();
}

BiosRig::~BiosRig() {
  _NT_close_driver();
  dev_reset_system();
}
