// The start-up switch parser and the settings it fills. The switches are read
// from Cmd.SwitchLine through the scanner; the first item that is no switch
// takes the rest of the line as the program to load.
#include "halv80/engine/cmd_switches.h"

#include <algorithm>
#include <cstring>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/sup_paths.h"
#include "platform/host/host_text.h"

SwitchState Sw;

namespace {

// The characters of a file-name value: up to a blank, a control character or
// a byte of 0x80 and above.
bool name_char(char c) { return u8(c) > 0x20 && u8(c) < 0x80; }

std::string take_name() {
  std::string name;
  while (name_char(*Cmd.ScannerCursor)) name += *Cmd.ScannerCursor++;
  return name;
}

// -B x,y,...: the symbol block and macro store sizes, in units of 64.
void switch_sizes() {
  for (int place = 0; !Cmd.AbortFlag; ++place) {
    const char c = *Cmd.ScannerCursor;
    if (c >= '0' && c <= '9') {
      const u32 n = cmd_get_number_decimal();
      if (place == 0) Sw.SymbolBlockSetting = n == 0 ? 2048 : n * 64;
      if (place == 1) Sw.MacroStoreUnits = std::max<u32>(n * 64, 192);
    }
    if (*Cmd.ScannerCursor != ',' && *Cmd.ScannerCursor != ';') break;
    ++Cmd.ScannerCursor;  // an empty place keeps its default
  }
}

// -SD dir, or -SD "dir with blanks".
void switch_source_directory() {
  std::string dir;
  if (*Cmd.ScannerCursor == '"') {
    ++Cmd.ScannerCursor;
    while (*Cmd.ScannerCursor != '\0' && *Cmd.ScannerCursor != '"') dir += *Cmd.ScannerCursor++;
    if (*Cmd.ScannerCursor == '"') ++Cmd.ScannerCursor;
  } else {
    while (u8(*Cmd.ScannerCursor) > 0x20) dir += *Cmd.ScannerCursor++;
  }
  Sw.SourceDirectoryOverride = dir;
}

// -E ext: "." and at most 8 characters; the scan goes on after them.
void switch_extension() {
  std::size_t n = 0;
  char ext[kExtensionSize] = ".";
  while (n < 8 && name_char(*Cmd.ScannerCursor)) ext[1 + n++] = *Cmd.ScannerCursor++;
  if (n == 0) return;  // a bare -E changes nothing
  ext[1 + n] = '\0';
  std::memcpy(Sw.DefaultSourceExtension, ext, sizeof ext);
}

// -X with its toolchain letters.
void switch_toolchain() {
  const char c = host_ascii_upper(*Cmd.ScannerCursor);
  Sw.ToolchainKind = 16;
  if (c == 'H') Sw.ToolchainKind = 2;
  if (c == 'I') Sw.ToolchainKind = 3;
  if (c == 'L') Sw.ToolchainKind = Cmd.ScannerCursor[1] == '3' ? 5 : 1;
  if (c == 'M') {
    Sw.ToolchainKind = 4;
    if (Cmd.ScannerCursor[1] == '3') Sw.ToolchainVariant = 3;
  }
}

// -! with its letter.
void switch_no_monitor() {
  switch (host_ascii_upper(*Cmd.ScannerCursor)) {
    case 'R': Sw.RunSetupDone |= 1; break;
    case 'B': Sw.BootSwitchB = 1; break;
    case 'T': Sw.NoMonitorOption |= 1; break;
    case 'V': break;
    default:
      Sw.NoMonitorMode = host_ascii_upper(*Cmd.ScannerCursor) == 'L' ? 2 : 1;
      Sw.StartupFlag = 1;
      break;
  }
}

// One switch after its "-"; sets AbortFlag when it is illegal. Returns false
// when the scan goes on where the switch ended (instead of at the next blank).
bool parse_switch() {
  const char letter = host_ascii_upper(*Cmd.ScannerCursor++);
  switch (letter) {
    case 'A': {
      const char c = host_ascii_upper(*Cmd.ScannerCursor);
      if (c == '8') Sw.MnemonicSet = 0;
      else if (c == 'Z') Sw.MnemonicSet = 1;
      else Cmd.AbortFlag = 1;
      break;
    }
    case 'B':
    case 'G':
      switch_sizes();
      break;
    case 'E':
      switch_extension();
      return false;
    case 'J':
      Cmd.LanguageJapanese = 1;
      break;
    case 'K':
      if (cmd_match_keyword("EY") != 0) {
        Cmd.AbortFlag = 1;
        break;
      }
      cmd_skip_blanks();
      Sw.KeyPlaybackFile = take_name();
      Sw.KeyPlayback = 1;
      Sw.KeyRecord = 0;
      break;
    case 'L':
      if (cmd_match_keyword("OG") != 0) {
        Cmd.AbortFlag = 1;
        break;
      }
      cmd_skip_blanks();
      Sw.KeyRecordFile = take_name();
      Sw.KeyRecord = 1;
      Sw.KeyPlayback = 0;
      break;
    case 'N':
      break;
    case 'P':
      cmd_get_value();  // read, no effect
      break;
    case 'Q':
      Sw.StartedBySetup = 1;
      break;
    case 'S': {
      const char c = host_ascii_upper(*Cmd.ScannerCursor);
      if (c == 'D') {
        ++Cmd.ScannerCursor;
        cmd_skip_blanks();
        switch_source_directory();
        Sw.HasSourceDirectoryOverride = !Sw.SourceDirectoryOverride.empty();
      } else if (c == 'P' || c == 'T') {
        Sw.StepModeFlag = c == 'P' ? 1 : 0;
      } else if (u8(c) > 0x20) {
        Sw.SubProcessKbytes = u16(cmd_get_number_decimal() * 64);
      } else {
        Cmd.AbortFlag = 1;  // a bare -S
      }
      break;
    }
    case 'T':
      if (cmd_match_keyword("AB") == 0) {
        Sw.TabWidth = u16(std::min<u32>(cmd_get_number_decimal(), 16));
      } else if (cmd_match_keyword("SUKA") == 0) {
        Sw.TsukaKeys = 1;
      }
      break;  // -TSR and any other -T are accepted and ignored
    case 'X':
      switch_toolchain();
      break;
    case '!':
      switch_no_monitor();
      break;
    default:
      Cmd.AbortFlag = 1;  // -U and every other letter
      break;
  }
  return true;
}

}  // namespace

void cmd_parse_switches() {
  Cmd.ScannerCursor = Cmd.SwitchLine;
  const char* offending = nullptr;
  for (;;) {
    cmd_skip_blanks();
    const char c = *Cmd.ScannerCursor;
    if (c == '\0') break;
    if (c != '-') {
      // the program to load: the rest of the line, switches and all
      std::string_view rest = Cmd.ScannerCursor;
      while (!rest.empty() && u8(rest.back()) <= 0x20) rest.remove_suffix(1);
      Sw.StartupProgram = rest;
      Sw.StartupProgramGiven = 1;
      break;
    }
    const char* start = Cmd.ScannerCursor++;
    const bool to_blank = parse_switch();
    if (Cmd.AbortFlag) {
      offending = start;
      break;
    }
    if (to_blank)
      while (u8(*Cmd.ScannerCursor) > 0x20) ++Cmd.ScannerCursor;  // a value ends at the first blank
  }
  Cmd.ScannerCursor = offending ? offending : Cmd.CommandLine;
}

bool cmd_apply_switches() {
  Sw.SymbolBlockLimit = std::max<u32>(Sw.SymbolBlockSetting / 64000, 4);
  if (Cmd.AbortFlag) {
    // the scanner stands on the offending switch
    emu_startup_error(kStartupErrorIllegalOption, 0);
    return false;
  }
  // ".C" in either case: the switch line keeps the case it was given in
  const char* ext = Sw.DefaultSourceExtension;
  if (Sw.ToolchainKind == 16 && ext[0] == '.' && host_ascii_upper(ext[1]) == 'C' && ext[2] == '\0')
    std::memcpy(Sw.DefaultSourceExtension, ".SRC", 5);
  return true;
}

void cmd_read_longname() {
  Sw.LongNames = 1;
  // LONGNAME=OFF (any case) cuts names to 8.3 form
  if (const char* v = sup_env_lookup("LONGNAME"); v && sup_match_prefix_nocase("OFF", v)) Sw.LongNames = 0;
}
