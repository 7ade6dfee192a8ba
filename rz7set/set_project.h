// The setup sections at the end of the project file (%OPT, %DIR, %PRJ, %CPU,
// %END): the reader that loads a project into the program and the option
// forms, the writer that rewrites the tail from the first "%OPT" on and keeps
// every byte before it, and the check of a project's files. Every failure is
// shown in a message box.
#pragma once

#include <string>
#include <string_view>

// Reads the project file at `path` (system form). True when it was read and
// accepted: the family (if none yet), the family's option form, PrjDirValue,
// MainSt.PrjName, MainSt.PrjDir and MainSt.PrjFile are set. False after a message.
bool prj_load(std::string_view path);
// Rewrites the tail of the open project's file (the file that was read, or
// PrjDir + "\" + the family's project file name). True when there is no
// project or the tail was written; false after a message.
bool prj_save();
// 6 (Yes) when the project in `folder` may be used, else the user's answer.
// Sets no_monitor_source.
int prj_check_files(std::string_view folder);
// The family's project file name (string 14).
std::string prj_file_name();
// The full folder that holds `path`, without its last "\" and the name after it.
std::string prj_folder_of(std::string_view path);
