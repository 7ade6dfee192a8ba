#include "platform/host/host_registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <array>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/host/tests/scratch_dir.h"

namespace {

constexpr std::string_view kHeader = "halv80 registry 1\n";

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

std::span<const u8> bytes_of(std::string_view s) { return {reinterpret_cast<const u8*>(s.data()), s.size()}; }

class HostRegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir.path().empty());
    setenv("HALV80_REGISTRY_DIR", dir.path().c_str(), 1);
  }
  void TearDown() override {
    unsetenv("HALV80_REGISTRY_DIR");
    EXPECT_EQ(host_reg_open_count(), 0u);
  }
  static u32 open(Key& k, std::string_view path, bool writable = false, HostRegRoot root = HostRegRoot::CurrentUser) {
    return host_reg_open_key(root, path, writable, k.handle);
  }
  static u32 create(Key& k, std::string_view path, HostRegRoot root = HostRegRoot::CurrentUser) {
    return host_reg_create_key(root, path, k.handle);
  }
  // A value's type and data; nothing when the query fails.
  static std::optional<std::pair<u32, std::string>> value(const Key& k, std::string_view name) {
    u32 type = 0, size = 0;
    std::vector<u8> data(kHostRegMaxValueSize);
    if (host_reg_query_value(k.handle, name, type, data, size) != kHostRegOk) return std::nullopt;
    return std::pair{type, std::string(data.begin(), data.begin() + size)};
  }
  static std::vector<std::string> subkeys(const Key& k) {
    std::vector<std::string> out;
    std::string name;
    for (u32 i = 0; host_reg_enum_key(k.handle, i, name) == kHostRegOk; ++i) out.push_back(name);
    return out;
  }
  static std::vector<std::string> value_names(const Key& k) {
    std::vector<std::string> out;
    std::string name;
    u32 type = 0, size = 0;
    std::vector<u8> data(kHostRegMaxValueSize);
    for (u32 i = 0; host_reg_enum_value(k.handle, i, name, type, data, size) == kHostRegOk; ++i) out.push_back(name);
    return out;
  }
  ScratchDir dir;
};

TEST(HostRegistryFolderTest, VariableThenConfigHomeThenHome) {
  const auto saved = [](const char* n) -> std::optional<std::string> {
    const char* v = getenv(n);
    return v ? std::optional<std::string>(v) : std::nullopt;
  };
  const auto saved_home = saved("HOME");
  const auto saved_xdg = saved("XDG_CONFIG_HOME");
  const struct {
    const char* own;
    const char* xdg;
    const char* home;
    const char* folder;
  } cases[] = {
      {"/r/reg", "/x", "/h", "\\r\\reg"},
      {"", "/x", "/h", "\\x\\halv80\\registry"},          // empty counts as unset
      {nullptr, "rel", "/h", "\\h\\.config\\halv80\\registry"},  // a relative config home is ignored
      {nullptr, nullptr, "/h", "\\h\\.config\\halv80\\registry"},
      {nullptr, nullptr, nullptr, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    const auto put = [](const char* n, const char* v) { v ? setenv(n, v, 1) : unsetenv(n); };
    put("HALV80_REGISTRY_DIR", c.own);
    put("XDG_CONFIG_HOME", c.xdg);
    put("HOME", c.home);
    EXPECT_EQ(host_reg_folder(), c.folder);
  }
  // without any folder nothing opens, and nothing crashes
  HostRegKey* key = nullptr;
  EXPECT_EQ(host_reg_open_key(HostRegRoot::Users, "", false, key), kHostRegCantRead);
  EXPECT_EQ(key, nullptr);
  unsetenv("HALV80_REGISTRY_DIR");
  saved_home ? setenv("HOME", saved_home->c_str(), 1) : unsetenv("HOME");
  saved_xdg ? setenv("XDG_CONFIG_HOME", saved_xdg->c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
}

TEST_F(HostRegistryTest, ValuesRoundTripEveryByteThroughTheFile) {
  std::string every_byte;
  for (int b = 0; b < 256; ++b) every_byte += char(b);
  const struct {
    std::string name;
    u32 type;
    std::string data;
  } values[] = {
      {"IF_addr", kHostRegDword, std::string("\x00\x03\x00\x00", 4)},
      {"Editor", kHostRegString, std::string("notepad.exe\0", 12)},
      {"", kHostRegBinary, "default value"},
      {every_byte, 0xFFFFFFFF, every_byte},
      {"%41\"=\\]\n", kHostRegBinary, ""},  // escapes of the file's own syntax, no data
      {"\x95\x5C", kHostRegString, "\x95\x5C"},  // CP932 with a "\" trail byte
  };
  {
    Key k;
    ASSERT_EQ(create(k, "Software\\QOR\\\x95\x5C[x]%"), kHostRegOk);
    for (const auto& v : values) ASSERT_EQ(host_reg_set_value(k.handle, v.name, v.type, bytes_of(v.data)), kHostRegOk);
  }
  // only the finished file is left, under the root's name
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) files.push_back(e.path().filename());
  EXPECT_EQ(files, std::vector<std::string>{"HKEY_CURRENT_USER.txt"});
  EXPECT_TRUE(dir.read("HKEY_CURRENT_USER.txt").starts_with(kHeader));

  Key k;
  ASSERT_EQ(open(k, "software\\qor\\\x95\x5C[X]%"), kHostRegOk);
  for (const auto& v : values) {
    SCOPED_TRACE(testing::PrintToString(v.name));
    EXPECT_EQ(value(k, v.name), std::pair(v.type, v.data));
  }
  // another root is another file
  Key other;
  EXPECT_EQ(open(other, "Software", false, HostRegRoot::LocalMachine), kHostRegNotFound);
  EXPECT_EQ(other.handle, nullptr);
}

TEST_F(HostRegistryTest, NamesMatchWithoutAsciiCaseAndKeepTheirCase) {
  Key k;
  ASSERT_EQ(create(k, "Software\\Qor\\Z80"), kHostRegOk);
  ASSERT_EQ(host_reg_set_value(k.handle, "Opn", kHostRegString, bytes_of("a")), kHostRegOk);
  ASSERT_EQ(host_reg_set_value(k.handle, "\x82\x60", kHostRegString, bytes_of("wide A")), kHostRegOk);
  ASSERT_EQ(host_reg_set_value(k.handle, "BIN", kHostRegString, bytes_of("b")), kHostRegOk);
  // a replaced value keeps its place and its spelling
  ASSERT_EQ(host_reg_set_value(k.handle, "OPN", kHostRegBinary, bytes_of("c")), kHostRegOk);
  EXPECT_EQ(value_names(k), (std::vector<std::string>{"Opn", "\x82\x60", "BIN"}));
  EXPECT_EQ(value(k, "opn"), std::pair(kHostRegBinary, std::string("c")));
  // a trail byte is no letter: 0x82 0x80 is another character than 0x82 0x60
  EXPECT_EQ(value(k, "\x82\x80"), std::nullopt);

  Key again;
  ASSERT_EQ(create(again, "SOFTWARE\\qor\\z80\\New"), kHostRegOk);  // existing keys are reused
  Key root;
  ASSERT_EQ(open(root, ""), kHostRegOk);
  EXPECT_EQ(subkeys(root), std::vector<std::string>{"Software"});
  Key qor;
  ASSERT_EQ(open(qor, "SOFTWARE\\QOR"), kHostRegOk);
  EXPECT_EQ(subkeys(qor), std::vector<std::string>{"Z80"});
}

TEST_F(HostRegistryTest, EnumerationFollowsCreationOrder) {
  Key k;
  ASSERT_EQ(create(k, "Services"), kHostRegOk);
  for (const char* name : {"b", "A", "c"}) {
    Key sub;
    ASSERT_EQ(create(sub, std::string("Services\\") + name), kHostRegOk);
  }
  for (const char* name : {"zz", "y", "xxx"}) ASSERT_EQ(host_reg_set_value(k.handle, name, 4, bytes_of("1234")), 0u);
  ASSERT_EQ(host_reg_set_value(k.handle, "y", kHostRegBinary, bytes_of("123456")), kHostRegOk);
  EXPECT_EQ(subkeys(k), (std::vector<std::string>{"b", "A", "c"}));
  EXPECT_EQ(value_names(k), (std::vector<std::string>{"zz", "y", "xxx"}));
  HostRegKeyInfo info;
  ASSERT_EQ(host_reg_query_info(k.handle, info), kHostRegOk);
  EXPECT_EQ(info.subkey_count, 3u);
  EXPECT_EQ(info.max_subkey_name, 1u);
  EXPECT_EQ(info.value_count, 3u);
  EXPECT_EQ(info.max_value_name, 3u);
  EXPECT_EQ(info.max_value_size, 6u);

  ASSERT_EQ(host_reg_delete_value(k.handle, "Y"), kHostRegOk);
  EXPECT_EQ(value_names(k), (std::vector<std::string>{"zz", "xxx"}));
  ASSERT_EQ(host_reg_set_value(k.handle, "y", 4, bytes_of("1234")), kHostRegOk);
  EXPECT_EQ(value_names(k), (std::vector<std::string>{"zz", "xxx", "y"}));
  std::string name;
  EXPECT_EQ(host_reg_enum_key(k.handle, 3, name), kHostRegNoMoreItems);
}

TEST_F(HostRegistryTest, ResultCodes) {
  Key w;
  ASSERT_EQ(create(w, "K"), kHostRegOk);
  ASSERT_EQ(host_reg_set_value(w.handle, "v", kHostRegDword, bytes_of("1234")), kHostRegOk);
  Key r;
  ASSERT_EQ(open(r, "k"), kHostRegOk);
  EXPECT_EQ(host_reg_set_value(r.handle, "v", kHostRegDword, bytes_of("5678")), kHostRegAccessDenied);
  EXPECT_EQ(host_reg_delete_value(r.handle, "v"), kHostRegAccessDenied);
  EXPECT_EQ(host_reg_delete_value(w.handle, "missing"), kHostRegNotFound);
  EXPECT_EQ(host_reg_set_value(nullptr, "v", kHostRegDword, {}), kHostRegInvalidHandle);
  EXPECT_EQ(host_reg_close_key(nullptr), kHostRegInvalidHandle);

  // a buffer one byte short: the size needed, the buffer untouched
  std::array<u8, 3> small{9, 9, 9};
  u32 type = 0, size = 0;
  EXPECT_EQ(host_reg_query_value(r.handle, "v", type, small, size), kHostRegMoreData);
  EXPECT_EQ(type, kHostRegDword);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(small, (std::array<u8, 3>{9, 9, 9}));
  EXPECT_EQ(host_reg_query_value(r.handle, "w", type, small, size), kHostRegNotFound);

  const std::string long_key(kHostRegMaxKeyName, 'k');
  const std::string long_name(kHostRegMaxValueName, 'n');
  const std::vector<u8> big(kHostRegMaxValueSize + 1);
  const std::span<const u8> most(big.data(), kHostRegMaxValueSize);
  const struct {
    const char* what;
    std::string path;
    std::string name;
    std::span<const u8> data;
    u32 result;
  } cases[] = {
      {"longest key name", long_key, "v", {}, kHostRegOk},
      {"key name too long", long_key + "k", "v", {}, kHostRegInvalidParameter},
      {"empty key name", "a\\\\b", "v", {}, kHostRegInvalidParameter},
      {"trailing separator", "a\\", "v", {}, kHostRegInvalidParameter},
      {"longest value name", "K", long_name, {}, kHostRegOk},
      {"value name too long", "K", long_name + "n", {}, kHostRegInvalidParameter},
      {"largest value", "K", "big", most, kHostRegOk},
      {"value too large", "K", "big", big, kHostRegInvalidParameter},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Key k;
    const u32 made = create(k, c.path);
    if (made != kHostRegOk) {
      EXPECT_EQ(made, c.result);
      EXPECT_EQ(k.handle, nullptr);
      continue;
    }
    EXPECT_EQ(host_reg_set_value(k.handle, c.name, kHostRegBinary, c.data), c.result);
  }
  // the limits hold when reading the file back too
  Key k;
  ASSERT_EQ(open(k, "K"), kHostRegOk);
  EXPECT_EQ(value(k, "big")->second.size(), kHostRegMaxValueSize);

  // the store file went away under an open key
  std::filesystem::remove(std::filesystem::path(dir.path()) / "HKEY_CURRENT_USER.txt");
  EXPECT_EQ(host_reg_set_value(w.handle, "v", kHostRegDword, bytes_of("1234")), kHostRegKeyDeleted);
  Key gone;
  EXPECT_EQ(open(gone, "K"), kHostRegNotFound);
}

TEST_F(HostRegistryTest, StoreFolderIsMadeWhenMissing) {
  const std::string folder = dir.path() + "/a/b";
  setenv("HALV80_REGISTRY_DIR", folder.c_str(), 1);
  Key k;
  ASSERT_EQ(create(k, "Key", HostRegRoot::LocalMachine), kHostRegOk);
  EXPECT_EQ(dir.read("a/b/HKEY_LOCAL_MACHINE.txt"), std::string(kHeader) + "[]\n[Key]\n");
}

TEST_F(HostRegistryTest, HandWrittenFileWithCrLfBlankLinesAndLowerCaseHex) {
  dir.write("HKEY_LOCAL_MACHINE.txt",
            "halv80 registry 1\r\n\r\n[A\\B]\r\n\"n\"=4:0a0B0c0D\r\n[a]\n\"%22x\"=1:\n[]\n\"top\"=3:ff");
  Key k;
  ASSERT_EQ(open(k, "A\\B", false, HostRegRoot::LocalMachine), kHostRegOk);
  EXPECT_EQ(value(k, "n"), std::pair(4u, std::string("\x0A\x0B\x0C\x0D")));
  Key a;
  ASSERT_EQ(open(a, "A", false, HostRegRoot::LocalMachine), kHostRegOk);
  EXPECT_EQ(value(a, "\"X"), std::pair(1u, std::string()));
  Key root;
  ASSERT_EQ(open(root, "", false, HostRegRoot::LocalMachine), kHostRegOk);
  EXPECT_EQ(value(root, "top"), std::pair(3u, std::string("\xFF")));
}

TEST_F(HostRegistryTest, MalformedFilesAreErrorsWithTheirLine) {
  const std::string h(kHeader);
  std::string too_deep;  // with the "k" before it, one name more than a path may hold
  for (std::size_t i = 0; i < kHostRegMaxKeyDepth; ++i) too_deep += "\\k";
  const struct {
    std::string text;
    const char* fault;
  } cases[] = {
      {"", "line 0: first line"},
      {"halv80 registry 2\n[A]\n", "line 1: first line"},
      {h + "\"v\"=4:00\n", "line 2: value before any [key]"},
      {h + "[A]\n\n[a]\n", "line 4: key listed twice"},
      {h + "[A\\\\B]\n", "line 2: empty key name"},
      {h + "[\\A]\n", "line 2: empty key name"},
      {h + "[A\\]\n", "line 2: empty key name"},
      {h + "[A\n", "line 2: key line not closed"},
      {h + "[A%5CB]\n", "line 2: \"\\\" inside a key name"},
      {h + "[" + std::string(256, 'k') + "]\n", "line 2: name too long"},
      {h + "[k" + too_deep + "]\n", "line 2: key path too deep"},
      {h + "garbage\n", "line 2: neither"},
      {h + "[A]\n\"v=4:00\n", "line 3: value name not closed"},
      {h + "[A]\n\"v\"4:00\n", "line 3: no \"=\""},
      {h + "[A]\n\"v\"=:00\n", "line 3: no value type"},
      {h + "[A]\n\"v\"=4\n", "line 3: no value type"},
      {h + "[A]\n\"v\"=x:00\n", "line 3: value type not a decimal"},
      {h + "[A]\n\"v\"=4294967296:00\n", "line 3: value type beyond 32 bits"},
      {h + "[A]\n\"v\"=4:000\n", "line 3: odd number"},
      {h + "[A]\n\"v\"=4:0g\n", "line 3: value data not hex"},
      {h + "[A]\n\"v\"=4:" + std::string(2 * kHostRegMaxValueSize + 2, '0') + "\n", "line 3: value data larger"},
      {h + "[A]\n\"v\"=4:00\n\"V\"=3:\n", "line 4: value listed twice"},
      {h + "[A]\n\"%4\"=4:\n", "line 3: \"%\" not followed"},
      {h + "[A]\n\"%\"=4:\n", "line 3: \"%\" not followed"},
      {h + "[A]\n\"a\tb\"=4:\n", "line 3: a byte in a name"},
      {h + "[A]\n\"" + std::string(kHostRegMaxValueName + 1, 'n') + "\"=4:\n", "line 3: name too long"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    dir.write("HKEY_USERS.txt", c.text);
    Key k;
    EXPECT_EQ(open(k, "", false, HostRegRoot::Users), kHostRegBadFile);
    EXPECT_EQ(k.handle, nullptr);
    EXPECT_NE(host_reg_last_fault().find("HKEY_USERS.txt: " + std::string(c.fault)), std::string::npos)
        << host_reg_last_fault();
    // nothing is written over a file that could not be read
    EXPECT_EQ(create(k, "New", HostRegRoot::Users), kHostRegBadFile);
    EXPECT_EQ(dir.read("HKEY_USERS.txt"), c.text);
  }
}

TEST_F(HostRegistryTest, EveryCutOfAValidFileIsReadOrRefused) {
  {
    Key k;
    ASSERT_EQ(create(k, "Software\\QOR\\\x95\x5C"), kHostRegOk);
    ASSERT_EQ(host_reg_set_value(k.handle, "a\"%\\b", kHostRegDword, bytes_of("\x01\x02\x03\x04")), kHostRegOk);
    ASSERT_EQ(host_reg_set_value(k.handle, "", kHostRegString, bytes_of("text")), kHostRegOk);
  }
  const std::string whole = dir.read("HKEY_CURRENT_USER.txt");
  for (std::size_t cut = 0; cut < whole.size(); ++cut) {
    SCOPED_TRACE(cut);
    dir.write("HKEY_CURRENT_USER.txt", whole.substr(0, cut));
    Key k;
    const u32 r = open(k, "");
    EXPECT_TRUE(r == kHostRegOk || r == kHostRegBadFile) << r;
  }
}

TEST_F(HostRegistryTest, UnreadableStoreFiles) {
  // a folder where the file should be
  std::filesystem::create_directory(std::filesystem::path(dir.path()) / "HKEY_CLASSES_ROOT.txt");
  Key k;
  EXPECT_EQ(open(k, "", false, HostRegRoot::ClassesRoot), kHostRegCantRead);
  // a file beyond the size limit is refused before it is parsed (sparse, so cheap)
  const auto big = std::filesystem::path(dir.path()) / "HKEY_USERS.txt";
  dir.write("HKEY_USERS.txt", kHeader);
  std::filesystem::resize_file(big, kHostRegMaxFileSize + 1);
  EXPECT_EQ(open(k, "", false, HostRegRoot::Users), kHostRegCantRead);
  EXPECT_NE(host_reg_last_fault().find("larger than 64 MiB"), std::string::npos);
}

TEST_F(HostRegistryTest, AChangeThatChangesNothingWritesNothing) {
  {
    Key k;
    ASSERT_EQ(create(k, "SYSTEM\\Params", HostRegRoot::LocalMachine), kHostRegOk);
    ASSERT_EQ(host_reg_set_value(k.handle, "IF_addr", kHostRegDword, bytes_of("\x00\x03\x00\x00")), kHostRegOk);
  }
  const auto file = std::filesystem::path(dir.path()) / "HKEY_LOCAL_MACHINE.txt";
  struct stat before;
  ASSERT_EQ(stat(file.c_str(), &before), 0);
  {
    // the key and the value as they are: a store in a read-only folder would do
    Key k;
    ASSERT_EQ(create(k, "system\\PARAMS", HostRegRoot::LocalMachine), kHostRegOk);
    EXPECT_EQ(host_reg_set_value(k.handle, "if_addr", kHostRegDword, bytes_of("\x00\x03\x00\x00")), kHostRegOk);
  }
  struct stat after;
  ASSERT_EQ(stat(file.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino) << "the file was rewritten";
  {
    Key k;
    ASSERT_EQ(open(k, "SYSTEM\\Params", true, HostRegRoot::LocalMachine), kHostRegOk);
    // another type with the same bytes is a change
    EXPECT_EQ(host_reg_set_value(k.handle, "IF_addr", kHostRegBinary, bytes_of("\x00\x03\x00\x00")), kHostRegOk);
    EXPECT_EQ(value(k, "IF_addr")->first, kHostRegBinary);
  }
  ASSERT_EQ(stat(file.c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);
}

}  // namespace
