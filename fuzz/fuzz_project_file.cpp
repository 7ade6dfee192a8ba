// The setup program's project reader on any file: the first byte chooses
// whether a family was given by a switch (and which), the rest is the project
// file. A file that is read and holds "%OPT" is saved and read again, twice:
// the bytes before the first "%OPT" must stay, every save must read back, and
// the option text must settle. No window and no Qt application are made.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "fuzz/fuzz_scratch.h"
#include "platform/host/host_project.h"
#include "platform/host/host_ui.h"
#include "rz7set/opt_forms.h"
#include "rz7set/set_project.h"
#include "rz7set/set_settings.h"
#include "rz7set/set_state.h"

namespace {

int silent_box(std::string_view, std::string_view, unsigned) { return kAnswerYes; }

// The scratch folder of this process, which is also the (empty) registry store.
struct Folder {
  FuzzScratch dir;
  Folder() {
    host_set_message_box_sink(silent_box);
    setenv("HALV80_REGISTRY_DIR", dir.path().c_str(), 1);
  }
};

constexpr CpuFamily kFamilies[] = {0, 100, 200, 300, 400, 600, 1000, 1500};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Folder folder;
  if (folder.dir.path().empty()) std::abort();
  if (size == 0) return 0;
  set_reset_state();
  Setup.cpu_family = kFamilies[data[0] % std::size(kFamilies)];
  set_read_settings();
  const std::span<const u8> file(data + 1, size - 1);
  if (!folder.dir.write("qqn.qpj", file)) return 0;
  const std::string path = folder.dir.system_path("qqn.qpj");
  if (!prj_load(path)) return 0;

  // The text ends at its first zero byte; a save needs "%OPT" in it.
  std::string_view text(reinterpret_cast<const char*>(file.data()), file.size());
  text = text.substr(0, text.find('\0'));
  const std::size_t opt = text.find("%OPT");
  if (opt == std::string_view::npos) return 0;
  // Saved twice, each save read back: the head stays, and after the first
  // round (an empty debug-information size reads back as the default) the
  // option text no longer changes.
  std::string option_text;
  for (int round = 0; round < 2; ++round) {
    if (!prj_save()) std::abort();
    std::string saved;
    if (project_read(path, saved) != ProjectReadStatus::ok) std::abort();
    if (saved.compare(0, opt, text.substr(0, opt)) != 0) std::abort();
    if (!saved.ends_with("%END\r\n\x1A")) std::abort();
    if (!prj_load(path)) std::abort();
    if (round == 1 && Opt.OptDlg.opt_text != option_text) std::abort();
    option_text = Opt.OptDlg.opt_text;
  }
  return 0;
}
