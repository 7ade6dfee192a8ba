// The monitor assembler's status block: the shared memory that the setup
// program creates before it starts the assembler and reads after the
// assembler has ended. Both sides include this header.
//
//   offset  size   field
//        0     4   status word, little endian: kMonStatusDone, or
//                  kMonStatusFailed with the phase in bits 0-3
//        4     4   (not read)
//        8     4   error code, little endian (MonError)
//       12     4   (not read)
//       16  4096   the assembler's own words on a failure, ended by a zero byte
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/host/host_types.h"

// The block's name; the setup program makes each build's name unique by a
// suffix and hands the whole name to the assembler in kMonStatusNameVar.
constexpr std::string_view kMonStatusName = "VAVADA-filemap";
constexpr std::string_view kMonStatusNameVar = "VAVADA_FILEMAP";

constexpr std::size_t kMonStatusSize = 4112;
constexpr std::size_t kMonStatusWordAt = 0;
constexpr std::size_t kMonErrorCodeAt = 8;
constexpr std::size_t kMonTextAt = 16;
constexpr std::size_t kMonTextSize = 4096;
static_assert(kMonTextAt + kMonTextSize == kMonStatusSize);

constexpr u32 kMonStatusDone = 4;
constexpr u32 kMonStatusFailed = 0x1000;
constexpr u32 kMonPhaseMask = 0x000F;

// The assembler's phases: the status word's low bits on a failure.
enum class MonPhase : u32 { Listing = 0, Filter = 1, Pass1 = 2, Pass2 = 3, Finish = 4, Abort = 5, Error = 6 };
constexpr u32 kMonPhaseLast = u32(MonPhase::Error);

enum class MonError : u32 {
  Error = 0,
  Open = 1,          // a file could not be opened
  Create = 2,        // a file could not be made
  Write = 3,
  Filter = 4,        // the source could not be converted
  SharedMemory = 5,  // the status block could not be opened
  OrgAddress = 6,
  Asm = 7,
  Redefine = 8,
  SymbolFull = 9,
  InternalFull = 10,
  Abort = 11,
};
constexpr u32 kMonErrorLast = u32(MonError::Abort);
