// A stand-in for the monitor assembler in the build runner's tests. Started
// as the install folder's mon80.EXE, it writes what it was given into
// "fake.log" in its folder (arguments, PATH, PROMPT), then does what the
// test asked through its environment:
//   FAKE_VAVADA_STATUS  status word to put in the block (decimal or 0x..)
//   FAKE_VAVADA_CODE    error code to put in the block
//   FAKE_VAVADA_TEXT    text to put in the block; "@full" fills all 4096 bytes
//   FAKE_VAVADA_IMAGE   a file name to write (the monitor image)
// Without a block to open it ends with status 2.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/host/host_shared.h"
#include "rz7set/mon_status.h"

namespace {

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

void put32(std::span<u8> block, std::size_t at, u32 v) {
  for (int i = 0; i < 4; ++i) block[at + i] = u8(v >> (8 * i));
}

}  // namespace

int main(int argc, char** argv) {
  std::ofstream log("fake.log", std::ios::binary);
  for (int i = 1; i < argc; ++i) log << "arg " << argv[i] << "\n";
  log << "PATH " << env("PATH") << "\n";
  log << "PROMPT " << env("PROMPT") << "\n";
  log.close();

  auto block = HostSharedBlock::open(env(std::string(kMonStatusNameVar).c_str()), kMonStatusSize);
  if (!block) {
    std::fprintf(stderr, "fake_vavada: no status block\n");
    return 2;
  }
  const std::span<u8> bytes = block->bytes();
  put32(bytes, kMonStatusWordAt, u32(std::strtoul(env("FAKE_VAVADA_STATUS").c_str(), nullptr, 0)));
  put32(bytes, kMonErrorCodeAt, u32(std::strtoul(env("FAKE_VAVADA_CODE").c_str(), nullptr, 0)));
  const std::string text = env("FAKE_VAVADA_TEXT");
  if (text == "@full") {
    std::memset(bytes.data() + kMonTextAt, 'x', kMonTextSize);
  } else {
    std::memcpy(bytes.data() + kMonTextAt, text.data(), std::min(text.size(), kMonTextSize - 1));
  }
  if (!env("FAKE_VAVADA_IMAGE").empty()) std::ofstream(env("FAKE_VAVADA_IMAGE"), std::ios::binary) << "image";
  return 0;
}
