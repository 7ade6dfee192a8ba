// Defined names (the DEF and #DEFINE command): up to 32 entries, each one
// stored text "name replacement" in the name store, and the expansion that
// replaces them in an expression before it is parsed. The entries live in
// the name store, so every reset of the symbol database empties the table.
#pragma once

#include <cstddef>
#include <string_view>

#include "halv80/symbols/sym_store.h"
#include "platform/host/host_types.h"

constexpr std::size_t kDefEntries = 32;
constexpr std::size_t kDefExpansionSize = 1024;  // 1,023 characters and the terminator

struct DefState {
  NameHandle Entries[kDefEntries]{};      // "name replacement"; the first empty entry ends the table
  char Expansion[kDefExpansionSize]{};    // the result of the last def_expand that replaced
};
extern DefState Def;

// Empties the table; sym_reset calls it, as the texts go with the name store.
void def_reset();
// `text` with every identifier that equals a defined name replaced by its
// replacement (not scanned again), cut at 1,023 characters; `text` itself
// when no name is defined.
std::string_view def_expand(std::string_view text);
// DEF / #DEFINE [name [replacement] | *]. Lists, clears, defines, replaces or
// removes entries; message 1 for a name to remove that is not defined,
// message 45 when the name store is full (the table stays as it was).
void def_command();
