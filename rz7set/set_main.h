// The setup program's entry.
#pragma once

// Runs the program with its arguments (argv[0] the program file, the rest
// CP932). Exit codes: 0 normal end, 1 another instance runs, -1 a start-up
// failure (shown before).
int set_win_main(int argc, char** argv);

// The name of the single-instance lock.
constexpr const char* kSetupInstanceName = "QOR_RZ7SET";

// The first-run steps, when the family's mark (MainSt.OptMark) is "first":
// the interface card is set up once, by the first of these that applies: the
// J edition marks the run done and shows the read-me; over the network
// (/NW) TNwset asks for the emulator's address; through the card's driver
// every configuration file of the installation is set to "NT", the run marked
// done and the read-me shown; else TIOset asks for the card.
void set_first_run();
