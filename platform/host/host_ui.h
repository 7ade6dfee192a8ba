// The two user-interface services that the engine reaches directly on the
// window side: the message box and the beep. The program installs the sink
// that fits it (the window program's dialog, the console runner's printer, a
// test recorder); the default writes the box to standard error.
#pragma once

#include <string_view>

#include "platform/host/host_types.h"

// Box styles and answers, with the values the system uses.
constexpr unsigned kBoxOk = 0x00;
constexpr unsigned kBoxOkCancel = 0x01;
constexpr unsigned kBoxYesNo = 0x04;
constexpr unsigned kBoxIconError = 0x10;
constexpr unsigned kBoxIconExclamation = 0x30;
constexpr unsigned kBoxDefaultButton2 = 0x100;
constexpr int kBoxAnswerOk = 1;
constexpr int kBoxAnswerCancel = 2;
constexpr int kBoxAnswerYes = 6;
constexpr int kBoxAnswerNo = 7;

// title and text are CP932; returns kBoxAnswerOk or kBoxAnswerCancel.
using HostMessageBoxSink = int (*)(std::string_view title, std::string_view text, unsigned style);

int host_message_box(std::string_view title, std::string_view text, unsigned style);
// Installs a sink; nullptr restores the default. Returns the previous sink.
HostMessageBoxSink host_set_message_box_sink(HostMessageBoxSink sink);

// The default beep; makes no sound here.
void host_beep();

// Ends the process with a message on standard error: an internal error that
// leaves no way to go on. Does not return.
[[noreturn]] void host_fatal(std::string_view what);
