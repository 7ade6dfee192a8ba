// Loader D (.lsi with .lin) on any bytes: the input up to its first NUL is
// the listing, the rest the line file. Both are loaded with toolchain kind 5,
// the symbols sorted and what they defined read back (type sizes, lines,
// locals). A load ends with a result, never a crash or a hang.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/fuzz_engine_scratch.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/symbols/dbi_lsi.h"
#include "halv80/symbols/exp_types.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_scopes.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/sym_types.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FuzzScratch& folder = fuzz_engine_scratch();
  const std::span<const u8> input(data, size);
  const std::size_t split = std::size_t(std::find(input.begin(), input.end(), u8(0)) - input.begin());
  const std::span<const u8> lin = split < size ? input.subspan(split + 1) : std::span<const u8>();
  if (!folder.write("p.lsi", input.first(split)) || !folder.write("p.lin", lin)) return 0;

  sym_init();
  Sw.ToolchainKind = 5;
  SymFlag.CodeLow = SymFlag.CodeHigh = 0;
  dbi_load_lsi(folder.system_path("p.lsi").c_str());

  try {
    sym_sort_symbols();
    for (u32 t = kFirstTypeIndex; t < kFirstTypeIndex + Types.SlotCount && t < kFirstTypeIndex + 64; ++t) {
      exp_type_size(t);
      exp_resolve_type(t);
    }
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
      sym_find_local("p", address);
      sym_find_static("origin", address);
    }
  }
  return 0;
}
