// Window timers. A tick never calls the window: it posts WM_TIMER to the
// window's receiver, so the tick's own Qt timer is free again at once and the
// next tick also arrives while a handler runs a modal loop. At most one tick
// of a timer waits at a time, as with the system's timers. On the manual clock
// ticks fall due only when the tests advance it.
#include <QCoreApplication>
#include <QTimer>
#include <set>

#include "platform/host/host_clock.h"
#include "platform/owl/owl_app.h"
#include "platform/owl/owl_qt.h"

namespace {

const QEvent::Type kTickEvent = QEvent::Type(QEvent::User + 0x102);

struct TickEvent : QEvent {
  explicit TickEvent(u32 timer_id) : QEvent(kTickEvent), id(timer_id) {}
  u32 id;
};

struct ClockState {
  bool manual = false;
  std::set<OwlWindowQt*> windows;  // windows with a timer on the manual clock
};
ClockState Clock;

}  // namespace

void OwlWindowQt::ArmTimer(u32 id, OwlTimerSlot& slot) {
  delete slot.timer;
  slot.timer = nullptr;
  if (Clock.manual) {
    slot.due = host_tick_ms() + slot.interval;
    Clock.windows.insert(this);
    return;
  }
  auto* t = new QTimer(&receiver);
  t->setInterval(int(std::min<u32>(slot.interval, 0x7FFFFFFF)));
  QObject::connect(t, &QTimer::timeout, &receiver, [this, id] { PostTick(id); });
  t->start();
  slot.timer = t;
}

void OwlWindowQt::PostTick(u32 id) {
  auto it = timers.find(id);
  if (it == timers.end() || it->second.pending) return;
  it->second.pending = true;
  QCoreApplication::postEvent(&receiver, new TickEvent(id));
}

bool TWindow::SetTimer(u32 id, u32 milliseconds) {
  if (!qt_) return false;
  OwlTimerSlot& slot = qt_->timers[id];
  slot.interval = std::max<u32>(milliseconds, 1);
  qt_->ArmTimer(id, slot);
  return true;
}

bool TWindow::KillTimer(u32 id) {
  if (!qt_) return false;
  auto it = qt_->timers.find(id);
  if (it == qt_->timers.end()) return false;
  delete it->second.timer;
  qt_->timers.erase(it);  // a tick already posted is dropped on arrival
  return true;
}

// Tick events arrive here beside posted messages (see OwlReceiver::event).
bool owl_receive_tick(OwlReceiver& receiver, QEvent* e) {
  if (e->type() != kTickEvent) return false;
  TWindow* owner = receiver.owner_;
  if (!owner || !owner->Qt()) return true;
  const u32 id = static_cast<TickEvent*>(e)->id;
  auto it = owner->Qt()->timers.find(id);
  if (it == owner->Qt()->timers.end()) return true;  // killed meanwhile
  it->second.pending = false;
  owner->SendMessage(WM_TIMER, id);
  return true;
}

void owl_forget_timers(OwlWindowQt* q) { Clock.windows.erase(q); }

void owl_clock_use_manual(u32 start_ms) {
  host_clock_use_fake(start_ms);
  Clock.manual = true;
}

void owl_clock_advance(u32 ms) {
  host_clock_advance(ms);
  const u32 now = host_tick_ms();
  for (OwlWindowQt* q : std::set<OwlWindowQt*>(Clock.windows)) {
    for (auto& [id, slot] : q->timers) {
      if (slot.timer || i32(now - slot.due) < 0) continue;
      // one tick however many intervals passed
      while (i32(now - slot.due) >= 0) slot.due += slot.interval;
      q->PostTick(id);
    }
  }
}

void owl_clock_use_real() {
  Clock.manual = false;
  host_clock_use_real();
  for (OwlWindowQt* q : std::set<OwlWindowQt*>(Clock.windows))
    for (auto& [id, slot] : q->timers) q->ArmTimer(id, slot);
  Clock.windows.clear();
}

bool owl_tick_waiting(const TWindow& window) {
  if (!window.Qt()) return false;
  for (const auto& [id, slot] : window.Qt()->timers)
    if (slot.pending) return true;
  return false;
}
