// The console runner's start-up line: the project's "%OPT" body, then the
// runner's own arguments.
#include <gtest/gtest.h>

#include "halv80/console/console_startup.h"

namespace {

TEST(ConsoleStartup, OptionsAreTheBodyOfTheOptionSection) {
  const struct {
    const char* text;
    const char* options;
  } cases[] = {
      {"%SYS\r\nA=1\r\n%OPT\r\n -SP -X -B4096,64 -TAB8\r\n%DIR\r\n@Current\r\n%PRJ\r\nP\r\n%END\r\n\x1A",
       " -SP -X -B4096,64 -TAB8"},
      {"%OPT\r\n-TAB4\r\n%PRJ\r\nP\r\n%END\r\n", "-TAB4"},   // no %DIR: the next section closes it
      {"%OPT\r\n-TAB4\r\n%END\r\n", "-TAB4"},
      {"%OPT\r\n%DIR\r\n@Current\r\n%END\r\n", ""},         // an empty line of options
      {"%OPT\r\n\r\n%DIR\r\n", ""},
      {"%OPT\r\n-TAB4\r\n", ""},                            // never closed: no options
      {"%SYS\r\n%DIR\r\nX\r\n%END\r\n", ""},                // no %OPT at all
      {"", ""},
      {"%OPT", ""},                                         // cut right after the name
      {"%OPT%DIR", ""},                                     // a body shorter than its line end
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(console_project_options(c.text), c.options);
  }
}

TEST(ConsoleStartup, ArgumentsFollowTheOptionsInTheirOwnCase) {
  const struct {
    const char* options;
    std::vector<std::string> args;
    const char* line;
  } cases[] = {
      {"", {}, " "},
      {"", {"-X", "demo.hex"}, " -X demo.hex "},
      {" -SP -X -TAB8", {}, "  -SP -X -TAB8 "},
      {"-TAB8", {"-Tab4", "Demo.Hex"}, " -TAB8 -Tab4 Demo.Hex "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(console_startup_line(c.options, c.args), c.line);
  }
}

}  // namespace
