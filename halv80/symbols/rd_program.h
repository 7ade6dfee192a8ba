// RD and WR: program images read into target memory from, and written from it
// to, Intel HEX (extension "HEX"), Motorola S-record ("S") and raw binary
// files (any other extension). Owns RdState. The record text is decoded apart
// from the target: RdDecoder cuts the bytes into records and hands each to a
// sink, so that the decoding runs on any bytes without a target; the sink of
// RD writes target memory.
//
// Rules the reader keeps beyond the record syntax:
// - A record's count must fit its line (HEX) and its address length (an
//   S-record count below address bytes + 1 is malformed); no record may pass
//   0xFFFF; an S2/S3 data address of 0x10000 or more is refused. Each is a
//   bad record: message 3, and the read stops there.
// - A HEX record type other than 00 to 05 is one the reader does not take:
//   message 38, and the read stops there.
// - HEX type 02 (segment base, value x 16) and type 04 (linear base, value
//   << 16) give the upper address bits. With memory management the base goes
//   through the mapping: at the next data record the base's physical address
//   is mapped at the record's logical address through the bank window (an
//   address below the window with base 0 cancels the base; with another base
//   it is message 38), and a load offset is the base of the first mapped
//   record. Without memory management base + offset + address is the target
//   address, and one at or above 0x10000 cannot be held: message 38 when a
//   base put it there, else (the load offset did) message 0.
// - HEX type 03 carries CS:IP and the program counter becomes IP; type 05
//   sets it when the linear start address fits 16 bits (else message 3).
//   Without either, the end record's address field becomes the program
//   counter.
// - Every write is checked before it is made: nothing goes past 64 KiB, or
//   into the monitor area (message 133; the read stops at that record).
// - A file that ends before its end record keeps what was loaded, prints
//   "\nformat error" and sets AbortFlag (no message number).
// - A binary file that runs past 0xFFFF prints "\n Memmory Over !", loads
//   what fits and sets AbortFlag.
// Every failure leaves AbortFlag set for the caller; only the target-memory
// layer unwinds (on a monitor time-out).
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "platform/host/host_types.h"

// File forms, by the file name's extension.
constexpr u16 kRdBinary = 0;    // any other extension
constexpr u16 kRdIntelHex = 1;  // "HEX"
constexpr u16 kRdSRecord = 2;   // "S"

constexpr std::size_t kRdBlockSize = 512;       // reads and writes go in blocks of this size
constexpr std::size_t kRdNameMax = 255;         // characters of a file name operand
constexpr std::size_t kRdPathSize = 512;        // the name made absolute, with its terminator
constexpr std::size_t kRdDataMax = 255;         // data bytes of one record
// The longest record text: HEX ":" and 2 x (count, address, type, 255 data
// bytes, checksum); an S-record is shorter ("S", type, 2 x 255 bytes).
constexpr std::size_t kRdRecordTextMax = 1 + 2 * (1 + 2 + 1 + kRdDataMax + 1);

// What a decoded record asks for.
constexpr u16 kRdRecordData = 0;   // `count` bytes at `address`
constexpr u16 kRdRecordEnd = 1;    // the end; `address` is its address field
constexpr u16 kRdRecordBase = 2;   // HEX 02 and 04: `address` is the new base
constexpr u16 kRdRecordStart = 3;  // HEX 03 and 05: `address` is the start address

enum class RdStatus : u16 {
  Reading = 0,  // the records so far were taken (parsers: a record was decoded)
  Complete,     // the end record was taken
  Skipped,      // parsers: nothing to take (no record mark, or an S0 or S5 record)
  NoEnd,        // the input ended before the end record: "\nformat error"
  BadRecord,    // checksum or malformed record: message 3
  BadSegment,   // a base that cannot be placed, or a record type the reader does not take: message 38
  MonitorArea,  // a record that would write into the monitor's area: message 133
  BadOffset,    // the load offset puts a record beyond 0xFFFF: message 0
  MemoryOver,   // binary: bytes beyond 0xFFFF were left out
};

struct RdRecord {
  u16 kind = kRdRecordData;  // kRdRecord*
  u32 address = 0;           // data: first byte (the record ends by 0xFFFF); else by kind
  u16 count = 0;             // data bytes
  std::array<u8, kRdDataMax> data{};
};

// Takes the decoded records in file order.
class RdRecordSink {
 public:
  virtual ~RdRecordSink() = default;
  // Reading to go on, or the failure that ends the read.
  virtual RdStatus take(const RdRecord& record) = 0;
};

// Cuts a HEX or S-record text into lines (ended by CR or LF) and decodes the
// record on each: text before the record mark (':' or 'S') is ignored, and
// text after the record's checksum too. A line longer than kRdRecordTextMax
// keeps its first kRdRecordTextMax bytes from the mark.
class RdDecoder {
 public:
  RdDecoder(u16 form, RdRecordSink& sink) : mark_(form == kRdIntelHex ? ':' : 'S'), form_(form), sink_(sink) {}
  // Takes more bytes: Reading while more are wanted, else the final status
  // (bytes after it are ignored).
  RdStatus feed(std::span<const u8> bytes);
  // The input has ended: the last line is taken; NoEnd unless the end record
  // was seen.
  RdStatus finish();

 private:
  void end_line();

  char mark_;
  u16 form_;
  RdRecordSink& sink_;
  RdStatus status_ = RdStatus::Reading;
  bool in_record_ = false;  // the line's record mark was seen
  std::size_t size_ = 0;    // bytes kept in line_
  std::array<char, kRdRecordTextMax> line_{};
  RdRecord record_{};
};

// One HEX record (`text` is a line): Reading with the record in `out`,
// Skipped when the line holds no ':', BadRecord for a bad digit, a count the
// line cannot hold, a checksum error, a base or start record of the wrong
// length, data passing 0xFFFF or a linear start above 0xFFFF; BadSegment for
// a type above 05.
RdStatus rd_parse_hex_record(std::string_view text, RdRecord& out);
// One S-record: Reading with the record in `out`, Skipped for a line without
// 'S' and for S0 and S5 records (checked all the same), BadRecord for a type
// that is no digit, S4, S6, a count below the address length + 1 or beyond
// the line, a bad digit, a checksum error, or data at or passing 0x10000.
RdStatus rd_parse_srec_record(std::string_view text, RdRecord& out);

// The form of a file name: its extension (after the last '.' of the name's
// last part), upper-cased, "HEX" or "S"; binary for anything else.
u16 rd_file_form(std::string_view name);

struct RdState {
  int Handle = -1;       // the program file being read; -1 none
  u16 Form = kRdBinary;  // its form
  u32 Offset = 0;        // HEX: load offset (the first segment base with memory management); binary: address
  u16 OffsetGiven = 0;   // 1: an offset or address followed the name
};
extern RdState Rd;

// Start-up values (no file).
void rd_reset();

// RD file [,offset | ,address] [,/N]: rd_read_file on the rest of the line.
void rd_cmd_read();
// Runs RD on `operand` exactly as on the text after "RD ": clears AbortFlag
// as a command's start does, closes the source files, takes the name and its
// options (binary needs ",address"; S-records take nothing but ",/N";
// message 2), prints "\nRead " and the name (made absolute against the
// current folder), opens it (message 35) and reads it with
// rd_read_program(1). The caller's command line and scanner are put back
// afterwards. A failure leaves AbortFlag set.
void rd_read_file(std::string_view operand);
// Reads the open file Rd.Handle by Rd.Form into target memory and returns how
// the read ended. With `write` 1: records are written, runs of addresses
// shown, the program counter set at a HEX end record, and the outcome
// reported ("\nComplete", or the failure with AbortFlag set). With `write` 0
// nothing is written, shown or reported: the records are only checked.
RdStatus rd_read_program(u16 write);
// rd_read_program(0) on `bytes` of a file of `form`, with the load offset
// `offset`: the decoding and the address checks without a target or a file.
RdStatus rd_check_records(u16 form, std::span<const u8> bytes, u32 offset = 0);

// WR file,start,end: wr_write_program on the operands at the scanner.
void wr_cmd_write();
// Writes target memory start..end (start below end, both 16-bit; else
// message 16) to the named file by its form: HEX records of 16 bytes and the
// end record and 0x1A; S1 records of 32 bytes, the last padded with zero bytes
// (never past 0xFFFF), and S9; or the bytes. Prints "\nWrite " and the name,
// then " at %04x-%04x". A file that cannot be made: message 39; a short write:
// message 40 (the partial file stays).
void wr_write_program();
