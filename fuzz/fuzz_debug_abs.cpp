// Loader B (IEEE-695 .abs) on any bytes, with symbols: the file is loaded,
// the symbols sorted, and what it defined is read back (type sizes, lines,
// locals), so that every record the loader stored is also walked by its
// readers. A load ends with a result, never a crash; code bytes go nowhere.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/fuzz_engine_scratch.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/symbols/dbi_abs.h"
#include "halv80/symbols/exp_types.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_scopes.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/sym_types.h"

namespace {

void discard(u16, std::span<const u8>) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FuzzScratch& folder = fuzz_engine_scratch();
  if (!folder.write("p.abs", std::span<const u8>(data, size))) return 0;

  sym_init();
  Sw.ToolchainKind = 4;
  Abs.CodeWriter = discard;
  SymFlag.CodeLow = SymFlag.CodeHigh = 0;
  dbi_load_abs(folder.system_path("p.abs").c_str(), true);

  try {
    sym_sort_symbols();
    for (u32 t = kFirstTypeIndex; t < kFirstTypeIndex + Types.SlotCount && t < kFirstTypeIndex + 64; ++t) {
      exp_type_size(t);
      exp_resolve_type(t);
    }
  } catch (const CommandUnwind&) {
    return 0;  // the store filled up while the modules were finished, or a record kind no reader knows
  }
  for (u16 m = 0; m < SymModules.ModuleCount && m < 4; ++m) {
    const ModuleRecord* record = sym_module_record(m);
    char name[kModuleNameSize];
    if (record == nullptr || sym_name_text(record->file_name.get(), name, sizeof name) == 0) continue;
    u16 address = 0;
    if (sym_address_from_line(name, 1, address) >= 0) {
      u16 line = 0;
      sym_line_from_address(address, line);
      sym_find_local("p", address);
      sym_find_static("s", address);
    }
  }
  return 0;
}
