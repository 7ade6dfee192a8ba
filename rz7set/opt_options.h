// The debugger's start-option text: the family part (one option set per
// processor family) and the common part, built from values and read back.
// Readers take the text in place: a family reader blanks out the switches it
// recognises and steps over the others, so that the common reader, run next on
// the same text, sees only the common switches. Builders cannot fail.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "rz7set/set_state.h"

// The 13 option sets; families 400/500 share 68K, 700/1100 share V8.
enum class OptSet : u8 { Z80, V86, I386, M68K, VR, V8, SH, ARM, H8, T900, M32R, MN103, PPC };
constexpr std::size_t kOptSetCount = 13;

// The option set of `family`; false for family 0 or an unknown one.
bool opt_set_of(CpuFamily family, OptSet& set);

// The common values, as text the user typed (nothing checks they are numbers).
struct CommonOptions {
  std::string deb_size = "512";  // -B before the comma
  std::string mac_size = "32";   // -B after the comma
  std::string ext = "C";         // -E
  std::string tab = "8";         // -TAB
  std::string src_path;          // -SD, CP932, may hold blanks
  bool force = false;            // -!
  bool operator==(const CommonOptions&) const = default;
};

// The family values: item numbers of the dialog's lists and its check boxes.
// A set uses only its own fields; the others keep their defaults.
struct FamilyOptions {
  int deb_mode = 0;   // debug-information mode (every set)
  int step_mode = 0;  // Z80: 0 "P command", 1 "T command"
  int model = 0;      // V86, 386: memory model 0..4
  int cpu = 2;        // V86: 0 V25/V35, 1 V55, 2 other CPU
  bool c87 = false;   // V86, 386: 80x87 option
  bool multi = false; // V86: multi-module
  bool operator==(const FamilyOptions&) const = default;
};

// Each value is written up to the first byte that would end it on reading
// (the path without double quotes), so the text always reads back.
// The fields of the common values, for opt_saved_value.
enum class OptField { DebSize, MacSize, Ext, Tab };
// The part of a typed value that is written and that the debugger reads:
// the sizes and the tab width are decimal digits (at most 9), the extension
// at most 8 characters from "!" to DEL less the double quote. The rest,
// from the first byte that does not fit, is dropped.
std::string opt_saved_value(OptField field, std::string_view value);
// Every common value cut to its saved part (the dialogs show these).
void opt_make_saved(CommonOptions& common);
std::string opt_build_common(std::string_view deb_size, std::string_view mac_size, std::string_view ext,
                             std::string_view tab, std::string_view src_path, bool force);
// Sets the six outputs to their defaults, then reads; true when the whole text was read.
bool opt_parse_common(std::string_view text, std::string& deb_size, std::string& mac_size, std::string& ext,
                      std::string& tab, std::string& src_path, bool& force);

std::string opt_z80_build(int step_mode, int deb_mode);
bool opt_z80_parse(std::string& text, int& step_mode, int& deb_mode);
std::string opt_v86_build(int deb_mode, int cpu, int model, bool c87, bool multi);
bool opt_v86_parse(std::string& text, int& deb_mode, int& cpu, int& model, bool& c87, bool& multi);
std::string opt_386_build(int deb_mode, int model, bool c87);
bool opt_386_parse(std::string& text, int& deb_mode, int& model, bool& c87);
// The ten sets that have only the -X switch.
std::string opt_68k_build(int deb_mode);
bool opt_68k_parse(std::string& text, int& deb_mode);
std::string opt_v8_build(int deb_mode);
bool opt_v8_parse(std::string& text, int& deb_mode);
std::string opt_h8_build(int deb_mode);
bool opt_h8_parse(std::string& text, int& deb_mode);
std::string opt_sh_build(int deb_mode);
bool opt_sh_parse(std::string& text, int& deb_mode);
std::string opt_vr_build(int deb_mode);
bool opt_vr_parse(std::string& text, int& deb_mode);
std::string opt_t900_build(int deb_mode);
bool opt_t900_parse(std::string& text, int& deb_mode);
std::string opt_m32r_build(int deb_mode);
bool opt_m32r_parse(std::string& text, int& deb_mode);
std::string opt_arm_build(int deb_mode);
bool opt_arm_parse(std::string& text, int& deb_mode);
std::string opt_mn103_build(int deb_mode);
bool opt_mn103_parse(std::string& text, int& deb_mode);
std::string opt_ppc_build(int deb_mode);
bool opt_ppc_parse(std::string& text, int& deb_mode);

// The builder and reader of `set` over a FamilyOptions record.
std::string opt_family_build(OptSet set, const FamilyOptions& values);
bool opt_family_parse(OptSet set, std::string& text, FamilyOptions& values);

// The items of the set's debug-information list, item 0 first.
std::span<const char* const> opt_compiler_items(OptSet set);
// The memory-model items of V86 and 386.
std::span<const char* const> opt_model_items();
