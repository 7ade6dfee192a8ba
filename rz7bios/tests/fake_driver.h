// A scripted driver for the library's tests: records every request with its
// input bytes and the caller memory that each token in them stood for, takes
// the bytes gathered in the channel buffer as a driver would, and answers with
// a set result.
#pragma once

#include <array>
#include <functional>
#include <set>
#include <vector>

#include "platform/device/dev_driver.h"
#include "platform/device/dev_layout.h"
#include "rz7bios/rz7bios.h"

struct FakeDriver : DeviceDriver {
  struct TokenSeen {
    std::size_t offset;  // where in the inputs the token stood
    void* memory;
    std::size_t length;
  };
  struct Call {
    u32 code;
    u32 request;
    std::array<u8, kArgInputSize> inputs;
    std::vector<TokenSeen> tokens;
    u32 work_token;  // offset 260
  };

  std::vector<Call> calls;
  u32 result = 0x12345678;        // written at offset 256
  u32 function_set = 1;           // request 57's result
  u32 work_size = kWorkAreaSize;  // request 57's size replies
  u32 arg_size = kArgBlockSize;
  std::set<u32> failing;          // request numbers that fail
  u32 fail_error = 0x1F;
  // Runs after the standard answer, with the whole block (e.g. to set the
  // channel fields as the driver would).
  std::function<void(u32 request, u8* block)> on_request;

  bool IoControl(u32 code, u8* block, std::size_t in_length, std::size_t out_length, u32& returned,
                 u32& error) override;
  std::vector<u32> Requests() const;
};

// A driver-mode library bound to a fresh work area and a fake driver.
struct BiosRig {
  BiosWorkArea work{};
  FakeDriver driver;
  int open_code = -1;
  BiosRig();
  ~BiosRig();
};
