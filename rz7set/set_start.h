// The setup program's start-up: the platform and language, the command-line
// switches (processor family, language, edition, network host, project path),
// the version texts, and the project named on the command line.
#pragma once

#include <string>
#include <string_view>

// Sets windows_nt (always, here: the per-user hive exists) and returns the
// initial english_ui: false when the user's language is Japanese (LC_ALL, else
// LC_MESSAGES, else LANG, the first that is set, beginning with "ja").
bool set_detect_platform();
// AppTitle "RZ7SET", then "/J" and "/U" of SetTexts.Args applied to english_ui.
void set_prescan_language();
// The switches of SetTexts.Args; false to end the program (a message shown).
// On Linux an argument is a switch when it begins with "/" and holds no other
// "/"; anything else is the project path (its "/" taken as "\").
bool set_parse_switches();
// The product name, version and notice, each cut to 63 bytes.
void set_read_version();
// Stores the current folder and sets it back.
void set_save_cwd();
void set_restore_cwd();
// The project path cut before its last "\" or ":".
std::string set_folder_part(std::string_view path);
// Start-up with a project on the command line: read it and check its files.
// False ends the program with exit code -1 (the reason has been shown).
bool set_open_command_line_project();
