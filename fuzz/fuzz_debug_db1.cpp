// Loader C (.db1) on any bytes: the file is loaded, the symbols sorted and
// the line tables looked up. A load ends with a result, never a crash.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/fuzz_engine_scratch.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/symbols/dbi_db1.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FuzzScratch& folder = fuzz_engine_scratch();
  if (!folder.write("p.db1", std::span<const u8>(data, size))) return 0;

  sym_init();
  dbi_load_db1(folder.system_path("p.db1").c_str());
  try {
    sym_sort_symbols();
  } catch (const CommandUnwind&) {
    return 0;  // the store filled up while the modules were finished
  }
  for (u16 m = 0; m < SymModules.ModuleCount && m < 4; ++m) {
    const ModuleRecord* record = sym_module_record(m);
    char name[kModuleNameSize];
    if (record == nullptr || sym_name_text(record->file_name.get(), name, sizeof name) == 0) continue;
    u16 address = 0;
    if (sym_address_from_line(name, 1, address) >= 0) {
      u16 line = 0;
      sym_line_from_address(address, line);
    }
  }
  u16 value = 0;
  sym_lookup_value("main", value);
  return 0;
}
