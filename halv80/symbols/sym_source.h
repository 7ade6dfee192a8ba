// Source text of the program under test: finding a source file (program
// folder, then the QNSRC search path), reading line N through the module's
// line-offset index (one file offset per 20 lines, filled as the file is read
// forward), tab expansion, and delivering the line by the output mode: printed
// with its "file:line:" prefix, printed and kept in the ring cache of recent
// lines, or copied into Text for the caller. A file that is valid UTF-8 and
// holds non-ASCII text has its lines converted to CP932 (a character CP932
// lacks becomes "?"); any other file is read as CP932. A file that cannot be
// opened is told to the user once (until the next reset), with message 12 and
// its name, before the next prompt. The character reader and the digit
// helpers here are shared with the text loaders.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "halv80/symbols/sym_modules.h"
#include "platform/host/host_types.h"

constexpr std::size_t kSourceLineSize = 1024;   // a line: at most 1,023 characters and the NUL
constexpr std::size_t kSourceReadSize = 16384;  // the character reader's buffer
constexpr std::size_t kSourceNameSize = kModuleNameSize + 12;  // a name and an added extension
constexpr u16 kSourceCacheSlots = 155;
constexpr std::size_t kSourceCacheSlotSize = 1 + kSourceLineSize;  // length byte, text, NUL
constexpr u16 kSourceEndUnknown = 32767;        // EndLine before the end was seen
constexpr u16 kSourceMissingLines = 9;          // lines a missing file gives beyond its index
constexpr u16 kSourceTabMax = 16;
constexpr u8 kSourceEndOfFile = 0x1A;           // what the reader gives at the end
constexpr u8 kAttrSourceLineNumber = 6;         // the line number of the prefix

// Output modes.
constexpr u16 kSourcePrint = 0;          // print the line
constexpr u16 kSourcePrintAndCache = 1;  // print it and keep it in the line cache
constexpr u16 kSourceToText = 2;         // copy it into Text, print nothing
// Any higher mode reads the line and delivers it nowhere (a probe).

struct SymSourceState {
  u16 OutputMode = kSourcePrintAndCache;  // kSource*; the caller sets it around its calls
  char Text[kSourceLineSize]{};           // mode 2: the last line delivered

  // The open source file.
  int Handle = -1;                        // -1: none open
  char Name[kSourceNameSize]{};           // the name last asked for, extension added
  u16 Module = kNoModule;                 // its module; kNoModule: none
  u32 IndexLimit = 0;                     // index entries x 20 (+ 9 when missing): lines the index covers
  u16 CurrentLine = 0;                    // 0-based: the line the reader delivers next
  u16 EndLine = kSourceEndUnknown;        // the line count once the end was seen
  u16 NotFound = 0;                       // 1: the file could not be opened
  u16 Utf8 = 0;                           // 1: the file is UTF-8 with non-ASCII text: lines are converted
  char Line[kSourceLineSize]{};           // the line just read, in CP932, tabs expanded
  std::vector<std::string> ReportedMissing;  // files told missing since the last reset, once each

  // The character reader (shared with the text loaders).
  std::unique_ptr<u8[]> ReadBuffer;       // kSourceReadSize bytes, taken on first use
  u32 ReadFill = 0;                       // bytes in ReadBuffer
  u32 ReadNext = 0;                       // the next byte to deliver
  u32 FileOffset = 0;                     // file offset of that byte (the source file's reads)
  u16 AtEnd = 0;                          // 1: the end was seen; every read gives 0x1A
  u16 BinaryRead = 0;                     // 1: 0x1A is data, not the end (set by a loader)

  // The line cache: a ring of consecutive lines First..Last of one file.
  std::unique_ptr<u8[]> Cache;            // kSourceCacheSlots slots; taken by the first reset
  u16 CacheFirst = 0;                     // 0: empty
  u16 CacheLast = 0;
  u16 CacheFirstSlot = 0;
  u16 CacheLastSlot = 0;
  char CacheFile[kSourceNameSize]{};      // the file the cached lines belong to
};
extern SymSourceState SymSource;

// For sym_reset: closes the source file and forgets it, takes the line cache
// (once) and empties it. The buffers are kept.
void sym_source_reset();

// Delivers line N (1-based) of `file` (the default source extension is added
// to a name without '.') by SymSource.OutputMode. 1 when a line was delivered;
// 0 at the end of the file, past it, or when the file is missing (mode 2).
u16 sym_show_source_line(const char* file, u16 line);
// Closes any open source file and opens `name` in the program folder (as given
// when there is none), else along QNSRC; it becomes SymSource.Handle. The
// handle, or -1.
int sym_open_source_file(const char* name);
// element + name for each element of the list in environment `variable`; an
// element that is not absolute (starts with '.', or has no "X:", '\' or '/'
// at its start) is taken in the program folder. The first handle that opens,
// or -1.
int sym_open_on_path(const char* name, const char* variable);
// Closes the open source file and forgets its handle; the name, the current
// line and the not-found mark stay, so the file is opened again when needed.
void sym_close_source_files();

// Text of cached line N, or null when it is not in the cache.
const char* sym_source_cache_line(u16 line);
// Keeps line N: extends the run by one at either end (the ring drops the line
// at the other end when full), or starts a new run with N alone.
void sym_cache_source_line(u16 line, const char* text);
// Empties the cache when the open file is not the one whose lines it holds.
void sym_cache_reset_for_main();

// The character reader: empties the buffer and the end mark.
void sym_reader_reset();
// The next byte of `handle` through the buffer. At the end (nothing more to
// read, or 0x1A unless BinaryRead) the handle is closed, AtEnd set, and 0x1A
// given then and on every later call.
u8 sym_read_char(int handle);
// Two bytes, low first.
u16 sym_read_u16(int handle);
// accumulator = accumulator x 16 + the digit ('0'-'9', 'A'-'F', 'a'-'f'): 0;
// 1 when c is no digit (accumulator unchanged).
u16 sym_hex_digit(u8 c, u32& accumulator);
// accumulator = accumulator x 10 + the digit: 0; 1 when c is no digit.
u16 sym_dec_digit(u8 c, u32& accumulator);
