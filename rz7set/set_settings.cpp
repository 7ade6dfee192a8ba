// Registry settings of the setup program over the registry store.
#include "rz7set/set_settings.h"

#include <array>

#include "platform/host/host_registry.h"
#include "platform/host/host_text.h"
#include "rz7set/set_state.h"

namespace {

constexpr std::size_t kNameBufferSize = 32;   // a value name, its terminating zero included
constexpr std::size_t kDataBufferSize = 512;  // a value's data

// Closes the key when it goes.
struct OpenKey {
  HostRegKey* key = nullptr;
  ~OpenKey() {
    if (key) host_reg_close_key(key);
  }
};

std::string product_name() { return Setup.j_edition ? "QNJ" : "RZ7"; }

// A string value's text: its data up to the first zero byte.
std::string value_text(std::span<const u8> data) {
  std::string text(data.begin(), data.end());
  const std::size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  return text;
}

// Every value of `key` in index order, until the enumeration stops or a name or
// data does not fit the buffers; `take(name, text)` gets each one.
template <class Take>
void read_values(const HostRegKey* key, Take take) {
  std::array<u8, kDataBufferSize> data{};
  for (u32 index = 0;; ++index) {
    std::string name;
    u32 type = 0;
    u32 size = 0;
    if (host_reg_enum_value(key, index, name, type, data, size) != kHostRegOk) return;
    if (name.size() >= kNameBufferSize || size > data.size()) return;
    take(name, value_text(std::span<const u8>(data.data(), size)));
  }
}

std::string upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = host_ascii_upper(c);
  return out;
}

// Steps 5 to 7 in one hive: the product key's values, then the family key's.
// False when a key could not be opened (reading ends there).
bool read_hive(HostRegRoot root, const std::string& product_key) {
  OpenKey product;
  if (host_reg_open_key(root, product_key, false, product.key) != kHostRegOk) return false;
  read_values(product.key, [](const std::string& name, const std::string& text) {
    if (name == "Editor") {
      if (!text.empty()) MainSt.EditorName = text;
    } else if (name == "Editor Format") {
      MainSt.EditorFmt = text;
    }
  });
  OpenKey family;
  if (host_reg_open_key(root, set_family_key(product_key), false, family.key) != kHostRegOk) return false;
  read_values(family.key, [](const std::string& name, const std::string& text) {
    const std::string key = upper(name);
    if (key == "BIN") MainSt.BinDir = text;
    if (key == "PRJ") MainSt.DefPrjDir = text;
    if (key == "OPT") MainSt.OptMark = text;
    if (key == "OPN") MainSt.OpnDir = text;
  });
  return true;
}

void set_string(const HostRegKey* key, std::string_view name, std::string_view text) {
  std::string data(text);
  data.push_back('\0');  // written with its terminating zero
  host_reg_set_value(key, name, kHostRegString,
                     std::span<const u8>(reinterpret_cast<const u8*>(data.data()), data.size()));
}

// The key opened for writing: in the users' hive only when it exists; in the
// current user's hive created when missing.
bool open_for_write(HostRegRoot root, const std::string& path, OpenKey& out) {
  if (root == HostRegRoot::Users) return host_reg_open_key(root, path, true, out.key) == kHostRegOk;
  return host_reg_create_key(root, path, out.key) == kHostRegOk;
}

}  // namespace

std::string set_users_product_key() { return ".Default\\Software\\QOR\\" + product_name(); }
std::string set_user_product_key() { return "Software\\QOR\\" + product_name(); }

std::string set_family_key(const std::string& product_key) {
  const CpuAlias* row = set_family_row(Setup.cpu_family);
  return product_key + "\\" + (row ? row->canonical : "");
}

bool set_read_settings() {
  const CpuAlias* row = set_family_row(Setup.cpu_family);
  if (!row) return true;
  SetTexts.PrjCpuValue = row->alias;
  MainSt.EditorName = "notepad.exe";
  MainSt.BinDir.clear();
  MainSt.PrjDir.clear();
  MainSt.EditorFmt = "%s %s\\%s";
  const char* help = Setup.j_edition ? "QNJSET.HLP" : "RZ7SET.HLP";
  MainSt.HelpFile = help;
  SetTexts.AppTitle = set_res_string(10);
  for (u32 k = 0; k < MainSt.CpuFiles.size(); ++k) MainSt.CpuFiles[k] = set_res_string(11 + k);

  if (!read_hive(HostRegRoot::Users, set_users_product_key())) return true;
  if (Setup.windows_nt && !read_hive(HostRegRoot::CurrentUser, set_user_product_key())) return true;
  MainSt.HelpFile = MainSt.BinDir + "\\" + help;
  return true;
}

void set_mark_first_run_done() {
  if (Setup.cpu_family == 0) return;
  OpenKey users;
  if (open_for_write(HostRegRoot::Users, set_family_key(set_users_product_key()), users)) set_string(users.key, "OPT", "none");
  if (!Setup.windows_nt) return;
  OpenKey user;
  if (open_for_write(HostRegRoot::CurrentUser, set_family_key(set_user_product_key()), user))
    set_string(user.key, "OPT", "none");
}

void set_write_settings() {
  // Settings never read (no family known) are not written: the default editor
  // would otherwise delete the user's own.
  if (Setup.cpu_family == 0) return;
  const bool is_default = MainSt.EditorName == "notepad.exe";
  auto editor = [&](HostRegRoot root, const std::string& path) {
    OpenKey key;
    if (!open_for_write(root, path, key)) return;
    if (is_default) {
      host_reg_delete_value(key.key, "Editor");
    } else {
      set_string(key.key, "Editor", MainSt.EditorName);
    }
  };
  editor(HostRegRoot::Users, set_users_product_key());
  if (Setup.windows_nt) editor(HostRegRoot::CurrentUser, set_user_product_key());
  OpenKey users;
  if (open_for_write(HostRegRoot::Users, set_family_key(set_users_product_key()), users))
    set_string(users.key, "Opn", MainSt.OpnDir);
  if (!Setup.windows_nt) return;
  OpenKey user;
  if (open_for_write(HostRegRoot::CurrentUser, set_family_key(set_user_product_key()), user))
    set_string(user.key, "Opn", MainSt.OpnDir);
}
