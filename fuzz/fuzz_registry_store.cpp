// The registry store's file on any bytes: the input is the file of one root,
// then the keys and values are walked through the store's calls. A file is
// refused with its fault, or every key and value it lists can be enumerated
// and each value found again by its name. A change through the store
// rewrites the file; one that is undone again must leave the same tree, so
// what the store writes reads back as it was.
#include <stdlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <span>
#include <string>
#include <vector>

#include "fuzz/fuzz_scratch.h"
#include "platform/host/host_registry.h"

namespace {

constexpr HostRegRoot kRoot = HostRegRoot::LocalMachine;
// Bounds of one walk: every call reads the whole file again.
constexpr std::size_t kMaxKeys = 8;
constexpr u32 kMaxItems = 8;  // values and subkeys looked at per key
constexpr std::string_view kProbeName = "fuzz probe";

// An open key that closes itself.
struct Key {
  HostRegKey* handle = nullptr;
  Key() = default;
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  ~Key() {
    if (handle) host_reg_close_key(handle);
  }
};

// The store's folder, the scratch folder of this process.
struct Store {
  FuzzScratch dir;
  std::string file = std::string(host_reg_root_name(kRoot)) + ".txt";  // the root's file
  Store() { setenv(std::string(kHostRegFolderVariable).c_str(), dir.path().c_str(), 1); }
};

void append_number(std::string& out, u32 n) {
  out += std::to_string(n);
  out += ' ';
}

// A description of the keys and values the store gives, breadth first from
// the root; empty when the root cannot be opened. Each value enumerated must
// be found again by its name, with the same type and data.
std::string walk() {
  std::string out;
  std::deque<std::string> paths{""};
  std::vector<u8> data(256);
  for (std::size_t keys = 0; !paths.empty() && keys < kMaxKeys; ++keys) {
    const std::string path = paths.front();
    paths.pop_front();
    Key k;
    const u32 opened = host_reg_open_key(kRoot, path, false, k.handle);
    out += "[" + path + "] ";
    append_number(out, opened);
    if (opened != kHostRegOk) continue;
    HostRegKeyInfo info;
    if (host_reg_query_info(k.handle, info) != kHostRegOk) std::abort();  // opened a moment ago
    append_number(out, info.subkey_count);
    append_number(out, info.value_count);
    for (u32 i = 0; i < info.value_count && i < kMaxItems; ++i) {
      std::string name;
      u32 type = 0, size = 0;
      const u32 r = host_reg_enum_value(k.handle, i, name, type, data, size);
      if (r != kHostRegOk && r != kHostRegMoreData) std::abort();  // the count said it is there
      out += "\"" + name + "\" ";
      append_number(out, type);
      append_number(out, size);
      if (r == kHostRegOk) out.append(data.begin(), data.begin() + size);
      u32 again_type = 0, again_size = 0;
      std::vector<u8> again(data.size());
      const u32 again_r = host_reg_query_value(k.handle, name, again_type, again, again_size);
      if (again_r != r || again_type != type || again_size != size ||
          (r == kHostRegOk && !std::equal(data.begin(), data.begin() + size, again.begin())))
        std::abort();
    }
    for (u32 i = 0; i < info.subkey_count && i < kMaxItems; ++i) {
      std::string name;
      if (host_reg_enum_key(k.handle, i, name) != kHostRegOk) std::abort();
      out += "<" + name + "> ";
      paths.push_back(path.empty() ? name : path + "\\" + name);
    }
  }
  return out;
}

// A change and its undoing through the store: the probe value is set and
// deleted again, or, when the file has it, set to what it holds. False when
// the root cannot be changed (a refused file stays as it is).
bool change_and_undo() {
  Key root;
  if (host_reg_open_key(kRoot, "", true, root.handle) != kHostRegOk) return false;
  u32 type = 0, size = 0;
  const u32 found = host_reg_query_value(root.handle, kProbeName, type, {}, size);
  if (found == kHostRegNotFound) {
    const u8 probe[] = {1, 2, 3};
    return host_reg_set_value(root.handle, kProbeName, kHostRegBinary, probe) == kHostRegOk &&
           host_reg_delete_value(root.handle, kProbeName) == kHostRegOk;
  }
  std::vector<u8> data(size);
  if (host_reg_query_value(root.handle, kProbeName, type, data, size) != kHostRegOk) return false;
  return host_reg_set_value(root.handle, kProbeName, type, data) == kHostRegOk;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Store store;
  if (store.dir.path().empty()) std::abort();
  if (!store.dir.write(store.file, std::span<const u8>(data, size))) return 0;
  const std::string before = walk();
  if (change_and_undo() && walk() != before) std::abort();
  if (host_reg_open_count() != 0) std::abort();
  return 0;
}
