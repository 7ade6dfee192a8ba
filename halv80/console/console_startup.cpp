// The console runner's start-up line from the project's start options and the
// runner's own arguments.
#include "halv80/console/console_startup.h"

#include "platform/host/host_project.h"

namespace {

// The sections that may follow "%OPT", in the order the project file has them.
constexpr std::string_view kLaterSections[] = {"%DIR", "%PRJ", "%CPU", "%END"};
constexpr std::string_view kOptionSection = "%OPT";

}  // namespace

std::string console_project_options(std::string_view project_text) {
  const std::size_t at = project_find(project_text, kOptionSection);
  if (at == std::string_view::npos) return {};
  const std::size_t after = at + kOptionSection.size();
  std::size_t end = std::string_view::npos;
  for (std::string_view name : kLaterSections) {
    end = project_find(project_text, name, after);
    if (end != std::string_view::npos) break;
  }
  if (end == std::string_view::npos) return {};  // an unfinished section is no option text
  const std::size_t body = std::min(after + 2, end);  // past the CR LF of the "%OPT" line
  std::string_view options = project_text.substr(body, end - body);
  if (options.ends_with("\r\n")) options.remove_suffix(2);
  return std::string(options);
}

std::string console_startup_line(std::string_view options, const std::vector<std::string>& args) {
  std::string line = " ";
  if (!options.empty()) {
    line += options;
    line += ' ';
  }
  for (const std::string& arg : args) {
    line += arg;
    line += ' ';
  }
  return line;
}

std::string console_read_project_options() {
  std::string text;
  if (project_read(kConsoleProjectFile, text) != ProjectReadStatus::ok) return {};
  return console_project_options(text);
}
