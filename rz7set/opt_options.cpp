// Builders and readers of the start-option text. The text ends at its first
// zero byte or at its end; every scan stops there, inside quotes too.
#include "rz7set/opt_options.h"

#include <algorithm>
#include <array>

#include "platform/host/host_text.h"

namespace {

// The byte at `i`, 0 past the end.
char at(std::string_view text, std::size_t i) { return i < text.size() ? text[i] : '\0'; }
bool is_end(char c) { return c == '\0'; }
bool is_blank(char c) { return u8(c) >= 0x01 && u8(c) <= 0x20; }
// A value token stops at a byte of 0x20 or below (the end too) or 0x80 or above.
bool stops_token(char c) { return u8(c) <= 0x20 || u8(c) >= 0x80; }
// Nothing more of the switch: a blank or the end.
bool is_bare_end(char c) { return is_end(c) || is_blank(c); }

std::size_t token_end(std::string_view text, std::size_t i) {
  while (!stops_token(at(text, i))) ++i;
  return i;
}

// A switch that is not the reader's own, from its "-" to the first byte that
// stops a token outside double quotes; a quoted path with blanks goes whole.
std::size_t step_over(std::string_view text, std::size_t i) {
  bool quoted = false;
  for (++i;; ++i) {
    const char c = at(text, i);
    if (is_end(c)) return i;
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && stops_token(c)) {
      return i;
    }
  }
}

enum class Take { Mine, NotMine, Bad };

// The family readers' loop: `own(text, start, end)` looks at the switch at
// `start` (its "-"); a switch it takes (end set past what it consumed) is
// blanked out, one it does not know is stepped over and left.
template <class Own>
bool family_read(std::string& text, Own own) {
  std::size_t i = 0;
  for (;;) {
    while (is_blank(at(text, i))) ++i;
    if (is_end(at(text, i))) return true;
    if (text[i] != '-') return false;
    std::size_t end = i;
    switch (own(std::string_view(text), i, end)) {
      case Take::Bad:
        return false;
      case Take::Mine:
        std::fill(text.begin() + std::ptrdiff_t(i), text.begin() + std::ptrdiff_t(end), ' ');
        i = end;
        break;
      case Take::NotMine:
        i = step_over(text, i);
        break;
    }
  }
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (host_ascii_upper(a[i]) != host_ascii_upper(b[i])) return false;
  return true;
}

// Item of the -X code `code` among `codes`: every letter without regard to
// case, or, with `first_only`, the first letter so and the rest exactly.
int code_item(std::string_view code, std::span<const char* const> codes, bool first_only) {
  for (std::size_t k = 0; k < codes.size(); ++k) {
    const std::string_view c = codes[k];
    if (c.size() != code.size()) continue;
    const bool match = first_only ? c.empty() || (host_ascii_upper(code[0]) == c[0] && code.substr(1) == c.substr(1))
                                  : equal_ignoring_case(code, c);
    if (match) return int(k);
  }
  return -1;
}

// The -X switch at `start`: the item of its code, or Bad.
Take read_x(std::string_view text, std::size_t start, std::size_t& end, std::span<const char* const> codes,
            bool first_only, int& item) {
  end = token_end(text, start + 2);
  const int k = code_item(text.substr(start + 2, end - start - 2), codes, first_only);
  if (k < 0) return Take::Bad;
  item = k;
  return Take::Mine;
}

std::string code_of(std::span<const char* const> codes, int item) {
  return item > 0 && std::size_t(item) < codes.size() ? codes[std::size_t(item)] : "";
}

constexpr const char* kModelLetters = "SMCLH";
int model_item(char c) {
  const char u = host_ascii_upper(c);
  for (int k = 0; k < 5; ++k)
    if (kModelLetters[k] == u && u != '\0') return k;
  return -1;
}
// " -M" and the model letter; nothing when no model is chosen, since a bare
// " -M" would read back as another switch.
std::string model_switch(int model) {
  if (model < 0 || model > 4) return "";
  return std::string(" -M") + kModelLetters[model];
}

// -E87, the 80x87 option: bare, and only in the family part, which ends with
// its -X switch. An -E after it is the common part's extension, so an
// extension "87" or "87..." keeps its own meaning.
bool is_e87(std::string_view text, std::size_t start, bool seen_x) {
  return !seen_x && at(text, start + 2) == '8' && at(text, start + 3) == '7' && is_bare_end(at(text, start + 4));
}

// -X codes of every set, item 0 (Assembler) first.
constexpr const char* kZ80Codes[] = {"", "L", "L3"};
constexpr const char* kV86Codes[] = {"", "M", "T2", "LSI", "OMF", "MSC", "BCC"};
constexpr const char* k386Codes[] = {"", "M", "T2", "LSI"};
constexpr const char* k68KCodes[] = {"", "G", "M", "M4", "C"};
constexpr const char* kV8Codes[] = {"", "G", "N", "C", "CW"};
constexpr const char* kH8Codes[] = {"", "H", "H2", "I"};
constexpr const char* kSHCodes[] = {"", "G", "H", "C", "CW"};
constexpr const char* kVRCodes[] = {"", "G", "C", "C4", "CW", "D"};
constexpr const char* kT900Codes[] = {"", "C"};
constexpr const char* kM32RCodes[] = {"", "G", "C"};
constexpr const char* kARMCodes[] = {"", "C"};
constexpr const char* kMN103Codes[] = {"", "G", "C"};
constexpr const char* kPPCCodes[] = {"", "G", "C", "CW", "D"};

// List items of the debug-information lists, in the codes' order.
constexpr const char* kZ80Items[] = {"Assembler", "LSIC80 Ver2.X/3.1", "LSIC80 Ver3.3/3.4/3.5"};
constexpr const char* kV86Items[] = {"Assembler",     "MSC Ver4/5/6/7",    "TC V2/TC++ V1/BC++ V3.1", "LSIC86 Ver3.1",
                                     "INTEL OMF86",   "MSC/Link&Locate",   "BCC/Paradigm Locate"};
constexpr const char* k386Items[] = {"Assembler", "MSC V4/5/6/7", "TC V2/TC++ V1/BC++ V3.1", "LSIC86 V3.1"};
constexpr const char* k68KItems[] = {"Assembler", "exeGCC", "MCC68K Ver3.3", "MCC68K Ver4.X", "CrossCodeC"};
constexpr const char* kV8Items[] = {"Assembler", "exeGCC", "NEC C", "GreenHills C", "CodeWarrior"};
constexpr const char* kH8Items[] = {"Assembler", "Hitachi C(H83H)", "Hitachi C(H8S/300H)", "IAR C"};
constexpr const char* kSHItems[] = {"Assembler", "exeGCC", "Hitachi C", "GreenHills C", "CodeWarrior"};
constexpr const char* kVRItems[] = {"Assembler",   "exeGCC", "GreenHills C", "GreenHills C(opt:R4000)",
                                    "CodeWarrior", "Diab C"};
constexpr const char* kT900Items[] = {"Assembler", "Toshiba C V4"};
constexpr const char* kM32RItems[] = {"Assembler", "exeGCC", "Mitsubishi C"};
constexpr const char* kARMItems[] = {"Assembler", "ARM C"};
constexpr const char* kMN103Items[] = {"Assembler", "exeGCC(MN103)", "MATSUSHITA C"};
constexpr const char* kPPCItems[] = {"Assembler", "exeGCC", "GreenHills C", "CodeWarrior", "Diab C"};
constexpr const char* kModelItems[] = {"Small", "Medium", "Compact", "Large", "Huge"};

struct SetCodes {
  std::span<const char* const> codes;
  std::span<const char* const> items;
};
// ORDER: OptSet.
constexpr SetCodes kSetCodes[kOptSetCount] = {
    {kZ80Codes, kZ80Items},   {kV86Codes, kV86Items},   {k386Codes, k386Items},     {k68KCodes, k68KItems},
    {kVRCodes, kVRItems},     {kV8Codes, kV8Items},     {kSHCodes, kSHItems},       {kARMCodes, kARMItems},
    {kH8Codes, kH8Items},     {kT900Codes, kT900Items}, {kM32RCodes, kM32RItems},   {kMN103Codes, kMN103Items},
    {kPPCCodes, kPPCItems},
};
consteval bool codes_match_items() {
  for (const SetCodes& s : kSetCodes)
    if (s.codes.size() != s.items.size()) return false;
  return true;
}
static_assert(codes_match_items());

std::span<const char* const> codes_of(OptSet set) { return kSetCodes[std::size_t(set)].codes; }

// The sets with only the -X switch: " -X" and the item's code.
std::string x_only_build(OptSet set, int deb_mode) { return " -X" + code_of(codes_of(set), deb_mode); }
bool x_only_parse(OptSet set, std::string& text, int& deb_mode) {
  deb_mode = 0;
  return family_read(text, [&](std::string_view t, std::size_t s, std::size_t& end) {
    if (host_ascii_upper(at(t, s + 1)) != 'X') return Take::NotMine;
    return read_x(t, s, end, codes_of(set), false, deb_mode);
  });
}

constexpr std::size_t kMaxNumberDigits = 9;  // any such number fits the debugger's 32 bits
constexpr std::size_t kMaxExtension = 8;     // the debugger keeps no more

}  // namespace

bool opt_set_of(CpuFamily family, OptSet& set) {
  switch (family) {
    case kFamilyZ80: set = OptSet::Z80; return true;
    case kFamilyV86: set = OptSet::V86; return true;
    case kFamily386: set = OptSet::I386; return true;
    case kFamily68K:
    case kFamily68K32: set = OptSet::M68K; return true;
    case kFamilyVR: set = OptSet::VR; return true;
    case kFamilyV8:
    case kFamilyV8E: set = OptSet::V8; return true;
    case kFamilySH: set = OptSet::SH; return true;
    case kFamilyARM: set = OptSet::ARM; return true;
    case kFamilyH83H: set = OptSet::H8; return true;
    case kFamilyT900: set = OptSet::T900; return true;
    case kFamilyM32R: set = OptSet::M32R; return true;
    case kFamilyMN103: set = OptSet::MN103; return true;
    case kFamilyPPC: set = OptSet::PPC; return true;
    default: return false;
  }
}

std::string opt_saved_value(OptField field, std::string_view value) {
  std::size_t n = 0;
  if (field == OptField::Ext) {
    while (n < value.size() && n < kMaxExtension && u8(value[n]) > 0x20 && u8(value[n]) < 0x80 && value[n] != '"') ++n;
  } else {
    while (n < value.size() && n < kMaxNumberDigits && value[n] >= '0' && value[n] <= '9') ++n;
  }
  return std::string(value.substr(0, n));
}

void opt_make_saved(CommonOptions& common) {
  common.deb_size = opt_saved_value(OptField::DebSize, common.deb_size);
  common.mac_size = opt_saved_value(OptField::MacSize, common.mac_size);
  common.ext = opt_saved_value(OptField::Ext, common.ext);
  common.tab = opt_saved_value(OptField::Tab, common.tab);
}

std::string opt_build_common(std::string_view deb_size, std::string_view mac_size, std::string_view ext,
                             std::string_view tab, std::string_view src_path, bool force) {
  std::string out = " -B";
  out.append(opt_saved_value(OptField::DebSize, deb_size)).append(",");
  out.append(opt_saved_value(OptField::MacSize, mac_size));
  out.append(" -E").append(opt_saved_value(OptField::Ext, ext));
  // "-TAB" without a number stops the debugger's start: no width, no switch
  if (const std::string width = opt_saved_value(OptField::Tab, tab); !width.empty()) out.append(" -TAB").append(width);
  if (force) out += " -!";
  // A quote would end the path early; the path keeps its blanks and
  // double-byte characters and loses its quotes.
  std::string path;
  for (char c : src_path)
    if (c != '"' && c != '\0') path += c;
  if (!path.empty()) out.append(" -SD\"").append(path).append("\"");
  return out;
}

bool opt_parse_common(std::string_view text, std::string& deb_size, std::string& mac_size, std::string& ext,
                      std::string& tab, std::string& src_path, bool& force) {
  const CommonOptions defaults;
  deb_size = defaults.deb_size;
  mac_size = defaults.mac_size;
  ext = defaults.ext;
  tab = defaults.tab;
  src_path.clear();
  force = false;
  std::size_t i = 0;
  auto token = [&](std::string& out) {
    const std::size_t end = token_end(text, i);
    out.assign(text.substr(i, end - i));
    i = end;
  };
  for (;;) {
    while (is_blank(at(text, i))) ++i;
    if (is_end(at(text, i))) return true;
    if (text[i] != '-') return false;
    const char letter = host_ascii_upper(at(text, i + 1));
    if (is_end(letter)) return false;
    i += 2;
    switch (letter) {
      case '!':
        force = true;
        break;
      case 'B':
        if (at(text, i) != ',') {
          std::size_t end = i;
          while (!stops_token(at(text, end)) && at(text, end) != ',') ++end;
          deb_size.assign(text.substr(i, end - i));
          i = end;
        }
        if (at(text, i) == ',') {
          ++i;
          token(mac_size);
        }
        break;
      case 'E':
        token(ext);
        break;
      case 'S': {
        if (host_ascii_upper(at(text, i)) != 'D') return false;
        ++i;
        if (at(text, i) != '"') {
          token(src_path);
          break;
        }
        std::size_t end = ++i;
        while (!is_end(at(text, end)) && at(text, end) != '"') ++end;
        src_path.assign(text.substr(i, end - i));
        i = at(text, end) == '"' ? end + 1 : end;  // no closing quote: the rest is the path
        break;
      }
      case 'T':
        if (at(text, i) != 'A' || at(text, i + 1) != 'B') return false;
        i += 2;
        token(tab);
        break;
      default:
        return false;
    }
  }
}

std::string opt_z80_build(int step_mode, int deb_mode) {
  return std::string(" -S") + (step_mode == 1 ? 'T' : 'P') + " -X" + code_of(kZ80Codes, deb_mode);
}

bool opt_z80_parse(std::string& text, int& step_mode, int& deb_mode) {
  step_mode = 0;
  deb_mode = 0;
  return family_read(text, [&](std::string_view t, std::size_t s, std::size_t& end) {
    switch (host_ascii_upper(at(t, s + 1))) {
      case 'S': {
        const char mode = host_ascii_upper(at(t, s + 2));
        if (mode != 'P' && mode != 'T') return Take::NotMine;  // -SD: the common reader's
        step_mode = mode == 'T' ? 1 : 0;
        end = s + 3;
        return Take::Mine;
      }
      case 'X':
        return read_x(t, s, end, kZ80Codes, false, deb_mode);
      default:
        return Take::NotMine;
    }
  });
}

std::string opt_v86_build(int deb_mode, int cpu, int model, bool c87, bool multi) {
  std::string out = model_switch(model);
  if (cpu == 0) out += " -V";
  if (cpu == 1) out += " -V55";
  if (multi) out += " -M";
  if (c87) out += " -E87";
  return out + " -X" + code_of(kV86Codes, deb_mode);
}

bool opt_v86_parse(std::string& text, int& deb_mode, int& cpu, int& model, bool& c87, bool& multi) {
  deb_mode = 0;
  cpu = 2;
  model = 0;
  c87 = false;
  multi = false;
  bool seen_x = false;
  return family_read(text, [&](std::string_view t, std::size_t s, std::size_t& end) {
    switch (host_ascii_upper(at(t, s + 1))) {
      case 'M': {
        const char next = at(t, s + 2);
        if (is_end(next) || next == ' ' || next == '\t') {
          multi = true;
          end = s + 2;
          return Take::Mine;
        }
        const int k = model_item(next);
        if (k < 0) return Take::NotMine;
        model = k;
        end = s + 3;
        return Take::Mine;
      }
      case 'V': {
        const char next = at(t, s + 2);
        if (is_end(next) || next == ' ' || next == '\t') {
          cpu = 0;
          end = s + 2;
          return Take::Mine;
        }
        if (next == '5' && at(t, s + 3) == '5') {
          cpu = 1;
          end = s + 4;
          return Take::Mine;
        }
        cpu = 2;  // left in the text, which the common reader then refuses
        return Take::NotMine;
      }
      case 'E':
        if (!is_e87(t, s, seen_x)) return Take::NotMine;
        c87 = true;
        end = s + 4;
        return Take::Mine;
      case 'X':
        seen_x = true;
        return read_x(t, s, end, kV86Codes, true, deb_mode);
      default:
        return Take::NotMine;
    }
  });
}

std::string opt_386_build(int deb_mode, int model, bool c87) {
  std::string out = model_switch(model);
  if (c87) out += " -E87";
  return out + " -X" + code_of(k386Codes, deb_mode);
}

bool opt_386_parse(std::string& text, int& deb_mode, int& model, bool& c87) {
  deb_mode = 0;
  model = 0;
  c87 = false;
  bool seen_x = false;
  return family_read(text, [&](std::string_view t, std::size_t s, std::size_t& end) {
    switch (host_ascii_upper(at(t, s + 1))) {
      case 'M': {
        const int k = model_item(at(t, s + 2));
        if (k < 0) return Take::NotMine;
        model = k;
        end = s + 3;
        return Take::Mine;
      }
      case 'E':
        if (!is_e87(t, s, seen_x)) return Take::NotMine;
        c87 = true;
        end = s + 4;
        return Take::Mine;
      case 'X':
        seen_x = true;
        return read_x(t, s, end, k386Codes, true, deb_mode);
      default:
        return Take::NotMine;
    }
  });
}

std::string opt_68k_build(int deb_mode) { return x_only_build(OptSet::M68K, deb_mode); }
bool opt_68k_parse(std::string& text, int& deb_mode) { return x_only_parse(OptSet::M68K, text, deb_mode); }
std::string opt_v8_build(int deb_mode) { return x_only_build(OptSet::V8, deb_mode); }
bool opt_v8_parse(std::string& text, int& deb_mode) { return x_only_parse(OptSet::V8, text, deb_mode); }
std::string opt_h8_build(int deb_mode) { return x_only_build(OptSet::H8, deb_mode); }
bool opt_h8_parse(std::string& text, int& deb_mode) { return x_only_parse(OptSet::H8, text, deb_mode); }
std::string opt_sh_build(int deb_mode) { return x_only_build(OptSet::SH, deb_mode); }
bool opt_sh_parse(std::string& text, int& deb_mode) { return x_only_parse(OptSet::SH, text, deb_mode); }
std::string opt_vr_build(int deb_mode) { return x_only_build(OptSet::VR, deb_mode); }
bool opt_vr_parse(std::string& text, int& deb_mode) { return x_only_parse(OptSet::VR, text, deb_mode); }
std::string opt_t900_build(int deb_mode) { return x_only_build(OptSet::T900, deb_mode); }
bool opt_t900_parse(std::string& text, int& deb_mode) { return x_only_parse(OptSet::T900, text, deb_mode); }
std::string opt_m32r_build(int deb_mode) { return x_only_build(OptSet::M32R, deb_mode); }
bool opt_m32r_parse(std::string& text, int& deb_mode) { return x_only_parse(OptSet::M32R, text, deb_mode); }
std::string opt_arm_build(int deb_mode) { return x_only_build(OptSet::ARM, deb_mode); }
bool opt_arm_parse(std::string& text, int& deb_mode) { return x_only_parse(OptSet::ARM, text, deb_mode); }
std::string opt_mn103_build(int deb_mode) { return x_only_build(OptSet::MN103, deb_mode); }
bool opt_mn103_parse(std::string& text, int& deb_mode) { return x_only_parse(OptSet::MN103, text, deb_mode); }
std::string opt_ppc_build(int deb_mode) { return x_only_build(OptSet::PPC, deb_mode); }
bool opt_ppc_parse(std::string& text, int& deb_mode) { return x_only_parse(OptSet::PPC, text, deb_mode); }

std::string opt_family_build(OptSet set, const FamilyOptions& v) {
  switch (set) {
    case OptSet::Z80: return opt_z80_build(v.step_mode, v.deb_mode);
    case OptSet::V86: return opt_v86_build(v.deb_mode, v.cpu, v.model, v.c87, v.multi);
    case OptSet::I386: return opt_386_build(v.deb_mode, v.model, v.c87);
    default: return x_only_build(set, v.deb_mode);
  }
}

bool opt_family_parse(OptSet set, std::string& text, FamilyOptions& v) {
  v = FamilyOptions{};
  switch (set) {
    case OptSet::Z80: return opt_z80_parse(text, v.step_mode, v.deb_mode);
    case OptSet::V86: return opt_v86_parse(text, v.deb_mode, v.cpu, v.model, v.c87, v.multi);
    case OptSet::I386: return opt_386_parse(text, v.deb_mode, v.model, v.c87);
    default: return x_only_parse(set, text, v.deb_mode);
  }
}

std::span<const char* const> opt_compiler_items(OptSet set) { return kSetCodes[std::size_t(set)].items; }
std::span<const char* const> opt_model_items() { return kModelItems; }
