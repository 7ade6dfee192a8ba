#include "halv80/symbols/dbi_load.h"

#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"

constinit DbiState Dbi;

void dbi_reset() { Dbi = DbiState{}; }

void dbi_define_helpers() {
  u16 start = 0;
  if (sym_lookup_value("start", start) == 0 && sym_lookup_value("START", start) != 0)
    SymFlag.CaseSensitive = 0;
  Dbi.StartAddress = start;
}
