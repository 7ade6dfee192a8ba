// The text symbol and map loaders on any bytes. The first byte chooses the
// toolchain kind (16, 1, 2, 5: bits 0-1) and the debug file type (bit 2); the
// rest is cut at the first two "\n@@\n" into the file that is loaded, its
// companion (the kind-16 MAP or the kind-1 LIN text) and the binary a.lin that
// a module "a" or an object file "a.obj" names. Then the symbols are sorted and
// the line tables looked up. A load ends with a result, never a crash.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "fuzz/fuzz_engine_scratch.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/symbols/dbi_load.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/sym_text_loader.h"

namespace {

constexpr std::string_view kPartMark = "\n@@\n";
constexpr u16 kKinds[] = {16, 1, 2, 5};

// Writes `bytes` as `name`, or removes the file when there is no such part.
void put_file(const FuzzScratch& folder, std::string_view name, std::string_view bytes, bool present) {
  const std::string path = folder.path() + "/" + std::string(name);
  std::error_code ec;
  std::filesystem::remove(path, ec);
  if (present) std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// The next part of `rest` up to the mark; false when there is none left.
bool next_part(std::string_view& rest, std::string_view& part, bool& more) {
  if (!more) return false;
  const std::size_t at = rest.find(kPartMark);
  part = rest.substr(0, at);
  more = at != std::string_view::npos;
  rest = more ? rest.substr(at + kPartMark.size()) : std::string_view();
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FuzzScratch& folder = fuzz_engine_scratch();
  if (size == 0) return 0;

  const u16 kind = kKinds[data[0] & 3];
  const u16 type = (data[0] & 4) ? kDebugMapFile : kDebugSymbolFile;
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  bool more = true;
  std::string_view loaded, companion, lin;
  const bool has_loaded = next_part(rest, loaded, more);
  const bool has_companion = next_part(rest, companion, more);
  const bool has_lin = next_part(rest, lin, more);

  const std::string_view loaded_name = type == kDebugSymbolFile ? "p.sym" : "p.map";
  const std::string_view companion_name = kind == 1 ? "p.lin" : "p.map";
  put_file(folder, companion_name, companion, has_companion);
  put_file(folder, loaded_name, loaded, has_loaded);  // a kind-16 map is its own companion
  put_file(folder, "a.lin", lin, has_lin);

  sym_init();
  Lst.ListingMode = kListingNone;
  Sw.ToolchainKind = kind;
  sym_load_text_map((folder.path() + "/" + std::string(loaded_name)).c_str(), type);

  // What the load command does next, and the lookups of the line tables.
  try {
    sym_sort_symbols();
  } catch (const CommandUnwind&) {
    return 0;  // the store filled up while the modules were finished
  }
  for (u16 m = 0; m < SymModules.ModuleCount && m < 4; ++m) {
    const ModuleRecord* record = sym_module_record(m);
    char name[kModuleNameSize];
    if (record == nullptr || sym_name_text(record->file_name.get(), name, sizeof name) == 0) continue;
    for (const u16 line : {1, 25, 32767}) {
      u16 address = 0;
      if (sym_address_from_line(name, line, address) >= 0) {
        u16 found = 0;
        sym_line_from_address(address, found);
      }
    }
  }
  u16 value = 0;
  sym_lookup_value("main", value);
  return 0;
}
