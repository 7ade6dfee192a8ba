// The console runner's start-up line: the start options that the setup
// program keeps in the project file's "%OPT" section, then the runner's own
// arguments, so a switch given on the command line overrides the project's.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The project file the runner reads in the current folder, as the window
// program does.
constexpr std::string_view kConsoleProjectFile = "qqn80.qpj";

// The start options of a project file's text: the body of "%OPT" (from the
// line after it up to the next setup section, "%DIR", "%PRJ", "%CPU" or
// "%END", less its closing CR LF). Empty when the file has no "%OPT", or no
// later section closes it.
std::string console_project_options(std::string_view project_text);

// The start-up line: " " + options + " " when there are options, else " ";
// then each argument (its case kept) followed by a blank.
std::string console_startup_line(std::string_view options, const std::vector<std::string>& args);

// The options of kConsoleProjectFile in the current folder; empty when there
// is no such file or it cannot be read.
std::string console_read_project_options();
