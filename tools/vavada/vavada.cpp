// vavada: the monitor assembler. Builds the monitor program file that the
// debugger loads (the format of halv80/engine/emu_boot.h) from a monitor
// source written for the binutils Z80 assembler, in four phases:
//   Filter  the source as the assembler takes it: LF line ends, nothing after
//           an end-of-file byte; written as NAME.SRC
//   PASS1   assembled, with the listing NAME.PRN
//   PASS2   linked at 0 into the image, whose bytes are the monitor area's
//           banks in file order; the header's fields come from the source's
//           absolute symbols (below)
//   Finish  NAME.qqn: the 32-byte header, zeros up to offset 64, the image
// The source defines, as absolute symbols: mon_code_address (required: a
// multiple of 128 below 10000H), mon_nmi_slot, mon_nmi_entry,
// mon_break_entry, mon_position, and optionally mon_cpu (default 1, Z80) and
// mon_handshake (default 0).
//
// Usage: vavada SOURCE [-Z]
// With -Z the outcome goes into the setup program's status block
// (rz7set/mon_status.h), named by VAVADA_FILEMAP or else "VAVADA-filemap";
// without it, failures are told on standard error only. Exit status 0 when
// the monitor file was made, 1 when a phase failed, 2 when the status block
// could not be opened or the command line is wrong.
//
// The binutils programs: a settings file beside this program, named like it
// with ".out" (mon80.OUT beside mon80.EXE), may give on its first line the
// prefix they are found under ("/usr/bin/z80-unknown-coff-"); an empty or
// missing file means "z80-unknown-coff-" along PATH.
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "halv80/engine/emu_boot.h"
#include "platform/host/host_env.h"
#include "platform/host/host_file.h"
#include "platform/host/host_process.h"
#include "platform/host/host_shared.h"
#include "platform/host/host_text.h"
#include "rz7set/mon_status.h"

namespace {

constexpr std::string_view kDefaultPrefix = "z80-unknown-coff-";
constexpr std::size_t kSourceMax = 4 << 20;            // a monitor source is far smaller
constexpr std::size_t kImageMax = 126 * kMonitorChunk;  // the banks the monitor area gives the image
constexpr u32 kMonitorBlock = 2 * kMonitorChunk;
constexpr u8 kCpuZ80 = 1;

struct Failure {
  MonPhase phase;
  MonError code;
  std::string text;  // UTF-8
};

// The status block, when -Z asked for it.
std::unique_ptr<HostSharedBlock> Status;

void put32(std::size_t at, u32 v) { store_le32(Status->bytes().data() + at, v); }

void report_done() {
  if (Status) put32(kMonStatusWordAt, kMonStatusDone);
}

int report(const Failure& f) {
  std::fprintf(stderr, "vavada: %s\n", f.text.c_str());
  if (!Status) return 1;
  const std::string text = host_utf8_to_cp932(f.text);
  const std::size_t n = std::min(text.size(), kMonTextSize - 1);
  std::memcpy(Status->bytes().data() + kMonTextAt, text.data(), n);
  Status->bytes()[kMonTextAt + n] = 0;
  put32(kMonErrorCodeAt, u32(f.code));
  put32(kMonStatusWordAt, kMonStatusFailed | u32(f.phase));  // last: the rest is in place
  return 1;
}

bool read_file(const std::string& path, std::string& out, std::size_t max) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.clear();
  std::array<char, 65536> chunk;
  while (in.read(chunk.data(), chunk.size()) || in.gcount() > 0) {
    out.append(chunk.data(), std::size_t(in.gcount()));
    if (out.size() > max) return false;
  }
  return !in.bad();
}

bool write_file(const std::string& path, std::string_view bytes) {
  return host_write_file_atomic(host_system_path(path), {reinterpret_cast<const u8*>(bytes.data()), bytes.size()});
}

// The binutils program `tool` under the settings' prefix: a path, or the
// first along PATH for a bare prefix. Empty when it is nowhere.
std::string tool_path(const std::string& prefix, std::string_view tool) {
  const std::string name = prefix + std::string(tool);
  if (name.find('/') != std::string::npos) return name;
  return host_find_on_path(name);
}

std::string read_prefix(const char* argv0) {
  // started by a bare name: the program is the one along PATH
  const std::string_view name = argv0;
  std::filesystem::path self(name.find('/') == std::string_view::npos ? host_find_on_path(name) : std::string(name));
  std::filesystem::path settings = self;
  settings.replace_extension(".out");
  // the settings file's name is matched without regard to case, as the setup program looks for it
  const std::string found = host_map_path(host_system_path(settings.string()));
  std::string text;
  if (!read_file(found, text, 4096)) return std::string(kDefaultPrefix);
  const std::size_t end = text.find_first_of("\r\n");
  std::string line = text.substr(0, end);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
  return line.empty() ? std::string(kDefaultPrefix) : line;
}

std::optional<Failure> run_tool(const std::string& prefix, std::string_view tool, std::vector<std::string> args,
                                MonPhase phase) {
  const std::string program = tool_path(prefix, tool);
  if (program.empty()) return Failure{phase, MonError::Error, "no " + prefix + std::string(tool) + " to run"};
  args.insert(args.begin(), program);
  const HostRunResult run = host_run_and_wait(args, {}, true, kMonTextSize - 1);
  if (!run.started) return Failure{phase, MonError::Error, "cannot start " + program};
  if (run.exit_status != 0) return Failure{phase, MonError::Asm, run.output};
  return std::nullopt;
}

// The source as the assembler takes it: CR LF and lone CR become LF, an
// end-of-file byte ends it; a zero byte is refused.
std::optional<Failure> filter(const std::string& source, std::string& out) {
  out.clear();
  std::size_t line = 1;
  for (std::size_t i = 0; i < source.size(); ++i) {
    const char c = source[i];
    if (c == '\x1A') break;
    if (c == '\0') return Failure{MonPhase::Filter, MonError::Filter, "zero byte in line " + std::to_string(line)};
    if (c == '\r') {
      if (i + 1 < source.size() && source[i + 1] == '\n') continue;
      out += '\n';
    } else {
      out += c;
    }
    if (c == '\n' || c == '\r') ++line;
  }
  if (!out.empty() && out.back() != '\n') out += '\n';
  return std::nullopt;
}

struct MonitorSymbols {
  std::optional<u32> code_address, nmi_slot, nmi_entry, break_entry, position, cpu, handshake;
};

// Reads the absolute symbols "VALUE A NAME" of nm's output.
MonitorSymbols parse_symbols(std::string_view listing) {
  MonitorSymbols s;
  const struct {
    std::string_view name;
    std::optional<u32> MonitorSymbols::*field;
  } names[] = {{"mon_code_address", &MonitorSymbols::code_address}, {"mon_nmi_slot", &MonitorSymbols::nmi_slot},
               {"mon_nmi_entry", &MonitorSymbols::nmi_entry},       {"mon_break_entry", &MonitorSymbols::break_entry},
               {"mon_position", &MonitorSymbols::position},         {"mon_cpu", &MonitorSymbols::cpu},
               {"mon_handshake", &MonitorSymbols::handshake}};
  while (!listing.empty()) {
    const std::size_t end = listing.find('\n');
    const std::string line(listing.substr(0, end));
    listing.remove_prefix(end == std::string_view::npos ? listing.size() : end + 1);
    char kind = 0;
    char name[128] = {};
    unsigned long value = 0;
    if (std::sscanf(line.c_str(), "%lx %c %127s", &value, &kind, name) != 3 || kind != 'A') continue;
    for (const auto& n : names)
      if (n.name == name) s.*(n.field) = u32(value);
  }
  return s;
}

std::optional<Failure> make_header(const MonitorSymbols& s, MonitorFileHeader& h) {
  if (!s.code_address || *s.code_address == 0 || *s.code_address % kMonitorBlock != 0 ||
      *s.code_address > 0x10000 - kMonitorBlock)
    return Failure{MonPhase::Pass2, MonError::OrgAddress,
                   "mon_code_address must be a multiple of 128 from 80H to FF80H"};
  const struct {
    const char* name;
    const std::optional<u32>& value;
  } required[] = {{"mon_nmi_slot", s.nmi_slot},
                  {"mon_nmi_entry", s.nmi_entry},
                  {"mon_break_entry", s.break_entry},
                  {"mon_position", s.position}};
  for (const auto& r : required) {
    if (!r.value) return Failure{MonPhase::Pass2, MonError::Asm, std::string(r.name) + " is not defined"};
    if (*r.value > 0xFFFF) return Failure{MonPhase::Pass2, MonError::Asm, std::string(r.name) + " is above FFFFH"};
  }
  const u32 cpu = s.cpu.value_or(kCpuZ80);
  const u32 handshake = s.handshake.value_or(0);
  if (cpu > 0xFF) return Failure{MonPhase::Pass2, MonError::Asm, "mon_cpu is above FFH"};
  if (handshake > kHandshakeModeMax) return Failure{MonPhase::Pass2, MonError::Asm, "mon_handshake is above 2"};
  h = MonitorFileHeader{};
  h.format = kMonitorFileFormat;
  h.cpu_family = u8(cpu);
  h.code_address.set(*s.code_address);
  h.nmi_slot.set(u16(*s.nmi_slot));
  h.nmi_entry.set(u16(*s.nmi_entry));
  h.break_entry.set(u16(*s.break_entry));
  h.position.set(u16(*s.position));
  h.handshake_mode = u8(handshake);
  return std::nullopt;
}

std::optional<Failure> build(const char* argv0, const std::string& source_name) {
  const std::string prefix = read_prefix(argv0);
  const std::string stem = std::filesystem::path(source_name).replace_extension().string();
  const std::string src = stem + ".SRC", prn = stem + ".PRN", obj = stem + ".o", bin = stem + ".bin",
                    image = stem + ".qqn";

  std::string source, filtered;
  const std::string source_path = host_map_path(host_system_path(source_name));
  if (!read_file(source_path, source, kSourceMax))
    return Failure{MonPhase::Filter, MonError::Open, "cannot read " + source_name};
  if (auto f = filter(source, filtered)) return f;
  if (!write_file(src, filtered)) return Failure{MonPhase::Filter, MonError::Create, "cannot write " + src};

  // The intermediate files go whatever happens next.
  struct Cleanup {
    std::vector<std::string> names;
    ~Cleanup() {
      for (const std::string& n : names) std::remove(n.c_str());
    }
  } cleanup{{obj, bin}};
  if (auto f = run_tool(prefix, "as", {"-a=" + prn, "-o", obj, src}, MonPhase::Pass1)) return f;
  if (auto f = run_tool(prefix, "ld", {"-Ttext=0", "--oformat", "binary", "-o", bin, obj}, MonPhase::Pass2)) return f;
  const std::string nm = tool_path(prefix, "nm");
  const std::vector<std::string> nm_args = {nm, obj};
  const HostRunResult symbols = nm.empty() ? HostRunResult{} : host_run_and_wait(nm_args, {}, true, 1 << 20);
  if (!symbols.started || symbols.exit_status != 0)
    return Failure{MonPhase::Pass2, MonError::Error, "cannot read the symbols of " + obj};
  MonitorFileHeader header{};
  if (auto f = make_header(parse_symbols(symbols.output), header)) return f;
  std::string bytes;
  if (!read_file(bin, bytes, kImageMax)) {
    return Failure{MonPhase::Pass2, MonError::InternalFull,
                   "the image does not fit the monitor area's " + std::to_string(kImageMax) + " bytes"};
  }
  if (bytes.empty()) return Failure{MonPhase::Pass2, MonError::Asm, "the image is empty"};

  std::string file(kMonitorImageOffset, '\0');
  std::memcpy(file.data(), &header, sizeof header);
  file += bytes;
  if (!write_file(image, file)) return Failure{MonPhase::Finish, MonError::Create, "cannot write " + image};
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  std::string source;
  bool status_block = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "-Z" || a == "-z") {
      status_block = true;
    } else if (source.empty() && !a.starts_with("-")) {
      source = a;
    } else {
      source.clear();
      break;
    }
  }
  if (source.empty()) {
    std::fprintf(stderr, "usage: vavada SOURCE [-Z]\n");
    return 2;
  }
  if (status_block) {
    const std::string name = host_env_lookup(kMonStatusNameVar).value_or(std::string(kMonStatusName));
    Status = HostSharedBlock::open(name, kMonStatusSize);
    if (!Status) {
      std::fprintf(stderr, "vavada: memory mapped file error (%s)\n", name.c_str());
      return 2;
    }
  }
  if (const auto failure = build(argv[0], source)) return report(*failure);
  report_done();
  return 0;
}
