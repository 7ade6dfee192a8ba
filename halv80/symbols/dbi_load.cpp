#include "halv80/symbols/dbi_load.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "halv80/engine/brk_table.h"
#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_small.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/cmd_watch.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/reg_registers.h"
#include "halv80/engine/run_control.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/stk_backtrace.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/sup_paths.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/dbi_abs.h"
#include "halv80/symbols/dbi_buffer.h"
#include "halv80/symbols/dbi_d01.h"
#include "halv80/symbols/dbi_db1.h"
#include "halv80/symbols/dbi_image.h"
#include "halv80/symbols/dbi_lsi.h"
#include "halv80/symbols/dbi_qor.h"
#include "halv80/symbols/rd_program.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/sym_text_loader.h"
#include "platform/host/host_text.h"

constinit DbiState Dbi;

namespace {

constexpr u8 kNameStart = 0xFF;  // colour markers around the name in the question
constexpr u8 kNameEnd = 0xFE;

bool has_mmu() { return Cfg.MmuKind != kMmuNone; }
bool kind_reads_maps() { return (Sw.ToolchainKind & 0x03) != 0; }

// Where the file-name part of `path` begins: after its last '\', '/' or ':'
// (the second byte of a double-byte character is no separator).
std::size_t file_name_start(std::string_view path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); i += host_cp932_unit_length(path, i))
    if (path[i] == '\\' || path[i] == '/' || path[i] == ':') start = i + 1;
  return start;
}

// The last '.' of the file-name part, from `from` on and before `end` (so
// "prog.v2.hex" has the extension "hex"); npos when there is none.
std::size_t find_dot(std::string_view path, std::size_t from, std::size_t end) {
  std::size_t dot = std::string_view::npos;
  for (std::size_t i = from; i < end; i += host_cp932_unit_length(path, i))
    if (path[i] == '.') dot = i;
  return dot;
}

// Does the extension after `dot` read `keyword` (any case), up to the end, a
// ',' or a blank?
bool extension_is(std::string_view name, std::size_t dot, std::string_view keyword) {
  const std::string_view ext = name.substr(dot + 1);
  if (ext.size() < keyword.size()) return false;
  for (std::size_t i = 0; i < keyword.size(); ++i)
    if (host_ascii_upper(ext[i]) != keyword[i]) return false;
  return ext.size() == keyword.size() || ext[keyword.size()] == ',' || u8(ext[keyword.size()]) <= 0x20;
}

// The name made absolute against the engine's current folder, the program's
// folder once a program was loaded; a name that would not fit stays as it is.
std::string absolute(std::string_view path) {
  ensure_current_directory();
  char buffer[kDbiNameSize];
  if (path.size() >= sizeof buffer) return std::string(path);
  std::copy(path.begin(), path.end(), buffer);
  buffer[path.size()] = '\0';
  sup_path_make_absolute(buffer);
  return buffer;
}

// Runs a breakpoint-management command on `text` as if typed, the letter
// before the operand choosing (so "BC*" clears them all); the scanner of the
// command in progress comes back afterwards.
void run_break_command(const char* text, std::size_t word_length) {
  const char* saved = Cmd.ScannerCursor;
  Cmd.ScannerCursor = text + word_length;
  brk_cmd_manage();
  Cmd.ScannerCursor = saved;
}

// Runs the Y command on `operand` as if typed ("*": every watch goes); the
// scanner of the command in progress comes back afterwards.
void run_watch_delete(const char* operand) {
  const char* saved = Cmd.ScannerCursor;
  Cmd.ScannerCursor = operand;
  cmd_y_delete_watch();
  Cmd.ScannerCursor = saved;
}

// Forgets the previous program's mapping table and any temporary bank
// mapping, so that a new program starts from the target's own map.
void mapping_off() {
  tgt_restore_bank_map();
  TgtMmu.DescriptorCount = 0;
  TgtMmu.CurrentDescriptor = 0;
}

// The loader of `type`; types without a loader give "no debug information",
// so that the program's bytes are loaded all the same. A negative result
// selects a file message (result + 42).
u16 run_loader(const std::string& path, u16 type) {
  switch (type) {
    case kDebugSymbolFile:
    case kDebugMapFile:
      return sym_load_text_map(path.c_str(), type);
    case kDebugD01:
      return u16(dbi_load_d01(path.c_str(), true));
    case kDebugAbs:
      return u16(dbi_load_abs(path.c_str(), true));
    case kDebugDb1:
      return u16(dbi_load_db1(path.c_str()));
    case kDebugLsi:
      return u16(dbi_load_lsi(path.c_str()));
    case kDebugQor:
      return u16(dbi_load_format_e(path.c_str()));
    default:
      return kLoadNoDebugInfo;
  }
}

// The path's folder becomes the program's folder (for the source search) and
// the engine's current folder: a bare drive "A:" is taken as "A:.", and a
// trailing separator is dropped.
void remember_program_folder(std::string_view path) {
  std::string folder(path.substr(0, file_name_start(path)));
  if (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/') && folder[folder.size() - 2] != ':')
    folder.pop_back();
  if (folder.size() == 2 && folder[1] == ':') folder += '.';
  if (folder.empty() || folder.size() >= sizeof Sw.ProgramFolder) return;
  std::memcpy(Sw.ProgramFolder, folder.c_str(), folder.size() + 1);
  sup_canonical_dir(folder);
}

// The code window after a load: back to the instructions at the PC unless it
// shows source (a loader that added lines selects it) and the program has
// some; else the main file's first line.
void place_code_window() {
  if (Lst.ListingMode != kListingSource || Dbi.SourceAvailable == 0) {
    if (Lst.ListingMode == kListingSource) Lst.ListingMode = kListingAssembly;
    return;
  }
  if (has_mmu() && SymModules.MainModule != 0) {
    u16 address = 0;
    sym_address_from_line(SymModules.MainFileName, 1, address);
  }
  // a main file whose text cannot be read leaves the pane as it is
  if (SymModules.MainModule != 0) lst_show_source_line(SymModules.MainFileName, 1);
  Dbi.MainSymbol = Sw.ToolchainKind != 16 ? sym_find_by_name("main", kSymFindTolerant) : 0;
}

}  // namespace

void dbi_reset() {
  Dbi = DbiState{};
  dbi_d01_reset();
  dbi_buffer_reset();
}

u16 dbi_load_mode() {
  // the command word ends just before the operands
  const char* word_end = Cmd.ScannerCursor;
  if (word_end <= Cmd.CommandLine || word_end > Cmd.CommandLine + kCommandLineSize) return kLoadAll;
  switch (host_ascii_upper(word_end[-1])) {
    case 'A': return kLoadAdd;
    case 'P': return kLoadProgram;
    default: return kLoadAll;
  }
}

void dbi_cmd_load() {
  dbi_load_command();
  if (Cmd.AbortFlag == 0 && Dbi.Mode == kLoadAll) co_post_request(RequestCode::ReloadCodeWindows);
  dbi_keep_loader_error();
}

void dbi_keep_loader_error() {
  if (Dbi.LastResult != kLoadDone) Cmd.AbortFlag = 1;
}

void dbi_load_command() {
  Dbi.LastResult = kLoadDone;
  if (Run.ExecutionState & kExecRunning) {
    cmd_error(kMsgTargetRunning);
    return;
  }
  Dbi.Mode = dbi_load_mode();
  cmd_skip_blanks();

  std::string name;
  if (*Cmd.ScannerCursor == '\0') {
    name = Dbi.ProgramName;
    if (Dbi.NoConfirm == 0) {
      con_putc(' ');
      con_putc(kNameStart);
      con_puts(name);
      con_putc(kNameEnd);
      con_puts("\nSure ? (Y/N) ");
      const u8 answer = con_wait_key();
      con_putc(answer);
      if (answer != 'Y' && answer != 'y') return;
    }
  } else {
    std::string_view operand = Cmd.ScannerCursor;
    while (!operand.empty() && u8(operand.back()) <= 0x20) operand.remove_suffix(1);
    name.assign(operand.substr(0, sizeof Dbi.ProgramName - 1));
    std::memcpy(Dbi.ProgramName, name.c_str(), name.size() + 1);
    Cmd.ScannerCursor += std::strlen(Cmd.ScannerCursor);
  }
  Dbi.NoConfirm = 0;

  const u16 kind = Sw.ToolchainKind;
  // The extension decides: a symbol or map file alone, else the program file.
  const std::size_t start = file_name_start(name);
  std::size_t end = name.size();
  std::size_t from = start;
  if (kind == 16) {
    end = std::min(end, name.find(',', start));
    if (has_mmu() && from == 0) from = 1;
  }
  const std::size_t dot = find_dot(name, from, end);
  if (dot != std::string::npos) {
    if (extension_is(name, dot, "SYM")) {
      dbi_load_file(name.c_str(), kDebugSymbolFile);
      sym_sort_symbols();
      return;
    }
    if (kind_reads_maps() && extension_is(name, dot, "MAP")) {
      dbi_load_file(name.c_str(), kDebugMapFile);
      sym_sort_symbols();
      return;
    }
    const std::string_view keyword = kind == 3 ? "D01" : kind == 4 ? "ABS" : "HEX";
    if (!extension_is(name, dot, keyword)) {
      // kinds 3 and 4 end without a message, yet the command failed
      if (kind != 3 && kind != 4) cmd_error(kMsgData);
      else Cmd.AbortFlag = 1;
      return;
    }
    // the rest after the extension (a ',' and what follows) stays
    const std::size_t ext_end = dot + 1 + keyword.size();
    name.erase(dot, ext_end - dot);
  }
  if (name.empty() || name.find_first_not_of(' ') == std::string::npos) {
    cmd_error(kMsgCommandFormat);
    sym_sort_symbols();
    return;
  }

  // With memory management a ',' and what follows is the load offset.
  std::string suffix;
  if (has_mmu()) {
    const std::size_t comma = name.find(',', start);
    if (comma != std::string::npos) {
      suffix = name.substr(comma);
      name.erase(comma);
      while (!name.empty() && name.back() == ' ') name.pop_back();
    }
  }

  if (kind == 3 || kind == 4) {
    dbi_load_file((name + (kind == 3 ? ".d01" : ".abs")).c_str(), kind == 3 ? kDebugD01 : kDebugAbs);
    sym_sort_symbols();
    return;
  }

  const std::string hex = name + ".hex";
  if (dbi_file_exists(hex.c_str()) == 0) {
    if (Dbi.Mode == kLoadAll) mapping_off();
    rd_read_file(hex + suffix);
  } else {
    dbi_load_image((name + ".db0").c_str());
  }

  if (Cmd.AbortFlag == 0) {
    const auto exists = [&](const char* extension) { return dbi_file_exists((name + extension).c_str()) == 0; };
    u16 type = kDebugSymbolFile;
    const char* extension = ".sym";
    if (kind == 16 && exists(".qor")) {
      type = kDebugQor, extension = ".qor";
    } else if (kind_reads_maps() && kind == 5 && exists(".lin") && exists(".lsi")) {
      type = kDebugLsi, extension = ".lsi";
    } else if (kind_reads_maps() && exists(".map")) {
      type = kDebugMapFile, extension = ".map";
    } else if (exists(".db1")) {
      type = kDebugDb1, extension = ".db1";
    }
    dbi_load_file((name + extension).c_str(), type);
  }
  sym_sort_symbols();
}

void dbi_load_file(const char* path_text, u16 type) {
  const std::string path = absolute(path_text);
  u16 result = kLoadDone;
  if (Dbi.Mode == kLoadProgram) {
    // Only the binary formats carry program bytes of their own.
    if (type == kDebugD01) result = u16(dbi_load_d01(path.c_str(), false));
    else if (type == kDebugAbs) result = u16(dbi_load_abs(path.c_str(), false));
  } else {
    if (!(Dbi.Mode == kLoadAdd && Sw.ToolchainKind == 16)) {
      brk_save(true);
      sym_reload_reset();
      mapping_off();
    }
    SymFlag.CodeLow = 0;
    SymFlag.CodeHigh = 0;
    Dbi.StartAddress = 0;
    result = run_loader(path, type);
    if (result == kLoadFull) SymFlag.DatabaseFull = 1;
  }
  if (result != kLoadDone) {
    cmd_error(u16(result + 42));
    Cmd.AbortFlag = 0;  // the steps below still run; the result keeps the failure
  }
  Dbi.LastResult = result;
  if (Dbi.Mode != kLoadProgram) {
    // no breakpoint and no watch of the old program stays
    run_break_command("BC*", 2);
    run_watch_delete("*");
    Cmd.AbortFlag = 0;
    Dbi.SourceAvailable = SymModules.ModuleCount != 0;
  }

  remember_program_folder(path);
  if (Sw.ToolchainKind == 1 || Sw.ToolchainKind == 5) reg_set(kRegPC, u16(Dbi.StartAddress));
  place_code_window();
  con_request_refresh();
}

u16 dbi_file_exists(const char* path) {
  const int handle = sup_file_open(absolute(path), 0);
  if (handle == -1) return 1;
  sup_file_close(handle);
  return 0;
}

void dbi_define_helpers() {
  u16 start = 0;
  if (sym_lookup_value("start", start) == 0 && sym_lookup_value("START", start) != 0)
    SymFlag.CaseSensitive = 0;
  Dbi.StartAddress = start;
  if (Sw.ToolchainKind == 5) {
    // the code runs from the start address up to the data (the .lsi's DATA
    // area); a listing without one leaves it the rest of the address space
    u16 cell = 0;
    sym_lookup_value("FRAMEPTR", cell);
    Stk.FramePointerAddress = cell;
    SymFlag.CodeLow = start;
    SymFlag.CodeHigh = Lsi.DataStart != 0 ? Lsi.DataStart : 0xFFFF;
  }
}
