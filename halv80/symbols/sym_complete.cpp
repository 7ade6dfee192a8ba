// Symbol-name completion for the line editor.
#include "halv80/symbols/sym_complete.h"

#include <algorithm>
#include <cstring>

#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/sym_variables.h"

u16 sym_complete(std::string_view pattern, char* out, std::size_t out_size, u16& position, u16 dir) {
  const bool keep_underscore = !pattern.empty() && pattern.front() == '_';
  for (u32 i = position; i < Sym.Count; dir == 1 ? ++i : --i) {
    const SymRecord* record = sym_record(u16(i));
    if (record != nullptr && record->value.get() != kSymDeleted) {
      std::string_view name = sym_record_name(*record);
      if (!keep_underscore && !name.empty() && name.front() == '_') name.remove_prefix(1);
      if (sym_wildcard_match(pattern, name) != kMatchNone) {
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
