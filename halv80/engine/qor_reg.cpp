// QorReg and the driver's parameters, over the host's registry store.
#include "halv80/engine/qor_reg.h"

#include <span>

#include "rz7bios/rz7bios.h"

constinit u32 QorReg::LiveCount = 0;

QorReg::QorReg(std::string_view path, u32& status, HostRegRoot root, bool writable) : key_path_(path) {
  ++LiveCount;
  status = host_reg_open_key(root, key_path_, writable, key_);
  if (status != kHostRegOk) return;
  HostRegKeyInfo info;
  status = host_reg_query_info(key_, info);
  if (status != kHostRegOk) return;
  // the store bounds a value to 1 MiB, so the buffer is bounded too
  max_value_length_ = info.max_value_size;
  value_buffer_ = std::make_unique<u8[]>(std::size_t(max_value_length_) + 1);
}

QorReg::~QorReg() {
  if (key_ != nullptr) host_reg_close_key(key_);
  --LiveCount;
}

u32 QorReg::query_dword(std::string_view name, u32& value) {
  const std::span<u8> buffer =
      value_buffer_ ? std::span<u8>(value_buffer_.get(), std::size_t(max_value_length_) + 1) : std::span<u8>();
  u32 type = 0;
  u32 size = 0;
  if (const u32 status = host_reg_query_value(key_, name, type, buffer, size); status != kHostRegOk) return status;
  // a number type with other than four bytes is no number either
  if (type != kHostRegDword || size != 4) return kQorRegNotDword;
  value = load_le32(value_buffer_.get());
  return 0;
}

int ReadDriverParameters(u32& port, u32& kind) {
  u32 status = 0;
  QorReg key(kDriverParametersKey, status, HostRegRoot::LocalMachine, false);
  if (key.query_dword(kDevParamPort, port) != 0) return 0;
  if (key.query_dword(kDevParamKind, kind) != 0) return 0;
  // kinds 2 and 3: the driver knows the port
  if (kind == 2 || kind == 3) port = _NT_driver_status() & 0xFFFF;
  return 1;
}
