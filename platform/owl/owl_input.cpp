// The Escape watch, the wait cursor and tracked popups.
#include "platform/owl/owl_input.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>

#include "platform/owl/owl_qt.h"

// A timer of the window has a tick waiting (owl_timer.cpp).
bool owl_tick_waiting(const TWindow& window);

struct OwlEscapeWatch::Filter : QObject {
  bool escape = false;
  bool eventFilter(QObject*, QEvent* e) override {
    switch (e->type()) {
      case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) escape = true;
        return true;
      case QEvent::KeyRelease:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
      case QEvent::Wheel:
      case QEvent::ShortcutOverride:
        return true;
      default:
        return false;
    }
  }
};

OwlEscapeWatch::OwlEscapeWatch(const TWindow* tickWindow) : filter_(std::make_unique<Filter>()), tickWindow_(tickWindow) {
  if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(filter_.get());
}

OwlEscapeWatch::~OwlEscapeWatch() {
  if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(filter_.get());
}

bool OwlEscapeWatch::Poll() {
  if (tickWindow_ && owl_tick_waiting(*tickWindow_)) ++ticks_;
  QCoreApplication::processEvents();
  return filter_->escape;
}

u32 OwlEscapeWatch::Ticks() const { return ticks_; }

namespace {
bool WaitCursor = false;
QPointer<QMenu> OpenPopup;
}  // namespace

void owl_set_wait_cursor(bool on) {
  if (on == WaitCursor) return;
  WaitCursor = on;
  if (on) QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  else QApplication::restoreOverrideCursor();
}

bool owl_wait_cursor_shown() { return WaitCursor; }

void owl_track_popup(const TMenu& menu, const TWindow& owner, const TPoint& point) {
  auto* popup = qobject_cast<QMenu*>(reinterpret_cast<QWidget*>(menu.Qt()));
  QWidget* client = owl_client_widget(owner);
  if (!popup || !client) return;
  OpenPopup = popup;
  popup->popup(client->mapToGlobal(QPoint(point.x, point.y)));
}

TMenu owl_open_popup() {
  QMenu* m = OpenPopup && OpenPopup->isVisible() ? OpenPopup.data() : nullptr;
  return TMenu(reinterpret_cast<OwlMenuQt*>(static_cast<QWidget*>(m)));
}
