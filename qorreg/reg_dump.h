// The registry dump: walks the four roots of the registry store and prints
// every entry that belongs to the maker's interface drivers or software. Above
// a key whose name carries one of RegKeywords only values whose own names
// carry one are printed, each after its key's path; such a key prints its
// whole subtree. The walk only reads. Output is appended to a text, as the
// program then writes it to standard output.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "platform/host/host_registry.h"
#include "platform/host/host_types.h"

// The names that make an entry the maker's, in this order: the maker's
// initials, the interface driver's service name, the service name of its
// second interface driver.
inline constexpr std::array<std::string_view, 3> RegKeywords = {"QOR", "RZ7IF", "WQ5IF"};

// Platform ids of the version query.
constexpr u32 kRegPlatformOther = 1;
constexpr u32 kRegPlatformNt = 2;  // the only one the dump runs on

// Does `text` contain `word`? Characters compare in upper case (ASCII
// letters); a CP932 double-byte character is one unit, so a match neither
// starts nor ends inside one.
bool reg_contains_nocase(std::string_view text, std::string_view word);
// True when `name` contains one of RegKeywords.
bool reg_name_matches(std::string_view name);

// An open key of the store and where it lies, so that its subkeys can be
// opened.
struct RegOpenKey {
  HostRegKey* handle = nullptr;
  HostRegRoot root = HostRegRoot::LocalMachine;
  std::string_view store_path;  // below the root, "" for the root itself
};

// Prints a key's values and walks its subkeys: with `inherited` on, the path
// once and every value; with it off, each value whose name matches, after the
// path. A subkey is walked with the flag on when this key's is on or the
// subkey's own name matches. A key with neither values nor subkeys, or one
// the store can't describe, prints nothing.
void reg_dump_key(const RegOpenKey& key, std::string_view path, bool inherited, std::string& out);

// Appends the lines of one value: its type's line and, for the resource
// types that carry one, the decoded data.
void reg_print_value(std::string_view name, u32 type, std::span<const u8> data, std::string& out);

// The version query, answered by the registry store that stands in for the
// system's registry: false when no store folder can be named at all
// ($HALV80_REGISTRY_DIR, $XDG_CONFIG_HOME and $HOME unset); kRegPlatformNt
// when the folder exists, kRegPlatformOther when it does not (no registry
// to read).
bool reg_get_platform(u32& platform);

// The program: the banner, the platform check, then the walk of the roots
// HKCR, HKCU, HKLM and HKU. Returns 0 after the walk, -1 when the platform
// is not suitable. `faults` gets one line for each root whose store file
// could not be read (the walk prints nothing of such a root).
int reg_dump_main(std::string& out, std::string& faults);
