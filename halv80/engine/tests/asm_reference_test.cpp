// The line assembler and the Intel mnemonics against independent tools:
// every encoding that the disassembler shows, as text, through the binutils
// Z80 assembler (-march=z180) back to its bytes; and the Intel opcode table,
// all 256 opcodes, against dz80 -85, whose text our assembler must turn back
// into the same bytes. Numbers, case and blanks are normalised first.
#include <gtest/gtest.h>
#include <stdio.h>

#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "halv80/engine/asm_z80.h"
#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/dis_z80.h"
#include "halv80/engine/tests/engine_fixture.h"
#include "halv80/engine/tests/mnemonic_text.h"
#include "halv80/symbols/sym_store.h"
#include "platform/host/tests/scratch_dir.h"

namespace {

using Bytes = std::vector<u8>;
constexpr std::size_t kSlot = 8;

// The output of a shell command, and whether it ran to a zero exit.
struct ToolRun {
  std::string output;
  bool ok = false;
};
ToolRun run(const std::string& command) {
  ToolRun r;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return r;
  char buffer[512];
  while (fgets(buffer, sizeof buffer, pipe) != nullptr) r.output += buffer;
  r.ok = pclose(pipe) == 0;
  return r;
}

bool tool_exists(const char* name) { return run(std::string("command -v ") + name).ok; }

std::vector<std::string> split(const std::string& text) { return split_instruction_text(text, true); }

// In our operands a number is hex digits, two or more (register pairs whose
// names are hex digits aside), or a single decimal digit; one letter is a
// register.
bool our_number(const std::string& w) {
  if (w.size() == 1) return std::isdigit(static_cast<unsigned char>(w[0])) != 0;
  return all_hex(w) && w != "AF" && w != "BC" && w != "DE";
}

// --- the binutils assembler ------------------------------------------------

// Our Zilog text in the binutils syntax: numbers with "0x"; a relative
// jump's target as an offset from the section's start, which the assembler
// needs to reach it from a relocatable section.
std::string binutils_text(const std::string& text) {
  const std::vector<std::string> w = split(text);
  const bool relative = !w.empty() && (w[0] == "JR" || w[0] == "DJNZ");
  std::string out = w.empty() ? "" : w[0] + " ";
  for (std::size_t i = 1; i < w.size(); ++i) {
    if (our_number(w[i])) {
      out += (relative && i + 1 == w.size() ? "start+0x" : "0x") + w[i];
    } else {
      out += w[i];
    }
  }
  return out;
}

struct Encoding {
  std::string where;  // page and opcode
  std::string text;   // our disassembly
  Bytes bytes;
  u16 address;
};

TEST(AsmReferenceTest, DisassemblyThroughTheBinutilsAssembler) {
  ASSERT_TRUE(tool_exists("z80-unknown-coff-as") && tool_exists("z80-unknown-coff-objcopy"))
      << "z80-unknown-coff-as and z80-unknown-coff-objcopy are needed (package binutils-z80)";
  reset_engine_state();
  sym_reset();
  Cfg.CpuType = kCpu64180;
  Sw.MnemonicSet = 1;
  struct Page {
    const char* name;
    Bytes prefix;
    bool op_last;
  };
  const Page pages[] = {
      {"main", {}, false}, {"CB", {0xCB}, false},       {"DD", {0xDD}, false}, {"FD", {0xFD}, false},
      {"ED", {0xED}, false}, {"DDCB", {0xDD, 0xCB}, true}, {"FDCB", {0xFD, 0xCB}, true},
  };
  const Bytes operands = {0xDE, 0x80, 0xBC};
  std::vector<Encoding> all;
  for (const Page& page : pages) {
    for (u32 op = 0; op < 256; ++op) {
      const Bytes code = page_encoding(page.prefix, page.op_last, u8(op), operands);
      std::memset(Dis.Buffer, 0, sizeof Dis.Buffer);
      std::memcpy(Dis.Buffer, code.data(), code.size());
      const u16 address = u16(0x1000 + all.size() * kSlot);
      std::string text;
      const u16 length = dis_line(address, text);
      if (text == "????") continue;
      char where[16];
      std::snprintf(where, sizeof where, "%s %02X", page.name, unsigned(op));
      all.push_back({where, text, Bytes(code.begin(), code.begin() + length), address});
    }
  }
  ScratchDir dir;
  // First round: which lines the assembler refuses (it names them by line).
  std::set<std::size_t> refused;
  for (int round = 0; round < 2; ++round) {
    std::string source = "start:\n";
    std::map<std::size_t, std::size_t> line_of;  // source line -> encoding
    std::size_t line = 1;
    for (std::size_t i = 0; i < all.size(); ++i) {
      if (refused.count(i)) continue;
      char org[32];
      std::snprintf(org, sizeof org, " .org 0x%04X\n", unsigned(all[i].address));
      source += org;
      source += " " + binutils_text(all[i].text) + "\n";
      line += 2;
      line_of[line] = i;
    }
    dir.write("all.s", source);
    const std::string s = dir.path() + "/all.s", o = dir.path() + "/all.o", b = dir.path() + "/all.bin";
    const ToolRun as = run("z80-unknown-coff-as -march=z180 -o " + o + " " + s);
    if (round == 0) {
      std::size_t at = 0;
      while ((at = as.output.find("all.s:", at)) != std::string::npos) {
        at += 6;
        const auto it = line_of.find(std::strtoul(as.output.c_str() + at, nullptr, 10));
        if (it != line_of.end()) refused.insert(it->second);
      }
      continue;
    }
    ASSERT_TRUE(as.ok) << as.output;
    ASSERT_TRUE(run("z80-unknown-coff-objcopy -O binary -j .text " + o + " " + b).ok);
  }
  // What binutils refuses: the decoder's readings of register field 6 in the
  // ED page (IN0 (HL),(n), OUT0 (n),(HL), IN (HL),(C), OUT (C),(HL)).
  std::set<std::string> refused_where;
  for (std::size_t i : refused) refused_where.insert(all[i].where);
  EXPECT_EQ(refused_where, (std::set<std::string>{"ED 30", "ED 31", "ED 70", "ED 71"}));
  // What it encodes otherwise: LD (nn),HL and LD HL,(nn) in their shorter
  // main-page forms.
  const std::set<std::string> shorter = {"ED 63", "ED 6B"};
  const std::string image = dir.read("all.bin");
  std::vector<std::string> wrong;
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (refused.count(i)) continue;
    const Encoding& e = all[i];
    const std::size_t at = e.address;
    const Bytes theirs = at + e.bytes.size() <= image.size()
                             ? Bytes(image.begin() + long(at), image.begin() + long(at + e.bytes.size()))
                             : Bytes{};
    if (theirs != e.bytes && !shorter.count(e.where)) wrong.push_back(e.where + ": " + e.text);
  }
  EXPECT_GT(all.size(), 700u);
  EXPECT_TRUE(wrong.empty()) << wrong.size() << " lines, the first: " << wrong.front();
}

// --- dz80 ------------------------------------------------------------------

// dz80's numbers: "X1234" (a label named by its address), "34H" or "0CBH",
// and decimal digits ("RST 7", "DB 8").
bool dz80_number(const std::string& w, unsigned long& value) {
  if (w.size() == 5 && w[0] == 'X' && all_hex(w.substr(1))) {
    value = std::stoul(w.substr(1), nullptr, 16);
    return true;
  }
  if (w.size() >= 2 && w.back() == 'H' && std::isdigit(static_cast<unsigned char>(w[0])) &&
      all_hex(w.substr(0, w.size() - 1))) {
    value = std::stoul(w.substr(0, w.size() - 1), nullptr, 16);
    return true;
  }
  if (!w.empty() && w.find_first_not_of("0123456789") == std::string::npos) {
    value = std::stoul(w, nullptr, 10);
    return true;
  }
  return false;
}

// Both texts as tokens with the numbers in decimal; "invalid" for a byte
// that has no instruction.
std::string normalise_ours(const std::string& text) {
  if (text == "????") return "invalid";
  std::string out;
  const std::vector<std::string> w = split(text);
  for (std::size_t i = 0; i < w.size(); ++i)
    out += (i > 0 && our_number(w[i]) ? std::to_string(std::stoul(w[i], nullptr, 16)) : w[i]) + " ";
  return out;
}
std::string normalise_dz80(const std::string& text) {
  const std::vector<std::string> w = split(text);
  if (!w.empty() && w[0] == "DB") return "invalid";
  std::string out;
  for (const std::string& t : w) {
    unsigned long v = 0;
    out += (dz80_number(t, v) ? std::to_string(v) : t) + " ";
  }
  return out;
}
// dz80's text in our syntax: its numbers as our hex digits.
std::string dz80_as_ours(const std::string& text) {
  const std::vector<std::string> w = split(text);
  std::string out;
  for (std::size_t i = 0; i < w.size(); ++i) {
    unsigned long v = 0;
    if (i > 0 && dz80_number(w[i], v)) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "%lX", v);
      out += hex;
    } else {
      out += w[i];
    }
    if (i == 0) out += ' ';
  }
  return out;
}

struct Dz80Line {
  std::string text;
  std::size_t length = 0;
};

// dz80's lines by address: "\tLXI\tB,X1234\t\t; 0008  01 34 12\t.4."
std::map<u32, Dz80Line> dz80_lines(const std::string& listing) {
  std::map<u32, Dz80Line> lines;
  std::size_t start = 0;
  while (start < listing.size()) {
    std::size_t end = listing.find('\n', start);
    if (end == std::string::npos) end = listing.size();
    const std::string line = listing.substr(start, end - start);
    start = end + 1;
    const std::size_t semi = line.find(';');
    if (line.empty() || line[0] != '\t' || semi == std::string::npos || semi == 0) continue;
    unsigned address = 0;
    char bytes[64] = {};
    if (std::sscanf(line.c_str() + semi, "; %4x %63[0-9a-f ]", &address, bytes) != 2) continue;
    Dz80Line l;
    l.text = line.substr(1, semi - 1);
    for (const std::string& b : split(bytes)) l.length += b.size() == 2 ? 1 : 0;
    lines[address] = l;
  }
  return lines;
}

TEST(AsmReferenceTest, IntelTableAgreesWithDz80BothWays) {
  ASSERT_TRUE(tool_exists("dz80")) << "dz80 is needed (package d52)";
  reset_engine_state();
  sym_reset();
  Cfg.CpuType = kCpu8080;
  Sw.MnemonicSet = 0;
  // dz80 shows nothing for zero bytes that no instruction runs into: a slot
  // of CMC (3F) first, and 3F after every opcode and its operand bytes.
  constexpr u8 kFill = 0x3F;
  std::string image(kSlot, char(kFill));
  for (u32 op = 0; op < 256; ++op) {
    const u8 slot[kSlot] = {u8(op), 0x34, 0x12, kFill, kFill, kFill, kFill, kFill};
    image.append(reinterpret_cast<const char*>(slot), kSlot);
  }
  ScratchDir dir;
  dir.write("all.bin", image);
  const ToolRun dz = run("cd " + dir.path() + " && dz80 -85 -d -u -b all");
  ASSERT_TRUE(dir.exists("all.d85")) << dz.output;
  const std::map<u32, Dz80Line> theirs = dz80_lines(dir.read("all.d85"));
  std::vector<std::string> wrong;
  for (u32 op = 0; op < 256; ++op) {
    const u32 at = u32(kSlot + op * kSlot);
    char where[8];
    std::snprintf(where, sizeof where, "%02X", unsigned(op));
    std::memset(Dis.Buffer, 0, sizeof Dis.Buffer);
    std::memcpy(Dis.Buffer, image.data() + at, kSlot);
    const Bytes code(Dis.Buffer, Dis.Buffer + 3);
    std::string ours;
    const u16 length = dis_line(u16(at), ours);
    const auto it = theirs.find(at);
    if (it == theirs.end()) {
      wrong.push_back(std::string(where) + ": dz80 shows nothing");
      continue;
    }
    const Dz80Line& their = it->second;
    const std::string a = normalise_ours(ours), b = normalise_dz80(their.text);
    if (a != b || (a != "invalid" && length != their.length)) {
      wrong.push_back(std::string(where) + ": " + ours + " | " + their.text);
      continue;
    }
    if (a == "invalid") continue;
    // and dz80's text back through our assembler
    const std::string line = dz80_as_ours(their.text);
    cmd_set_command_line(line);
    const u16 assembled = asm_line(u16(at));
    if (Cmd.AbortFlag != 0 || Bytes(Dis.Buffer, Dis.Buffer + assembled) != Bytes(code.begin(), code.begin() + length))
      wrong.push_back(std::string(where) + ": " + line + " does not assemble back");
  }
  EXPECT_TRUE(wrong.empty()) << wrong.size() << " opcodes, the first: " << wrong.front();
}

}  // namespace
