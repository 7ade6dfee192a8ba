// The walk of the registry store and the printing of its values. Registry
// calls that fail end the walk of a key's values or subkeys, or skip a subkey
// that can't be opened, without a word; only a root whose store file can't be
// read is named, apart from the listing.
#include "qorreg/reg_dump.h"

#include <cstdio>
#include <vector>

#include "platform/host/host_dir.h"
#include "platform/host/host_text.h"
#include "qorreg/reg_resource.h"

namespace {

// The roots in the order of the walk, with the names the paths start with.
struct RootEntry {
  HostRegRoot root;
  std::string_view name;
};
constexpr RootEntry kRoots[] = {
    {HostRegRoot::ClassesRoot, "HKCR"},
    {HostRegRoot::CurrentUser, "HKCU"},
    {HostRegRoot::LocalMachine, "HKLM"},
    {HostRegRoot::Users, "HKU"},
};
static_assert(std::size(kRoots) == kHostRegRootCount);

// An open key that closes itself.
struct KeyCloser {
  HostRegKey* handle = nullptr;
  KeyCloser() = default;
  KeyCloser(const KeyCloser&) = delete;
  KeyCloser& operator=(const KeyCloser&) = delete;
  ~KeyCloser() {
    if (handle) host_reg_close_key(handle);
  }
};

// A name or text as the system's printf prints it: up to its first zero.
void put_text(std::string& out, std::string_view text) { out.append(text.substr(0, text.find('\0'))); }
void put_text(std::string& out, std::span<const u8> bytes) {
  put_text(out, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// One character unit of `text` at `i` against one of `word` at `j`: equal
// when both are single bytes equal in upper case, or both the same double-byte
// character. `length` gets the unit's bytes in `text`.
bool same_unit(std::string_view text, std::size_t i, std::string_view word, std::size_t j, std::size_t& length) {
  length = host_cp932_unit_length(text, i);
  if (length != host_cp932_unit_length(word, j)) return false;
  if (length == 1) return host_ascii_upper(text[i]) == host_ascii_upper(word[j]);
  return text[i] == word[j] && text[i + 1] == word[j + 1];
}

}  // namespace

bool reg_contains_nocase(std::string_view text, std::string_view word) {
  if (word.empty()) return true;
  for (std::size_t start = 0; start < text.size(); start += host_cp932_unit_length(text, start)) {
    std::size_t i = start, j = 0, length = 0;
    while (j < word.size() && i < text.size() && same_unit(text, i, word, j, length)) {
      i += length;
      j += length;
    }
    if (j == word.size()) return true;
  }
  return false;
}

bool reg_name_matches(std::string_view name) {
  for (std::string_view word : RegKeywords)
    if (reg_contains_nocase(name, word)) return true;
  return false;
}

void reg_print_value(std::string_view name, u32 type, std::span<const u8> data, std::string& out) {
  switch (type) {
    case kHostRegString:
      out += "\nREG_SZ     [";
      put_text(out, name);
      out += "] = [";
      put_text(out, data);  // a text without its zero ends with the value
      out += "]";
      break;
    case kHostRegBinary: {
      out += "\nREG_BINARY [";
      put_text(out, name);
      out += "] = [";
      for (const u8 b : data) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X ", unsigned(b));
        out += hex;
      }
      break;
    }
    case kHostRegDword: {
      // a number shorter than 4 bytes has zeros above the bytes it has
      u32 value = 0;
      for (std::size_t i = data.size() < 4 ? data.size() : 4; i-- > 0;) value = value << 8 | data[i];
      char number[16];
      std::snprintf(number, sizeof number, "%08lX", static_cast<unsigned long>(value));
      out += "\nREG_DWORD  [";
      put_text(out, name);
      out += "] = [";
      out += number;
      out += "]";
      break;
    }
    case kHostRegResourceList:
      out += "\nREG_RESOURCE_LIST [";
      put_text(out, name);
      out += "]";
      break;
    case kHostRegFullResourceDescriptor:
      out += "\nREG_FULL_RESOURCE_DESCRIPTOR [";
      put_text(out, name);
      out += "]";
      reg_print_full_resource(data, out);
      break;
    case kHostRegResourceRequirements:
      out += "\nREG_RESOURCE_REQUIREMENTS_LIST [";
      put_text(out, name);
      out += "]";
      reg_print_requirements(data, out);
      break;
    default:
      out += "\nREG_OTHER  [";
      put_text(out, name);
      out += "] ??????????";
      break;
  }
}

void reg_dump_key(const RegOpenKey& key, std::string_view path, bool inherited, std::string& out) {
  HostRegKeyInfo info;
  if (host_reg_query_info(key.handle, info) != kHostRegOk) return;
  if (info.value_count == 0 && info.subkey_count == 0) return;
  if (inherited) {
    out += '\n';
    put_text(out, path);
  }
  {
    // room for the largest value the key reported; one that has grown since
    // ends the values with an error, as any failed call does
    std::vector<u8> data(std::size_t(info.max_value_size) + 1);
    std::string name;
    for (u32 i = 0;; ++i) {
      u32 type = 0;
      u32 size = 0;
      if (host_reg_enum_value(key.handle, i, name, type, data, size) != kHostRegOk) break;
      if (!inherited && !reg_name_matches(name)) continue;
      if (!inherited) {
        out += '\n';
        put_text(out, path);
      }
      reg_print_value(name, type, std::span<const u8>(data.data(), size), out);
    }
  }
  std::string subkey;
  for (u32 i = 0;; ++i) {
    if (host_reg_enum_key(key.handle, i, subkey) != kHostRegOk) break;
    std::string store_path(key.store_path);
    if (!store_path.empty()) store_path += '\\';
    store_path += subkey;
    KeyCloser opened;
    if (host_reg_open_key(key.root, store_path, false, opened.handle) != kHostRegOk) continue;
    const std::string sub_path = std::string(path) + "\\" + subkey;
    reg_dump_key({opened.handle, key.root, store_path}, sub_path, inherited || reg_name_matches(subkey), out);
  }
}

bool reg_get_platform(u32& platform) {
  const std::string folder = host_reg_folder();
  if (folder.empty()) return false;
  platform = host_is_directory(folder) ? kRegPlatformNt : kRegPlatformOther;
  return true;
}

int reg_dump_main(std::string& out, std::string& faults) {
  out += "QUENDAR Registry check by QOR Ver 1.0";
  u32 platform = 0;
  if (!reg_get_platform(platform)) {
    out += "\nCan't get OS version";
    return -1;
  }
  if (platform != kRegPlatformNt) {
    out += "\nThis program under WindowsNT";
    return -1;
  }
  for (const RootEntry& root : kRoots) {
    KeyCloser opened;
    const u32 status = host_reg_open_key(root.root, "", false, opened.handle);
    if (status == kHostRegBadFile || status == kHostRegCantRead) {
      faults += std::string(root.name) + ": " + host_reg_last_fault() + "\n";
      continue;
    }
    if (status != kHostRegOk) continue;
    reg_dump_key({opened.handle, root.root, ""}, root.name, false, out);
  }
  return 0;
}
