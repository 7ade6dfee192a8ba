// Loader E (scrambled .qor) on any bytes: the input is the file with its body
// in plain text (magic and seed first), which the harness scrambles with the
// format's keystream before the loader reads it, so that the fuzzer's changes
// land in records rather than in noise. The file is loaded, the symbols
// sorted and what it defined read back. A load ends with a result, never a
// crash.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz/fuzz_engine_scratch.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/symbols/dbi_qor.h"
#include "halv80/symbols/exp_types.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_scopes.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/sym_types.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FuzzScratch& folder = fuzz_engine_scratch();
  std::vector<u8> file(data, data + size);
  if (file.size() > kQorHeaderSize) {
    dbi_unscramble_start(file[kQorHeaderSize - 1]);
    dbi_unscramble(std::span<u8>(file.data() + kQorHeaderSize, file.size() - kQorHeaderSize));
  }
  if (!folder.write("p.qor", file)) return 0;

  sym_init();
  Sw.ToolchainKind = 16;
  SymFlag.CodeLow = SymFlag.CodeHigh = 0;
  dbi_load_format_e(folder.system_path("p.qor").c_str());

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
      sym_find_static("A", address);
    }
  }
  return 0;
}
