// The configuration file reader and its keywords.
#include "halv80/engine/cfg_config.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/emu_areas.h"
#include "halv80/engine/emu_boot.h"
#include "halv80/engine/emu_control.h"
#include "halv80/engine/emu_hardware.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/qor_reg.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/sup_paths.h"
#include "platform/host/host_text.h"

constinit CfgState Cfg;

void cfg_reset() { Cfg = CfgState{}; }

namespace {

constexpr u8 kCr = 0x0D;
constexpr u8 kLf = 0x0A;
constexpr u8 kEndOfFile = 0x1A;
constexpr u32 kTargetTop = 0xFFFFF;       // layout checks clip every end here
constexpr u32 kEmptyArea = 0x100000;      // where an undefined area lies, empty
constexpr u16 kMonitorStackBytes = 16;    // the monitor's stack below its initial pointer

// ROM type codes (read as hexadecimal, so the digits stand as written). The
// last two digits 08 or 16 give the part's bus width; a 16-bit part counts
// one size step smaller.
struct RomTypeCode {
  u32 code;
  u16 type;
};
constexpr RomTypeCode kRomTypeCodes[] = {
    {0x2764, 0},  {0x64, 0},                               //
    {0x27128, 1}, {0x128, 1},                              //
    {0x27256, 2}, {0x256, 2},                              //
    {0x27512, 3}, {0x512, 3},   {0x116, 3},                //
    {0x100, 4},   {0x108, 4},   {0x216, 4},                //
    {0x200, 5},   {0x208, 5},   {0x416, 5},                //
    {0x400, 6},   {0x408, 6},   {0x816, 6},                //
    {0x800, 7},   {0x808, 7},   {0x1616, 7},               //
    {0x1600, 8},  {0x1608, 8},  {0x3216, 8},               //
    {0x3200, 9},  {0x3208, 9},  {0x6416, 9},               //
};


void fail() { Cmd.AbortFlag = 1; }

bool bank_mode() { return Cfg.MmuKind != kMmuNone; }

// A value that is a long (20-bit and more) address in bank mode.
u32 get_address() { return bank_mode() ? cmd_get_expression() : cmd_get_value(); }

bool at_operand_end() {
  cmd_skip_blanks();
  return *Cmd.ScannerCursor == '\0';
}

// The operand must end here.
void expect_end() {
  if (!Cmd.AbortFlag && !at_operand_end()) fail();
}

// ROM type index of a type code; kRomTypeUndefined for an unknown code.
u16 rom_type_of(u32 code) {
  for (const RomTypeCode& c : kRomTypeCodes)
    if (c.code == code) return c.type;
  return kRomTypeUndefined;
}

// A ROM TYPE operand: the type index, or kRomTypeUndefined with AbortFlag set.
// The emulation memory the hardware measured limits the type.
u16 get_rom_type() {
  const u32 code = cmd_get_expression();
  expect_end();
  if (Cmd.AbortFlag) return kRomTypeUndefined;
  const u16 type = rom_type_of(code);
  if (type == kRomTypeUndefined || type > 4u + EmuInfo.MemorySizeCode) {
    fail();
    return kRomTypeUndefined;
  }
  return type;
}

// start[,end[,offset]] of one ROM area of a ROM whose type is `type`.
void set_rom_area(u16 type, bool long_start, u32& start, u32& end, u32& offset) {
  if (type >= kRomTypeCount) {  // no ROM TYPE line before it?
    fail();
    return;
  }
  const u32 first = long_start ? get_address() : cmd_get_value();
  u32 last = first + RomTypeTable[type].size - 1;
  u32 position = offset;
  if (!at_operand_end()) {
    last = long_start ? cmd_get_long_after_comma() : cmd_get_value_after_comma();
    if (!at_operand_end()) position = cmd_get_long_after_comma();
  }
  expect_end();
  if (Cmd.AbortFlag) return;
  // An area that ends before it starts, is larger than its ROM, or would lie
  // past the end of the emulation memory the hardware set-up measured: the
  // area's bytes are written straight into emulation memory at its offset.
  const u64 length = u64(last) - first + 1;
  const u64 memory = u64(kMemoryProbeBase) << EmuInfo.MemorySizeCode;
  if (last < first || length > RomTypeTable[type].size || position + length > memory) {
    fail();
    return;
  }
  start = first;
  end = last;
  offset = position;
}

// A value whose hexadecimal (or, after '@', binary) digits may be 'X': don't
// care. Each X becomes '0' in `text`, the operand copy the cursor walks;
// `mask` has a 1 for every bit that counts, and the bits above the digits
// typed stay 1.
u16 get_masked_value(char* text, u16& mask) {
  cmd_skip_blanks();
  mask = cmd_mask_dont_care_digits(text + (Cmd.ScannerCursor - text));
  return u16(cmd_get_value());
}

bool driver_mode() { return SupHost.BiosWork && SupHost.BiosWork->get32<kWorkDriverMode>() != 0; }

// Stores the interface kind in the work area's board-type byte (low nibble).
void set_interface_kind(u16 kind) {
  Cfg.InterfaceKind = u16(kind & 15);
  if (SupHost.BiosWork) {
    const u8 board = SupHost.BiosWork->get8<kWorkBoardType>();
    SupHost.BiosWork->set8<kWorkBoardType>(u8((board & 0xF0) | Cfg.InterfaceKind));
  }
}

// "PORT ADDRESS": where the interface card's ports lie.
u16 set_port_address() {
  u32 port = 0;
  bool found = false;
  // Through the driver, its installation knows the card: the operand is not read.
  if (driver_mode()) {
    u32 kind = 0;
    if (ReadDriverParameters(port, kind) == 0) return kErrRegistry;
    set_interface_kind(u16(kind));
    found = true;
  }
  // automatic detection first, when asked for
  const char* auto_if = found ? nullptr : sup_env_lookup("AUTO_IF");
  if (auto_if != nullptr && sup_match_prefix_nocase("ON", auto_if) != nullptr) {
    const u16 pci = DetectInterfaceCard(kCardKindPci);
    if (pci >= 16) {
      port = pci;
      found = true;
    } else {
      const u16 pc_card = DetectInterfaceCard(kCardKindPcCard);
      if (pc_card != kCardDeviceAbsent && pc_card != kCardNotFound) {
        port = pc_card & ~7u;
        found = true;
      }
    }
  }
  if (!found) {
    if (cmd_match_keyword("PCI") == 0) {
      const u16 pci = DetectInterfaceCard(kCardKindPci);
      if (pci < 16) return u16(26 + pci);  // 27: no detection device, 28: no card
      port = pci;
      if (*Cmd.ScannerCursor == '/') {
        ++Cmd.ScannerCursor;
        u16 kind = u16(cmd_get_number_decimal());
        if (Cmd.AbortFlag) {  // an unreadable kind is kind 0
          Cmd.AbortFlag = 0;
          kind = 0;
        }
        set_interface_kind(kind);
      } else {
        expect_end();
        if (Cmd.AbortFlag) return 0;
      }
    } else if (cmd_match_keyword("PC") == 0) {
      if (Cfg.PcCardSeen) return 0;  // only the first PC line counts
      Cfg.PcCardSeen = 1;
      const bool socket_services = cmd_match_keyword("SS") == 0;
      u32 given = 0;
      bool has_address = false;
      if (*Cmd.ScannerCursor == ':') {
        ++Cmd.ScannerCursor;
        given = cmd_get_value();
        has_address = true;
        if (given % 8 != 0) fail();
      }
      expect_end();
      if (Cmd.AbortFlag) return 0;
      if (socket_services) {
        if (!has_address) {
          fail();
          return 0;
        }
        port = given;
      } else {
        const u16 detected = emu_detect_card();
        if (detected == kCardDeviceAbsent) return 22;
        if (detected == kCardNotFound) return 23;
        port = detected;
      }
    } else {
      port = cmd_get_value();
      expect_end();
      if (Cmd.AbortFlag) return 0;
    }
  }
  // the port base: a multiple of 8, and one already in the work area stays
  u16 base = u16(port & ~7u);
  if (SupHost.BiosWork) {
    const u16 present = SupHost.BiosWork->get16<kWorkBasePort>();
    if (present != 0)
      base = present;
    else
      SupHost.BiosWork->set16<kWorkBasePort>(base);
    if (Sw.NoMonitorMode != 0) {
      const u8 board = SupHost.BiosWork->get8<kWorkBoardType>();
      SupHost.BiosWork->set8<kWorkBoardType>(u8((board & 0xF0) + 2));
    }
  }
  if (base == 0) {
    fail();
    return 0;
  }
  Cfg.PortBase = base;
  // the card is there now: set it up, which also measures the emulation memory
  return emu_setup_hardware() == 0 ? 0 : kErrHardware;
}

// "TRACE ADDRESS MASK" mask,addr[,addr...]: one to 32 addresses.
void set_trace_addresses() {
  if (EmuArea.Layout.rom1_type >= kRomTypeCount) {
    fail();
    return;
  }
  const u32 mask = get_address() | 0xFFF;
  u32 list[kTraceAddressMax];
  std::size_t count = 0;
  while (!Cmd.AbortFlag && !at_operand_end()) {
    if (count == kTraceAddressMax) {  // a 33rd address
      fail();
      return;
    }
    const char* before = Cmd.ScannerCursor;
    const u32 address = bank_mode() ? cmd_get_long_after_comma() : cmd_get_value_after_comma();
    if (Cmd.ScannerCursor == before) fail();  // nothing the scanner could take
    list[count++] = address & ~mask;
  }
  if (Cmd.AbortFlag) return;
  if (count == 0) {  // a mask with no address behind it
    fail();
    return;
  }
  Cfg.TraceAddressMask = mask;
  std::fill(std::begin(Cfg.TraceAddresses), std::end(Cfg.TraceAddresses), kTraceAddressEnd);
  std::copy(list, list + count, Cfg.TraceAddresses);
}

void set_bank_mode() {
  u16 kind = kMmuNone;
  u16 cpu = Cfg.CpuType;
  if (cmd_match_keyword("KC80") == 0) {
    kind = kMmuWindows;
    cpu = kCpuKc80;
  } else if (cmd_match_keyword("64180") == 0) {
    cpu = kCpu64180;
    const char letter = *Cmd.ScannerCursor;
    if (letter == 'F' || letter == 'f') {  // the 64180F has no such MMU
      fail();
      return;
    }
    kind = (letter == 'S' || letter == 's') ? kMmuBankS : kMmuBank;
    if (letter != '\0') ++Cmd.ScannerCursor;
  } else if (cmd_match_keyword("OFF") == 0) {
    kind = kMmuNone;
  } else {
    fail();
    return;
  }
  expect_end();
  if (Cmd.AbortFlag) return;
  Cfg.MmuKind = kind;
  Cfg.PageMask = kind == kMmuWindows ? kPageMaskWindows : kPageMaskDefault;
  Cfg.CpuType = cpu;
  Cfg.BankModeGiven = 1;
}

// One area for the checks: [start, limit), clipped to the target space.
struct Span {
  u32 start;
  u32 limit;
};

Span span_of(u32 start, u32 end) {
  if (start == kLayoutUndefined || end == kLayoutUndefined) return {kEmptyArea, kEmptyArea};
  const u32 last = std::min(end, kTargetTop);
  if (start > last) return {kEmptyArea, kEmptyArea};
  return {start, last + 1};
}

bool overlap(Span a, Span b) { return a.start < b.limit && b.start < a.limit; }
bool defined(u32 start) { return start != kLayoutUndefined; }

// Reads one line's worth of the file through the window: `buffer` holds
// `valid` bytes, `pos` is the read position. After a short read CR LF 0x1A
// stand behind the data, so every line ends and the file ends with 0x1A.
class ConfigWindow {
 public:
  explicit ConfigWindow(int handle) : handle_(handle) {}

  // Fewer than kCfgRefillMark bytes left unread: move them to the front and
  // fill the window up.
  void refill_if_low() {
    if (!ended_ && valid_ - pos_ < kCfgRefillMark) fill();
  }
  bool exhausted() const { return pos_ >= valid_; }
  u8 peek() const { return buffer_[pos_]; }
  void skip() { ++pos_; }
  void skip_lf() {
    if (pos_ < valid_ && buffer_[pos_] == kLf) ++pos_;
  }
  // The line at the read position up to its CR (not included), and the read
  // position behind the CR. False when no CR lies in a full window: the line
  // is longer than the window (the part seen is returned in `line`).
  bool take_line(std::string& line) {
    const u8* cr = find_cr();
    if (cr == nullptr && !ended_) {
      fill();
      cr = find_cr();
    }
    const u8* end = cr ? cr : buffer_ + valid_;
    line.assign(reinterpret_cast<const char*>(buffer_ + pos_), std::size_t(end - (buffer_ + pos_)));
    if (cr == nullptr) return false;
    pos_ = std::size_t(cr - buffer_) + 1;
    skip_lf();
    return true;
  }

 private:
  const u8* find_cr() const {
    return static_cast<const u8*>(std::memchr(buffer_ + pos_, kCr, valid_ - pos_));
  }
  void fill() {
    std::memmove(buffer_, buffer_ + pos_, valid_ - pos_);
    valid_ -= pos_;
    pos_ = 0;
    const u32 asked = u32(kCfgWindowSize - valid_);
    i32 got = asked == 0 ? 0 : sup_file_read(handle_, buffer_ + valid_, asked);
    if (got < 0) got = 0;  // a failed read ends the file
    valid_ += std::size_t(got);
    if (u32(got) < asked) {
      buffer_[valid_++] = kCr;
      buffer_[valid_++] = kLf;
      buffer_[valid_++] = kEndOfFile;
      ended_ = true;
    }
  }

  int handle_;
  u8 buffer_[kCfgWindowSize + 3]{};  // + CR LF 0x1A behind a short read
  std::size_t valid_ = 0;
  std::size_t pos_ = 0;
  bool ended_ = false;
};

// The keyword the line begins with, and the operand text behind it.
bool match_keyword(const std::string& line, ConfigKeyword& keyword, std::string_view& operand) {
  for (const ConfigKeywordEntry& e : ConfigKeywordTable) {
    const std::string_view word = e.word;
    if (line.size() < word.size()) continue;
    // the line may hold NUL bytes: compare within its length
    bool same = true;
    for (std::size_t i = 0; i < word.size() && same; ++i) same = host_ascii_upper(line[i]) == word[i];
    if (!same) continue;
    keyword = e.keyword;
    operand = std::string_view(line).substr(word.size());
    return true;
  }
  return false;
}

// Reports start-up error n (0 with `line`) and returns n.
u16 report(u16 n, const std::string& line) {
  if (n == 0) Startup.ConfigLine = line;
  emu_startup_error(n, 0);
  Cfg.Reading = 0;
  return n;
}

}  // namespace

int emu_open_on_path(std::string_view name) {
  const std::string path = emu_find_on_path(name);
  return path.empty() ? -1 : sup_file_open(path, 0);
}

std::string emu_find_on_path(std::string_view name) {
  const auto opens = [](const std::string& path) {
    const int handle = sup_file_open(path, 0);
    if (handle == -1) return false;
    sup_file_close(handle);
    return true;
  };
  if (!name.empty() && opens(std::string(name))) return std::string(name);
  if (!sup_path_list_begin("PATH")) return {};
  char folder[kPathElementSize];
  while (sup_path_list_next(folder)) {
    std::string path = folder;
    path += name;
    if (opens(path)) return path;
  }
  return {};
}

u16 cfg_read_config(std::string_view name) {
  Cfg.Reading = 1;
  RomLayout layout = EmuArea.Layout;
  layout.lrom1_offset = layout.urom1_offset = layout.lrom2_offset = layout.urom2_offset = 0;
  emu_set_rom_layout(layout);
  const SupFileCloser file{emu_open_on_path(name)};
  if (file.handle == -1) return report(1, {});
  Cfg.DataBusWidth = 1;
  if (SupHost.BiosWork) SupHost.BiosWork->set8<kWorkBusWidth>(u8(Cfg.DataBusWidth));
  Cmd.Radix = 16;

  ConfigWindow window(file.handle);
  std::string line;
  int depth = 0;           // of #{ #} comment blocks
  u32 line_number = 0;
  std::string open_block;  // the line that opened the outermost block, and where
  for (;;) {
    window.refill_if_low();
    if (window.exhausted()) break;  // only after a read failed mid-way
    const u8 first = window.peek();
    ++line_number;
    if (first == kCr) {  // empty line
      window.skip();
      window.skip_lf();
      continue;
    }
    if (first == kEndOfFile) break;
    const bool whole = window.take_line(line);
    if (!whole) return report(0, line);  // longer than the window
    if (first == '#') {
      if (line.starts_with("#{") && depth++ == 0) open_block = line + " (line " + std::to_string(line_number) + ")";
      if (line.starts_with("#}") && --depth < 0) return report(0, line);
      continue;
    }
    if (first == ';' || depth > 0) continue;
    ConfigKeyword keyword{};
    std::string_view operand;
    if (!match_keyword(line, keyword, operand)) return report(0, line);
    Cmd.AbortFlag = 0;
    const u16 fatal = cfg_parse_config_line(keyword, operand);
    if (fatal != 0) return report(fatal, line);
    if (Cmd.AbortFlag) return report(0, line);
  }
  // a block never closed would hide the rest of the file without a word
  if (depth > 0) return report(0, open_block);
  if (const u16 n = cfg_check_layout(); n != 0) return report(n, {});
  Cfg.Reading = 0;
  return 0;
}

u16 cfg_read_config_file() {
  const u16 n = cfg_read_config(CpuConfigFile);
  if (n != 0) cmd_exit_forever();
  return 0;
}

u16 cfg_parse_config_line(ConfigKeyword keyword, std::string_view operand) {
  // the operand: from the first non-blank up to a blank, a control byte or ';'
  std::size_t from = 0;
  while (from < operand.size() && u8(operand[from]) < 0x21 && operand[from] != '\0') ++from;
  std::size_t to = from;
  while (to < operand.size() && u8(operand[to]) >= 0x21 && operand[to] != ';') ++to;
  char text[kCommandLineSize];
  const std::size_t length = std::min(to - from, kCommandLineSize - 1);
  std::memcpy(text, operand.data() + from, length);
  text[length] = '\0';
  const char* saved_cursor = Cmd.ScannerCursor;
  Cmd.ScannerCursor = text;

  u16 fatal = 0;
  RomLayout layout = EmuArea.Layout;
  switch (keyword) {
    case ConfigKeyword::Jtag:
    case ConfigKeyword::Shadow:
      break;
    case ConfigKeyword::RomVcc: {
      const u32 volts = cmd_get_value();
      expect_end();
      if (!Cmd.AbortFlag && volts != 3 && volts != 5) fail();
      if (!Cmd.AbortFlag) Cfg.RomVoltage = volts == 3 ? 3 : 0;
      break;
    }
    case ConfigKeyword::ExtClock: {
      u32 word = 0;
      if (cmd_match_keyword("EXT") == 0)
        word = kExtClockExt;
      else if (cmd_match_keyword("INT") == 0)
        word = kExtClockInt;
      else if (cmd_match_keyword("SEQ") == 0)
        word = kExtClockSeq;
      else if ((word = cmd_get_value()) > kExtClockNumberMax)
        fail();
      expect_end();
      if (!Cmd.AbortFlag) Cfg.ExtClock = u16(word);
      break;
    }
    case ConfigKeyword::PortAddress:
      fatal = set_port_address();
      break;
    case ConfigKeyword::Rom1Type:
      if (const u16 type = get_rom_type(); !Cmd.AbortFlag) layout.rom1_type = type;
      break;
    case ConfigKeyword::Rom2Type:
      if (Run.TraceHwLevel == 0) break;  // no second ROM without trace hardware
      if (const u16 type = get_rom_type(); !Cmd.AbortFlag) layout.rom2_type = type;
      break;
    case ConfigKeyword::MmuRegBase:
      Cfg.MmuIoBase = u16(cmd_get_value());
      expect_end();
      break;
    case ConfigKeyword::MonitorInitStack: {
      const u16 stack = u16(cmd_get_value());
      expect_end();
      if (!Cmd.AbortFlag) Cfg.MonitorInitStack = EmuInfo.MonitorStack = stack;
      break;
    }
    case ConfigKeyword::SoftBreak: {
      u32 n = cmd_get_value();
      expect_end();
      if (n >= 8 && n <= 56 && n % 8 == 0) n /= 8;  // the vector address of the RST
      if (n < 1 || n > 7) fail();
      if (!Cmd.AbortFlag) Cfg.BreakOpcode = u8(n * 8 | 0xC7);
      break;
    }
    case ConfigKeyword::IoMask16:
      Cfg.IoMask16 = u8(cmd_get_value());
      expect_end();
      break;
    case ConfigKeyword::Lrom1Address:
      set_rom_area(layout.rom1_type, false, layout.lrom1_start, layout.lrom1_end, layout.lrom1_offset);
      break;
    case ConfigKeyword::Urom1Address:
      set_rom_area(layout.rom1_type, true, layout.urom1_start, layout.urom1_end, layout.urom1_offset);
      break;
    case ConfigKeyword::Lrom2Address:
    case ConfigKeyword::Urom2Address: {
      if (Run.TraceHwLevel == 0) {  // the second ROM needs the trace hardware
        fail();
        break;
      }
      const bool lower = keyword == ConfigKeyword::Lrom2Address;
      set_rom_area(layout.rom2_type, true, lower ? layout.lrom2_start : layout.urom2_start,
                   lower ? layout.lrom2_end : layout.urom2_end, lower ? layout.lrom2_offset : layout.urom2_offset);
      break;
    }
    case ConfigKeyword::TraceAddressMask:
      set_trace_addresses();
      break;
    case ConfigKeyword::TraceInta:
    case ConfigKeyword::TraceCodeFetch:
    case ConfigKeyword::TraceMemoryRead:
    case ConfigKeyword::TraceMemoryWrite:
    case ConfigKeyword::TraceIoRead:
    case ConfigKeyword::TraceIoWrite:
    case ConfigKeyword::TraceMemoryRw:
    case ConfigKeyword::TraceIoRw: {
      u16 mask = 0;
      const u16 value = get_masked_value(text, mask);
      expect_end();
      if (Cmd.AbortFlag) break;
      const std::size_t kind = std::size_t(keyword) - std::size_t(ConfigKeyword::TraceInta);
      Cfg.Cycles[kind] = {value, mask};
      Cfg.CycleStatusBits = u16(Cfg.CycleStatusBits | mask);
      break;
    }
    case ConfigKeyword::Nmip: {
      const u32 used = cmd_get_value();
      u16 word = u16(used);
      if (!Cmd.AbortFlag && used > 1) fail();
      cmd_skip_blanks();
      if (!Cmd.AbortFlag && *Cmd.ScannerCursor == ',') {
        ++Cmd.ScannerCursor;
        cmd_skip_blanks();
        if (cmd_match_keyword("LEVEL") == 0)
          word |= kNmiPinLevel;
        else if (cmd_match_keyword("EDGE") != 0)
          fail();
      }
      expect_end();
      if (!Cmd.AbortFlag) Cfg.NmiPin = word;
      break;
    }
    case ConfigKeyword::NmiAddress:
      Cfg.NmiAddress = u16(cmd_get_value());
      expect_end();
      break;
    case ConfigKeyword::BankMode:
      set_bank_mode();
      break;
    case ConfigKeyword::HardBreakLogic:
      if (cmd_match_keyword("RZ") == 0)
        Cfg.HardBreakLogic = 0;
      else if (cmd_match_keyword("CPU") != 0)
        fail();
      expect_end();
      break;
    case ConfigKeyword::PowerOffDetectTime: {
      const u32 seconds = cmd_get_number_decimal();
      expect_end();
      if (!Cmd.AbortFlag && seconds > kPowerOffSecondsMax) fail();
      if (!Cmd.AbortFlag) Cfg.PowerOffDetectMs = seconds * 1000;
      break;
    }
    case ConfigKeyword::Init:
    case ConfigKeyword::Count:
      fail();
      break;
  }
  if (!Cmd.AbortFlag && fatal == 0) emu_set_rom_layout(layout);
  Cmd.ScannerCursor = saved_cursor;
  return fatal;
}

u16 cfg_check_layout() {
  RomLayout layout = EmuArea.Layout;
  if (!defined(layout.lrom2_start) && !defined(layout.urom2_start)) {
    layout.rom2_type = kRomTypeUndefined;
    emu_set_rom_layout(layout);
  }
  if (defined(layout.urom1_start) && !defined(layout.lrom1_start)) return 25;
  if (defined(layout.urom2_start) && !defined(layout.lrom2_start)) return 25;
  const Span areas[] = {
      span_of(layout.lrom1_start, layout.lrom1_end),
      span_of(layout.urom1_start, layout.urom1_end),
      span_of(layout.lrom2_start, layout.lrom2_end),
      span_of(layout.urom2_start, layout.urom2_end),
  };
  if (!bank_mode()) {
    // the 16 bytes below the initial stack, wrapping at 64 KiB
    const u32 stack = Cfg.MonitorInitStack;
    Span below[2] = {{kEmptyArea, kEmptyArea}, {kEmptyArea, kEmptyArea}};
    if (stack >= kMonitorStackBytes) {
      below[0] = {stack - kMonitorStackBytes, stack};
    } else {
      below[0] = {0, stack};
      below[1] = {0x10000 - (kMonitorStackBytes - stack), 0x10000};
    }
    for (const Span& s : below)
      for (const Span& a : areas)
        if (overlap(s, a)) return 2;
  }
  for (std::size_t i = 0; i < std::size(areas); ++i)
    for (std::size_t j = i + 1; j < std::size(areas); ++j)
      if (overlap(areas[i], areas[j])) return 4;
  return 0;
}
