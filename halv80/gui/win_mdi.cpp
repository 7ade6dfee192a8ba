// The MDI client's arrangement and the operations on the child-window table.
#include "halv80/gui/win_mdi.h"

#include <algorithm>
#include <vector>

#include "halv80/gui/gui_engine.h"
#include "halv80/gui/res_menus.h"
#include "halv80/gui/win_cells.h"
#include "halv80/gui/win_frame.h"
#include "halv80/engine/win_codes.h"
#include "platform/host/host_clock.h"
#include "platform/owl/owl_app.h"

namespace {

// Tiling order: the first five form the main group.
constexpr u16 kTileOrder[] = {11, 12, 10, 0, 1, 2, 3, 4, 5, 6, 7, 8};
constexpr std::size_t kMainGroupSize = 5;

constexpr ResponseEntry kClientTable[] = {
    EvMessage<WM_KEYDOWN, &TMDICltNEW::EvKeyDown>(),
    EvMessage<WM_SYSKEYDOWN, &TMDICltNEW::EvSysKeyDown>(),
    EvCommand<&TMDICltNEW::CmTileChildren>(kCmTileChildren),
    EvCommand<&TMDICltNEW::CmCascadeChildren>(kCmCascadeChildren),
    EvCommand<&TMDICltNEW::CmArrangeIcons>(kCmArrangeIcons),
};

constexpr int kCascadeStep = 24;  // about a caption's height

TMDIChild* child(u16 i) { return i < kChildCount ? Frame.Children.windows[i] : nullptr; }

// The client's outer size less 4, as the reference rectangle keeps it.
TRect reference_rect(const TMDICltNEW& client) {
  const TRect r = client.GetWindowRect();
  return TRect{0, 0, std::max(r.Width() - 4, 0), std::max(r.Height() - 4, 0)};
}

void set_reference(const TRect& r) {
  WindowLayoutRecord& c = Frame.Children.layout[kRecordClient];
  c.left = r.left;
  c.top = r.top;
  c.right = r.right;
  c.bottom = r.bottom;
}

void restore_maximized_active() {
  if (TMDIChild* w = child(win_active_index()); w && w->IsZoomed()) w->SendMessage(WM_SYSCOMMAND, SC_RESTORE);
}

}  // namespace

const ResponseEntry* TMDICltNEW::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kClientTable, message, id)) return e;
  return TMDIClient::Find(message, id);
}

void TMDICltNEW::EvKeyDown(u32 key, u32 repeat, u32 flags) {
  if (Frame.ChildrenCreated != 1) return;
  if (TMDIChild* w = child(win_active_index()))
    w->SendMessage(WM_KEYDOWN, key, owl_make_long(u16(repeat), u16(flags)));
}

void TMDICltNEW::EvSysKeyDown(u32 key, u32 repeat, u32 flags) {
  if (Frame.ChildrenCreated != 1) return;
  if (TMDIChild* w = child(win_active_index()))
    w->SendMessage(WM_SYSKEYDOWN, key, owl_make_long(u16(repeat), u16(flags)));
}

void TMDICltNEW::CmTileChildren() {
  win_close_inspect_windows();
  restore_maximized_active();
  std::vector<u16> listed;
  int m = 0;
  for (std::size_t k = 0; k < std::size(kTileOrder); ++k) {
    TMDIChild* w = child(kTileOrder[k]);
    if (!w || !w->IsCreated() || w->IsIconic()) continue;
    listed.push_back(kTileOrder[k]);
    if (k < kMainGroupSize) ++m;
  }
  const int n = int(listed.size());
  if (n == 0) {
    ArrangeIcons();
    return;
  }
  const int r = n - m;
  int c = 1;
  if (r != 0) {
    c = 2;
    while (c * c <= r) ++c;
    if (m == 0) --c;
  }
  const TRect ref = reference_rect(*this);
  const int W = ref.right, H = ref.bottom;
  set_reference(ref);
  int b = n / c;
  int w = u16(W / c);
  int p = 0, x = 0;
  int column0_width = 0;
  for (int j = 0; j < c; ++j) {
    int h = 0;
    if (m > 0) {
      if (j == 0) {
        b = m;
        if (c == 1) w = W;
        else if (c == 2) w = 2 * W / 3 > 100 ? 2 * W / 3 - 15 : 2 * W / 3;
        else w = W / 2;
        column0_width = w;
      } else if (j == 1) {
        b = (n - m) / (c - 1);
        w = (W - column0_width) / (c - 1);
      }
      h = 2 * H / (m + 1);
    }
    int right = x + w;
    if (j == c - 1) {
      b = n - p;
      right = W;
      w = W - x;
    }
    if (b <= 0) break;
    if (listed[std::size_t(p)] != kChildCode) h = H / b;
    int top = 0, bottom = h;
    bool pair_placed = false;
    int in_pair = 0;  // 1 after the pair's left window: the next one takes the right half
    for (int k = 0; k < b && p < n; ++k) {
      const u16 i = listed[std::size_t(p)];
      if (k == b - 1) bottom = H;
      WindowLayoutRecord& rec = Frame.Children.layout[i];
      int left = x, edge = right;
      int row_bottom = bottom;
      if (in_pair == 1) {
        left = x + w / 2;
        in_pair = 2;
      } else if (i == kChildRegister && b > 1 && !pair_placed) {
        edge = x + w / 2;
        row_bottom = b == 2 ? H : std::min(H, top + 2 * (bottom - top));
        bottom = row_bottom;
        pair_placed = true;
        in_pair = 1;
      }
      if (in_pair == 2) row_bottom = bottom;
      rec.left = left;
      rec.top = top;
      rec.right = edge;
      rec.bottom = row_bottom;
      rec.showState = kShowPlace;
      win_record_placement(i);
      if (i == kChildCode && b > 1) h = (H - h) / (b - 1);
      if (in_pair == 1) {
        // the right half of the pair comes next, with the same rows
      } else {
        if (in_pair == 2) in_pair = 0;
        top = bottom;
        bottom = top + h;
      }
      ++p;
    }
    x += w;
  }
  ArrangeIcons();
}

void TMDICltNEW::CmCascadeChildren() {
  win_close_inspect_windows();
  restore_maximized_active();
  for (u16 i = 0; i < kChildCount; ++i)
    if (TMDIChild* w = child(i); w && i != kChildInspect && !w->IsIconic()) Frame.Children.layout[i].keepSize = 0;
  // The framework's cascade sizes each window to its size hint, a few cells;
  // here the windows step down from the top left corner by a caption's
  // height, the least recently activated first, each as large as the client
  // less the steps (at least half the client in each direction).
  const TRect ref = reference_rect(*this);
  std::vector<u16> listed;
  for (u16 i = 0; i < kChildCount; ++i)
    if (TMDIChild* w = child(i); w && i != kChildInspect && w->IsCreated() && !w->IsIconic()) listed.push_back(i);
  std::stable_sort(listed.begin(), listed.end(), [](u16 a, u16 b) {
    return Frame.Children.layout[a].activationRank < Frame.Children.layout[b].activationRank;
  });
  if (!listed.empty()) {
    const int n = int(listed.size());
    int step = kCascadeStep;
    if (n > 1) step = std::min(step, std::min(ref.right, ref.bottom) / 2 / (n - 1));
    const int width = std::max(ref.right - (n - 1) * step, ref.right / 2);
    const int height = std::max(ref.bottom - (n - 1) * step, ref.bottom / 2);
    for (int k = 0; k < n; ++k) {
      WindowLayoutRecord& rec = Frame.Children.layout[listed[std::size_t(k)]];
      rec.left = k * step;
      rec.top = k * step;
      rec.right = rec.left + width;
      rec.bottom = rec.top + height;
      rec.showState = kShowPlace;
      win_record_placement(listed[std::size_t(k)]);
    }
  }
  ArrangeIcons();
  set_reference(ref);
}

void TMDICltNEW::CmArrangeIcons() { ArrangeIcons(); }

void TMDICltNEW::FitChildrenToClient() {
  if (Frame.ChildrenCreated != 1) return;
  WindowLayoutRecord& frame = Frame.Children.layout[kRecordFrame];
  if (QN_Frame* f = Frame.Children.mainFrame) {
    if (f->IsIconic()) {
      frame.showState = kShowMinimized;
      return;
    }
    if (f->IsZoomed()) {
      if (frame.showState != kShowMaximized) {
        frame.backgroundColour = frame.left;
        frame.textColour = frame.right;
      }
      frame.showState = kShowMaximized;
    } else {
      const TRect r = f->GetWindowRect();
      frame.showState = kShowNormal;
      frame.left = r.left;
      frame.top = r.top;
      frame.right = r.right;
      frame.bottom = r.bottom;
    }
  }
  ArrangeIcons();
  win_close_inspect_windows();
  const TRect now = reference_rect(*this);
  const WindowLayoutRecord& ref = Frame.Children.layout[kRecordClient];
  const i32 W = ref.right - ref.left, H = ref.bottom - ref.top;
  set_reference(now);
  // no reference yet: nothing to scale from
  if (W <= 0 || H <= 0 || now.right <= 0 || now.bottom <= 0) return;
  const i64 sx = i64(now.right) * 10000 / W;
  const i64 sy = i64(now.bottom) * 10000 / H;
  if ((Frame.WindowResizeMode & 1) == 0) return;
  for (u16 i = 0; i < kChildCount; ++i) {
    TMDIChild* w = child(i);
    if (!w || i == kChildInspect) continue;
    WindowLayoutRecord& r = Frame.Children.layout[i];
    r.left = i32((r.left * sx + 5000) / 10000);
    r.right = i32((r.right * sx + 5000) / 10000);
    r.top = i32((r.top * sy + 5000) / 10000);
    r.bottom = i32((r.bottom * sy + 5000) / 10000);
    if (!w->IsIconic() && !w->IsZoomed()) {
      r.showState = kShowPlace;
      win_record_placement(i);
    }
  }
}

u16 win_active_index() {
  ChildWindowTable& t = Frame.Children;
  if (t.mainFrame) {
    if (TMDIChild* active = t.mainFrame->Client().GetActiveMDIChild()) {
      for (u16 i = 0; i < kChildCount; ++i)
        if (t.windows[i] == active) t.activeIndex = i;
    }
  }
  return t.activeIndex;
}

void win_record_placement(u16 i) {
  TMDIChild* w = child(i);
  WindowLayoutRecord& r = Frame.Children.layout[i];
  if (!w) return;
  r.keepSize = u8(Frame.WindowResizeMode & 1);
  if (w->IsIconic() || w->IsZoomed()) return;
  w->MoveWindow(TRect{r.left, r.top, r.right, r.bottom});
  if (r.showState == kShowPlace) r.showState = kShowNormal;
}

void win_activate_child(u16 n) {
  TMDIChild* w = child(n);
  if (!w || !w->IsCreated()) return;
  if (w->IsIconic()) {
    w->SendMessage(WM_SYSCOMMAND, SC_RESTORE);
    w->BringWindowToTop();
  } else if (n == win_active_index()) {
    w->SendMessage(WM_SYSCOMMAND, SC_MINIMIZE);
  } else {
    w->BringWindowToTop();
  }
  // a window brought up by a command takes the next click as a click, not as
  // the click that activated it
  if (auto* active = dynamic_cast<TQNWindow*>(child(win_active_index()))) active->mouseState = kMouseIdle;
}

void win_cycle_focus(u16 direction) {
  const u16 active = win_active_index();
  if (active == kChildInspect && child(kChildInspect)) return;
  u16 i = active;
  for (int step = 0; step < kChildCount; ++step) {
    i = direction == 0 ? u16((i + 1) % kChildCount) : u16((i + kChildCount - 1) % kChildCount);
    TMDIChild* w = child(i);
    if (i == kChildInspect || !w || !w->IsCreated() || w->IsIconic()) continue;
    w->BringWindowToTop();
    Frame.Children.activeIndex = i;
    return;
  }
}

void win_toggle_maximize() {
  TMDIChild* w = child(win_active_index());
  if (!w) return;
  w->SendMessage(WM_SYSCOMMAND, w->IsZoomed() ? SC_RESTORE : SC_MAXIMIZE);
}

void win_close_inspect_windows() {
  ChildWindowTable& t = Frame.Children;
  if (t.savedActiveIndex != 0 || t.inspectOpening != 0 || !t.inspectChainHead) return;
  // the oldest takes all newer ones with it
  TMDIChild* oldest = t.inspectChainHead;
  t.inspectChainHead = nullptr;
  t.windows[kChildInspect] = nullptr;
  oldest->Destroy();
  delete oldest;
}

u16 win_modifier_mask() {
  const u32 m = owl_key_modifiers();
  return u16(((m & MK_SHIFT) ? kKeyShift : 0) | ((m & MK_CONTROL) ? kKeyCtrl : 0) | ((m & kOwlAltDown) ? kKeyAlt : 0));
}

namespace {
void post_engine_timer() {
  if (TMDIChild* console = Frame.Children.consoleWindow) console->PostMessage(WM_TIMER, 0);
}
}  // namespace

void ui_post_run_action(RunAction action) {
  Co.Key.flags = 0;
  switch (action) {
    case RunAction::Step: Co.Key.key_code = kKeyF10; break;
    case RunAction::Trace: Co.Key.key_code = kKeyF8; break;
    case RunAction::Go: Co.Key.key_code = kKeyF5; break;
    case RunAction::ForceBreak:
      Co.Key.key_code = 0;
      Co.Key.character = 0x1B;
      break;
    case RunAction::Come: Co.Key.key_code = kKeyF7; break;
    case RunAction::Return:
      Co.Key.key_code = kKeyF5;
      Co.Key.flags = kKeyCtrl;
      break;
    case RunAction::SoftwareBreak: Co.Key.key_code = kKeyF9; break;
  }
  post_engine_timer();
}

void ui_post_pseudo_key(PseudoKey key) {
  Co.Key.flags = 0;
  Co.Key.key_code = key_word(key);
  post_engine_timer();
}
