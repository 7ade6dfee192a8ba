// The defined-name table and its expansion. An entry is one stored text,
// "name replacement"; the table is packed from slot 0, so the first empty
// slot ends it.
#include "halv80/symbols/def_names.h"

#include <algorithm>
#include <cstring>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/con_scanner.h"
#include "platform/host/host_text.h"

constinit DefState Def;

namespace {


// An entry's text: at most a command line's worth and the terminator.
using EntryText = char[kCommandLineSize + 1];

std::string_view entry_text(std::size_t slot, EntryText& text) {
  const std::size_t length = sym_name_text(Def.Entries[slot], text, sizeof text);
  return {text, length > 0 ? length - 1 : 0};  // without the NUL
}

// The name part and the replacement part of an entry.
std::string_view name_of(std::string_view entry) { return entry.substr(0, std::min(entry.find(' '), entry.size())); }
std::string_view replacement_of(std::string_view entry) {
  const std::size_t blank = entry.find(' ');
  return blank == std::string_view::npos ? std::string_view{} : entry.substr(blank + 1);
}

std::size_t entry_count() {
  std::size_t n = 0;
  while (n < kDefEntries && Def.Entries[n] != kNoName) ++n;
  return n;
}

// Slot + 1 of the entry named `name`; 0 none.
std::size_t find_entry(std::string_view name) {
  for (std::size_t slot = 0; slot < entry_count(); ++slot) {
    EntryText text;
    if (name_of(entry_text(slot, text)) == name) return slot + 1;
  }
  return 0;
}

// Digits, letters and '_'; with toolchain kind 16 also '$', '?' and '@'; a
// double-byte character is part of an identifier.
bool identifier_byte(u8 c) {
  if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_') return true;
  if (Sw.ToolchainKind == 16 && (c == '$' || c == '?' || c == '@')) return true;
  return host_cp932_lead(c);
}

}  // namespace

void def_reset() { Def = DefState{}; }

std::string_view def_expand(std::string_view text) {
  if (Def.Entries[0] == kNoName) return text;
  constexpr std::size_t kLimit = kDefExpansionSize - 1;
  std::size_t out = 0;
  const auto put = [&](std::string_view piece) {
    const std::size_t n = std::min(piece.size(), kLimit - out);
    std::memcpy(Def.Expansion + out, piece.data(), n);
    out += n;
  };
  std::size_t i = 0;
  while (i < text.size() && out < kLimit) {
    if (!identifier_byte(u8(text[i]))) {
      put(text.substr(i, 1));
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < text.size() && identifier_byte(u8(text[end])))
      end += host_cp932_lead(u8(text[end])) && end + 1 < text.size() ? 2 : 1;
    const std::string_view run = text.substr(i, end - i);
    EntryText entry;
    const std::size_t slot = find_entry(run);
    put(slot != 0 ? replacement_of(entry_text(slot - 1, entry)) : run);
    i = end;
  }
  Def.Expansion[out] = '\0';
  return {Def.Expansion, out};
}

void def_command() {
  cmd_skip_blanks();
  const char* p = Cmd.ScannerCursor;
  if (*p == '\0') {
    for (std::size_t slot = 0; slot < entry_count(); ++slot) {
      EntryText text;
      con_puts("\n#define ");
      con_puts(entry_text(slot, text));
    }
    return;
  }
  if (*p == '*' && *sup_skip_blanks(p + 1) == '\0') {
    def_reset();
    return;
  }
  const char* name_end = p;
  while (u8(*name_end) >= 0x21 && *name_end != ',') ++name_end;
  const std::string_view name(p, std::size_t(name_end - p));
  if (name.empty()) {
    cmd_error(kMsgData);
    return;
  }
  const char* rest = name_end;
  if (*rest == ',') ++rest;
  rest = sup_skip_blanks(rest);
  std::string_view replacement(rest);
  replacement = replacement.substr(0, std::min(replacement.find("/*"), replacement.size()));
  while (!replacement.empty() && u8(replacement.back()) < 0x21) replacement.remove_suffix(1);

  const std::size_t found = find_entry(name);
  if (replacement.empty()) {
    if (found == 0) {
      cmd_error(kMsgData);
      return;
    }
    // later entries move up
    std::copy(Def.Entries + found, Def.Entries + kDefEntries, Def.Entries + found - 1);
    Def.Entries[kDefEntries - 1] = kNoName;
    return;
  }
  char lead[kCommandLineSize + 1];
  std::memcpy(lead, name.data(), name.size());
  lead[name.size()] = ' ';
  const NameHandle handle = sym_store_text(replacement, std::string_view(lead, name.size() + 1));
  if (handle == kNoName) {
    cmd_error(kMsgStoreFull);
    return;
  }
  // the named entry, else the first empty one, else the last
  const std::size_t count = entry_count();
  const std::size_t slot = found != 0 ? found - 1 : std::min(count, kDefEntries - 1);
  Def.Entries[slot] = handle;
}
