#include "platform/host/host_env.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

namespace {

class HostEnvTest : public testing::Test {
 protected:
  void TearDown() override {
    for (const char* n : {"HALV80_ENV_VAR", "HALV80_ENV_DUP", "halv80_env_dup", "HALV80_ENV_LONG", "HALV80_ENV"})
      unsetenv(n);
  }
};

TEST_F(HostEnvTest, NamesCompareWithoutCase) {
  setenv("HALV80_ENV_VAR", "  value=with=equals", 1);
  setenv("HALV80_ENV", "", 1);
  const struct {
    const char* name;
    bool found;
    const char* value;
  } cases[] = {
      {"HALV80_ENV_VAR", true, "  value=with=equals"},  // the value is given as it stands
      {"halv80_env_var", true, "  value=with=equals"},
      {"Halv80_Env_Var", true, "  value=with=equals"},
      {"HALV80_ENV", true, ""},        // a prefix of another name is its own entry
      {"HALV80_ENV_VA", false, ""},
      {"HALV80_ENV_VAR=", false, ""},  // "=" belongs to no name
      {"", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto v = host_env_lookup(c.name);
    ASSERT_EQ(v.has_value(), c.found);
    if (c.found) {
      EXPECT_EQ(*v, c.value);
    }
  }
}

TEST_F(HostEnvTest, FirstEntryWinsAndLongEntriesAreWhole) {
  setenv("HALV80_ENV_DUP", "first", 1);
  setenv("halv80_env_dup", "second", 1);
  EXPECT_EQ(host_env_lookup("Halv80_Env_Dup"), "first");
  const std::string long_value(100000, 'x');
  setenv("HALV80_ENV_LONG", (long_value + "\xE8\xA1\xA8").c_str(), 1);
  EXPECT_EQ(host_env_lookup("halv80_env_long"), long_value + "\x95\x5C");  // CP932 inside the system
}

TEST_F(HostEnvTest, PathComesInTheSystemsForm) {
  const char* saved = getenv("PATH");
  const std::string before = saved ? saved : "";
  setenv("PATH", "/usr/local/bin:/opt/halv80 tools/bin::/bin", 1);
  const auto path = host_env_lookup("path");
  setenv("PATH", before.c_str(), 1);
  EXPECT_EQ(path, "\\usr\\local\\bin;\\opt\\halv80 tools\\bin;;\\bin");
}

// A value set in the system's form reads back the same and reaches the host
// in its own: PATH with ":" and "/".
TEST_F(HostEnvTest, SetRoundTripsThroughTheHostsForm) {
  const char* saved = getenv("PATH");
  const std::string old_path = saved ? saved : "";
  EXPECT_TRUE(host_env_set("HALV80_ENV_VAR", "MKMON>"));
  EXPECT_STREQ(getenv("HALV80_ENV_VAR"), "MKMON>");
  EXPECT_TRUE(host_env_set("PATH", "\\opt\\qn;\\usr\\bin"));
  EXPECT_STREQ(getenv("PATH"), "/opt/qn:/usr/bin");
  EXPECT_EQ(host_env_lookup("Path"), "\\opt\\qn;\\usr\\bin");
  setenv("PATH", old_path.c_str(), 1);
  EXPECT_FALSE(host_env_set("A=B", "x"));
  EXPECT_FALSE(host_env_set("", "x"));
}

}  // namespace
