#include "platform/host/host_process.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/host/host_shared.h"
#include "platform/host/tests/scratch_dir.h"

namespace {

HostRunResult sh(const std::string& script, std::string_view folder = {}, std::size_t keep = 1024) {
  const std::vector<std::string> argv = {"/bin/sh", "-c", script};
  return host_run_and_wait(argv, folder, true, keep);
}

TEST(HostProcessTest, OutputAndErrorShareThePipeAndTheFolderIsTheProgramsOwn) {
  ScratchDir dir;
  const HostRunResult r = sh("pwd; echo to-error >&2; exit 3", dir.path());
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exit_status, 3);
  EXPECT_EQ(r.output, std::filesystem::canonical(dir.path()).string() + "\nto-error\n");
}

TEST(HostProcessTest, ATalkativeProgramIsDrainedAndOnlyTheFirstBytesKept) {
  // 300 KiB: far more than a pipe holds, so a wait without reading would hang.
  const HostRunResult r = sh("i=0; while [ $i -lt 3000 ]; do printf '%0100d' $i; i=$((i+1)); done; exit 0", {}, 1024);
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.output.size(), 1024u);
  EXPECT_EQ(r.output.substr(0, 100), std::string(100, '0'));
}

TEST(HostProcessTest, AChildThatKeepsThePipeDoesNotHoldTheWait) {
  ScratchDir dir;
  // The background child holds the pipe until the file appears; the wait
  // must end with the program itself, and the test then releases the child.
  const std::string flag = dir.path() + "/release";
  const HostRunResult r =
      sh("(while [ -d " + dir.path() + " ] && [ ! -e " + flag + " ]; do sleep 0.05; done) & echo started");
  dir.write("release", "");
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.output, "started\n");
}

TEST(HostProcessTest, StartFailuresTellWhy) {
  ScratchDir dir;
  dir.write("not-executable", "#!/bin/sh\n");
  const struct {
    std::string program;
    int error;
  } cases[] = {{dir.path() + "/missing", ENOENT}, {dir.path() + "/not-executable", EACCES}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program);
    const std::vector<std::string> argv = {c.program};
    const HostRunResult r = host_run_and_wait(argv, {}, true, 16);
    EXPECT_FALSE(r.started);
    EXPECT_EQ(r.error, c.error);
  }
}

TEST(HostProcessTest, FindOnPathTakesTheFirstRegularFile) {
  ScratchDir a, b;
  a.write("tool/x", "");  // a folder of that name is passed over
  b.write("tool", "");
  const char* saved = getenv("PATH");
  const std::string old_path = saved ? saved : "";
  setenv("PATH", (a.path() + ":" + b.path()).c_str(), 1);
  EXPECT_EQ(host_find_on_path("tool"), b.path() + "/tool");
  EXPECT_EQ(host_find_on_path("none"), "");
  EXPECT_EQ(host_find_on_path("a/tool"), "");
  setenv("PATH", old_path.c_str(), 1);
}

TEST(HostSharedTest, CreatorAndOpenerSeeOneBlockAndTheNameGoesWithTheCreator) {
  const std::string name = "halv80-test-" + std::to_string(getpid());
  auto block = HostSharedBlock::create(name, 4112);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block->bytes().size(), 4112u);
  EXPECT_EQ(block->bytes()[4111], 0);
  EXPECT_EQ(HostSharedBlock::create(name, 16), nullptr);  // the name is taken
  EXPECT_EQ(HostSharedBlock::open(name, 8192), nullptr);  // smaller than asked
  {
    auto other = HostSharedBlock::open(name, 4112);
    ASSERT_NE(other, nullptr);
    other->bytes()[0] = 4;
  }
  EXPECT_EQ(block->bytes()[0], 4);
  block.reset();
  EXPECT_EQ(HostSharedBlock::open(name, 1), nullptr);
  EXPECT_EQ(HostSharedBlock::create("a/b", 16), nullptr);
}

}  // namespace
