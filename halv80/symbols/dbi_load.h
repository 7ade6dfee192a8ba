// The load commands L, LP and LA: the program's bytes into target memory
// (Intel HEX through the RD reader, else a .db0 memory image) and its debug
// information into the symbol database, chosen by the toolchain kind and by the
// files that exist beside the program file; then the program counter and the
// code window are put where the program starts. Owns DbiState.
#pragma once

#include <cstddef>

#include "platform/host/host_types.h"

constexpr std::size_t kDbiNameSize = 256;  // a program file name with its terminator

// Debug file types handed to dbi_load_file.
constexpr u16 kDebugSymbolFile = 0;  // .sym, text
constexpr u16 kDebugMapFile = 1;     // .map, text
constexpr u16 kDebugD01 = 2;         // tagged binary
constexpr u16 kDebugAbs = 3;         // IEEE-695
constexpr u16 kDebugDb1 = 4;         // binary with its 136-byte header
constexpr u16 kDebugLsi = 5;         // .lsi listing with its .lin line file
constexpr u16 kDebugQor = 6;         // scrambled

// Load modes: the last letter of the command word.
constexpr u16 kLoadAll = 0;        // L
constexpr u16 kLoadProgram = 1;    // LP: program bytes only, the symbols stay
constexpr u16 kLoadAdd = 2;        // LA

// Loader results; the command reports message result + 42.
constexpr u16 kLoadDone = 0;
constexpr u16 kLoadNoDebugInfo = 1;  // message 43
constexpr u16 kLoadBadFormat = 2;    // message 44
constexpr u16 kLoadFull = 3;         // message 45

struct DbiState {
  char ProgramName[kDbiNameSize]{};  // the last name given to a load command
  u16 NoConfirm = 0;                 // one-shot: L without operand asks nothing
  u16 Mode = kLoadAll;               // of the load running now
  u32 StartAddress = 0;              // the start address the kind-1 and kind-5 loaders found
  u16 SourceAvailable = 0;           // the last load gave source modules
  u16 MainSymbol = 0;                // index + 1 of "main" for the code window; 0 none
  u16 LastResult = 0;                // the last loader's result (kLoad*)
};
extern DbiState Dbi;

// Start-up values.
void dbi_reset();

// The command handler of L, LP and LA; after L the window side is asked to
// reload its code windows (request 21). A loader's failure, reported while
// the load went on, is the command's failure in the end.
void dbi_cmd_load();
// Sets the abort flag when the last loader failed (LastResult), for the
// callers of dbi_load_command once their own steps are done.
void dbi_keep_loader_error();
// 0 L, 1 LP, 2 LA by the last letter of the command word.
u16 dbi_load_mode();
// The whole load command on the operand at the scanner.
void dbi_load_command();
// Runs the loader of debug file `type` on `path` (relative to the program's
// folder) for the current mode, then makes the path's folder the program's
// folder and puts the program counter and code window at the program.
void dbi_load_file(const char* path, u16 type);
// 0 when `path` (relative: in the engine's current folder) can be opened, 1 not.
u16 dbi_file_exists(const char* path);
// The run-time helper symbols of toolchain kinds 1 and 5: the start address
// from "start" (else "START", which also makes names compare without regard
// to case) into StartAddress.
void dbi_define_helpers();
