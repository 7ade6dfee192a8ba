// RD and WR. The record decoders and the line cutter are pure; ProgramLoader
// is the sink that places the records in target memory, and with its write
// flag clear it makes the same address checks without touching the target.
// Every count and address read from a file is checked before it is used.
#include "halv80/symbols/rd_program.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/emu_areas.h"
#include "halv80/engine/reg_registers.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/sup_paths.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/sym_source.h"
#include "platform/host/host_file.h"
#include "platform/host/host_text.h"

constinit RdState Rd;

namespace {

constexpr u32 kAddressSpace = 0x10000;  // one past the last 16-bit address
constexpr std::size_t kWritePiece = 1024;    // target bytes read at once by WR's text forms
constexpr std::size_t kHexOutRecord = 16;    // data bytes of a HEX record written
constexpr std::size_t kSrecOutRecord = 32;   // data bytes of an S1 record written
constexpr u8 kEndOfFileMark = 0x1A;

// Two-digit hexadecimal bytes from the front of a record text; a byte that
// does not fit, or a character that is no digit, leaves the text alone.
class HexDigits {
 public:
  explicit HexDigits(std::string_view text) : text_(text) {}
  std::size_t bytes_left() const { return text_.size() / 2; }
  // The next byte, added to the sum.
  bool byte(u8& out) {
    if (text_.size() < 2) return false;
    const int high = digit(text_[0]);
    const int low = digit(text_[1]);
    if (high < 0 || low < 0) return false;
    out = u8(high << 4 | low);
    sum += out;
    text_.remove_prefix(2);
    return true;
  }
  u8 sum = 0;  // low byte of the sum of the bytes taken

 private:
  static int digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  }
  std::string_view text_;
};

u16 be16(const u8* p) { return u16(p[0] << 8 | p[1]); }
u32 be32(const u8* p) { return u32(p[0]) << 24 | u32(p[1]) << 16 | u32(p[2]) << 8 | p[3]; }

// A data record stays below 0x10000.
bool data_fits(u32 address, u32 count) { return address < kAddressSpace && count <= kAddressSpace - address; }

// Address bytes of each S-record type; 0 for the types that are refused.
constexpr u8 SrecAddressBytes[10] = {2, 2, 3, 4, 0, 2, 0, 4, 3, 2};

// Places the records in target memory (or, with `write` clear, only checks
// where they would go), shows the runs of addresses written, and keeps the
// start address.
class ProgramLoader final : public RdRecordSink {
 public:
  ProgramLoader(bool write, u16 form, u32 offset, bool offset_given)
      : write_(write), form_(form), mmu_(Cfg.MmuKind != kMmuNone) {
    // With memory management a load offset is the first record's segment base.
    if (mmu_) {
      pending_ = offset_given;
      pending_base_ = offset;
    } else {
      offset_ = offset;
    }
  }

  RdStatus take(const RdRecord& r) override {
    switch (r.kind) {
      case kRdRecordData:
        return take_data(r);
      case kRdRecordBase:
        if (mmu_) {
          pending_ = true;
          pending_base_ = r.address;
        } else {
          base_ = r.address;
        }
        return RdStatus::Reading;
      case kRdRecordStart:
        start_ = u16(r.address);
        start_given_ = true;
        return RdStatus::Reading;
      default:  // the end
        close_run();
        if (write_ && form_ == kRdIntelHex) reg_set(kRegPC, start_given_ ? start_ : u16(r.address));
        return RdStatus::Reading;
    }
  }

  // After the last record, however the read ended: the open run is shown to
  // its end and the mapping in force before the read comes back.
  void finish() {
    close_run();
    if (write_ && mapped_) tgt_restore_bank_map();
  }

 private:
  RdStatus take_data(const RdRecord& r) {
    if (r.count == 0) return RdStatus::Reading;
    u16 at = 0;
    bool new_segment = false;
    if (!mmu_) {
      // base + offset + address must lie in the 64 KiB the target has
      const u64 target = u64(base_) + offset_ + r.address;
      // beyond the 64 KiB: the file's base, or else the user's load offset, put it there
      if (target >= kAddressSpace || r.count > kAddressSpace - target)
        return base_ != 0 ? RdStatus::BadSegment : RdStatus::BadOffset;
      at = u16(target);
    } else {
      at = u16(r.address);
      bool map_now = false;
      u32 base = segment_base_;
      u16 window = segment_window_;
      if (pending_) {
        // a base waits for this record: map it, or cancel it below the window
        pending_ = false;
        window = TgtMmu.BankBase;
        if (at < window) {
          if (pending_base_ != 0) return RdStatus::BadSegment;
        } else {
          map_now = true;
          base = pending_base_;
        }
      }
      // a mapped record must lie in the 20-bit physical space
      if ((mapped_ || map_now) && at >= window && u64(base) + at + r.count - 1 > kMmuPhysicalMask)
        return RdStatus::BadRecord;
      if (map_now) {
        if (write_ && !tgt_map_bank_temporarily(base + window, window)) return RdStatus::BadRecord;
        segment_base_ = base;
        segment_window_ = window;
        mapped_ = true;
        new_segment = true;
      }
    }

    // nothing of a record goes into the monitor's area
    if (write_ && tgt_range_meets_monitor(at, r.count)) return RdStatus::MonitorArea;

    const bool follows_on = run_open_ && !new_segment && u32(at) == u32(run_last_) + 1;
    if (!follows_on) {
      // with kind 16, a segment-based load must be one run
      if (run_open_ && mapped_ && !new_segment && Sw.ToolchainKind == 16) return RdStatus::BadSegment;
      close_run();
      run_open_ = true;
      run_mapped_ = mapped_;
      if (write_) {
        con_printf("\n%04x - ", at);
        run_physical_start_ = tgt_to_physical(at);
      }
    }
    const std::span<const u8> bytes(r.data.data(), r.count);
    if (write_) {
      tgt_write_block(bytes, at);
      run_physical_last_ = tgt_to_physical(u16(at + r.count - 1));
    }
    run_last_ = u16(at + r.count - 1);
    return RdStatus::Reading;
  }

  // The open run's last address, and its physical range under the mapping.
  void close_run() {
    if (!run_open_) return;
    run_open_ = false;
    if (!write_) return;
    con_printf("%04x", run_last_);
    if (run_mapped_) con_printf(" (%08lx-%08lx)", run_physical_start_, run_physical_last_);
  }

  bool write_;
  u16 form_;
  bool mmu_;                 // the target has memory management
  u32 offset_ = 0;           // without memory management: added to every address
  u32 base_ = 0;             // without memory management: the 02/04 base in force
  bool pending_ = false;     // with memory management: a base waits for the next data record
  u32 pending_base_ = 0;
  bool mapped_ = false;      // a segment is mapped (or, checking, would be)
  u32 segment_base_ = 0;     // its base
  u16 segment_window_ = 0;   // its logical start: the bank window's
  bool start_given_ = false; // a start record set start_
  u16 start_ = 0;
  bool run_open_ = false;    // a run of addresses is being shown
  bool run_mapped_ = false;  // it lies under the mapping
  u16 run_last_ = 0;
  u32 run_physical_start_ = 0;
  u32 run_physical_last_ = 0;
};

// Binary: 512-byte blocks from the address on, cut at 0xFFFF.
RdStatus read_binary(bool write) {
  std::array<u8, kRdBlockSize> block{};
  const u16 start = u16(Rd.Offset);
  u32 at = start;
  RdStatus status = RdStatus::Complete;
  for (;;) {
    const i32 got = sup_file_read(Rd.Handle, block.data(), u32(block.size()));
    if (got <= 0) break;
    if (at >= kAddressSpace) {  // more data after 0xFFFF
      status = RdStatus::MemoryOver;
      break;
    }
    const u32 piece = std::min<u32>(u32(got), kAddressSpace - at);
    if (write) {
      if (tgt_range_meets_monitor(u16(at), piece)) return RdStatus::MonitorArea;
      tgt_write_block(std::span<const u8>(block.data(), piece), u16(at));
    }
    at += piece;
    if (piece < u32(got)) {
      status = RdStatus::MemoryOver;
      break;
    }
  }
  if (write) {
    if (status == RdStatus::MemoryOver) con_puts("\n Memmory Over !");
    con_printf(" at %04x - %04x", start, at > start ? at - 1 : start);
  }
  return status;
}

// Feeds a decoder from the open file in blocks; a read error ends the input.
RdStatus decode_file(RdDecoder& decoder) {
  std::array<u8, kRdBlockSize> block{};
  for (;;) {
    const i32 got = sup_file_read(Rd.Handle, block.data(), u32(block.size()));
    if (got <= 0) return decoder.finish();
    const RdStatus s = decoder.feed(std::span<const u8>(block.data(), std::size_t(got)));
    if (s != RdStatus::Reading) return s;
  }
}

// What the user sees of a read's outcome, with AbortFlag set on a failure.
void report(RdStatus s) {
  switch (s) {
    case RdStatus::Complete:
      con_puts("\nComplete");
      break;
    case RdStatus::NoEnd:
      con_puts("\nformat error");
      Cmd.AbortFlag = 1;
      break;
    case RdStatus::BadSegment:
      cmd_error(kMsgFileFormat);
      break;
    case RdStatus::MonitorArea:
      cmd_error(kMsgMonitorArea);
      break;
    case RdStatus::BadOffset:
      cmd_error(kMsgAddress);
      break;
    case RdStatus::MemoryOver:  // already shown
      Cmd.AbortFlag = 1;
      break;
    default:
      cmd_error(kMsgChecksum);
      break;
  }
}

// Restores the caller's command line and scanner when the operand's read ends.
class LineSwap {
 public:
  explicit LineSwap(std::string_view operand)
      : saved_(Cmd.CommandLine, strnlen(Cmd.CommandLine, kCommandLineSize)),
        cursor_(Cmd.ScannerCursor - Cmd.CommandLine) {
    const std::string copy(operand);  // the operand may lie in the line itself
    cmd_set_command_line(copy);
  }
  ~LineSwap() {
    cmd_set_command_line(saved_);
    if (cursor_ >= 0 && std::size_t(cursor_) < kCommandLineSize) Cmd.ScannerCursor = Cmd.CommandLine + cursor_;
  }
  LineSwap(const LineSwap&) = delete;
  LineSwap& operator=(const LineSwap&) = delete;

 private:
  std::string saved_;
  std::ptrdiff_t cursor_;
};

// Closes the open program file when the read ends, however it ends.
class ProgramFileCloser {
 public:
  ProgramFileCloser() = default;
  ~ProgramFileCloser() {
    if (Rd.Handle != -1) sup_file_close(Rd.Handle);
    Rd.Handle = -1;
  }
  ProgramFileCloser(const ProgramFileCloser&) = delete;
  ProgramFileCloser& operator=(const ProgramFileCloser&) = delete;
};

// The file name at the scanner, made absolute against the current folder:
// blanks skipped, up to ',' or the end, blanks before the ',' dropped; the
// scanner stops at the ',' or the end. False when it is empty or too long.
bool take_file_name(char (&path)[kRdPathSize]) {
  cmd_skip_blanks();
  const char* begin = Cmd.ScannerCursor;
  const char* end = begin;
  while (*end != '\0' && *end != ',') ++end;
  Cmd.ScannerCursor = end;
  while (end > begin && u8(end[-1]) < 0x21) --end;
  const std::size_t n = std::size_t(end - begin);
  if (n == 0 || n > kRdNameMax) return false;
  std::memcpy(path, begin, n);
  path[n] = '\0';
  return true;
}
static_assert(kRdPathSize > kRdNameMax);

// RD's operands after the name: ",/N" any number of times, and one value (a
// HEX load offset or a binary address, which binary needs). False when the
// form does not take what stands there.
bool read_options(u16 form) {
  Rd.Offset = 0;
  Rd.OffsetGiven = 0;
  for (;;) {
    cmd_skip_blanks();
    if (*Cmd.ScannerCursor == '\0') break;
    if (*Cmd.ScannerCursor != ',') return false;
    ++Cmd.ScannerCursor;
    cmd_skip_blanks();
    if (cmd_match_keyword("/N") == 0) continue;  // accepted; no effect
    if (form == kRdSRecord || Rd.OffsetGiven) return false;
    const u32 value = form == kRdBinary ? cmd_get_address() : cmd_get_expression();
    if (Cmd.AbortFlag || (form == kRdBinary && value >= kAddressSpace)) return false;
    Rd.Offset = value;
    Rd.OffsetGiven = 1;
  }
  return form != kRdBinary || Rd.OffsetGiven;
}

// WR's output through a 512-byte buffer into a replacement of the file;
// after a short write nothing more is written. Unless it is committed the new
// file is discarded when the object goes, an unwind too: the old file stays.
class OutputFile {
 public:
  explicit OutputFile(int handle) : handle_(handle) {}
  ~OutputFile() {
    if (handle_ != -1) sup_file_close(handle_);
  }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Flushes the buffer and puts the finished file in place: kCommitDone, or
  // kCommitUnwritten (a write came up short), or kCommitNotPlaced.
  int commit() {
    if (!flush()) return kCommitUnwritten;
    const int result = sup_file_commit(handle_);
    handle_ = -1;
    return result;
  }

  void put(std::span<const u8> bytes) {
    for (const u8 b : bytes) {
      if (fill_ == buffer_.size()) flush();
      buffer_[fill_++] = b;
    }
  }
  void put(std::string_view text) { put(std::span<const u8>(reinterpret_cast<const u8*>(text.data()), text.size())); }
  // Writes what the buffer holds; false once any write came up short.
  bool flush() {
    if (ok_ && fill_ > 0) ok_ = sup_file_write(handle_, buffer_.data(), u16(fill_)) == i32(fill_);
    fill_ = 0;
    return ok_;
  }

 private:
  int handle_;
  std::array<u8, kRdBlockSize> buffer_{};
  std::size_t fill_ = 0;
  bool ok_ = true;
};

// Appends v as two upper-case digits and adds it to the sum.
void put_hex(std::string& text, u8 v, u8& sum) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  text += kDigits[v >> 4];
  text += kDigits[v & 15];
  sum = u8(sum + v);
}

void write_hex_record(OutputFile& out, u16 address, std::span<const u8> bytes) {
  std::string text = ":";
  u8 sum = 0;
  put_hex(text, u8(bytes.size()), sum);
  put_hex(text, u8(address >> 8), sum);
  put_hex(text, u8(address), sum);
  put_hex(text, 0, sum);
  for (const u8 b : bytes) put_hex(text, b, sum);
  u8 ignored = 0;
  put_hex(text, u8(-sum), ignored);  // two's complement: the record sums to 0
  text += "\r\n";
  out.put(text);
}

void write_srec_record(OutputFile& out, u16 address, std::span<const u8> bytes) {
  std::string text = "S1";
  u8 sum = 0;
  put_hex(text, u8(bytes.size() + 3), sum);  // address, data, checksum
  put_hex(text, u8(address >> 8), sum);
  put_hex(text, u8(address), sum);
  for (const u8 b : bytes) put_hex(text, b, sum);
  u8 ignored = 0;
  put_hex(text, u8(~sum), ignored);  // ones' complement: the record sums to 0xFF
  text += "\r\n";
  out.put(text);
}

// Target memory start..end into the file by its form.
void write_image(OutputFile& out, u16 form, u16 start, u16 end) {
  const std::size_t piece_size = form == kRdBinary ? kRdBlockSize : kWritePiece;
  std::array<u8, kWritePiece> piece{};
  static_assert(kWritePiece >= kRdBlockSize && kWritePiece % kSrecOutRecord == 0 && kWritePiece % kHexOutRecord == 0);
  // u32 steps: the walk ends after 0xFFFF instead of wrapping to 0
  for (u32 at = start; at <= end;) {
    const std::size_t n = std::min<std::size_t>(piece_size, u32(end) + 1 - at);
    tgt_read_block(std::span<u8>(piece.data(), n), u16(at));
    if (form == kRdBinary) {
      out.put(std::span<const u8>(piece.data(), n));
    } else {
      const std::size_t per_record = form == kRdIntelHex ? kHexOutRecord : kSrecOutRecord;
      for (std::size_t i = 0; i < n; i += per_record) {
        std::size_t count = std::min(per_record, n - i);
        if (form == kRdIntelHex) {
          write_hex_record(out, u16(at + i), std::span<const u8>(piece.data() + i, count));
          continue;
        }
        // The last S1 record is filled up to 32 bytes with zeros, but never
        // past 0xFFFF, so that it reads back.
        if (count < per_record) {
          const std::size_t room = kAddressSpace - (at + i);
          const std::size_t padded = std::min(per_record, room);
          std::fill(piece.begin() + std::ptrdiff_t(i + count), piece.begin() + std::ptrdiff_t(i + padded), u8(0));
          count = padded;
        }
        write_srec_record(out, u16(at + i), std::span<const u8>(piece.data() + i, count));
      }
    }
    if (!out.flush()) return;
    at += u32(n);
  }
  if (form == kRdIntelHex) {
    out.put(":00000001FF\r\n");
    const u8 eof = kEndOfFileMark;
    out.put(std::span<const u8>(&eof, 1));
  } else if (form == kRdSRecord) {
    out.put("S9030000FC\r\n");
  }
}

}  // namespace

RdStatus RdDecoder::feed(std::span<const u8> bytes) {
  for (const u8 b : bytes) {
    if (status_ != RdStatus::Reading) break;
    const char c = char(b);
    if (c == '\n' || c == '\r') {
      end_line();
    } else if (!in_record_) {
      if (c == mark_) {
        in_record_ = true;
        line_[0] = c;
        size_ = 1;
      }
    } else if (size_ < line_.size()) {
      line_[size_++] = c;  // beyond the longest record: trailing text, dropped
    }
  }
  return status_;
}

RdStatus RdDecoder::finish() {
  if (status_ == RdStatus::Reading) end_line();
  if (status_ == RdStatus::Reading) status_ = RdStatus::NoEnd;
  return status_;
}

void RdDecoder::end_line() {
  if (!in_record_ || status_ != RdStatus::Reading) return;
  in_record_ = false;
  const std::string_view text(line_.data(), size_);
  size_ = 0;
  const RdStatus parsed =
      form_ == kRdIntelHex ? rd_parse_hex_record(text, record_) : rd_parse_srec_record(text, record_);
  if (parsed == RdStatus::Skipped) return;
  if (parsed != RdStatus::Reading) {
    status_ = parsed;
    return;
  }
  status_ = sink_.take(record_);
  if (status_ == RdStatus::Reading && record_.kind == kRdRecordEnd) status_ = RdStatus::Complete;
}

RdStatus rd_parse_hex_record(std::string_view text, RdRecord& out) {
  const std::size_t mark = text.find(':');
  if (mark == std::string_view::npos) return RdStatus::Skipped;
  HexDigits d(text.substr(mark + 1));
  u8 head[4];  // count, address high, address low, type
  for (u8& b : head)
    if (!d.byte(b)) return RdStatus::BadRecord;
  const u8 count = head[0];
  if (d.bytes_left() < std::size_t(count) + 1) return RdStatus::BadRecord;  // the line is too short
  for (u8 i = 0; i < count; ++i)
    if (!d.byte(out.data[i])) return RdStatus::BadRecord;
  u8 checksum = 0;
  if (!d.byte(checksum) || d.sum != 0) return RdStatus::BadRecord;
  const u16 address = u16(head[1] << 8 | head[2]);
  out.count = count;
  switch (head[3]) {
    case 0:
      if (!data_fits(address, count)) return RdStatus::BadRecord;
      out.kind = kRdRecordData;
      out.address = address;
      return RdStatus::Reading;
    case 1:
      out.kind = kRdRecordEnd;
      out.address = address;
      return RdStatus::Reading;
    case 2:  // segment base: the value x 16
    case 4:  // linear base: the upper 16 bits
      if (count != 2) return RdStatus::BadRecord;
      out.kind = kRdRecordBase;
      out.address = head[3] == 2 ? u32(be16(out.data.data())) << 4 : u32(be16(out.data.data())) << 16;
      return RdStatus::Reading;
    case 3:  // CS:IP; the program counter is IP
      if (count != 4) return RdStatus::BadRecord;
      out.kind = kRdRecordStart;
      out.address = be16(out.data.data() + 2);
      return RdStatus::Reading;
    case 5:  // a 32-bit start address, which must fit 16 bits
      if (count != 4 || be32(out.data.data()) >= kAddressSpace) return RdStatus::BadRecord;
      out.kind = kRdRecordStart;
      out.address = be32(out.data.data());
      return RdStatus::Reading;
    default:  // a type the reader does not take
      return RdStatus::BadSegment;
  }
}

RdStatus rd_parse_srec_record(std::string_view text, RdRecord& out) {
  const std::size_t mark = text.find('S');
  if (mark == std::string_view::npos) return RdStatus::Skipped;
  text.remove_prefix(mark + 1);
  if (text.empty() || text[0] < '0' || text[0] > '9') return RdStatus::BadRecord;
  const u8 type = u8(text[0] - '0');
  const u8 address_bytes = SrecAddressBytes[type];
  if (address_bytes == 0) return RdStatus::BadRecord;  // S4, S6
  HexDigits d(text.substr(1));
  u8 count = 0;
  if (!d.byte(count) || count < address_bytes + 1) return RdStatus::BadRecord;
  if (d.bytes_left() < count) return RdStatus::BadRecord;  // the line is too short
  u32 address = 0;
  for (u8 i = 0; i < address_bytes; ++i) {
    u8 b = 0;
    if (!d.byte(b)) return RdStatus::BadRecord;
    address = address << 8 | b;
  }
  const u8 data_count = u8(count - address_bytes - 1);
  for (u8 i = 0; i < data_count; ++i)
    if (!d.byte(out.data[i])) return RdStatus::BadRecord;
  u8 checksum = 0;
  if (!d.byte(checksum) || d.sum != 0xFF) return RdStatus::BadRecord;
  out.address = address;
  out.count = data_count;
  switch (type) {
    case 1:
    case 2:
    case 3:
      if (!data_fits(address, data_count)) return RdStatus::BadRecord;
      out.kind = kRdRecordData;
      return RdStatus::Reading;
    case 7:
    case 8:
    case 9:
      out.kind = kRdRecordEnd;
      return RdStatus::Reading;
    default:  // S0 header, S5 record count
      return RdStatus::Skipped;
  }
}

u16 rd_file_form(std::string_view name) {
  // the last '.' after the last separator; a double-byte character is one unit
  std::size_t dot = std::string_view::npos;
  for (std::size_t i = 0; i < name.size();) {
    const std::size_t n = host_cp932_unit_length(name, i);
    if (n == 1) {
      const char c = name[i];
      if (c == '\\' || c == '/' || c == ':') dot = std::string_view::npos;
      if (c == '.') dot = i;
    }
    i += n;
  }
  if (dot == std::string_view::npos) return kRdBinary;
  std::string extension(name.substr(dot + 1));
  for (char& c : extension) c = host_ascii_upper(c);
  if (extension == "HEX") return kRdIntelHex;
  if (extension == "S") return kRdSRecord;
  return kRdBinary;
}

void rd_reset() { Rd = RdState{}; }

RdStatus rd_check_records(u16 form, std::span<const u8> bytes, u32 offset) {
  if (form != kRdIntelHex && form != kRdSRecord) return RdStatus::Complete;
  ProgramLoader loader(false, form, offset, offset != 0);
  RdDecoder decoder(form, loader);
  RdStatus status = RdStatus::Reading;
  for (std::size_t at = 0; at < bytes.size() && status == RdStatus::Reading; at += kRdBlockSize)
    status = decoder.feed(bytes.subspan(at, std::min(kRdBlockSize, bytes.size() - at)));
  if (status == RdStatus::Reading) status = decoder.finish();
  loader.finish();
  return status;
}

RdStatus rd_read_program(u16 write) {
  RdStatus status = RdStatus::Complete;
  if (Rd.Form == kRdBinary) {
    status = read_binary(write != 0);
  } else {
    ProgramLoader loader(write != 0, Rd.Form, Rd.Offset, Rd.OffsetGiven != 0);
    RdDecoder decoder(Rd.Form, loader);
    status = decode_file(decoder);
    loader.finish();
  }
  if (write) report(status);
  return status;
}

void rd_cmd_read() { rd_read_file(Cmd.ScannerCursor); }

void rd_read_file(std::string_view operand) {
  sym_close_source_files();
  Cmd.AbortFlag = 0;  // a command's start: the operand fetchers read nothing while it is set
  const LineSwap swap(operand);
  char path[kRdPathSize];
  if (!take_file_name(path)) {
    cmd_error(kMsgFormat);
    return;
  }
  const u16 form = rd_file_form(path);
  if (!read_options(form)) {
    cmd_error(kMsgFormat);
    return;
  }
  if (sup_path_make_absolute(path) < 0) {
    cmd_error(kMsgNoFile);
    return;
  }
  con_printf("\nRead %s", sup_path_for_display(path).c_str());
  Rd.Form = form;
  const ProgramFileCloser closer;
  Rd.Handle = sup_file_open(path, kFileModeRead);
  if (Rd.Handle == -1) {
    cmd_error(kMsgNoFile);
    return;
  }
  rd_read_program(1);
}

void wr_cmd_write() { wr_write_program(); }

void wr_write_program() {
  sym_close_source_files();
  char path[kRdPathSize];
  const bool named = take_file_name(path);
  u32 address[2] = {};
  bool complete = named;
  for (u32& a : address) {
    cmd_skip_blanks();
    complete = complete && *Cmd.ScannerCursor == ',';
    if (!complete) break;
    ++Cmd.ScannerCursor;
    a = cmd_get_address();
  }
  const u32 start = address[0];
  const u32 end = address[1];
  cmd_skip_blanks();
  // both addresses, start below end, and nothing after them
  if (!complete || Cmd.AbortFlag || *Cmd.ScannerCursor != '\0' || start >= end || end >= kAddressSpace) {
    cmd_error(kMsgCommandFormat);
    return;
  }
  const u16 form = rd_file_form(path);
  if (sup_path_make_absolute(path) < 0) {
    cmd_error(kMsgCannotCreate);
    return;
  }
  con_printf("\nWrite %s", sup_path_for_display(path).c_str());
  // The old file stays whole until the new one is complete.
  const int handle = sup_file_create_replacement(path);
  if (handle == -1) {
    cmd_error(kMsgCannotCreate);
    return;
  }
  int result = kCommitDone;
  {
    OutputFile out(handle);
    write_image(out, form, u16(start), u16(end));
    result = out.commit();
  }
  if (result != kCommitDone) {
    cmd_error(result == kCommitNotPlaced ? kMsgCannotCreate : kMsgDiskFull);
    return;
  }
  con_printf(" at %04x-%04x", start, end);
}
