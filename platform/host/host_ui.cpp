// Message-box sink and beep.
#include "platform/host/host_ui.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/host/host_text.h"

namespace {

int default_box(std::string_view title, std::string_view text, unsigned) {
  const std::string t = host_cp932_to_utf8(title);
  const std::string m = host_cp932_to_utf8(text);
  std::fprintf(stderr, "[%s] %s\n", t.c_str(), m.c_str());
  return kBoxAnswerOk;
}

struct UiState {
  HostMessageBoxSink box = default_box;
};
constinit UiState Ui;

}  // namespace

int host_message_box(std::string_view title, std::string_view text, unsigned style) {
  return Ui.box(title, text, style);
}

HostMessageBoxSink host_set_message_box_sink(HostMessageBoxSink sink) {
  const HostMessageBoxSink old = Ui.box;
  Ui.box = sink ? sink : default_box;
  return old;
}

void host_beep() {}

void host_fatal(std::string_view what) {
  std::fprintf(stderr, "fatal: %.*s\n", int(what.size()), what.data());
  std::abort();
}
