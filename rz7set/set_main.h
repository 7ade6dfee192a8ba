// The setup program's entry.
#pragma once

// Runs the program with its arguments (argv[0] the program file, the rest
// CP932). Exit codes: 0 normal end, 1 another instance runs, -1 a start-up
// failure (shown before).
int set_win_main(int argc, char** argv);

// The name of the single-instance lock.
constexpr const char* kSetupInstanceName = "QOR_RZ7SET";
