// Symbol-name completion for the line editor.
#include "halv80/symbols/sym_complete.h"

#include <algorithm>
#include <cstring>

#include "halv80/symbols/sym_symbols.h"

bool sym_wildcard_match(std::string_view pattern, std::string_view name) {
  // the usual two-pointer match with one backtrack point for the last "*"
  std::size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

u16 sym_complete(std::string_view pattern, char* out, std::size_t out_size, u16& position, u16 dir) {
  const bool keep_underscore = !pattern.empty() && pattern.front() == '_';
  for (u32 i = position; i < Sym.Count; dir == 1 ? ++i : --i) {
    const SymRecord* record = sym_record(u16(i));
    if (record != nullptr && record->value.get() != kSymDeleted) {
      std::string_view name = sym_record_name(*record);
      if (!keep_underscore && !name.empty() && name.front() == '_') name.remove_prefix(1);
      if (sym_wildcard_match(pattern, name)) {
        const std::size_t n = std::min(name.size(), out_size - 1);
        std::memcpy(out, name.data(), n);
        out[n] = '\0';
        position = u16(dir == 1 ? i + 1 : (i == 0 ? Sym.Count : i - 1));
        return 1;
      }
    }
    if (dir != 1 && i == 0) break;
  }
  position = dir == 1 ? Sym.Count : 0;
  return 0;
}
