// The interface driver's parameters in the registry: QorReg wraps one open
// registry key with a value buffer sized for its largest value, and
// ReadDriverParameters takes the card's port address and interface kind from
// the driver's Parameters key. Used in driver mode, in place of the
// configuration file's own port address.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/device/dev_driver.h"
#include "platform/host/host_registry.h"
#include "platform/host/host_types.h"

// query_dword: the value exists but is not a 32-bit number.
constexpr u32 kQorRegNotDword = 0xE0000000;

// The key below HKEY_LOCAL_MACHINE that holds the driver's parameters.
constexpr std::string_view kDriverParametersKey = kDevDriverParametersKey;

class QorReg {
 public:
  // Opens `path` below `root`, for reading and changing when `writable`, else
  // for reading; `status` is the store's result (0: opened). An opened key
  // gets a buffer of its largest value's size + 1.
  QorReg(std::string_view path, u32& status, HostRegRoot root, bool writable);
  // Closes the key and frees the buffer.
  ~QorReg();
  QorReg(const QorReg&) = delete;
  QorReg& operator=(const QorReg&) = delete;

  // Value `name` into `value`: 0, the store's error (also for a key that did
  // not open), or kQorRegNotDword; `value` is set only on 0.
  u32 query_dword(std::string_view name, u32& value);

  // Instances alive now.
  static u32 live_count() { return LiveCount; }

 private:
  std::string key_path_;                // below the root, as given
  HostRegKey* key_ = nullptr;           // null when opening failed
  u32 max_value_length_ = 0;            // bytes of the key's largest value when opened
  std::unique_ptr<u8[]> value_buffer_;  // max_value_length_ + 1 bytes; null when opening failed
  [[maybe_unused]] u32 enum_index_ = 0;  // next value of an enumeration (no enumeration uses it yet)

  static constinit u32 LiveCount;
};

// Port address and interface kind from the driver's parameters ("IF_addr",
// "IF_type", both 32-bit numbers). For kinds 2 and 3 the port is the low 16
// bits of the library's driver status instead. 1 on success; 0 when the key
// or either value is missing or not a number.
int ReadDriverParameters(u32& port, u32& kind);
