#include "qorreg/reg_dump.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>

#include "platform/device/dev_driver.h"
#include "platform/host/tests/scratch_dir.h"
#include "qorreg/tests/resource_bytes.h"

#ifndef QORREG_GOLDEN_DIR
#error "QORREG_GOLDEN_DIR names the folder of the golden outputs"
#endif

namespace {

using namespace std::literals;

TEST(RegNames, KeywordsMatchAnywhereInAnyCaseButNotAcrossADoubleByteCharacter) {
  const struct {
    const char* name;
    bool matches;
  } cases[] = {
      {"QOR", true},
      {"Software\\qor", true},
      {"xRz7If0", true},
      {"wq5ifx", true},
      {"QO", false},
      {"RZ7 IF", false},
      {"", false},
      {"\x83\x51OR", false},       // the 'Q' is the second half of a double-byte character
      {"\x83\x40QOR", true},       // after a double-byte character
      {"QOR\x82", true},           // a lead byte at the end is one unit
      {"\x82qor", false},          // the lead byte takes the 'q' as its second half
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.name));
    EXPECT_EQ(reg_name_matches(c.name), c.matches);
  }
  EXPECT_TRUE(reg_contains_nocase("ab\x83\x40" "cd", "B\x83\x40" "C"));
  EXPECT_FALSE(reg_contains_nocase("ab\x83\x40" "cd", "B\x83\x60" "C"));  // a second half is never case-folded
}

// Sets or removes an environment variable for the life of the object.
class EnvOverride {
 public:
  EnvOverride(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    if (value)
      setenv(name, value->c_str(), 1);
    else
      unsetenv(name);
  }
  ~EnvOverride() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }
  EnvOverride(const EnvOverride&) = delete;
  EnvOverride& operator=(const EnvOverride&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A registry store of the test's own.
class RegDumpTest : public testing::Test {
 protected:
  std::string folder() const { return dir_.path() + "/registry"; }

  void set(HostRegRoot root, std::string_view path, std::string_view name, u32 type, std::span<const u8> data) {
    HostRegKey* key = nullptr;
    ASSERT_EQ(host_reg_create_key(root, path, key), kHostRegOk);
    EXPECT_EQ(host_reg_set_value(key, name, type, data), kHostRegOk);
    host_reg_close_key(key);
  }
  void set(HostRegRoot root, std::string_view path, std::string_view name, u32 type, std::string_view data) {
    set(root, path, name, type, std::span(reinterpret_cast<const u8*>(data.data()), data.size()));
  }
  void make_key(HostRegRoot root, std::string_view path) {
    HostRegKey* key = nullptr;
    ASSERT_EQ(host_reg_create_key(root, path, key), kHostRegOk);
    host_reg_close_key(key);
  }
  // The dump's output and result.
  std::pair<std::string, int> dump() {
    std::string out;
    std::string faults;
    const int status = reg_dump_main(out, faults);
    EXPECT_EQ(faults, "");
    return {out, status};
  }

  ScratchDir dir_;
  EnvOverride store_{"HALV80_REGISTRY_DIR", folder()};
};

TEST_F(RegDumpTest, WithoutAStoreTheDumpRefusesAfterTheBanner) {
  const struct {
    const char* what;
    bool folder_named;
    const char* message;
  } cases[] = {
      {"no folder can be named", false, "\nCan't get OS version"},
      {"the named folder does not exist", true, "\nThis program under WindowsNT"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EnvOverride own("HALV80_REGISTRY_DIR", c.folder_named ? std::optional(folder()) : std::nullopt);
    EnvOverride xdg("XDG_CONFIG_HOME", std::nullopt);
    EnvOverride home("HOME", std::nullopt);
    const auto [out, status] = dump();
    EXPECT_EQ(out, std::string("QUENDAR Registry check by QOR Ver 1.0") + c.message);
    EXPECT_EQ(status, -1);
  }
  // an empty store folder is a registry with nothing in it
  std::filesystem::create_directories(folder());
  EXPECT_EQ(dump(), std::pair(std::string("QUENDAR Registry check by QOR Ver 1.0"), 0));
}

TEST_F(RegDumpTest, AStoreFileThatCantBeReadIsNamedAndItsRootSkipped) {
  set(HostRegRoot::CurrentUser, "Software\\QOR", "PRJ", kHostRegString, std::string_view("a.qpj", 6));
  dir_.write("registry/HKEY_LOCAL_MACHINE.txt", "not a store\n");
  std::string out;
  std::string faults;
  EXPECT_EQ(reg_dump_main(out, faults), 0);
  EXPECT_EQ(out, "QUENDAR Registry check by QOR Ver 1.0\nHKCU\\Software\\QOR\nREG_SZ     [PRJ] = [a.qpj]");
  EXPECT_TRUE(faults.starts_with("HKLM: ")) << faults;
  EXPECT_NE(faults.find("HKEY_LOCAL_MACHINE.txt"), std::string::npos) << faults;
}

// The store as a user's machine has it: the simulated driver's installation,
// the setup program's settings, and hand-made resource values of every kind,
// among entries that are not the maker's.
TEST_F(RegDumpTest, GoldenDumpOfTheDriversEntriesAndEveryResourceKind) {
  using R = HostRegRoot;
  ASSERT_TRUE(dev_install_driver_parameters(0x300, 0));
  make_key(R::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\RZ7IF\\Rz7if0\\Nothing");  // prints nothing
  set(R::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\Serial", "Start", kHostRegDword, "\x01\x00\x00\x00"sv);

  set(R::ClassesRoot, ".qpj", "", kHostRegString, std::string_view("QOR.Project", 12));
  set(R::ClassesRoot, ".txt", "", kHostRegString, std::string_view("txtfile", 8));
  set(R::ClassesRoot, "QOR.Project", "", kHostRegString, std::string_view("QOR project", 12));
  set(R::CurrentUser, "Software\\QOR\\RZ7SET\\Z80", "PRJ", kHostRegString, std::string_view("\\work\\demo.qpj", 15));
  set(R::CurrentUser, "Software\\QOR\\RZ7SET\\Z80", "OPN", kHostRegDword, "\x01\x00"sv);  // short: zeros above
  set(R::CurrentUser, "Software\\QOR", "Editor", kHostRegString, "notepad");            // no terminating zero
  set(R::CurrentUser, "Software\\Other", "lastqorfile", kHostRegString, std::string_view("x.qpj", 6));
  set(R::CurrentUser, "Software\\Other", "Unrelated", kHostRegString, std::string_view("no", 3));
  set(R::Users, ".DEFAULT\\Software\\QOR", "Editor Format", kHostRegString, std::string_view("%s +%d", 7));

  constexpr std::string_view kRes = "HARDWARE\\DESCRIPTION\\System\\MultifunctionAdapter\\0\\QorCard";
  set(R::LocalMachine, kRes, "Identifier", kHostRegBinary, "\x0A\xFF\x00"sv);
  set(R::LocalMachine, kRes, "Image", 2, std::string_view("%SystemRoot%", 13));
  set(R::LocalMachine, kRes, "Names", 7, std::string_view("a\0b\0", 5));
  set(R::LocalMachine, kRes, "Map", kHostRegResourceList, "\x00\x00\x00\x00"sv);
  // every partial resource type, the share dispositions and flags
  auto full = ResourceBytes::full(1, 0, 8);
  full.partial(0, 0, 0, 0, 0);
  full.partial(1, 1, 0x0001, 0xFFFF'FFFF'0000'0300ull, 0x10);
  full.partial(2, 2, 0x0001, 0x0000'0005'0000'0005ull, 0x00000001);
  full.partial(3, 3, 0x0002, 0x000D'0000, 0x1000);
  full.partial(4, 1, 0, 0x0000'0000'0000'0003ull, 0);
  full.partial(5, 1, 0, 0, 0);
  full.partial(6, 4, 0xFFFF, 0, 0);
  full.partial(0x81, 1, 0, 0, 0);
  set(R::LocalMachine, kRes, "Configuration Data", kHostRegFullResourceDescriptor, full.span());
  for (const auto& [name, bus] : {std::pair{"Bus 15", 15u}, std::pair{"Bus 16", 16u}, std::pair{"Bus -1", ~0u}}) {
    auto empty = ResourceBytes::full(bus, 1, 0);
    set(R::LocalMachine, kRes, name, kHostRegFullResourceDescriptor, empty.span());
  }
  // every requirement type with the option flags one by one and together
  auto req = ResourceBytes::requirements(1, 2, 8);
  req.io(0x00, 0, 0, 0, 0, 0, 0, 0);
  req.io(0x01, 1, 1, 0x0001, 0x10, 0x10, 0x1'0000'0300ull, 0x3FF);
  req.io(0x02, 2, 3, 0x0000, 3, 15, 0, 0);
  req.io(0x08, 3, 1, 0x0001, 0x4000, 0x1000, 0xC8000, 0xEFFFF);
  req.io(0x0B, 4, 2, 0, 1, 3, 0, 0);
  req.io(0x04, 5, 0, 0, 0, 0, 0, 0);
  req.io(0xF0, 6, 0, 0, 0, 0, 0, 0);
  req.io(0x00, 7, 9, 0, 0, 0, 0, 0);
  set(R::LocalMachine, kRes, "BasicConfigVector", kHostRegResourceRequirements, req.span());
  // values that end early or whose count says more than they hold
  auto lying = ResourceBytes::full(1, 0, 2);
  lying.partial(1, 1, 1, 0x310, 8);
  set(R::LocalMachine, kRes, "Lying count", kHostRegFullResourceDescriptor, lying.span());
  auto cut = ResourceBytes::requirements(1, 1, 1);
  cut.bytes.resize(22);
  set(R::LocalMachine, kRes, "Cut header", kHostRegResourceRequirements, cut.span());
  set(R::LocalMachine, kRes, "Empty", kHostRegFullResourceDescriptor, std::span<const u8>());
  set(R::LocalMachine, "SOFTWARE\\Vendor", "WQ5IF ports", kHostRegFullResourceDescriptor, lying.span());

  const std::string before = dir_.read("registry/HKEY_LOCAL_MACHINE.txt");
  const auto [out, status] = dump();
  EXPECT_EQ(status, 0);
  EXPECT_EQ(dir_.read("registry/HKEY_LOCAL_MACHINE.txt"), before);  // the dump only reads
  const std::filesystem::path golden = std::filesystem::path(QORREG_GOLDEN_DIR) / "qorreg_dump.txt";
  std::ifstream in(golden, std::ios::binary);
  const std::string expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string actual = testing::TempDir() + "qorreg_dump.actual.txt";
  EXPECT_EQ(out, expected) << "the output is in " << actual;
  if (out != expected) std::ofstream(actual, std::ios::binary) << out;
}

}  // namespace
