// The wildcard match of the variable listings and the value of a variable
// found by name in the scopes.
#include "halv80/symbols/sym_variables.h"

#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/exp_eval.h"
#include "halv80/symbols/sym_scopes.h"
#include "halv80/symbols/sym_store.h"
#include "platform/host/host_text.h"

namespace {

// Listing patterns compare without case: the symbol store's case flag says
// how loaders and lookups compare stored names, and is on by default, while a
// listing such as "? cnt*" is meant to find Cnt and CNT alike.
bool same_char(char p, char n) { return host_ascii_upper(p) == host_ascii_upper(n); }

// Recursion depth is bounded by the number of '*' in the pattern, each one
// consumed before the recursive call.
bool match(std::string_view pattern, std::string_view name, bool& wild) {
  std::size_t p = 0, n = 0;
  while (p < pattern.size()) {
    const char c = pattern[p];
    if (c == '*') {
      wild = true;
      while (p < pattern.size() && pattern[p] == '*') ++p;
      if (p == pattern.size()) return true;  // a '*' at the end takes the rest
      const std::string_view rest = pattern.substr(p);
      for (std::size_t at = n; at < name.size(); ++at) {
        if (rest[0] != '?' && !same_char(rest[0], name[at])) continue;
        if (match(rest, name.substr(at), wild)) return true;
      }
      return false;
    }
    if (n >= name.size()) return false;
    if (c == '?') wild = true;
    else if (!same_char(c, name[n])) return false;
    ++p;
    ++n;
  }
  return n == name.size();
}

}  // namespace

u16 sym_wildcard_match(std::string_view pattern, std::string_view name) {
  bool wild = false;
  if (!match(pattern, name, wild)) return kMatchNone;
  return wild ? kMatchWildcard : kMatchEqual;
}

u16 sym_variable_value(std::string_view name, ExprValue& out, u32 address) {
  u16 index = sym_find_local(name, address);
  if (index == 0) index = sym_find_static(name, address);
  if (index == 0) return 0;
  const ScopeRecord* record = sym_scope_record(index);
  if (record == nullptr || record->kind.get() == kScopeRegister) return 0;
  out = ExprValue{};
  exp_value_from_scope(out, *record);
  if (out.storage_class == kStorageStatic) out.location.set(tgt_to_logical(out.location.get()));
  const u32 saved_scope = Exp.ScopeAddress;
  Exp.ScopeAddress = address;  // frame variables are read in the frame of this address
  exp_load_value(out);
  Exp.ScopeAddress = saved_scope;
  return 1;
}
