// The caret, the windows' vertical scroll bars and the mapping of client
// points to the screen.
#include <QScrollBar>

#include "platform/owl/owl_qt.h"
#include "platform/owl/owl_window.h"

namespace {

OwlCaret Caret;

// Repaints the caret's cell of its window (the caret is drawn over the picture).
void update_caret_area() {
  if (!Caret.owner || !Caret.owner->Qt() || !Caret.owner->Qt()->client) return;
  const TRect& r = Caret.rect;
  Caret.owner->Qt()->client->update(QRect(r.left, r.top, r.Width(), r.Height()));
}

// The WM_VSCROLL code of a scroll-bar action, or -1 for none.
int scroll_code(int action) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub: return int(SB_LINEUP);
    case QAbstractSlider::SliderSingleStepAdd: return int(SB_LINEDOWN);
    case QAbstractSlider::SliderPageStepSub: return int(SB_PAGEUP);
    case QAbstractSlider::SliderPageStepAdd: return int(SB_PAGEDOWN);
    case QAbstractSlider::SliderToMinimum: return int(SB_TOP);
    case QAbstractSlider::SliderToMaximum: return int(SB_BOTTOM);
    case QAbstractSlider::SliderMove: return int(SB_THUMBTRACK);
    default: return -1;
  }
}

void send_scroll(TWindow* owner, u32 code, int position) {
  if (owner) owner->SendMessage(WM_VSCROLL, u64(code) | u64(u16(position)) << 16);
}

}  // namespace

QScrollBar* owl_make_vscroll(TWindow* owner, QWidget* parent) {
  auto* bar = new QScrollBar(Qt::Vertical, parent);
  bar->setFocusPolicy(Qt::NoFocus);
  bar->setRange(0, 100);
  QObject::connect(bar, &QAbstractSlider::actionTriggered, bar, [owner, bar](int action) {
    const int code = scroll_code(action);
    if (code < 0) return;
    const int position = bar->sliderPosition();
    // the thumb stays where its owner put it, except while it is dragged
    if (code != int(SB_THUMBTRACK)) bar->setSliderPosition(bar->value());
    send_scroll(owner, u32(code), position);
  });
  QObject::connect(bar, &QAbstractSlider::sliderReleased, bar, [owner, bar]() {
    send_scroll(owner, SB_THUMBPOSITION, bar->sliderPosition());
    send_scroll(owner, SB_ENDSCROLL, 0);
  });
  return bar;
}

void TWindow::SetScrollRange(int minimum, int maximum, bool) {
  if (qt_ && qt_->vscroll) qt_->vscroll->setRange(minimum, std::max(minimum, maximum));
}

void TWindow::SetScrollPos(int position, bool) {
  if (!qt_ || !qt_->vscroll) return;
  QScrollBar* bar = qt_->vscroll;
  const QSignalBlocker quiet(bar);  // a thumb set by the program sends nothing
  bar->setValue(position);
  bar->setSliderPosition(bar->value());
}

int TWindow::GetScrollPos() const { return qt_ && qt_->vscroll ? qt_->vscroll->value() : 0; }

void TWindow::ShowScrollBar(bool show) {
  if (qt_ && qt_->vscroll) qt_->vscroll->setVisible(show);
}

TPoint TWindow::ClientToScreen(TPoint p) const {
  const QWidget* w = qt_ && qt_->client ? static_cast<const QWidget*>(qt_->client) : qt_ ? qt_->outer.data() : nullptr;
  if (!w) return p;
  const QPoint g = w->mapToGlobal(QPoint(p.x, p.y));
  return TPoint{g.x(), g.y()};
}

TPoint TWindow::ScreenToClient(TPoint p) const {
  const QWidget* w = qt_ ? static_cast<const QWidget*>(qt_->client) : nullptr;
  if (!w && qt_) {
    w = qt_->outer.data();
    if (auto* area = qobject_cast<const QMdiArea*>(w)) w = area->viewport();
  }
  if (!w) return p;
  const QPoint c = w->mapFromGlobal(QPoint(p.x, p.y));
  return TPoint{c.x(), c.y()};
}

void owl_create_caret(TWindow& owner, int width, int height) {
  owl_destroy_caret();
  Caret.owner = &owner;
  Caret.rect = TRect{0, 0, std::max(width, 1), std::max(height, 1)};
  Caret.hidden = 1;  // a new caret is hidden until shown
}

void owl_destroy_caret() {
  update_caret_area();
  Caret = OwlCaret{};
}

void owl_set_caret_pos(int x, int y) {
  if (!Caret.owner) return;
  update_caret_area();
  Caret.rect = TRect{x, y, x + Caret.rect.Width(), y + Caret.rect.Height()};
  update_caret_area();
}

void owl_show_caret() {
  if (!Caret.owner || Caret.hidden == 0) return;
  if (--Caret.hidden == 0) update_caret_area();
}

void owl_hide_caret() {
  if (!Caret.owner) return;
  if (Caret.hidden++ == 0) update_caret_area();
}

const OwlCaret& owl_caret() { return Caret; }

void owl_forget_caret(TWindow* window) {
  if (Caret.owner == window) Caret = OwlCaret{};
}
