// The .db0 memory-image loader: the record walk, the target writer behind it
// and the check-only walk over bytes.
#include "halv80/symbols/dbi_image.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/sup_paths.h"
#include "halv80/engine/tgt_memory.h"
#include "platform/host/host_file.h"

namespace {

constexpr u32 kAddressSpace = 0x10000;  // one past the last 16-bit address
constexpr std::size_t kImagePathSize = 512;

// The file into target memory; a record is refused when it meets the
// monitor area, before any of it is written.
class TargetImageIo final : public DbiImageIo {
 public:
  explicit TargetImageIo(int handle) : handle_(handle) {}
  i32 read(std::span<u8> into) override { return sup_file_read(handle_, into.data(), u32(into.size())); }
  bool accept(u16 address, u32 length) override { return !tgt_range_meets_monitor(address, length); }
  void write(u16 address, std::span<const u8> bytes) override { tgt_write_block(bytes, address); }

 private:
  int handle_;
};

// Bytes in memory; nothing is written.
class CheckImageIo final : public DbiImageIo {
 public:
  explicit CheckImageIo(std::span<const u8> bytes) : bytes_(bytes) {}
  i32 read(std::span<u8> into) override {
    const std::size_t n = std::min(into.size(), bytes_.size());
    std::memcpy(into.data(), bytes_.data(), n);
    bytes_ = bytes_.subspan(n);
    return i32(n);
  }
  bool accept(u16, u32) override { return true; }
  void write(u16, std::span<const u8>) override {}

 private:
  std::span<const u8> bytes_;
};

}  // namespace

DbiImageStatus dbi_read_image(DbiImageIo& io) {
  std::array<u8, kDbiImagePiece> piece{};
  for (;;) {
    std::array<u8, sizeof(DbiImageHead)> raw{};
    if (io.read(raw) != i32(raw.size())) return DbiImageStatus::BadFormat;  // a short head
    DbiImageHead head;
    std::memcpy(&head, raw.data(), sizeof head);
    if (head.zero != 0) return DbiImageStatus::BadFormat;
    const u32 address = head.address.get();
    const u32 length = head.length.get();
    if (length == 0) {
      if (address == 0) return DbiImageStatus::Done;  // the end record
      continue;
    }
    // the whole record within the 64 KiB space, where the target takes it
    if (address >= kAddressSpace || length > kAddressSpace - address) return DbiImageStatus::BadAddress;
    if (!io.accept(u16(address), length)) return DbiImageStatus::BadAddress;
    for (u32 done = 0; done < length;) {
      const u32 n = std::min<u32>(length - done, u32(piece.size()));
      if (io.read(std::span<u8>(piece.data(), n)) != i32(n)) return DbiImageStatus::BadFormat;  // cut off
      io.write(u16(address + done), std::span<const u8>(piece.data(), n));
      done += n;
    }
  }
}

DbiImageStatus dbi_check_image(std::span<const u8> bytes) {
  CheckImageIo io(bytes);
  return dbi_read_image(io);
}

void dbi_load_image(const char* path) {
  char name[kImagePathSize];
  const std::size_t n = path ? strnlen(path, sizeof name) : sizeof name;
  if (n == sizeof name) {  // no name, or one too long to be a file's
    cmd_error(kMsgNoFile);
    return;
  }
  std::memcpy(name, path, n + 1);
  if (sup_path_make_absolute(name) < 0) {
    cmd_error(kMsgNoFile);
    return;
  }
  const SupFileCloser file(sup_file_open(name, kFileModeRead));
  if (file.handle == -1) {
    cmd_error(kMsgNoFile);
    return;
  }
  TargetImageIo io(file.handle);
  switch (dbi_read_image(io)) {
    case DbiImageStatus::Done:
      break;
    case DbiImageStatus::BadFormat:
      cmd_error(kMsgFileFormat);
      break;
    case DbiImageStatus::BadAddress:
      cmd_error(kMsgChecksum);
      break;
  }
}
