// The disassembler against an independent one: every encoding of each
// opcode page, one instruction per 8-byte slot, through our decoder and
// through the binutils Z80 objdump; after normalising numbers, case and
// blanks the two must agree except for the explained differences below.
#include "halv80/engine/dis_z80.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/tests/engine_fixture.h"
#include "halv80/engine/tests/mnemonic_text.h"
#include "halv80/symbols/sym_store.h"
#include "platform/host/tests/scratch_dir.h"

namespace {

using Bytes = std::vector<u8>;
constexpr std::size_t kSlot = 8;

// A page: the bytes before the opcode, and the bytes after it.
struct Page {
  const char* name;
  Bytes prefix;
  Bytes after;      // operand bytes (after the opcode; for DD CB / FD CB the displacement comes first)
  bool op_last;     // DD CB d op: the opcode after the displacement
  const char* machine;
};

const Page kPages[] = {
    {"main", {}, {0x12, 0x34, 0x56}, false, "z80"},
    {"CB", {0xCB}, {}, false, "z80"},
    {"DD", {0xDD}, {0x12, 0x34, 0x56}, false, "z80"},
    {"FD", {0xFD}, {0x12, 0x34, 0x56}, false, "z80"},
    {"DDCB", {0xDD, 0xCB, 0x05}, {}, true, "z80"},
    {"FDCB", {0xFD, 0xCB, 0xFB}, {}, true, "z80"},
    {"ED", {0xED}, {0x12, 0x34, 0x56}, false, "z180"},
};

std::vector<std::string> tokens(const std::string& text) { return split_instruction_text(text, false); }

// Our text: numbers are hexadecimal digits (two, or three with a leading 0,
// or four; an index displacement too); one-letter and register-pair tokens
// are names. objdump writes displacements in decimal and the rest with "0x":
// both sides become decimal.
std::string normalise_ours(const std::string& text) {
  if (text == "????") return "invalid";
  std::string out;
  const std::vector<std::string> t = tokens(text);
  for (std::size_t i = 0; i < t.size(); ++i) {
    const std::string& w = t[i];
    const bool number =
        i > 0 && all_hex(w) && (w.size() >= 3 || (w.size() == 2 && w != "af" && w != "bc" && w != "de"));
    out += number ? std::to_string(std::stoul(w, nullptr, 16)) : w;
    out += ' ';
  }
  return out;
}

// objdump's text: "0x" numbers, decimal displacements and digits.
std::string normalise_objdump(const std::string& text) {
  if (text.rfind("defb", 0) == 0 || text.rfind(".byte", 0) == 0) return "invalid";
  std::string out;
  for (const std::string& w : tokens(text)) {
    if (w.rfind("0x", 0) == 0 && w.size() > 2)
      out += std::to_string(std::stoul(w.substr(2), nullptr, 16));
    else
      out += w;
    out += ' ';
  }
  return out;
}

struct Line {
  std::string text;
  u16 length = 0;
};

// objdump's lines by address.
std::map<u32, Line> objdump(const std::string& file, const char* machine) {
  std::map<u32, Line> lines;
  const std::string command = std::string("z80-unknown-coff-objdump -D -b binary -m ") + machine + " " + file + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return lines;
  char buffer[512];
  while (fgets(buffer, sizeof buffer, pipe) != nullptr) {
    // "  1a:\tdd 7e 12    \tld a,(ix+18)"
    std::string line = buffer;
    if (!line.empty() && line.back() == '\n') line.pop_back();
    const std::size_t colon = line.find(":\t");
    if (colon == std::string::npos) continue;
    const std::size_t tab = line.find('\t', colon + 2);
    if (tab == std::string::npos) continue;
    char* end = nullptr;
    const unsigned long address = std::strtoul(line.c_str(), &end, 16);
    if (end == line.c_str()) continue;
    Line l;
    const std::string bytes = line.substr(colon + 2, tab - colon - 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 3)
      if (std::isxdigit(static_cast<unsigned char>(bytes[i]))) ++l.length;
    l.text = line.substr(tab + 1);
    lines[u32(address)] = l;
  }
  pclose(pipe);
  return lines;
}

// The explained differences: what objdump decodes and this system does not
// (undocumented SLI, the IXH/IXL/IYH/IYL halves, the DD CB register-copy
// forms), and the ED codes the two read differently (ED 30/31/70/71: IN0 and
// OUT0 with register field 6, IN and OUT with register 6; ED 82/8A/92/9A).
bool explained(const std::string& page, u8 op, const std::string& theirs) {
  if (theirs.find("sli") != std::string::npos) return true;
  for (const char* half : {"ixh", "ixl", "iyh", "iyl"})
    if (theirs.find(half) != std::string::npos) return true;
  if ((page == "DDCB" || page == "FDCB") && (op & 7) != 6) return true;
  if (page == "ED" && (op == 0x30 || op == 0x31 || op == 0x70 || op == 0x71 || op == 0x82 || op == 0x8A ||
                       op == 0x92 || op == 0x9A))
    return true;
  return false;
}

TEST(DisReferenceTest, EveryEncodingAgreesWithObjdump) {
  reset_engine_state();
  sym_reset();
  Cfg.CpuType = kCpu64180;  // the HD64180 additions are decoded for every Z80-family CPU
  ScratchDir dir;
  std::vector<std::string> unexplained;
  for (const Page& page : kPages) {
    Bytes image;
    for (u32 op = 0; op < 256; ++op) {
      Bytes slot = page.prefix;
      if (page.op_last) {
        slot.push_back(u8(op));
      } else {
        slot.push_back(u8(op));
        slot.insert(slot.end(), page.after.begin(), page.after.end());
      }
      slot.resize(kSlot, 0x00);
      image.insert(image.end(), slot.begin(), slot.end());
    }
    const std::string name = std::string(page.name) + ".bin";
    dir.write(name, std::string(image.begin(), image.end()));
    const std::map<u32, Line> theirs = objdump(dir.path() + "/" + name, page.machine);
    ASSERT_FALSE(theirs.empty()) << "z80-unknown-coff-objdump is needed (binutils-z80)";
    for (u32 op = 0; op < 256; ++op) {
      const u32 at = op * kSlot;
      // prefixes are pages of their own
      if (std::string(page.name) == "main" && (op == 0xCB || op == 0xDD || op == 0xED || op == 0xFD)) continue;
      if ((std::string(page.name) == "DD" || std::string(page.name) == "FD") && op == 0xCB) continue;
      std::memcpy(Dis.Buffer, &image[at], kSlot);
      std::memset(Dis.Buffer + kSlot, 0, sizeof Dis.Buffer - kSlot);
      std::string text;
      const u16 length = dis_line(u16(at), text);
      const auto it = theirs.find(at);
      const std::string their_text = it == theirs.end() ? "" : it->second.text;
      const std::string a = normalise_ours(text);
      const std::string b = normalise_objdump(their_text);
      const bool same = a == b && (a == "invalid" || it->second.length == length);
      if (same || explained(page.name, u8(op), their_text)) continue;
      char where[32];
      std::snprintf(where, sizeof where, "%s %02X: ", page.name, unsigned(op));
      unexplained.push_back(where + text + " | " + their_text);
    }
  }
  EXPECT_TRUE(unexplained.empty()) << unexplained.size() << " differences, the first:\n"
                                   << [&] {
                                        std::string s;
                                        for (std::size_t i = 0; i < unexplained.size() && i < 40; ++i)
                                          s += unexplained[i] + "\n";
                                        return s;
                                      }();
}

}  // namespace
