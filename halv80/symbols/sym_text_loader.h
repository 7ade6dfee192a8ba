// The text symbol and map loaders (debug file types 0 and 1): a plain list of
// symbols in one of three layouts chosen by the toolchain kind, and the line
// numbers of the companion files (a text "LIN" file for kind 1, one binary
// .lin file per module listed in the map for kinds 2 and 16). Owns SymText.
// Every text goes through the shared character reader of sym_source, which
// gives 0x1A at the end; a loader's failure travels as its result (kLoad*).
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/host/host_types.h"

// A symbol name is kept to this many bytes (whole characters); the rest of a
// longer name is dropped.
constexpr std::size_t kSymTextNameMax = 255;
// A path built by the loaders (companion file, folder + module + ".lin") with
// its NUL; a longer one is not opened.
constexpr std::size_t kSymTextPathSize = 512;
// A binary .lin file is read in blocks of this many bytes (64 entries).
constexpr std::size_t kSymLinBlockSize = 256;
constexpr std::size_t kSymLinEntrySize = 4;  // u16 address, u16 line, little-endian

struct SymTextState {
  int Handle = -1;  // the text file the reader reads; -1 none
  u16 Result = 0;   // kLoadDone; kLoadBadFormat or kLoadFull once a reader failed
};
extern SymTextState SymText;

// Loads symbol file (type 0) or map file (type 1) `path` into the symbol
// table, replacing symbols of the same name when the table was not empty,
// then the line numbers of the toolchain kind's companion files. Sets
// SymFlag.CaseSensitive (0 after a symbol file, 1 after a map) and, for kind
// 2, SymFlag.CodeLow/CodeHigh. kLoadDone, kLoadNoDebugInfo (no name, or the
// file does not open), kLoadBadFormat, kLoadFull.
u16 sym_load_text_map(const char* path, u16 type);

// Reads on until `text` has been read: 0 found (the reader stands after it),
// 1 at the end of the file.
u16 sym_scan_for(std::string_view text);
// Reads a hexadecimal number from `c` on into `out` (16-bit: higher digits
// shift out) up to ':' or a character up to 0x20, which is returned. A
// character that is no hexadecimal digit sets SymText.Result to
// kLoadBadFormat and gives 0x1A.
u8 sym_read_hex(u8 c, u16& out);
// `c`, or the first character read after it, that is above 0x20; 0x1A at the
// end of the file.
u8 sym_skip_blanks(u8 c);

// The modules of a kind-16 MAP file: for each "Module  <name>" record whose
// folder + name + ".lin" opens, the module name.<default extension> gets the
// lines of that binary file; the line word's top two bits choose the base
// added to the address (01 the record's first, 10 its second, else none).
// kLoadDone, kLoadBadFormat (a malformed base), kLoadFull.
u16 sym_load_lin_modules_kind16(const char* map_path);
// The modules of a kind-2 map (nothing without "Machine type is Z80"): for
// each object-file line "<name>obj <word> <base>", the binary file
// <name>lin in the map's folder gives module <name>c its lines, each address
// plus the base. kLoadDone, kLoadBadFormat, kLoadFull.
u16 sym_load_obj_modules_kind2(const char* map_path);
// The kind-1 text line file open at SymText.Handle: blocks "*** <file>" of
// lines "<hex address>[:] <decimal line>". kLoadDone, kLoadBadFormat,
// kLoadFull.
u16 sym_load_lin_text();
