// The call-stack walker: from PC, SP and IX of the register image and target
// memory it rebuilds the chain of calls, the way the supported toolchains
// build their frames (an IX frame made by PUSH IX or by a call to a run-time
// frame-entry routine, or no frame, when the return address is searched on
// the stack). It serves the K command, the backtrace and stack windows, the
// frame words and local variables of the expression evaluator, and the
// call-trace run of G. The walk ends at the function named MAIN. Owns Stk.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/host/host_types.h"

constexpr std::size_t kBacktraceLines = 159;
constexpr std::size_t kBacktraceLineSize = 200;
constexpr u16 kStackWindowShowAddress = 0x02;  // stack window option: "[address]"
constexpr u16 kStackWindowShowLabel = 0x01;    // stack window option: the word's label

// Walk modes: the low 4 bits select the output of a step.
constexpr u16 kWalkPrint = 0;      // the address, then the frame's line
constexpr u16 kWalkStepOut = 1;    // only at a function's first instruction: the call-trace line
constexpr u16 kWalkSilent = 2;     // nothing shown
constexpr u16 kWalkNewline = 3;    // a newline, then the frame's line
constexpr u16 kWalkCapture = 4;    // the frame's line into the line store
constexpr u16 kWalkFrameOnly = 5;  // nothing shown: the frame's base is what is wanted
constexpr u16 kWalkToolchainPrefix = 0x1000;  // the label keeps its toolchain prefix

struct StkState {
  u16 WalkPc = 0, WalkSp = 0, WalkIx = 0;
  u16 FrameBase = 0;       // frame of the function just walked; 0 unknown
  u32 FunctionStart = 0;   // logical
  u32 FunctionType = 0;    // type record index (512 and above), 0 none
  u16 FrameBuilt = 0;      // 1: the PC was at the function's first instruction
  u16 ParamCount = 0;      // from the function's type record
  u16 Stopped = 0;         // MAIN reached, or no return address found
  u16 FramePointerAddress = 0;  // toolchain kind 5: where the program keeps its frame pointer
  u16 TraceLevel = 0;      // indentation (two blanks a level) of the call-trace lines

  std::array<std::string, kBacktraceLines> Lines{};
  u16 LineCount = 0;

  // The frame found for the local variables of an address, kept until the
  // address, PC or SP changes.
  u16 CacheValid = 0;
  u32 CacheAddress = 0;
  u16 CachePc = 0, CacheSp = 0;
  u16 CacheFrame = 0;
};
extern StkState Stk;

void stk_reset();

// A function of the program: where it starts and what its records keep.
struct StkFunction {
  u16 start = 0;        // logical
  u32 type = 0;         // type record index (512 and above), 0 none
  u16 saved_code = 0;   // the word the function-entry trap replaced (symbols only)
  bool from_symbol = false;
  std::string label;    // name, '+' and the offset of the address asked
};
// The function holding `address` (logical): the nearer of the symbol and the
// static scope record at or below it (the symbol on a tie). False when none.
bool stk_find_function(u16 address, StkFunction& out);

// The result type of a function type record; 0 none.
u32 stk_result_type(u32 function_type);

// The range (physical, end exclusive) of the function holding `address`: from
// its start to the next symbol above it, or to FFFF for the last. False when
// no function holds it.
bool stk_function_range(u16 address, u32& low, u32& high);

// Walk state from the register image.
void stk_walk_reset();
// One frame from the walk state, in `mode`; the return is the argument count
// + 1, 0 when no frame was found. Capture mode appends to `capture`.
u16 stk_walk_step(u16 mode, std::string* capture = nullptr);
// Resets to the register image and walks one frame (mode kWalkStepOut or
// kWalkSilent).
u16 stk_one_step(u16 mode);
// The target word at walk SP + 2n.
u16 stk_frame_word(u16 n);

// K: the backtrace, newest call last.
void cmd_backtrace();
// The backtrace into Stk.Lines; their count. Nothing while the target runs,
// for toolchain kind 16, or in the no-monitor mode. Under the error trap.
u16 stk_build_backtrace();
// Line n of the backtrace, empty past the count.
std::string stk_backtrace_line(u16 n);
// Row n of the stack window: "    SP" or "+%2x", the optional address, " : ",
// the word at SP + 2n ("FFFF" while the target runs) and the optional label.
std::string stk_stack_window_line(u16 n, u16 options);
// The offset ruler of the stack window's word layout: three characters a row.
constexpr std::string_view kStackRuler = "   +2 +4 +6 +8 +A +C +E +10+12+14+16+18+1A+1C+1E+20+22+24+26+28+2A+2C";
constexpr u16 kStackRulerRows = u16(kStackRuler.size() / 3);
// The stack window's rows in one of its two layouts: 0 the backtrace lines,
// newest call first; 1 the words from SP, "    SP" on the first row and the
// ruler's offsets on the others ("FFFF" while the target runs).
std::vector<std::string> stk_stack_window_rows(u16 layout, u16 options);

// The frame base for the local variables of the function holding `address`
// (logical); 0 when it can't be found.
u16 stk_locate_frame(u16 address);
