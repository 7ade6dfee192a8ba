// The value formatter: an item printed by its debug type (integers with their
// hexadecimal form, characters with C escapes, strings read from target
// memory, pointers, enumerations, bit fields, floats, and arrays and structs
// as inline listings), the type name printer, and the fetch mode that hands
// the evaluator a variable's value instead of printing it (exp_load_value).
// All output goes through the console sink, so a capture catches it.
#pragma once

#include <cstddef>

#include "halv80/symbols/exp_types.h"
#include "halv80/symbols/exp_value.h"
#include "platform/host/host_types.h"

// Modes of fmt_print_value.
constexpr u16 kPrintFull = 0;    // one item per line
constexpr u16 kPrintInline = 1;  // inside an enclosing listing
constexpr u16 kPrintFetch = 2;   // nothing printed; the value is handed back

// What a fetch hands back.
constexpr u16 kFetchNone = 0;     // struct, union, function, float, void: no value
constexpr u16 kFetchScalar = 1;   // the item gets flag 0x80
constexpr u16 kFetchAddress = 2;  // pointer or array; the item gets flag 0x40
struct FmtFetch {
  u16 kind = kFetchNone;
  u32 value = 0;
};

// Kinds of the first item a print touched (FmtValueState::FirstKind).
constexpr u16 kFirstNone = 0;
constexpr u16 kFirstScalar = 1;
constexpr u16 kFirstPointer = 2;
constexpr u16 kFirstStruct = 3;
constexpr u16 kFirstArray = 4;

// The longest string counted for the inspect window's record of a pointer.
constexpr u32 kFirstStringMax = 200;
// Elements or members one inline listing prints at most; the line or row is
// full long before that, this only bounds a listing whose output is dropped.
constexpr u32 kListingItemsMax = 1024;
// Bytes fmt_print_string reads at most without a length.
constexpr u32 kStringReadMax = 1024;
// The text shown for a bit field whose width or offset cannot be read.
constexpr char kBitFieldInvalid[] = "???";

struct FmtValueState {
  // The first item a print touched, for the inspect window; its users clear
  // it (fmt_first_item_clear) before a print.
  u16 FirstKind = kFirstNone;      // kFirst...
  ExprValue FirstItem{};           // the item as it was printed (type resolved)
  u32 FirstStringLength = 0;       // pointer: bytes of its string, at most 200
  u32 FirstMemberCount = 0;        // struct or union: its members
  ExpMemberList FirstMembers{};    // and where their lists lie in the record
  u32 FirstElementCount = 0;       // array: elements
  u32 FirstElementSize = 0;        //   and their size
  // The first item printed since the last fmt_capture_reset: where it lies.
  u16 AddressTaken = 0;            // 1 once an item recorded its address
  u32 ItemAddress = 0;             // its target address
  u16 ItemRegister = 0xFFFF;       // a register item's register number, else 0xFFFF
  // The first string printed since the last fmt_capture_reset.
  u16 StringTaken = 0;
  u32 StringAddress = 0;
  u32 StringLength = 0;
  // Listing state.
  u16 ListingMode = kPrintFull;    // print mode of the enclosing listing
  u16 RowBuilder = 0;              // 1: rows of the local or watch window are built
  u16 CommaMode = 0;               // 1: a backtrace line's parameter list
};
extern FmtValueState FmtVal;

// Resets the whole state (engine reset).
void fmt_value_reset();
// Clears the first-item record before a print.
void fmt_first_item_clear();
// Starts a new capture: the next printed item records its address and the
// next string its place again.
void fmt_capture_reset();

// Prints (modes 0 and 1) or fetches (mode 2) `item` by its type class. Stores
// the item's resolved type into it. A failed target read unwinds; in print
// mode a type class or record kind the formatter does not know ends the
// command (message 114), in fetch mode it yields no value.
FmtFetch fmt_print_value(ExprValue& item, u16 mode);
// '"', the bytes of target memory from `address` with C escapes (a Shift-JIS
// pair as it stands), '"'. Length 0: up to the terminating zero (at most
// kStringReadMax bytes); else that many bytes. Stops without the closing
// quote when the console line or the row being built is full.
void fmt_print_string(u32 address, u32 length);
// '(', the C name of the item's type, ')'.
void fmt_print_type_name(ExprValue& item);
// The same for a bare type code.
void fmt_print_type_name_of(u32 type);
// True when the console line or the row text being captured is full.
bool fmt_output_full();
