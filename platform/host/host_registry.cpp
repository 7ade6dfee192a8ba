// The registry store over one text file per root. Every call reads the root's
// file into a RegTree, works on it, and a change writes the whole tree back
// atomically; nothing is cached between calls, so other processes' changes
// are seen at once. Every number and name read from a file is checked before
// use, and a malformed file is kHostRegBadFile with its fault kept.
#include "platform/host/host_registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

#include "platform/host/host_env.h"
#include "platform/host/host_file.h"
#include "platform/host/host_text.h"

struct HostRegKey {
  std::string file;                // the root's store file (system form), fixed at opening
  std::vector<std::string> names;  // the key's path from the root, in the case the store keeps
  bool writable = false;
};

namespace {

constexpr std::string_view kHeaderLine = "halv80 registry 1";

constexpr std::array<std::string_view, kHostRegRootCount> kRootNames = {
    "HKEY_CLASSES_ROOT",   // ClassesRoot
    "HKEY_CURRENT_USER",   // CurrentUser
    "HKEY_LOCAL_MACHINE",  // LocalMachine
    "HKEY_USERS",          // Users
};

struct RegValue {
  std::string name;  // as written
  u32 type = kHostRegNone;
  std::vector<u8> data;
};

struct RegNode {
  std::string name;                    // as written; empty for the root
  std::vector<RegValue> values;        // in order of creation
  std::vector<std::size_t> children;   // indices into RegTree::nodes, in order of creation
};

struct RegTree {
  std::vector<RegNode> nodes{RegNode{}};  // node 0 is the root
};

struct RegStoreState {
  std::string LastFault;  // host_reg_last_fault
  std::size_t OpenKeys = 0;
  bool Swept = false;     // the folder's stale temporary files were removed
};
RegStoreState Store;

// Do two names match without regard to ASCII case? The trail byte of a
// double-byte character is compared as it stands.
bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size();) {
    // equal lead bytes at equal places give equal unit lengths
    const std::size_t n = host_cp932_unit_length(a, i);
    if (n == 2 ? (a[i] != b[i] || a[i + 1] != b[i + 1]) : host_ascii_upper(a[i]) != host_ascii_upper(b[i]))
      return false;
    i += n;
  }
  return true;
}

// The names of a key path given by a caller: "" is the root, "A\B" two names.
// A "\" that is the trail byte of a double-byte character separates nothing.
// False for an empty or too long name or too many names.
bool split_key_path(std::string_view path, std::vector<std::string>& names) {
  names.clear();
  if (path.empty()) return true;
  std::string name;
  for (std::size_t i = 0; i <= path.size();) {
    if (i == path.size() || path[i] == '\\') {
      if (name.empty() || name.size() > kHostRegMaxKeyName || names.size() == kHostRegMaxKeyDepth) return false;
      names.push_back(std::move(name));
      name.clear();
      ++i;
      continue;
    }
    const std::size_t n = host_cp932_unit_length(path, i);
    name.append(path.substr(i, n));
    i += n;
  }
  return true;
}

// Does a key name hold a "\" of its own, one that is no trail byte? No
// caller's path could name such a key.
bool has_separator(std::string_view name) {
  for (std::size_t i = 0; i < name.size(); i += host_cp932_unit_length(name, i))
    if (name[i] == '\\') return true;
  return false;
}

std::optional<std::size_t> find_child(const RegTree& tree, std::size_t node, std::string_view name) {
  for (const std::size_t child : tree.nodes[node].children)
    if (same_name(tree.nodes[child].name, name)) return child;
  return std::nullopt;
}

std::optional<std::size_t> find_node(const RegTree& tree, const std::vector<std::string>& names) {
  std::size_t node = 0;
  for (const std::string& name : names) {
    const auto child = find_child(tree, node, name);
    if (!child) return std::nullopt;
    node = *child;
  }
  return node;
}

// The child `name` of `node`, made when missing; `made` is set when it was.
std::size_t child_or_new(RegTree& tree, std::size_t node, std::string_view name, bool& made) {
  if (const auto child = find_child(tree, node, name)) return *child;
  tree.nodes.push_back(RegNode{std::string(name), {}, {}});
  const std::size_t child = tree.nodes.size() - 1;
  tree.nodes[node].children.push_back(child);
  made = true;
  return child;
}

RegValue* find_value(RegNode& node, std::string_view name) {
  for (RegValue& v : node.values)
    if (same_name(v.name, name)) return &v;
  return nullptr;
}

// ---- the file text

constexpr char kHexDigits[] = "0123456789ABCDEF";

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool kept_in_name(u8 c) { return c >= 0x20 && c <= 0x7E && c != '%' && c != '\\' && c != '"'; }

void put_name(std::string& out, std::string_view name) {
  for (const char ch : name) {
    const u8 c = u8(ch);
    if (kept_in_name(c)) {
      out += ch;
    } else {
      out += '%';
      out += kHexDigits[c >> 4];
      out += kHexDigits[c & 15];
    }
  }
}

void put_section(std::string& out, const RegNode& node, std::string_view path) {
  out += '[';
  out += path;
  out += "]\n";
  for (const RegValue& v : node.values) {
    out += '"';
    put_name(out, v.name);
    out += "\"=";
    out += std::to_string(v.type);
    out += ':';
    for (const u8 b : v.data) {
      out += kHexDigits[b >> 4];
      out += kHexDigits[b & 15];
    }
    out += '\n';
  }
}

// Sections in depth-first order, each key before its subkeys and subkeys in
// order of creation, so that reading the text back gives the same tree. The
// walk keeps its own stack: the command side calls in on a small stack.
std::string store_text(const RegTree& tree) {
  std::string out(kHeaderLine);
  out += '\n';
  struct Step {
    std::size_t node;
    std::size_t next_child;  // index into the node's children
    std::size_t path_mark;   // length of `path` before this node's name
  };
  std::vector<Step> steps{{0, 0, 0}};
  std::string path;
  put_section(out, tree.nodes[0], path);
  while (!steps.empty()) {
    Step& step = steps.back();
    const RegNode& node = tree.nodes[step.node];
    if (step.next_child == node.children.size()) {
      path.resize(step.path_mark);
      steps.pop_back();
      continue;
    }
    const std::size_t child = node.children[step.next_child++];
    const std::size_t mark = path.size();
    if (step.node != 0) path += '\\';
    put_name(path, tree.nodes[child].name);
    put_section(out, tree.nodes[child], path);
    steps.push_back({child, 0, mark});
  }
  return out;
}

// A name as written in a file, decoded into `out`; the fault when it cannot be.
const char* take_name(std::string_view text, std::size_t limit, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (out.size() == limit) return "name too long";
    const u8 c = u8(text[i]);
    if (c == '%') {
      const int hi = i + 2 < text.size() ? hex_digit(text[i + 1]) : -1;
      const int lo = hi >= 0 ? hex_digit(text[i + 2]) : -1;
      if (lo < 0) return "\"%\" not followed by two hex digits";
      out += char(hi << 4 | lo);
      i += 2;
    } else if (kept_in_name(c)) {
      out += char(c);
    } else {
      return "a byte in a name that must be written as %XX";
    }
  }
  return nullptr;
}

// A "[A\B]" line: the key is made (with any missing key above it) and becomes
// the current one. `declared` marks the keys that had their own line.
const char* take_section(std::string_view inner, RegTree& tree, std::vector<bool>& declared, std::size_t& current) {
  std::size_t node = 0;
  std::size_t depth = 0;
  std::string name;
  while (!inner.empty()) {
    const std::size_t end = std::min(inner.find('\\'), inner.size());
    if (end == 0) return "empty key name";
    if (++depth > kHostRegMaxKeyDepth) return "key path too deep";
    if (const char* fault = take_name(inner.substr(0, end), kHostRegMaxKeyName, name)) return fault;
    if (has_separator(name)) return "\"\\\" inside a key name";
    bool made = false;
    node = child_or_new(tree, node, name, made);
    if (made) declared.push_back(false);
    if (end == inner.size()) break;
    inner.remove_prefix(end + 1);
    if (inner.empty()) return "empty key name";
  }
  if (declared[node]) return "key listed twice";
  declared[node] = true;
  current = node;
  return nullptr;
}

// A '"name"=type:hex' line, added to `node`.
const char* take_value(std::string_view line, RegNode& node) {
  const std::size_t close = line.find('"', 1);
  if (close == std::string_view::npos) return "value name not closed by '\"'";
  RegValue v;
  if (const char* fault = take_name(line.substr(1, close - 1), kHostRegMaxValueName, v.name)) return fault;
  std::string_view rest = line.substr(close + 1);
  if (rest.empty() || rest[0] != '=') return "no \"=\" after the value name";
  rest.remove_prefix(1);
  const std::size_t colon = rest.find(':');
  if (colon == 0 || colon == std::string_view::npos || colon > 10) return "no value type";
  u64 type = 0;
  for (const char c : rest.substr(0, colon)) {
    if (c < '0' || c > '9') return "value type not a decimal number";
    type = type * 10 + u64(c - '0');
  }
  if (type > 0xFFFFFFFF) return "value type beyond 32 bits";
  v.type = u32(type);
  const std::string_view hex = rest.substr(colon + 1);
  if (hex.size() % 2 != 0) return "odd number of hex digits";
  if (hex.size() / 2 > kHostRegMaxValueSize) return "value data larger than 1 MiB";
  v.data.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int hi = hex_digit(hex[i]);
    const int lo = hex_digit(hex[i + 1]);
    if (hi < 0 || lo < 0) return "value data not hex digits";
    v.data.push_back(u8(hi << 4 | lo));
  }
  if (find_value(node, v.name) != nullptr) return "value listed twice in its key";
  node.values.push_back(std::move(v));
  return nullptr;
}

// Parses a whole store file; on a fault, `line_number` tells where.
const char* parse_store(std::string_view text, RegTree& tree, std::size_t& line_number) {
  std::vector<bool> declared{false};  // one flag per node
  std::optional<std::size_t> current;  // the key of the last section line
  line_number = 0;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line_number == 1) {
      if (line != kHeaderLine) return "first line is not the store's header";
      continue;
    }
    if (line.empty()) continue;
    if (line.front() == '[') {
      if (line.back() != ']') return "key line not closed by \"]\"";
      std::size_t node = 0;
      if (const char* fault = take_section(line.substr(1, line.size() - 2), tree, declared, node)) return fault;
      current = node;
    } else if (line.front() == '"') {
      if (!current) return "value before any [key] line";
      if (const char* fault = take_value(line, tree.nodes[*current])) return fault;
    } else {
      return "neither a [key] nor a \"value\" line";
    }
  }
  if (line_number == 0) return "first line is not the store's header";
  return nullptr;
}

// ---- the files

std::string store_file(HostRegRoot root) {
  const std::string folder = host_reg_folder();
  if (folder.empty()) return {};
  return folder + "\\" + std::string(host_reg_root_name(root)) + ".txt";
}

// The fault, with the file named as the host shows it ("/home/u/...").
u32 fault(u32 code, std::string_view file, std::string_view what) {
  Store.LastFault = host_map_path(file) + ": " + std::string(what);
  return code;
}

// The temporary files of writers that were killed are removed from the
// store's folder once a process, before it first reads the store.
void sweep_folder(const std::string& file) {
  if (Store.Swept) return;
  Store.Swept = true;
  const std::size_t cut = file.find_last_of('\\');
  if (cut == std::string::npos) return;
  std::array<std::string, kHostRegRootCount> files;
  std::array<std::string_view, kHostRegRootCount> names;
  for (std::size_t i = 0; i < kHostRegRootCount; ++i) {
    files[i] = std::string(kRootNames[i]) + ".txt";
    names[i] = files[i];
  }
  host_remove_stale_temporaries(file.substr(0, cut), names);
}

// Reads the tree of store file `file`; a missing file is an empty root.
u32 load_tree(const std::string& file, RegTree& tree) {
  tree = RegTree{};
  if (file.empty()) return fault(kHostRegCantRead, "(registry)", "no folder: HALV80_REGISTRY_DIR and HOME unset");
  sweep_folder(file);
  const std::string host = host_map_path(file);
  const int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? kHostRegOk : fault(kHostRegCantRead, file, std::strerror(errno));
  std::string text;
  struct stat st;
  const char* problem = nullptr;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) problem = "not a readable file";
  // read to the end, never beyond the limit, whatever the size said
  char chunk[4096];
  while (problem == nullptr) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0)
      problem = "read failed";
    else if (n == 0)
      break;
    else if (std::size_t(n) > kHostRegMaxFileSize - text.size())
      problem = "file larger than 64 MiB";
    else
      text.append(chunk, std::size_t(n));
  }
  close(fd);
  if (problem) return fault(kHostRegCantRead, file, problem);
  std::size_t line = 0;
  if (const char* what = parse_store(text, tree, line)) {
    tree = RegTree{};
    return fault(kHostRegBadFile, file, "line " + std::to_string(line) + ": " + what);
  }
  return kHostRegOk;
}

u32 save_tree(const std::string& file, const RegTree& tree) {
  const std::string text = store_text(tree);
  if (text.size() > kHostRegMaxFileSize) return fault(kHostRegCantWrite, file, "store would be larger than 64 MiB");
  const std::size_t cut = file.find_last_of('\\');
  std::error_code ec;
  if (cut != std::string::npos) std::filesystem::create_directories(host_map_path(file.substr(0, cut)), ec);
  const auto bytes = std::span(reinterpret_cast<const u8*>(text.data()), text.size());
  if (host_write_file_atomic(file, bytes)) return kHostRegOk;
  return fault(kHostRegCantWrite, file, std::string("cannot write the file: ") + std::strerror(errno));
}

// The tree of an open key's file and the key's node in it.
u32 load_key(const HostRegKey* key, RegTree& tree, std::size_t& node) {
  if (key == nullptr) return kHostRegInvalidHandle;
  if (const u32 r = load_tree(key->file, tree)) return r;
  const auto found = find_node(tree, key->names);
  if (!found) return kHostRegKeyDeleted;
  node = *found;
  return kHostRegOk;
}

HostRegKey* new_key(std::string file, std::vector<std::string> names, bool writable) {
  ++Store.OpenKeys;
  return new HostRegKey{std::move(file), std::move(names), writable};
}

// The path of `names` as the tree keeps them (the case first written).
std::vector<std::string> stored_names(const RegTree& tree, const std::vector<std::string>& names) {
  std::vector<std::string> out;
  std::size_t node = 0;
  for (const std::string& name : names) {
    node = *find_child(tree, node, name);
    out.push_back(tree.nodes[node].name);
  }
  return out;
}

u32 give_value(const RegValue& v, u32& type, std::span<u8> buffer, u32& size) {
  type = v.type;
  size = u32(v.data.size());
  if (buffer.size() < v.data.size()) return kHostRegMoreData;
  std::copy(v.data.begin(), v.data.end(), buffer.begin());
  return kHostRegOk;
}

}  // namespace

std::string host_reg_folder() {
  std::string folder;
  if (auto own = host_env_lookup(kHostRegFolderVariable); own && !own->empty())
    folder = *own;
  else if (auto xdg = host_env_lookup("XDG_CONFIG_HOME"); xdg && !xdg->empty() && xdg->front() == '/')
    folder = *xdg + "/halv80/registry";
  else if (auto home = host_env_lookup("HOME"); home && !home->empty())
    folder = *home + "/.config/halv80/registry";
  // "/" is never the trail byte of a CP932 character
  std::replace(folder.begin(), folder.end(), '/', '\\');
  return folder;
}

std::string_view host_reg_root_name(HostRegRoot root) {
  const auto i = std::size_t(root);
  return i < kRootNames.size() ? kRootNames[i] : std::string_view();
}

namespace {

// The key path's names, the root's file and its tree, for opening or making a key.
u32 load_root(HostRegRoot root, std::string_view path, std::vector<std::string>& names, std::string& file,
              RegTree& tree) {
  if (host_reg_root_name(root).empty() || !split_key_path(path, names)) return kHostRegInvalidParameter;
  file = store_file(root);
  return load_tree(file, tree);
}

}  // namespace

u32 host_reg_open_key(HostRegRoot root, std::string_view path, bool writable, HostRegKey*& key) {
  key = nullptr;
  std::vector<std::string> names;
  std::string file;
  RegTree tree;
  if (const u32 r = load_root(root, path, names, file, tree)) return r;
  if (!find_node(tree, names)) return kHostRegNotFound;
  key = new_key(file, stored_names(tree, names), writable);
  return kHostRegOk;
}

u32 host_reg_create_key(HostRegRoot root, std::string_view path, HostRegKey*& key) {
  key = nullptr;
  std::vector<std::string> names;
  std::string file;
  RegTree tree;
  if (const u32 r = load_root(root, path, names, file, tree)) return r;
  std::size_t node = 0;
  bool made = false;
  for (const std::string& name : names) node = child_or_new(tree, node, name, made);
  if (made)
    if (const u32 r = save_tree(file, tree)) return r;
  key = new_key(file, stored_names(tree, names), true);
  return kHostRegOk;
}

u32 host_reg_close_key(HostRegKey* key) {
  if (key == nullptr) return kHostRegInvalidHandle;
  delete key;
  --Store.OpenKeys;
  return kHostRegOk;
}

u32 host_reg_query_info(const HostRegKey* key, HostRegKeyInfo& info) {
  RegTree tree;
  std::size_t node = 0;
  if (const u32 r = load_key(key, tree, node)) return r;
  const RegNode& n = tree.nodes[node];
  info = HostRegKeyInfo{};
  // names and data are bounded far below 4 GiB, so the counts fit
  info.subkey_count = u32(n.children.size());
  for (const std::size_t child : n.children)
    info.max_subkey_name = std::max(info.max_subkey_name, u32(tree.nodes[child].name.size()));
  info.value_count = u32(n.values.size());
  for (const RegValue& v : n.values) {
    info.max_value_name = std::max(info.max_value_name, u32(v.name.size()));
    info.max_value_size = std::max(info.max_value_size, u32(v.data.size()));
  }
  return kHostRegOk;
}

u32 host_reg_query_value(const HostRegKey* key, std::string_view name, u32& type, std::span<u8> buffer, u32& size) {
  RegTree tree;
  std::size_t node = 0;
  if (const u32 r = load_key(key, tree, node)) return r;
  const RegValue* v = find_value(tree.nodes[node], name);
  if (v == nullptr) return kHostRegNotFound;
  return give_value(*v, type, buffer, size);
}

u32 host_reg_set_value(const HostRegKey* key, std::string_view name, u32 type, std::span<const u8> data) {
  if (key == nullptr) return kHostRegInvalidHandle;
  if (!key->writable) return kHostRegAccessDenied;
  if (name.size() > kHostRegMaxValueName || data.size() > kHostRegMaxValueSize) return kHostRegInvalidParameter;
  RegTree tree;
  std::size_t node = 0;
  if (const u32 r = load_key(key, tree, node)) return r;
  RegNode& n = tree.nodes[node];
  if (RegValue* v = find_value(n, name)) {
    // the same again changes nothing: the file is not written
    if (v->type == type && std::equal(v->data.begin(), v->data.end(), data.begin(), data.end())) return kHostRegOk;
    v->type = type;
    v->data.assign(data.begin(), data.end());
  } else {
    n.values.push_back(RegValue{std::string(name), type, std::vector<u8>(data.begin(), data.end())});
  }
  return save_tree(key->file, tree);
}

u32 host_reg_delete_value(const HostRegKey* key, std::string_view name) {
  if (key == nullptr) return kHostRegInvalidHandle;
  if (!key->writable) return kHostRegAccessDenied;
  RegTree tree;
  std::size_t node = 0;
  if (const u32 r = load_key(key, tree, node)) return r;
  std::vector<RegValue>& values = tree.nodes[node].values;
  const auto it =
      std::find_if(values.begin(), values.end(), [&](const RegValue& v) { return same_name(v.name, name); });
  if (it == values.end()) return kHostRegNotFound;
  values.erase(it);
  return save_tree(key->file, tree);
}

u32 host_reg_enum_value(const HostRegKey* key, u32 index, std::string& name, u32& type, std::span<u8> buffer,
                        u32& size) {
  RegTree tree;
  std::size_t node = 0;
  if (const u32 r = load_key(key, tree, node)) return r;
  const std::vector<RegValue>& values = tree.nodes[node].values;
  if (index >= values.size()) return kHostRegNoMoreItems;
  name = values[index].name;
  return give_value(values[index], type, buffer, size);
}

u32 host_reg_enum_key(const HostRegKey* key, u32 index, std::string& name) {
  RegTree tree;
  std::size_t node = 0;
  if (const u32 r = load_key(key, tree, node)) return r;
  const std::vector<std::size_t>& children = tree.nodes[node].children;
  if (index >= children.size()) return kHostRegNoMoreItems;
  name = tree.nodes[children[index]].name;
  return kHostRegOk;
}

const std::string& host_reg_last_fault() { return Store.LastFault; }

std::size_t host_reg_open_count() { return Store.OpenKeys; }
