// The macro language's control structures: WHILE{, DO{ ... }WHILE, FOR{,
// REPEAT{, IF{ with }ELSEIF{ and }ELSE{, the closing line "}", and WAIT.
// Loops collect their body into the macro text area above the entries and
// run it in a frame of their own; IF blocks are run or skipped line by line.
// A rule broken sets AbortFlag, which the word's caller reports (message 34).
#pragma once

#include "platform/host/host_types.h"

void mac_word_while();
void mac_word_do();
void mac_word_for();
void mac_word_repeat();
void mac_word_if();
// }ELSE{ and }ELSEIF{ met after a branch that ran: the rest of the IF is skipped.
void mac_word_else();
// A line that is exactly "}": the end of an IF branch that ran.
void mac_close_if();
// WAIT [n]: up to n times 100 ms, ended by any key; Esc ends every level.
void mac_word_wait();
