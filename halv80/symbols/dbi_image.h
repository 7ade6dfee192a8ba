// The memory-image file (.db0) that the load commands read when no ".hex"
// file exists: little-endian records of a head and the code bytes, up to an
// end record. The record walk is apart from the target (DbiImageIo), so that
// it runs on any bytes without a target or a file.
//
//   offset  size  field
//   0       1     0 (any other value: the file is no memory image)
//   1       4     target address
//   5       4     length
//   9       len   the code bytes
// Address 0 with length 0 ends the file; length 0 with another address is
// skipped. A record must lie in the 64 KiB target space and outside the
// monitor area (message 3, nothing of it written); a head or code bytes cut
// off by the file's end are message 38 (the pieces before stay written).
#pragma once

#include <cstddef>
#include <span>

#include "platform/host/host_types.h"

struct DbiImageHead {
  u8 zero;      // 0
  le32 address;
  le32 length;
};
static_assert(sizeof(DbiImageHead) == 9);
static_assert(offsetof(DbiImageHead, address) == 1 && offsetof(DbiImageHead, length) == 5);

constexpr std::size_t kDbiImagePiece = 1024;  // code bytes read and written at once

enum class DbiImageStatus : u16 {
  Done = 0,    // the end record was read
  BadFormat,   // a short head, a nonzero first byte, or code cut off: message 38
  BadAddress,  // a record the target cannot hold: message 3
};

// Where the record walk reads its bytes and puts the code.
class DbiImageIo {
 public:
  virtual ~DbiImageIo() = default;
  // Fills `into` from the file: the bytes read (fewer at its end; -1 fails).
  virtual i32 read(std::span<u8> into) = 0;
  // Before a record's first piece: may `length` bytes (at most up to 0xFFFF)
  // be written from `address`?
  virtual bool accept(u16 address, u32 length) = 0;
  // One piece of a record.
  virtual void write(u16 address, std::span<const u8> bytes) = 0;
};

// Walks the records of a memory image, checking each address and length
// against the 64 KiB target space before `io` sees them.
DbiImageStatus dbi_read_image(DbiImageIo& io);
// dbi_read_image on `bytes`, writing nothing.
DbiImageStatus dbi_check_image(std::span<const u8> bytes);
// Loads the image file `path` (relative: against the current folder) into
// target memory: message 35 when it cannot be opened, 38 for a bad record
// head or a record cut off, 3 for a record outside the target space or in
// the monitor area; each leaves AbortFlag set. Prints nothing on success.
void dbi_load_image(const char* path);
