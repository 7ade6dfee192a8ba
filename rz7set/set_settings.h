// The setup program's registry settings: the editor and its command format for
// the product, and per family the install folder, the default project folder,
// the first-run mark and the last opened folder. Read from the users' hive,
// then (on the per-user platform) from the current user's hive, whose values win.
#pragma once

#include <string>

// Reads the settings of cpu_family into MainSt and sets AppTitle, PrjCpuValue,
// the family's file names and the help file. Returns true; a key that cannot
// be opened leaves the defaults in force.
bool set_read_settings();
// Sets the family's "OPT" to "none" (the first-run steps are done).
void set_mark_first_run_done();
// Writes "Editor" (or deletes it when it is "notepad.exe") and the family's
// "Opn"; nothing while no family (and so no setting) is known.
void set_write_settings();

// The product key ("...\QOR\RZ7", J edition "...\QOR\QNJ") and the family key
// of cpu_family, in the users' hive and the current user's.
std::string set_users_product_key();
std::string set_user_product_key();
std::string set_family_key(const std::string& product_key);
