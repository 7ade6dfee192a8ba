// The project file's debugger sections. The file is read whole (any size) and
// rewritten through a temporary file and a rename, so a crash leaves the old
// file or the new one; a section is replaced in place and every other byte is
// written back as it was read.
#include "halv80/gui/prj_layout.h"

#include <cstdio>
#include <cstring>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/sup_core_request.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/gui/app_main.h"
#include "halv80/gui/app_mdi.h"
#include "halv80/gui/prj_default.h"
#include "halv80/gui/res_strings.h"
#include "halv80/gui/win_cells.h"
#include "halv80/gui/win_frame.h"
#include "platform/host/host_dir.h"
#include "platform/host/host_project.h"
#include "platform/host/host_text.h"
#include "platform/host/host_ui.h"

namespace {

constexpr char kEof = 0x1A;
constexpr std::size_t kProjectDirectoryMax = 255;
constexpr std::size_t kToolBarEntryMax = kToolBarButtonMax - 1;  // the end marker takes one
constexpr u16 kFirstBarKey = 24;
constexpr u16 kLastBarKey = 27;

void file_box(std::string_view what) {
  host_message_box("QUENDAR ERROR", std::string(what) + std::string(kProjectFileName), kBoxIconError | 0x2000);
}

// Where section n's body ends: the first later section name, in table order,
// found after `from`; npos when none is.
std::size_t section_end(std::string_view text, u16 n, std::size_t from) {
  for (u16 k = u16(n + 1); k < kSectionCount; ++k) {
    const std::size_t at = project_find(text, kSectionNames[k], from);
    if (at != std::string_view::npos) return at;
  }
  return std::string_view::npos;
}

void copy_face_name(char (&face)[kFaceNameSize], std::string_view name) {
  const std::size_t n = std::min(name.size(), kFaceNameSize - 1);
  std::memcpy(face, name.data(), n);
  face[n] = '\0';
}

// Puts the project's start options in front of StartupArgs, keeping what fits.
void prefix_startup_args(std::string_view options) {
  std::string args(options);
  args += ' ';
  args += Cmd.StartupArgs;
  const std::size_t n = std::min(args.size(), kStartupArgsSize - 1);
  std::memcpy(Cmd.StartupArgs, args.data(), n);
  Cmd.StartupArgs[n] = '\0';
}

void apply_setup_section(u16 n, std::string_view body) {
  switch (n) {
    case kSectionBreak:
      // the engine keeps the saved breakpoints (an empty text would ask it to save)
      if (!body.empty()) sup_project_break_text(body);
      break;
    case kSectionOption: {
      if (body.empty()) break;
      std::string_view options = body;
      if (options.ends_with("\r\n")) options.remove_suffix(2);
      Frame.KeptOptionText = std::string(options) + "\r\n";
      prefix_startup_args(options);
      break;
    }
    case kSectionDirectory:
      if (body.empty() || body == "@Current\r\n") {
        Frame.ProjectDirectory = host_current_dir();
      } else {
        Frame.ProjectDirectory = std::string(body.substr(0, body.size() >= 2 ? body.size() - 2 : 0));
      }
      if (Frame.ProjectDirectory.size() > kProjectDirectoryMax) Frame.ProjectDirectory.resize(kProjectDirectoryMax);
      break;
    case kSectionProject:
      if (!body.empty()) Frame.KeptProjectText = std::string(body);
      break;
    default:  // %CPU: read and ignored
      break;
  }
}

// The key index a layout line starts with, or -1.
int match_key(std::string_view line, bool with_bar_keys) {
  for (u16 i = 0;; ++i) {
    const std::string_view key = res_string(u16(kStrLayoutKeyBase + i));
    if (key.empty()) {
      if (!with_bar_keys || i > kFirstBarKey) return -1;
      i = kFirstBarKey - 1;
      continue;
    }
    if (line.starts_with(key)) return i;
  }
}

// The layout records of the windows in rank order (the first index of each
// rank 1..12).
std::vector<u16> windows_by_rank() {
  std::vector<u16> order;
  for (u16 rank = 1; rank <= kHighestRank; ++rank)
    for (u16 i = 0; i < kChildCount; ++i)
      if (Frame.Children.layout[i].activationRank == rank) {
        order.push_back(i);
        break;
      }
  return order;
}

// Places a created window from its record: mode 1 the rectangle, mode 2 the
// saved minimized or maximized state.
void apply_placement(u16 i, int mode) {
  TMDIChild* w = Frame.Children.windows[i];
  if (!w) return;
  if (auto* cells = dynamic_cast<TQNWindow*>(w)) {  // a text window places itself
    cells->ApplyPlacement(mode);
    return;
  }
  const WindowLayoutRecord& r = Frame.Children.layout[i];
  if (mode == 1) {
    if (w->IsIconic() || w->IsZoomed()) w->ShowWindow(SW_RESTORE);
    w->MoveWindow(TRect{r.left, r.top, r.right, r.bottom});
    w->BringWindowToTop();
  } else if (r.showState == kShowMinimized) {
    w->ShowWindow(SW_MINIMIZE);
  } else if (r.showState == kShowMaximized) {
    w->ShowWindow(SW_SHOWMAXIMIZED);
  }
}

bool read_layout_section(u32 argument, bool placed) {
  win_close_inspect_windows();
  std::string text;
  if (project_read(kProjectFileName, text) != ProjectReadStatus::ok) {
    file_box("Can't Open ");
    Sup.StartupFailure = 1;
    return false;
  }
  text.push_back(kEof);  // the end of the text, whatever the file ended with
  const u16 n = u16(argument & 0xFF);
  if (n >= kSectionCount) return true;
  const std::size_t at = project_find(text, kSectionNames[n]);
  if (at == std::string::npos) return true;

  if (n >= kSectionBreak && n <= kSectionCpu) {
    const std::size_t end = section_end(text, n, at + kSectionNames[n].size());
    if (end == std::string::npos) return true;
    const std::size_t body = std::min(at + kSectionNames[n].size() + 2, end);
    apply_setup_section(n, std::string_view(text).substr(body, end - body));
    return true;
  }

  // a layout section: one line per key, up to the next line that starts with "%"
  std::size_t pos = text.find('\n', at);
  pos = pos == std::string::npos ? text.size() : pos + 1;
  for (;;) {
    if (pos >= text.size() || text[pos] == kEof) return true;  // the end of the text
    if (text[pos] == '%') break;
    std::size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    std::string_view line = std::string_view(text).substr(pos, eol - pos);
    if (line.ends_with('\r')) line.remove_suffix(1);
    const int key = match_key(line, argument == 0);
    if (key >= 0) prj_apply_layout_line(u16(key), line.substr(res_string(u16(kStrLayoutKeyBase + key)).size()));
    pos = eol + 1;
  }
  if (argument == 0 || placed) return true;

  const std::vector<u16> order = windows_by_rank();
  for (u16 i : order) apply_placement(i, 1);
  for (u16 i : order) apply_placement(i, 2);
  // placing the windows recorded where they went: the file's values again
  const bool ok = read_layout_section(argument, true);
  if (Frame.Children.mainFrame) Frame.Children.mainFrame->Client().FitChildrenToClient();
  return ok;
}

void put_number(std::string& out, long v) { out += std::to_string(v); }

}  // namespace

bool prj_parse_number(std::string_view& cursor, u32 radix, i32& value) {
  std::string_view c = cursor;
  const bool negative = !c.empty() && c.front() == '-';
  if (negative) c.remove_prefix(1);
  u32 v = 0;
  std::size_t digits = 0;
  while (!c.empty()) {
    const char ch = c.front();
    u32 d;
    if (ch >= '0' && ch <= '9') d = u32(ch - '0');
    else if (radix > 10 && host_ascii_upper(ch) >= 'A' && host_ascii_upper(ch) < char('A' + radix - 10)) d = u32(host_ascii_upper(ch) - 'A' + 10);
    else break;
    if (d >= radix) break;
    v = v * radix + d;  // wraps as the system's unsigned count does
    ++digits;
    c.remove_prefix(1);
  }
  if (digits == 0) return false;
  value = i32(negative ? 0u - v : v);
  cursor = c;
  return true;
}

int prj_parse_values(i32* out, std::string_view& cursor) {
  std::string_view c = cursor;
  if (!c.empty() && c.front() == ',') c.remove_prefix(1);
  if (c.empty() || c.front() != '[') {
    if (!prj_parse_number(c, 10, out[0])) return -1;
    cursor = c;
    return 1;
  }
  c.remove_prefix(1);
  int count = 0;
  for (;;) {
    if (count == int(kMaxLayoutValues)) return -1;  // an 11th value
    if (!prj_parse_number(c, 10, out[count])) return -1;
    ++count;
    if (c.empty()) return -1;
    if (c.front() == ']') {
      c.remove_prefix(1);
      break;
    }
    if (c.front() != ',') return -1;
    c.remove_prefix(1);
  }
  cursor = c;
  return count;
}

void prj_apply_layout_line(u16 i, std::string_view text) {
  if (!text.empty() && text.front() == '=') text.remove_prefix(1);
  i32 v[kMaxLayoutValues]{};
  const auto take = [&](int want) { return prj_parse_values(v, text) == want; };
  if (i < kLayoutRecordCount) {
    WindowLayoutRecord& r = Frame.Children.layout[i];
    if (!take(4)) return;
    r.left = std::max(v[0], 0);
    r.top = std::max(v[1], 0);
    r.right = v[2];
    r.bottom = v[3];
    if (!take(1)) return;
    r.showState = u8(v[0]);
    if (!take(1)) return;
    r.activationRank = u8(v[0]);
    if (!take(3)) return;
    r.backgroundColour = v[0];
    r.textColour = v[1];
    r.highlightColour = v[2];
    if (!take(1)) return;
    r.keepSize = u8(v[0]);
    if (!take(9)) return;
    r.height = v[0];
    r.width = v[1];
    r.weight = v[2];
    r.italic = u8(v[3]);
    r.outPrecision = u8(v[4]);
    r.clipPrecision = u8(v[5]);
    r.quality = u8(v[6]);
    r.pitchAndFamily = u8(v[7]);
    r.charSet = u8(v[8]);
    if (text.empty() || text.front() != ',') return;
    text.remove_prefix(1);
    copy_face_name(r.faceName, text.substr(0, text.find('\r')));
    return;
  }
  switch (i) {
    case kFirstBarKey: {
      if (!take(1)) return;
      App.ToolBarFlags = u8(v[0]);
      Frame.ToolBarButtons.clear();
      while (Frame.ToolBarButtons.size() < kToolBarEntryMax && take(1)) Frame.ToolBarButtons.push_back(v[0]);
      Frame.ToolBarButtons.push_back(kToolBarEnd);
      break;
    }
    case kFirstBarKey + 1:
      if (take(1)) App.StatusBarShown = u8(v[0]);
      break;
    case kFirstBarKey + 2:
      if (take(2)) {
        Frame.WindowResizeMode = u16(v[0]);
        Frame.SavedHintValue = u16(v[1]);
      }
      break;
    case kLastBarKey:
      if (take(5))
        for (std::size_t k = 0; k < kViewOptionWordCount; ++k) Frame.ViewOptionWords[k] = u16(v[k]);
      break;
    default:
      break;
  }
}

std::string prj_format_layout_line(u16 i) {
  const WindowLayoutRecord& r = Frame.Children.layout[i];
  std::string line(res_string(u16(kStrLayoutKeyBase + i)));
  const auto list = [&](std::initializer_list<long> values) {
    line += '[';
    bool first = true;
    for (long x : values) {
      if (!first) line += ',';
      put_number(line, x);
      first = false;
    }
    line += ']';
  };
  line += '=';
  list({r.left, r.top, r.right, r.bottom});
  line += ',';
  put_number(line, r.showState);
  line += ',';
  put_number(line, r.activationRank);
  line += ',';
  list({r.backgroundColour, r.textColour, r.highlightColour});
  line += ',';
  put_number(line, r.keepSize);
  line += ',';
  list({r.height, r.width, r.weight, r.italic, r.outPrecision, r.clipPrecision, r.quality, r.pitchAndFamily, r.charSet});
  line += ',';
  line += std::string_view(r.faceName, strnlen(r.faceName, kFaceNameSize));
  line += "\r\n";
  return line;
}

void prj_apply_default_layout() {
  std::string_view body = kDefaultSysBody;
  while (!body.empty()) {
    std::size_t eol = body.find("\r\n");
    if (eol == std::string_view::npos) eol = body.size();
    const std::string_view line = body.substr(0, eol);
    const int key = match_key(line, true);
    if (key >= 0) prj_apply_layout_line(u16(key), line.substr(res_string(u16(kStrLayoutKeyBase + key)).size()));
    body.remove_prefix(std::min(body.size(), eol + 2));
  }
}

bool prj_read_section(u32 argument) { return read_layout_section(argument, false); }

void prj_reapply_layout(u32 argument) { prj_read_section(argument); }

namespace {

// The body of section n as the debugger writes it.
std::string section_body(u16 n) {
  std::string body;
  switch (n) {
    case kSectionSys: case 1: case 2: case 3: {
      for (u16 i = 0; i < kLayoutRecordCount; ++i) body += prj_format_layout_line(i);
      if (n != kSectionSys) break;
      // the bar flags as the bars stand now
      u8 flags = 0;
      bool status_shown = App.StatusBarShown != 0;
      if (const TMDIApp* app = app_current()) {
        for (int b = 0; b < 2; ++b)
          if (app->bars[b] && app->bars[b]->IsWindowVisible())
            flags |= u8((1u | (app->barVertical[b] ? 2u : 0u)) << (2 * b));
        if (App.StatusBar) status_shown = App.StatusBar->IsWindowVisible();
      } else {
        flags = App.ToolBarFlags;
      }
      body += res_string(kStrToolBarKey);
      body += '=' + std::to_string(flags);
      for (i32 id : Frame.ToolBarButtons) {
        if (id == kToolBarEnd) break;
        body += ',' + std::to_string(id);
      }
      body += "\r\n";
      body += std::string(res_string(kStrStatusBarKey)) + "=" + (status_shown ? "1" : "0") + "\r\n";
      body += std::string(res_string(kStrResizeKey)) + "=[" + std::to_string(Frame.WindowResizeMode) + "," +
              std::to_string(Frame.SavedHintValue) + "]\r\n";
      Frame.ViewOptionWords[4] = u16((Frame.ViewOptionWords[4] & ~1u) | (Cmd.Radix == 10 ? 1u : 0u));
      body += std::string(res_string(kStrOptWinKey)) + "=[";
      for (std::size_t k = 0; k < kViewOptionWordCount; ++k)
        body += (k ? "," : "") + std::to_string(Frame.ViewOptionWords[k]);
      body += "]\r\n";
      break;
    }
    case kSectionBreak: body = sup_project_break_text({}); break;  // the break table as it stands
    case kSectionOption: body = Frame.KeptOptionText; break;
    case kSectionDirectory:
      if (!Frame.ProjectDirectory.empty()) body = Frame.ProjectDirectory + "\r\n";
      break;
    case kSectionProject: body = Frame.KeptProjectText; break;
    case kSectionCpu: body = "(80)\r\n"; break;
    default: break;
  }
  return body;
}

}  // namespace

bool prj_write_section(u16 n) {
  win_close_inspect_windows();
  if (n >= kSectionCount) return false;
  std::string file;
  if (project_read(kProjectFileName, file) != ProjectReadStatus::ok) {
    file_box("Can't Write ");
    return false;
  }
  const std::string_view text = project_without_eof(file);
  std::size_t at = project_find(text, kSectionNames[n]);
  std::size_t end;
  bool inserted = false;
  if (at == std::string_view::npos) {
    // a missing section goes in front of %END
    at = project_find(text, kSectionNames[kSectionEnd]);
    if (at == std::string_view::npos) {
      file_box("Can't Write ");
      return false;
    }
    end = at;
    inserted = true;
  } else {
    end = section_end(text, n, at + kSectionNames[n].size());
    if (end == std::string_view::npos) end = text.size();
  }
  std::string out;
  // %SYS opens the file: what stands in front of it is dropped
  if (n != kSectionSys || inserted) out.append(text.substr(0, at));
  out.append(kSectionNames[n]);
  out += "\r\n";
  out += section_body(n);
  out.append(text.substr(end));
  if (!project_write(kProjectFileName, out)) {
    file_box("Can't Write ");
    return false;
  }
  return true;
}
