// The scripted window side of the engine's tests.
#include "halv80/engine/testing/scripted_window_side.h"

#include <algorithm>
#include <cstring>

#include "halv80/engine/con_log.h"
#include "halv80/engine/sup_messages.h"
#include "platform/host/host_ui.h"

namespace {

// The double that receives message boxes; one exists at a time.
ScriptedWindowSide* Current = nullptr;

}  // namespace

ScriptedWindowSide::ScriptedWindowSide()
    : previous_sink_(host_set_message_box_sink(&ScriptedWindowSide::OnBox)) {
  Current = this;
  con_log_set_observer(&ScriptedWindowSide::OnLine, this);
}

ScriptedWindowSide::~ScriptedWindowSide() {
  co_end_command_side();
  con_log_set_observer(nullptr, nullptr);
  host_set_message_box_sink(previous_sink_);
  Current = nullptr;
}

void ScriptedWindowSide::OnLine(void* self, std::string_view line) {
  static_cast<ScriptedWindowSide*>(self)->lines.emplace_back(line);
}

int ScriptedWindowSide::OnBox(std::string_view title, std::string_view text, unsigned style) {
  if (!Current) return kBoxAnswerOk;
  Current->boxes.push_back({std::string(title), std::string(text), style});
  return Current->box_answer;
}

void ScriptedWindowSide::Start(std::string_view startup_line, void (*main)(), std::size_t stack_size) {
  win_set_startup_line(startup_line);
  co_start_command_side(main, stack_size);
  Pump();
}

u16 ScriptedWindowSide::Pump() { return win_pump(*this); }

u16 ScriptedWindowSide::Settle() {
  u16 kind = Pump();
  while (kind == kWaitBusy && !closing) kind = Pump();
  return kind;
}

void ScriptedWindowSide::Key(u16 character, u16 key_code, u8 flags) {
  Co.Key.character = character;
  Co.Key.key_code = key_code;
  Co.Key.flags = flags;
  ++Co.Request.key_input;
  Pump();
}

void ScriptedWindowSide::Type(std::string_view text) {
  for (const char c : text) Key(u8(c));
  Key(13);
}

std::string ScriptedWindowSide::Typed(std::string_view line) {
  const std::size_t before = Transcript().size();
  Type(line);
  return Transcript().substr(before);
}

void ScriptedWindowSide::PressPseudoKey(PseudoKey key, u16 thumb) {
  Co.Key.thumb = thumb;
  Key(0, key_word(key), 0);
}

std::string ScriptedWindowSide::Transcript() const {
  std::string all;
  for (const std::string& line : lines) {
    all += line;
    all += '\n';
  }
  // the unfinished newest line, as it stands in the ring
  if (Log.Bytes)
    for (u16 p = Log.Newest; p != Log.WriteEnd; p = u16((p + 1) % kLogRingSize)) all += char(Log.Bytes[p]);
  return all;
}

std::vector<ScriptedWindowSide::Served> ScriptedWindowSide::RequestsOf(RequestCode code) const {
  std::vector<Served> out;
  for (const Served& s : requests)
    if (s.code == code) out.push_back(s);
  return out;
}

bool ScriptedWindowSide::TakeAnswer(RequestCode code, RequestBlock& block) {
  auto it = answers_.find(code);
  if (it == answers_.end() || it->second.empty()) return false;
  Answer a = std::move(it->second.front());
  it->second.pop_front();
  a(block);
  return true;
}

void ScriptedWindowSide::ServeRequest(RequestCode code) {
  RequestBlock& r = Co.Request;
  Served s{code, r.p1, r.p2, r.p3, r.p4, r.p5, {}, {}};
  switch (code) {
    case RequestCode::ChooseSourceFile:
      if (!TakeAnswer(code, r)) r.p1 = (r.p1 & 0xFFFF) | u32(kNoChoice) << 16;  // cancelled
      break;
    case RequestCode::SearchText:
      if (!TakeAnswer(code, r)) r.view.found = 0;
      break;
    case RequestCode::MayShowPosition:
      if (!TakeAnswer(code, r)) r.p4 = 0;
      break;
    case RequestCode::ErrorBox:
      s.text = Sup.MessageBuffer;
      if (!TakeAnswer(code, r)) sup_error_box_window_side();
      break;
    case RequestCode::PickList: {
      // the engine hands over one entry per entry of the command side
      const u32 count = r.p2;
      Co.Request.code = RequestCode::None;
      for (u32 i = 0; i < count && !Exited(); ++i) {
        co_enter_command_side();
        if (r.p3_ptr) s.items.emplace_back(static_cast<const char*>(r.p3_ptr));
      }
      if (!TakeAnswer(code, r)) r.p3_ptr = nullptr;  // cancelled
      break;
    }
    case RequestCode::Exit:
      closing = confirm_exit;
      break;
    default:
      break;
  }
  requests.push_back(std::move(s));
}

void ScriptedWindowSide::ShowPendingError(u16 error) { errors.push_back(error); }
