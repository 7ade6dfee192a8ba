// Windows over Qt widgets: message dispatch, the client widget's translation of
// Qt events into messages, painting through the backing image, frames with
// menus and bars, command routing and enabling, the MDI client and children.
#include "platform/owl/owl_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QThread>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <map>

#include "platform/host/host_text.h"
#include "platform/owl/owl_app.h"
#include "platform/owl/owl_dc.h"
#include "platform/owl/owl_qt.h"

namespace {

// Posted messages travel as this event to the window's receiver.
const QEvent::Type kPostedMessageEvent = QEvent::Type(QEvent::User + 0x101);

struct PostedMessageEvent : QEvent {
  explicit PostedMessageEvent(const OwlMessage& m) : QEvent(kPostedMessageEvent), msg(m) {}
  OwlMessage msg;
};

// Menu resources by id.
std::map<u32, std::span<const MenuTemplateRow>>& menu_resources() {
  static std::map<u32, std::span<const MenuTemplateRow>> resources;
  return resources;
}

QWidget* menu_widget(OwlMenuQt* m) { return reinterpret_cast<QWidget*>(m); }
OwlMenuQt* menu_handle(QWidget* w) { return reinterpret_cast<OwlMenuQt*>(w); }

constexpr const char* kCommandProperty = "owlCommand";

u32 action_command(const QAction* a) {
  const QVariant v = a->property(kCommandProperty);
  return v.isValid() ? v.toUInt() : 0;
}

// Every action below a menu widget, depth first, in menu order.
void collect_actions(QWidget* menu, std::vector<QAction*>& out) {
  for (QAction* a : menu->actions()) {
    if (QMenu* sub = a->menu())
      collect_actions(sub, out);
    else
      out.push_back(a);
  }
}

QAction* find_action(QWidget* menu, u32 id) {
  std::vector<QAction*> all;
  collect_actions(menu, all);
  for (QAction* a : all)
    if (action_command(a) == id) return a;
  return nullptr;
}

// Qt's mouse state as the system's button flags.
u32 mouse_flags(const QMouseEvent* e) {
  u32 flags = 0;
  if (e->buttons() & Qt::LeftButton) flags |= MK_LBUTTON;
  if (e->buttons() & Qt::RightButton) flags |= MK_RBUTTON;
  if (e->buttons() & Qt::MiddleButton) flags |= MK_MBUTTON;
  if (e->modifiers() & Qt::ShiftModifier) flags |= MK_SHIFT;
  if (e->modifiers() & Qt::ControlModifier) flags |= MK_CONTROL;
  return flags;
}

i64 point_word(QPointF p) { return owl_make_long(u16(i16(p.x())), u16(i16(p.y()))); }

// The button messages of a press: down, up, double click.
u32 button_message(Qt::MouseButton b, u32 left) {
  switch (b) {
    case Qt::RightButton: return left + (WM_RBUTTONDOWN - WM_LBUTTONDOWN);
    case Qt::MiddleButton: return left + (WM_MBUTTONDOWN - WM_LBUTTONDOWN);
    default: return left;
  }
}

// Size type of a window's WM_SIZE.
u32 size_type(const QWidget* outer) {
  if (!outer) return SIZE_RESTORED;
  if (outer->isMinimized()) return SIZE_MINIMIZED;
  if (outer->isMaximized()) return SIZE_MAXIMIZED;
  return SIZE_RESTORED;
}

class OwlMainWindow : public QMainWindow {
 public:
  explicit OwlMainWindow(TWindow* owner) : owner_(owner) {}
  TWindow* owner_;

 protected:
  void closeEvent(QCloseEvent* e) override {
    e->ignore();
    if (owner_) owner_->SendMessage(WM_SYSCOMMAND, SC_CLOSE);
  }
  void resizeEvent(QResizeEvent* e) override {
    QMainWindow::resizeEvent(e);
    if (!owner_) return;
    const QSize s = centralWidget() ? centralWidget()->size() : size();
    owner_->SendMessage(WM_SIZE, size_type(this), owl_make_long(u16(s.width()), u16(s.height())));
  }
  void moveEvent(QMoveEvent* e) override {
    QMainWindow::moveEvent(e);
    if (owner_) owner_->SendMessage(WM_MOVE, 0, point_word(pos()));
  }
  void paintEvent(QPaintEvent* e) override {
    QMainWindow::paintEvent(e);
    if (owner_) owner_->SendMessage(WM_PAINT);
  }
};

class OwlSubWindow : public QMdiSubWindow {
 public:
  explicit OwlSubWindow(TWindow* owner) : owner_(owner) {}
  TWindow* owner_;

 protected:
  void closeEvent(QCloseEvent* e) override {
    e->ignore();
    if (owner_) owner_->SendMessage(WM_SYSCOMMAND, SC_CLOSE);
  }
  void moveEvent(QMoveEvent* e) override {
    QMdiSubWindow::moveEvent(e);
    if (owner_ && widget()) owner_->SendMessage(WM_MOVE, 0, point_word(widget()->mapTo(parentWidget(), QPoint(0, 0))));
  }
  void changeEvent(QEvent* e) override {
    QMdiSubWindow::changeEvent(e);
    if (owner_ && e->type() == QEvent::WindowStateChange && isMinimized())
      owner_->SendMessage(WM_SIZE, SIZE_MINIMIZED, 0);
  }
  void mousePressEvent(QMouseEvent* e) override {
    // a press on the frame may start a sizing: the bounds are asked first
    if (auto* child = dynamic_cast<TMDIChild*>(owner_)) child->ApplyMinMaxInfo();
    QMdiSubWindow::mousePressEvent(e);
  }
  void resizeEvent(QResizeEvent* e) override {
    // a border dragged with the mouse
    if (owner_ && QGuiApplication::mouseButtons() != Qt::NoButton && !isMinimized()) {
      TRect r{x(), y(), x() + e->size().width(), y() + e->size().height()};
      owner_->SendMessage(WM_SIZING, WMSZ_BOTTOMRIGHT, owl_ptr_word(&r));
    }
    QMdiSubWindow::resizeEvent(e);
  }
};

class OwlDialog : public QDialog {
 public:
  OwlDialog(TWindow* owner, QWidget* parent) : QDialog(parent), owner_(owner) {}
  TWindow* owner_;

 protected:
  void closeEvent(QCloseEvent* e) override {
    e->ignore();
    if (owner_) owner_->SendMessage(WM_CLOSE);
  }
  void reject() override {
    if (owner_) owner_->SendMessage(WM_CLOSE);
  }
};

class OwlMdiArea : public QMdiArea {
 public:
  explicit OwlMdiArea(TWindow* owner) : owner_(owner) {}
  TWindow* owner_;

 protected:
  void resizeEvent(QResizeEvent* e) override {
    QMdiArea::resizeEvent(e);
    if (owner_) owner_->SendMessage(WM_SIZE, SIZE_RESTORED, owl_make_long(u16(viewport()->width()), u16(viewport()->height())));
  }
};

// The window object behind a sub-window, or null.
TMDIChild* child_of(QMdiSubWindow* sub) {
  auto* own = dynamic_cast<OwlSubWindow*>(sub);
  return own ? static_cast<TMDIChild*>(own->owner_) : nullptr;
}

}  // namespace

bool owl_receive_tick(OwlReceiver& receiver, QEvent* e);
void owl_forget_timers(OwlWindowQt* q);

// The actions that one enabler speaks for.
struct OwlEnablerQt {
  std::vector<QAction*> actions;
};

// ---------------------------------------------------------------- Qt state

OwlWindowQt::OwlWindowQt(TWindow* w) : owner(w), receiver(w) {}

OwlWindowQt::~OwlWindowQt() {
  // an MDI child's popups live in its frame's bar: they go with the child
  for (QPointer<QAction>& a : barEntries)
    if (a) {
      if (QMenu* popup = a->menu()) popup->deleteLater();
      else a->deleteLater();
    }
  for (auto& [id, slot] : timers) delete slot.timer;
  owl_forget_timers(this);
}

QWidget* OwlWindowQt::ChildParent() const {
  if (client) return client;
  if (auto* mw = qobject_cast<QMainWindow*>(outer.data())) return mw;
  if (auto* area = qobject_cast<QMdiArea*>(outer.data())) return area->viewport();
  return outer;
}

void OwlWindowQt::PaintPending() {
  if (invalid.isEmpty() || !client) return;
  owner->SendMessage(WM_PAINT);
}

bool OwlReceiver::event(QEvent* e) {
  if (e->type() == kPostedMessageEvent) {
    if (owner_) owner_->SendMessage(static_cast<PostedMessageEvent*>(e)->msg.message,
                                    static_cast<PostedMessageEvent*>(e)->msg.wParam,
                                    static_cast<PostedMessageEvent*>(e)->msg.lParam);
    return true;
  }
  if (owl_receive_tick(*this, e)) return true;
  return QObject::event(e);
}

// ---------------------------------------------------------------- client widget

OwlClient::OwlClient(TWindow* owner, QWidget* parent) : QWidget(parent), owner_(owner) {
  setAttribute(Qt::WA_InputMethodEnabled, true);
  setAttribute(Qt::WA_OpaquePaintEvent, true);
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
}

bool OwlClient::event(QEvent* e) {
  // Tab is a key like any other: it does not move the focus.
  if (e->type() == QEvent::KeyPress) {
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) {
      keyPressEvent(k);
      return true;
    }
  }
  return QWidget::event(e);
}

void OwlClient::paintEvent(QPaintEvent*) {
  if (!owner_) return;
  OwlWindowQt* q = owner_->Qt();
  q->PaintPending();
  if (!owner_) return;
  QPainter p(this);
  p.drawImage(0, 0, q->image);
  const OwlCaret& caret = owl_caret();
  if (caret.owner == owner_ && caret.hidden == 0) {
    const TRect& r = caret.rect;
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    p.fillRect(QRect(r.left, r.top, r.Width(), r.Height()), Qt::white);
  }
}

void OwlClient::resizeEvent(QResizeEvent* e) {
  if (!owner_) return;
  OwlWindowQt* q = owner_->Qt();
  const QSize s = e->size();
  if (s.width() > 0 && s.height() > 0) {
    QImage grown(s, QImage::Format_RGB32);
    grown.fill(Qt::white);
    if (!q->image.isNull()) {
      QPainter p(&grown);
      p.drawImage(0, 0, q->image);
    }
    q->image = grown;
  }
  owner_->InvalidateRect(TRect{0, 0, s.width(), s.height()});
  owner_->SendMessage(WM_SIZE, size_type(q->outer), owl_make_long(u16(s.width()), u16(s.height())));
}

void OwlClient::moveEvent(QMoveEvent* e) {
  // an MDI child reports its moves from its sub-window
  if (owner_ && owner_->Qt()->outer == this) owner_->SendMessage(WM_MOVE, 0, point_word(e->pos()));
}

void OwlClient::keyPressEvent(QKeyEvent* e) {
  QPointer<OwlClient> alive(this);
  for (const OwlMessage& m : owl_key_press_messages(*e)) {
    if (!alive || !owner_) return;
    owner_->SendMessage(m.message, m.wParam, m.lParam);
  }
}

void OwlClient::keyReleaseEvent(QKeyEvent* e) {
  QPointer<OwlClient> alive(this);
  for (const OwlMessage& m : owl_key_release_messages(*e)) {
    if (!alive || !owner_) return;
    owner_->SendMessage(m.message, m.wParam, m.lParam);
  }
}

void OwlClient::inputMethodEvent(QInputMethodEvent* e) {
  QPointer<OwlClient> alive(this);
  for (const OwlMessage& m : owl_text_messages(e->commitString())) {
    if (!alive || !owner_) return;
    owner_->SendMessage(m.message, m.wParam, m.lParam);
  }
  e->accept();
}

void OwlClient::mousePressEvent(QMouseEvent* e) {
  if (owner_) owner_->SendMessage(button_message(e->button(), WM_LBUTTONDOWN), mouse_flags(e), point_word(e->position()));
}

void OwlClient::mouseReleaseEvent(QMouseEvent* e) {
  if (owner_) owner_->SendMessage(button_message(e->button(), WM_LBUTTONUP), mouse_flags(e), point_word(e->position()));
}

void OwlClient::mouseDoubleClickEvent(QMouseEvent* e) {
  if (owner_) owner_->SendMessage(button_message(e->button(), WM_LBUTTONDBLCLK), mouse_flags(e), point_word(e->position()));
}

void OwlClient::mouseMoveEvent(QMouseEvent* e) {
  if (owner_) owner_->SendMessage(WM_MOUSEMOVE, mouse_flags(e), point_word(e->position()));
}

void OwlClient::focusInEvent(QFocusEvent*) {
  if (owner_) owner_->SendMessage(WM_SETFOCUS);
}

void OwlClient::focusOutEvent(QFocusEvent*) {
  if (owner_) owner_->SendMessage(WM_KILLFOCUS);
}

// ---------------------------------------------------------------- tables

const ResponseEntry* owl_search_table(std::span<const ResponseEntry> table, u32 message, u32 id) {
  for (const ResponseEntry& e : table)
    if (e.message == message && e.id == id) return &e;
  return nullptr;
}

const ResponseEntry* TEventHandler::Find(u32, u32) { return nullptr; }

void owl_table_enabler_ids(std::span<const ResponseEntry> table, std::vector<u32>& ids) {
  for (const ResponseEntry& e : table)
    if (e.message == kCommandEnableMessage && std::find(ids.begin(), ids.end(), e.id) == ids.end())
      ids.push_back(e.id);
}

// ---------------------------------------------------------------- TWindow

TWindow::TWindow(TWindow* parent, std::string_view title) : parent_(parent), title_(title) {
  if (parent_) parent_->AddChild(this);
}

TWindow::~TWindow() {
  owl_forget_caret(this);
  // children first: their widgets live inside ours
  while (!children_.empty()) delete children_.back();
  if (qt_) {
    DetachQt();
    delete qt_->outer.data();
  }
  if (parent_) parent_->RemoveChild(this);
}

void TWindow::DetachQt() {
  if (!qt_) return;
  for (auto& [id, slot] : qt_->timers) delete slot.timer;
  qt_->timers.clear();
  owl_forget_timers(qt_.get());
  qt_->receiver.owner_ = nullptr;
  if (qt_->client) qt_->client->owner_ = nullptr;
  QWidget* w = qt_->outer;
  if (auto* mw = dynamic_cast<OwlMainWindow*>(w)) mw->owner_ = nullptr;
  if (auto* sw = dynamic_cast<OwlSubWindow*>(w)) sw->owner_ = nullptr;
  if (auto* dw = dynamic_cast<OwlDialog*>(w)) dw->owner_ = nullptr;
  if (auto* aw = dynamic_cast<OwlMdiArea*>(w)) aw->owner_ = nullptr;
}

void TWindow::SetParent(TWindow* parent) {
  if (parent == parent_) return;
  if (parent_) parent_->RemoveChild(this);
  parent_ = parent;
  if (parent_) parent_->AddChild(this);
}

void TWindow::AddChild(TWindow* child) { children_.push_back(child); }

void TWindow::RemoveChild(TWindow* child) {
  children_.erase(std::remove(children_.begin(), children_.end(), child), children_.end());
}

TApplication* TWindow::GetApplication() const { return TApplication::Current(); }

bool TWindow::IsCreated() const { return qt_ && qt_->outer; }

void TWindow::Create() {
  if (IsCreated()) return;
  if (parent_ && !parent_->IsCreated()) return;  // made with the parent
  qt_ = std::make_unique<OwlWindowQt>(this);
  CreateQt();
  if (qt_->outer) qt_->outer->setWindowTitle(owl_qstring(title_));
  SendMessage(WM_CREATE);
  SetupWindow();
  for (TWindow* c : std::vector<TWindow*>(children_)) c->Create();
  if (auto* frame = dynamic_cast<TFrameWindow*>(this)) frame->PlaceDecorations();
  if (auto* child = dynamic_cast<TMDIChild*>(this)) child->ApplyMinMaxInfo();
  if (!qt_ || !qt_->outer) return;
  if (pendingShow_ >= 0)
    ShowWindow(pendingShow_);
  else if (!qt_->outer->isWindow())
    qt_->outer->show();  // children are visible from the start
  pendingShow_ = -1;
}

void TWindow::CreateQt() {
  QWidget* host = parent_ && parent_->qt_ ? parent_->qt_->ChildParent() : nullptr;
  qt_->client = new OwlClient(this, host);
  qt_->outer = qt_->client;
  if (auto* mw = qobject_cast<QMainWindow*>(host)) mw->setCentralWidget(qt_->client);
}

void TWindow::Destroy() {
  if (!IsCreated() || destroying_) return;
  destroying_ = true;
  for (TWindow* c : std::vector<TWindow*>(children_)) c->Destroy();
  SendMessage(WM_DESTROY);
  DetachQt();
  if (QWidget* w = qt_->outer) {
    w->hide();
    if (auto* sub = qobject_cast<QMdiSubWindow*>(w); sub && sub->mdiArea()) sub->mdiArea()->removeSubWindow(sub);
    w->deleteLater();
  }
  // A handler of this window may be running: its Qt state goes with the object.
  dead_ = std::move(qt_);
  // a child's popups leave its frame's bar, which shows the menus of the
  // child active now
  if (auto* child = dynamic_cast<TMDIChild*>(this); child && !dead_->barEntries.empty()) {
    for (QPointer<QAction>& a : dead_->barEntries)
      if (a) {
        if (QMenu* popup = a->menu()) popup->deleteLater();
        else a->deleteLater();
      }
    dead_->barEntries.clear();
    auto* client = dynamic_cast<TMDIClient*>(Parent());
    if (auto* frame = client ? dynamic_cast<TFrameWindow*>(client->Parent()) : nullptr)
      frame->MergeMenu(client->GetActiveMDIChild());
  }
  destroying_ = false;
  // the main window gone ends the application's loop; with no loop running
  // (a run hook instead of the loop) there is nothing to end, and a quit
  // asked then would end every later modal loop of the thread at once
  if (TApplication* app = GetApplication(); app && app->GetMainWindow() == this && QThread::currentThread()->loopLevel() > 0)
    QCoreApplication::exit(0);
}

i64 TWindow::SendMessage(u32 message, u64 wParam, i64 lParam) {
  OwlMessage m{message, wParam, lParam};
  OwlMessage* outer = current_;
  current_ = &m;
  i64 result;
  if (message == WM_COMMAND) {
    auto* frame = dynamic_cast<TFrameWindow*>(this);
    const u32 id = owl_lo(wParam);
    if (frame) {
      result = frame->RouteCommand(id) ? 0 : DefWindowProc(m);
    } else if (const ResponseEntry* e = Find(WM_COMMAND, id)) {
      result = e->dispatch(*this, m);
    } else {
      result = DefWindowProc(m);
    }
  } else if (const ResponseEntry* e = Find(message, 0)) {
    result = e->dispatch(*this, m);
  } else {
    result = DefWindowProc(m);
  }
  current_ = outer;
  return result;
}

void TWindow::PostMessage(u32 message, u64 wParam, i64 lParam) {
  if (!qt_) return;
  QCoreApplication::postEvent(&qt_->receiver, new PostedMessageEvent(OwlMessage{message, wParam, lParam}));
}

i64 TWindow::DefaultProcessing() { return current_ ? DefWindowProc(*current_) : 0; }

i64 TWindow::DefWindowProc(OwlMessage& m) {
  switch (m.message) {
    case WM_PAINT: {
      if (!qt_ || qt_->invalid.isEmpty() || qt_->image.isNull()) return 0;
      const QRect r = qt_->invalid;
      const bool erase = qt_->eraseInvalid;
      qt_->invalid = QRect();
      qt_->eraseInvalid = false;
      TDC dc(*this);
      if (erase) dc.FillRect(TRect{r.left(), r.top(), r.right() + 1, r.bottom() + 1}, owl_rgb(255, 255, 255));
      TRect rect{r.left(), r.top(), r.right() + 1, r.bottom() + 1};
      Paint(dc, erase, rect);
      return 0;
    }
    case WM_SYSCOMMAND:
      switch (u32(m.wParam) & 0xFFF0) {
        case SC_CLOSE: SendMessage(WM_CLOSE); return 0;
        case SC_MINIMIZE: ShowWindow(SW_MINIMIZE); return 0;
        case SC_MAXIMIZE: ShowWindow(SW_SHOWMAXIMIZED); return 0;
        case SC_RESTORE: ShowWindow(SW_RESTORE); return 0;
        default: return 0;
      }
    case WM_CLOSE:
      if (CanClose()) Destroy();
      return 0;
    default:
      return 0;
  }
}

void TWindow::Paint(TDC&, bool, TRect&) {}

void TWindow::Invalidate(bool erase) {
  if (!qt_ || !qt_->client) return;
  InvalidateRect(TRect{0, 0, qt_->client->width(), qt_->client->height()}, erase);
}

void TWindow::InvalidateRect(const TRect& r, bool erase) {
  if (!qt_ || !qt_->client || r.IsEmpty()) return;
  qt_->invalid |= QRect(r.left, r.top, r.Width(), r.Height()) & qt_->client->rect();
  qt_->eraseInvalid = qt_->eraseInvalid || erase;
  qt_->client->update();
}

void TWindow::UpdateWindow() {
  if (!qt_) return;
  qt_->PaintPending();
  if (qt_ && qt_->client) qt_->client->update();
}

void TWindow::ScrollWindow(int dx, int dy, const TRect& r) {
  if (!qt_ || qt_->image.isNull()) return;
  const QRect area = QRect(r.left, r.top, r.Width(), r.Height()) & qt_->image.rect();
  if (area.isEmpty()) return;
  const QImage copy = qt_->image.copy(area);
  QPainter p(&qt_->image);
  p.setClipRect(area);
  p.drawImage(area.topLeft() + QPoint(dx, dy), copy);
  p.end();
  if (qt_->client) qt_->client->update();
}

TRect TWindow::GetClientRect() const {
  if (!qt_) return {};
  const QWidget* w = qt_->client ? static_cast<const QWidget*>(qt_->client) : qt_->outer.data();
  if (auto* mw = qobject_cast<const QMainWindow*>(w); mw && mw->centralWidget()) w = mw->centralWidget();
  if (auto* area = qobject_cast<const QMdiArea*>(w)) w = area->viewport();
  return w ? TRect{0, 0, w->width(), w->height()} : TRect{};
}

TRect TWindow::GetWindowRect() const {
  if (!qt_ || !qt_->outer) return {};
  const QRect g = qt_->outer->isWindow() ? qt_->outer->frameGeometry() : qt_->outer->geometry();
  return TRect{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
}

void TWindow::MoveWindow(const TRect& r, bool repaint) {
  if (!qt_ || !qt_->outer) return;
  QWidget* w = qt_->outer;
  if (w->isWindow()) {
    // a frame's rectangle is its outer one, as GetWindowRect gives it; its
    // border is known once it is shown, so a hidden frame is placed again then
    if (!w->isVisible()) pendingOuter_ = r;
    const QSize margins = w->frameGeometry().size() - w->geometry().size();
    w->resize(std::max(r.Width() - margins.width(), 0), std::max(r.Height() - margins.height(), 0));
    w->move(r.left, r.top);
  } else {
    if (auto* child = dynamic_cast<TMDIChild*>(this)) child->ApplyMinMaxInfo();
    w->setGeometry(r.left, r.top, std::max(r.Width(), 0), std::max(r.Height(), 0));
  }
  if (repaint) Invalidate();
}

void TWindow::ShowWindow(int cmd) {
  if (!qt_ || !qt_->outer) {
    pendingShow_ = cmd;
    return;
  }
  QWidget* w = qt_->outer;
  switch (cmd) {
    case SW_HIDE: w->hide(); break;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE: w->showMinimized(); break;
    case SW_SHOWMAXIMIZED: w->showMaximized(); break;
    case SW_RESTORE:
    case SW_SHOWNORMAL: w->showNormal(); break;
    default: w->show(); break;
  }
  if (pendingOuter_ && w->isVisible()) {
    const TRect r = *pendingOuter_;
    pendingOuter_.reset();
    if (!w->isMaximized() && !w->isMinimized()) MoveWindow(r, false);
  }
}

bool TWindow::IsWindowVisible() const {
  if (!qt_ || !qt_->outer) return false;
  // a bar of a frame not yet shown: its own flag
  return qt_->outer->isWindow() || !qt_->outer->parentWidget() ? qt_->outer->isVisible() : !qt_->outer->isHidden();
}
bool TWindow::IsIconic() const { return qt_ && qt_->outer && qt_->outer->isMinimized(); }
bool TWindow::IsZoomed() const { return qt_ && qt_->outer && qt_->outer->isMaximized(); }

void TWindow::SetFocus() {
  if (qt_ && qt_->client) qt_->client->setFocus(Qt::OtherFocusReason);
}

bool TWindow::HasFocus() const { return qt_ && qt_->client && qt_->client->hasFocus(); }

void TWindow::SetCaption(std::string_view cp932) {
  title_ = std::string(cp932);
  if (qt_ && qt_->outer) qt_->outer->setWindowTitle(owl_qstring(title_));
}

std::string TWindow::GetCaption() const {
  if (qt_ && qt_->outer) return owl_cp932(qt_->outer->windowTitle());
  return title_;
}

void TWindow::BringWindowToTop() {
  if (!qt_ || !qt_->outer) return;
  if (auto* sub = qobject_cast<QMdiSubWindow*>(qt_->outer.data()); sub && sub->mdiArea())
    sub->mdiArea()->setActiveSubWindow(sub);
  else
    qt_->outer->raise();
}

void TWindow::CloseWindow() { SendMessage(WM_CLOSE); }

// ---------------------------------------------------------------- menus

void owl_register_menu(u32 resource_id, std::span<const MenuTemplateRow> rows) {
  menu_resources()[resource_id] = rows;
}

namespace {

QAction* add_item(QWidget* menu, u32 id, std::string_view cp932) {
  QAction* a = nullptr;
  if (id == 0) {
    a = new QAction(menu);
    a->setSeparator(true);
  } else {
    a = new QAction(owl_qstring(cp932), menu);
    a->setProperty(kCommandProperty, id);
  }
  menu->addAction(a);
  return a;
}

void connect_popup(QMenu* popup);

}  // namespace

void TMenu::AppendItem(u32 id, std::string_view cp932) {
  if (qt_) add_item(menu_widget(qt_), id, cp932);
}

TMenu TMenu::AppendPopup(std::string_view cp932) {
  if (!qt_) return TMenu(nullptr);
  QWidget* w = menu_widget(qt_);
  auto* popup = new QMenu(owl_qstring(cp932), w);
  w->addAction(popup->menuAction());
  connect_popup(popup);
  return TMenu(menu_handle(popup));
}

u32 TMenu::GetItemCount() const { return qt_ ? u32(menu_widget(qt_)->actions().size()) : 0; }

TMenu TMenu::GetSubMenu(u32 index) const {
  if (!qt_ || index >= GetItemCount()) return TMenu(nullptr);
  QMenu* sub = menu_widget(qt_)->actions()[int(index)]->menu();
  return TMenu(sub ? menu_handle(sub) : nullptr);
}

u32 TMenu::GetItemId(u32 index) const {
  if (!qt_ || index >= GetItemCount()) return 0;
  return action_command(menu_widget(qt_)->actions()[int(index)]);
}

bool TMenu::HasItem(u32 id) const { return qt_ && find_action(menu_widget(qt_), id); }

u32 TMenu::GetMenuState(u32 id) const {
  QAction* a = qt_ ? find_action(menu_widget(qt_), id) : nullptr;
  if (!a) return 0;
  return (a->isEnabled() ? 0 : MF_GRAYED) | (a->isChecked() ? MF_CHECKED : 0);
}

std::string TMenu::GetMenuString(u32 id) const {
  QAction* a = qt_ ? find_action(menu_widget(qt_), id) : nullptr;
  return a ? owl_cp932(a->text()) : std::string();
}

void TMenu::ModifyMenuText(u32 id, std::string_view cp932) {
  if (QAction* a = qt_ ? find_action(menu_widget(qt_), id) : nullptr) a->setText(owl_qstring(cp932));
}

std::vector<u32> TMenu::CommandIds() const {
  std::vector<u32> ids;
  if (!qt_) return ids;
  std::vector<QAction*> all;
  collect_actions(menu_widget(qt_), all);
  for (QAction* a : all) {
    const u32 id = action_command(a);
    if (id != 0 && std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
  }
  return ids;
}

// ---------------------------------------------------------------- enablers

void TCommandEnabler::Enable(bool enable) {
  handled_ = true;
  for (QAction* a : qt_->actions) a->setEnabled(enable);
}

void TCommandEnabler::SetCheck(int state) {
  handled_ = true;
  for (QAction* a : qt_->actions) {
    a->setCheckable(true);
    a->setChecked(state != 0);
  }
}

void TCommandEnabler::SetText(std::string_view cp932) {
  handled_ = true;
  const QString text = owl_qstring(cp932);
  for (QAction* a : qt_->actions) a->setText(text);
}

// ---------------------------------------------------------------- bars

TControlBar::TControlBar(TWindow* parent, bool vertical) : TWindow(parent), vertical_(vertical) {}

namespace {

QToolBar* tool_bar_of(const OwlWindowQt* q) { return q ? qobject_cast<QToolBar*>(q->outer.data()) : nullptr; }

void add_button(TControlBar* owner, QToolBar* bar, u32 id, const std::string& label, const std::string& tip, bool tips) {
  QAction* a = add_item(bar, id, label);
  if (id == 0) return;
  a->setToolTip(tips ? owl_qstring(tip.empty() ? label : tip) : QString());
  QObject::connect(a, &QAction::hovered, bar, [owner, id] { owner->ButtonHovered(id); });
}

}  // namespace

void TControlBar::AddButton(u32 id, std::string_view label, std::string_view tip) {
  buttons_.push_back(Button{id, std::string(label), std::string(tip)});
  if (QToolBar* bar = tool_bar_of(qt_.get())) add_button(this, bar, id, buttons_.back().label, buttons_.back().tip, tips_);
}

void TControlBar::RemoveAll() {
  buttons_.clear();
  if (QToolBar* bar = tool_bar_of(qt_.get())) {
    for (QAction* a : bar->actions()) {
      bar->removeAction(a);
      delete a;
    }
  }
}

std::vector<u32> TControlBar::CommandIds() const {
  std::vector<u32> ids;
  for (const Button& b : buttons_)
    if (b.id != 0) ids.push_back(b.id);
  return ids;
}

std::vector<u32> TControlBar::GadgetIds() const {
  std::vector<u32> ids;
  for (const Button& b : buttons_) ids.push_back(b.id);
  return ids;
}

void TControlBar::ButtonHovered(u32 id) {
  if (!tips_) return;
  for (TWindow* w = Parent(); w; w = w->Parent())
    if (auto* frame = dynamic_cast<TFrameWindow*>(w)) {
      frame->SendMessage(WM_MENUSELECT, id);
      return;
    }
}

void TControlBar::SetVertical(bool vertical) {
  vertical_ = vertical;
  if (QToolBar* bar = tool_bar_of(qt_.get())) bar->setOrientation(vertical ? Qt::Vertical : Qt::Horizontal);
}

void TControlBar::SetTipsShown(bool shown) {
  tips_ = shown;
  if (QToolBar* bar = tool_bar_of(qt_.get())) {
    std::size_t i = 0;
    for (QAction* a : bar->actions()) {
      if (i < buttons_.size() && buttons_[i].id != 0)
        a->setToolTip(shown ? owl_qstring(buttons_[i].tip.empty() ? buttons_[i].label : buttons_[i].tip) : QString());
      ++i;
    }
  }
}

void TControlBar::CreateQt() {
  auto* bar = new QToolBar(Parent() && Parent()->Qt() ? Parent()->Qt()->outer.data() : nullptr);
  bar->setOrientation(vertical_ ? Qt::Vertical : Qt::Horizontal);
  bar->setMovable(false);
  bar->setFloatable(false);
  bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
  bar->toggleViewAction()->setEnabled(false);  // shown and hidden by the frame's commands only
  for (const Button& b : buttons_) add_button(this, bar, b.id, b.label, b.tip, tips_);
  QObject::connect(bar, &QToolBar::actionTriggered, bar, [this](QAction* a) {
    for (TWindow* w = Parent(); w; w = w->Parent())
      if (auto* frame = dynamic_cast<TFrameWindow*>(w)) {
        frame->SendMessage(WM_COMMAND, action_command(a));
        return;
      }
  });
  qt_->outer = bar;
}

// ---------------------------------------------------------------- status bar

namespace {

// The label of a status field; the id rides on the widget.
constexpr const char* kFieldProperty = "owlField";

QLabel* field_label(const OwlWindowQt* q, u32 id) {
  auto* bar = q ? qobject_cast<QStatusBar*>(q->outer.data()) : nullptr;
  if (!bar) return nullptr;
  for (QLabel* l : bar->findChildren<QLabel*>())
    if (l->property(kFieldProperty).isValid() && l->property(kFieldProperty).toUInt() == id) return l;
  return nullptr;
}

}  // namespace

TStatusBar::TStatusBar(TWindow* parent) : TWindow(parent) {}

TStatusBar::Field* TStatusBar::FindField(u32 id) {
  for (Field& f : fields_)
    if (f.id == id) return &f;
  return nullptr;
}

void TStatusBar::AddField(u32 id, int chars, bool bordered) {
  if (FindField(id)) return;
  fields_.push_back(Field{id, chars, bordered, {}});
}

void TStatusBar::ApplyField(const Field& f) {
  QLabel* l = field_label(qt_.get(), f.id);
  if (!l) return;
  l->setText(owl_qstring(f.text));
  QString style = f.bordered ? QStringLiteral("border: 1px solid gray; padding: 0 1px;") : QStringLiteral("padding: 0 1px;");
  if (!f.system) {
    const QColor fg = owl_qcolor(f.fore);
    const QColor bg = owl_qcolor(f.back);
    style += QStringLiteral("color: %1; background-color: %2;").arg(fg.name(), bg.name());
  }
  l->setStyleSheet(style);
}

void TStatusBar::CreateQt() {
  auto* bar = new QStatusBar(Parent() && Parent()->Qt() ? Parent()->Qt()->outer.data() : nullptr);
  bar->setSizeGripEnabled(false);
  qt_->outer = bar;
  if (fields_.empty()) fields_.push_back(Field{0, 0, false, {}});
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  const QFontMetrics metrics(fixed);
  // Every field is as high as the tallest text it may show, Japanese text in
  // a fallback font too, so that a message never makes the bar grow.
  const int height = std::max(metrics.height(), metrics.boundingRect(QString::fromUtf8("実ｱD")).height()) + 4;
  for (const Field& f : fields_) {
    auto* l = new QLabel(bar);
    l->setFont(fixed);
    l->setFixedHeight(height);
    l->setProperty(kFieldProperty, f.id);
    l->setTextFormat(Qt::PlainText);
    l->setIndent(0);  // a bordered label would indent its text by half an "x" and clip the last character
    l->setAutoFillBackground(true);
    if (f.chars > 0) {
      // the text is clipped, the field keeps its width
      const int outer = (f.bordered ? 2 : 0) + 2;
      l->setFixedWidth(metrics.horizontalAdvance(QString(f.chars, QLatin1Char('D'))) + outer);
      bar->addWidget(l, 0);
    } else {
      l->setMinimumWidth(1);
      bar->addWidget(l, 1);
    }
    ApplyField(f);
  }
}

void TStatusBar::SetText(std::string_view cp932) { SetFieldText(0, cp932); }

std::string TStatusBar::GetText() const { return GetFieldText(0); }

void TStatusBar::SetFieldText(u32 id, std::string_view cp932) {
  if (fields_.empty()) fields_.push_back(Field{0, 0, false, {}});
  Field* f = FindField(id);
  if (!f) return;
  f->text = std::string(cp932);
  ApplyField(*f);
}

std::string TStatusBar::GetFieldText(u32 id) const {
  for (const Field& f : fields_)
    if (f.id == id) return f.text;
  return {};
}

void TStatusBar::SetFieldColours(u32 id, COLORREF text, COLORREF background, bool system) {
  Field* f = FindField(id);
  if (!f) return;
  f->fore = text;
  f->back = background;
  f->system = system;
  ApplyField(*f);
}

TRect TStatusBar::GetFieldRect(u32 id) const {
  QLabel* l = field_label(qt_.get(), id);
  if (!l) return {};
  const QRect g = l->geometry();
  return TRect{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
}

// ---------------------------------------------------------------- frames

namespace {

// The frame that a menu widget belongs to.
TFrameWindow* frame_of(QWidget* w) {
  for (; w; w = w->parentWidget())
    if (auto* mw = dynamic_cast<OwlMainWindow*>(w)) return static_cast<TFrameWindow*>(mw->owner_);
  return nullptr;
}

void connect_popup(QMenu* popup) {
  QObject::connect(popup, &QMenu::aboutToShow, popup, [popup] {
    TFrameWindow* frame = frame_of(popup);
    if (!frame) return;
    u32 index = 0;
    if (QWidget* holder = popup->parentWidget())
      index = u32(std::max<qsizetype>(0, holder->actions().indexOf(popup->menuAction())));
    TMenu menu(menu_handle(popup));
    frame->SendMessage(WM_INITMENUPOPUP, u64(owl_ptr_word(&menu)), owl_make_long(u16(index), 0));
  });
  // the item under the pointer, for the frame's hint text
  QObject::connect(popup, &QMenu::hovered, popup, [popup](QAction* a) {
    if (TFrameWindow* frame = frame_of(popup)) frame->SendMessage(WM_MENUSELECT, action_command(a));
  });
  QObject::connect(popup, &QMenu::aboutToHide, popup, [popup] {
    if (TFrameWindow* frame = frame_of(popup)) frame->SendMessage(WM_MENUSELECT, 0);
  });
  QObject::connect(popup, &QMenu::triggered, popup, [popup](QAction* a) {
    // a nested popup's item reaches every popup above it: take it once
    if (a->parent() != popup) return;
    if (TFrameWindow* frame = frame_of(popup)) frame->SendMessage(WM_COMMAND, action_command(a));
  });
}

void build_menu(QWidget* into, std::span<const MenuTemplateRow> rows, std::size_t& i, u8 depth) {
  while (i < rows.size() && rows[i].depth >= depth) {
    const MenuTemplateRow& row = rows[i];
    if (row.depth > depth) {  // a row deeper than its popup: skip it
      ++i;
      continue;
    }
    const std::string text = host_utf8_to_cp932(row.text ? row.text : "");
    ++i;
    if (row.id == kMenuPopup) {
      TMenu sub = TMenu(menu_handle(into)).AppendPopup(text);
      build_menu(menu_widget(sub.Qt()), rows, i, u8(depth + 1));
    } else {
      add_item(into, row.id, text);
    }
  }
}

}  // namespace

TFrameWindow::TFrameWindow(TWindow* parent, std::string_view title, TWindow* client)
    : TWindow(parent, title), client_(client) {
  // the client is the frame's child, whoever made it
  if (client_) client_->SetParent(this);
}

TFrameWindow::~TFrameWindow() = default;

void TFrameWindow::CreateQt() {
  auto* mw = new OwlMainWindow(this);
  qt_->outer = mw;
  mw->menuBar();  // the bar exists even when empty
  BuildMenu();
  QObject::connect(mw->menuBar(), &QMenuBar::triggered, mw, [this, mw](QAction* a) {
    if (a->parent() == mw->menuBar()) SendMessage(WM_COMMAND, action_command(a));
  });
}

namespace {

// Builds `rows` into `bar` and takes the new entries off it again: the
// entries in resource order (they stay children of the bar).
std::vector<QPointer<QAction>> make_bar_entries(QMenuBar* bar, std::span<const MenuTemplateRow> rows) {
  const qsizetype before = bar->actions().size();
  std::size_t i = 0;
  build_menu(bar, rows, i, 0);
  const QList<QAction*> all = bar->actions();
  std::vector<QPointer<QAction>> entries;
  for (qsizetype k = before; k < all.size(); ++k) {
    entries.emplace_back(all[k]);
    bar->removeAction(all[k]);
  }
  return entries;
}

// Deletes entries made by make_bar_entries (a popup with its items).
void delete_bar_entries(std::vector<QPointer<QAction>>& entries) {
  for (QPointer<QAction>& a : entries) {
    if (!a) continue;
    if (QMenu* popup = a->menu()) delete popup;  // its action goes with it
    else delete a.data();
  }
  entries.clear();
}

bool has_groups(const TMenuDescr& d) {
  if (d.resource == 0) return false;
  for (int g : d.groups)
    if (g > 0) return true;
  return false;
}

}  // namespace

void TFrameWindow::BuildMenu() {
  auto* mw = qt_ ? qobject_cast<QMainWindow*>(qt_->outer.data()) : nullptr;
  if (!mw) return;
  for (QAction* a : mw->menuBar()->actions()) mw->menuBar()->removeAction(a);
  delete_bar_entries(qt_->barEntries);
  auto it = menu_resources().find(menuDescr_.resource);
  if (it != menu_resources().end()) qt_->barEntries = make_bar_entries(mw->menuBar(), it->second);
  TMDIChild* active = nullptr;
  if (auto* mdi = dynamic_cast<TMDIClient*>(client_)) active = mdi->GetActiveMDIChild();
  MergeMenu(active);
}

bool TFrameWindow::AssignMenu(u32 resource_id) {
  menuDescr_.resource = resource_id;
  BuildMenu();
  return menu_resources().count(resource_id) != 0;
}

TMenu TFrameWindow::GetMenu() const {
  auto* mw = qt_ ? qobject_cast<QMainWindow*>(qt_->outer.data()) : nullptr;
  return TMenu(mw ? menu_handle(mw->menuBar()) : nullptr);
}

void TFrameWindow::SetMenuDescr(u32 resource_id, const int (&groups)[6]) {
  const bool rebuild = resource_id != menuDescr_.resource;
  menuDescr_.resource = resource_id;
  std::copy(std::begin(groups), std::end(groups), menuDescr_.groups);
  if (rebuild) {
    BuildMenu();
  } else {
    TMDIChild* active = nullptr;
    if (auto* mdi = dynamic_cast<TMDIClient*>(client_)) active = mdi->GetActiveMDIChild();
    MergeMenu(active);
  }
}

void TFrameWindow::MergeMenu(TMDIChild* child) {
  auto* mw = qt_ ? qobject_cast<QMainWindow*>(qt_->outer.data()) : nullptr;
  if (!mw) return;
  QMenuBar* bar = mw->menuBar();
  std::vector<QAction*> own;
  for (const QPointer<QAction>& a : qt_->barEntries)
    if (a) own.push_back(a);
  QList<QAction*> order;
  const bool merge = child && child->Qt() && has_groups(menuDescr_) && has_groups(child->GetMenuDescr());
  if (!merge) {
    for (QAction* a : own) order.push_back(a);
  } else {
    const TMenuDescr& descr = child->GetMenuDescr();
    OwlWindowQt* cq = child->Qt();
    if (cq->barEntries.empty()) {
      auto it = menu_resources().find(descr.resource);
      if (it != menu_resources().end()) cq->barEntries = make_bar_entries(bar, it->second);
    }
    std::vector<QAction*> theirs;
    for (const QPointer<QAction>& a : cq->barEntries)
      if (a) theirs.push_back(a);
    // each group from the child when it counts popups there, else the
    // frame's; counts beyond the entries there are take what exists
    std::size_t f = 0, c = 0;
    for (int g = 0; g < kMenuGroupCount; ++g) {
      const std::size_t fn = std::min<std::size_t>(std::size_t(std::max(0, menuDescr_.groups[g])), own.size() - f);
      const std::size_t cn = std::min<std::size_t>(std::size_t(std::max(0, descr.groups[g])), theirs.size() - c);
      if (descr.groups[g] > 0) {
        for (std::size_t k = 0; k < cn; ++k) order.push_back(theirs[c + k]);
      } else {
        for (std::size_t k = 0; k < fn; ++k) order.push_back(own[f + k]);
      }
      f += fn;
      c += cn;
    }
    // frame entries that no group counts stay at the end
    for (; f < own.size(); ++f) order.push_back(own[f]);
  }
  if (bar->actions() == order) return;
  for (QAction* a : bar->actions()) bar->removeAction(a);
  bar->addActions(order);
}

std::vector<TEventHandler*> TFrameWindow::CommandChain() {
  std::vector<TEventHandler*> chain;
  if (client_) chain.push_back(client_);
  chain.push_back(this);
  if (TApplication* app = GetApplication()) chain.push_back(app);
  return chain;
}

bool TFrameWindow::RouteCommand(u32 id) {
  for (TEventHandler* target : CommandChain()) {
    if (const ResponseEntry* e = target->Find(WM_COMMAND, id)) {
      OwlMessage m{WM_COMMAND, id, 0};
      e->dispatch(*target, m);
      return true;
    }
  }
  return false;
}

void TFrameWindow::EnableCommands() {
  if (!qt_) return;
  std::vector<u32> ids = GetMenu().CommandIds();
  for (TControlBar* bar : bars_)
    for (u32 id : bar->CommandIds())
      if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
  const std::vector<TEventHandler*> chain = CommandChain();
  for (TEventHandler* target : chain) target->AddEnablerIds(ids);
  for (u32 id : ids) {
    OwlEnablerQt actions{owl_command_actions(*this, id)};
    TCommandEnabler ce(id, &actions);
    bool decided = false;
    for (TEventHandler* target : chain) {
      if (const ResponseEntry* e = target->Find(kCommandEnableMessage, id)) {
        OwlMessage m{kCommandEnableMessage, id, owl_ptr_word(&ce)};
        e->dispatch(*target, m);
        if (ce.WasHandled()) {
          decided = true;
          break;
        }
      }
      if (target->Find(WM_COMMAND, id)) {
        ce.Enable(true);
        decided = true;
        break;
      }
    }
    if (!decided) ce.Enable(false);  // no one answers it
  }
}

i64 TFrameWindow::DefWindowProc(OwlMessage& m) {
  if (m.message == WM_INITMENUPOPUP) {
    EnableCommands();
    return 0;
  }
  return TWindow::DefWindowProc(m);
}

std::vector<QAction*> owl_command_actions(const TFrameWindow& frame, u32 id) {
  std::vector<QAction*> found;
  auto* mw = frame.Qt() ? qobject_cast<QMainWindow*>(frame.Qt()->outer.data()) : nullptr;
  if (!mw) return found;
  std::vector<QAction*> all;
  collect_actions(mw->menuBar(), all);
  for (QToolBar* bar : mw->findChildren<QToolBar*>()) collect_actions(bar, all);
  for (QAction* a : all)
    if (action_command(a) == id) found.push_back(a);
  return found;
}

void TDecoratedFrame::Insert(TWindow& decoration, TDecorationSpot where) {
  decoration.SetParent(this);
  bool known = false;
  for (auto& [d, spot] : decorations_)
    if (d == &decoration) {
      spot = where;
      known = true;
    }
  if (!known) {
    if (auto* bar = dynamic_cast<TControlBar*>(&decoration)) bars_.push_back(bar);
    decorations_.emplace_back(&decoration, where);
  }
  if (!IsCreated()) return;  // placed once the frame exists
  decoration.Create();
  Place(decoration, where);
}

TWindow* TDecoratedFrame::DecorationById(u32 id) const {
  for (const auto& [d, spot] : decorations_)
    if (d->GetId() == id) return d;
  return nullptr;
}

namespace {

constexpr u32 kDecorationIds[] = {32040, 32041, 32042};
constexpr u32 kCmExitId = 24310;

bool is_decoration_command(u32 id) { return std::find(std::begin(kDecorationIds), std::end(kDecorationIds), id) != std::end(kDecorationIds); }

}  // namespace

const ResponseEntry* TDecoratedFrame::Find(u32 message, u32 id) {
  // one row serves every decoration id: the handler reads the id from the message
  static constexpr ResponseEntry toggle{WM_COMMAND, 0, [](TEventHandler& t, OwlMessage& m) -> i64 {
                                          static_cast<TDecoratedFrame&>(t).CmToggleDecoration(owl_lo(m.wParam));
                                          return 0;
                                        }};
  static constexpr ResponseEntry enable{kCommandEnableMessage, 0, [](TEventHandler& t, OwlMessage& m) -> i64 {
                                          static_cast<TDecoratedFrame&>(t).CeToggleDecoration(*owl_message_ptr<TCommandEnabler>(m.lParam));
                                          return 0;
                                        }};
  // the framework's exit command closes the main window
  static constexpr ResponseEntry exit{WM_COMMAND, kCmExitId, [](TEventHandler& t, OwlMessage&) -> i64 {
                                        static_cast<TDecoratedFrame&>(t).CloseWindow();
                                        return 0;
                                      }};
  if (message == WM_COMMAND && id == kCmExitId) return &exit;
  if (is_decoration_command(id) && DecorationById(id)) {
    if (message == WM_COMMAND) return &toggle;
    if (message == kCommandEnableMessage) return &enable;
  }
  return TFrameWindow::Find(message, id);
}

void TDecoratedFrame::CmToggleDecoration(u32 id) {
  TWindow* d = DecorationById(id);
  if (!d) return;
  d->ShowWindow(d->IsWindowVisible() ? SW_HIDE : SW_SHOW);
}

void TDecoratedFrame::CeToggleDecoration(TCommandEnabler& ce) {
  TWindow* d = DecorationById(ce.GetId());
  ce.Enable(d != nullptr);
  ce.SetCheck(d && d->IsWindowVisible() ? 1 : 0);
}

void TDecoratedFrame::PlaceDecorations() {
  for (auto& [decoration, where] : decorations_) Place(*decoration, where);
}

void TDecoratedFrame::Place(TWindow& decoration, TDecorationSpot where) {
  auto* mw = static_cast<QMainWindow*>(qt_->outer.data());
  QWidget* w = owl_outer_widget(decoration);
  if (auto* sb = qobject_cast<QStatusBar*>(w)) {
    mw->setStatusBar(sb);
  } else if (auto* tb = qobject_cast<QToolBar*>(w)) {
    const Qt::ToolBarArea area = where == TDecorationSpot::Left     ? Qt::LeftToolBarArea
                                 : where == TDecorationSpot::Right  ? Qt::RightToolBarArea
                                 : where == TDecorationSpot::Bottom ? Qt::BottomToolBarArea
                                                                    : Qt::TopToolBarArea;
    const bool hidden = tb->isHidden();
    mw->removeToolBar(tb);
    // each bar of a side on a line of its own
    for (QToolBar* other : mw->findChildren<QToolBar*>())
      if (other != tb && mw->toolBarArea(other) == area) {
        mw->addToolBarBreak(area);
        break;
      }
    mw->addToolBar(area, tb);
    tb->setHidden(hidden);
  }
}

// ---------------------------------------------------------------- MDI

TMDIClient::TMDIClient(TWindow* parent) : TWindow(parent) {}

TMDIClient::~TMDIClient() {
  // the activation relay refers to this object
  if (auto* area = qobject_cast<QMdiArea*>(owl_outer_widget(*this))) QObject::disconnect(area, &QMdiArea::subWindowActivated, nullptr, nullptr);
}

void TMDIClient::CreateQt() {
  QWidget* host = Parent() && Parent()->Qt() ? Parent()->Qt()->ChildParent() : nullptr;
  auto* area = new OwlMdiArea(this);
  area->setParent(host);
  if (auto* mw = qobject_cast<QMainWindow*>(host)) mw->setCentralWidget(area);
  area->setOption(QMdiArea::DontMaximizeSubWindowOnActivation, true);
  qt_->outer = area;
  QObject::connect(area, &QMdiArea::subWindowActivated, area, [this](QMdiSubWindow* sub) {
    TMDIChild* now = child_of(sub);
    const std::vector<TMDIChild*> all = MDIChildren();
    // The frame losing the focus is no change of the active child.
    if (!now && std::find(all.begin(), all.end(), lastActive_) != all.end()) return;
    if (now == lastActive_) return;
    TMDIChild* before = std::find(all.begin(), all.end(), lastActive_) != all.end() ? lastActive_ : nullptr;
    lastActive_ = now;
    if (before) before->SendMessage(WM_MDIACTIVATE, u64(owl_ptr_word(before)), owl_ptr_word(now));
    if (now) now->SendMessage(WM_MDIACTIVATE, u64(owl_ptr_word(before)), owl_ptr_word(now));
    // the frame's bar follows the active child (unless a handler activated
    // another one meanwhile, whose activation merged already)
    if (lastActive_ == now)
      if (auto* frame = dynamic_cast<TFrameWindow*>(Parent())) frame->MergeMenu(now);
  });
}

TMDIChild* TMDIClient::GetActiveMDIChild() const {
  auto* area = qt_ ? qobject_cast<QMdiArea*>(qt_->outer.data()) : nullptr;
  return area ? child_of(area->currentSubWindow()) : nullptr;
}

std::vector<TMDIChild*> TMDIClient::MDIChildren() const {
  std::vector<TMDIChild*> list;
  for (TWindow* w : Children())
    if (auto* c = dynamic_cast<TMDIChild*>(w); c && c->IsCreated()) list.push_back(c);
  return list;
}

void TMDIClient::CascadeChildren() {
  if (auto* area = qt_ ? qobject_cast<QMdiArea*>(qt_->outer.data()) : nullptr) area->cascadeSubWindows();
}

void TMDIClient::ArrangeIcons() {
  auto* area = qt_ ? qobject_cast<QMdiArea*>(qt_->outer.data()) : nullptr;
  if (!area) return;
  int x = 0;
  const int bottom = area->viewport()->height();
  for (QMdiSubWindow* sub : area->subWindowList()) {
    if (!sub->isMinimized()) continue;
    const QSize s = sub->size();
    sub->move(x, std::max(0, bottom - s.height()));
    x += s.width();
  }
}

TMDIChild::TMDIChild(TMDIClient& parent, std::string_view title) : TWindow(&parent, title) {}

void TMDIChild::CreateQt() {
  auto* area = qobject_cast<QMdiArea*>(Parent()->Qt()->outer.data());
  auto* sub = new OwlSubWindow(this);
  sub->setAttribute(Qt::WA_DeleteOnClose, false);
  if (vscrollStyle_) {
    // the scroll bar sits right of the client area, outside it
    auto* box = new QWidget(sub);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    qt_->client = new OwlClient(this, box);
    qt_->vscroll = owl_make_vscroll(this, box);
    row->addWidget(qt_->client, 1);
    row->addWidget(qt_->vscroll);
    qt_->vscroll->hide();
    sub->setWidget(box);
  } else {
    qt_->client = new OwlClient(this, sub);
    sub->setWidget(qt_->client);
  }
  qt_->outer = sub;
  if (area) area->addSubWindow(sub);
  // Keys such as Ctrl+W and Ctrl+F4 belong to the window's key handler: the
  // system menu's items carry no shortcuts.
  if (QMenu* menu = sub->systemMenu())
    for (QAction* a : menu->actions()) a->setShortcuts({});
}

namespace {

// The frame whose bar shows the menus of `child`'s client.
TFrameWindow* frame_of_child(const TWindow* child) {
  for (TWindow* w = child ? child->Parent() : nullptr; w; w = w->Parent())
    if (auto* f = dynamic_cast<TFrameWindow*>(w)) return f;
  return nullptr;
}

}  // namespace

void TMDIChild::SetMenuDescr(u32 resource_id, const int (&groups)[6]) {
  if (qt_ && resource_id != menuDescr_.resource) delete_bar_entries(qt_->barEntries);
  menuDescr_.resource = resource_id;
  std::copy(std::begin(groups), std::end(groups), menuDescr_.groups);
  // the active child's new menu shows at once
  auto* client = dynamic_cast<TMDIClient*>(Parent());
  if (TFrameWindow* frame = frame_of_child(this); frame && client && client->GetActiveMDIChild() == this)
    frame->MergeMenu(this);
}

void TMDIChild::ApplyMinMaxInfo() {
  QWidget* w = qt_ ? qt_->outer.data() : nullptr;
  if (!w) return;
  if (qt_->layerMinimum.width() < 0) qt_->layerMinimum = w->minimumSize();
  const TRect screen = owl_screen_work_area();
  TMinMaxInfo info{TSize{screen.Width(), screen.Height()}, TPoint{0, 0},
                   TSize{qt_->layerMinimum.width(), qt_->layerMinimum.height()},
                   TSize{QWIDGETSIZE_MAX, QWIDGETSIZE_MAX}};
  SendMessage(WM_GETMINMAXINFO, 0, owl_ptr_word(&info));
  if (!qt_ || !qt_->outer) return;  // the handler let it go
  const auto bound = [](int v) { return std::clamp(v, 0, int(QWIDGETSIZE_MAX)); };
  w->setMinimumSize(bound(info.minTrackSize.cx), bound(info.minTrackSize.cy));
  w->setMaximumSize(std::max(bound(info.maxTrackSize.cx), w->minimumWidth()),
                    std::max(bound(info.maxTrackSize.cy), w->minimumHeight()));
}

i64 TMDIChild::DefWindowProc(OwlMessage& m) {
  if (m.message == WM_SYSCOMMAND && (u32(m.wParam) & 0xFFF0) == SC_CLOSE) {
    if (CanClose()) Destroy();
    return 0;
  }
  return TWindow::DefWindowProc(m);
}

TDecoratedMDIFrame::TDecoratedMDIFrame(std::string_view title, u32 menu_resource, TMDIClient& client,
                                       bool /*trackMenuSelection*/)
    : TDecoratedFrame(nullptr, title, &client), mdiClient_(client) {
  AssignMenu(menu_resource);
}

namespace {

// The window below `root` whose widget has the keyboard focus, or null.
TWindow* focus_below(TWindow* root) {
  for (TWindow* w : root->Children()) {
    const QWidget* client = owl_client_widget(*w);
    const QWidget* outer = owl_outer_widget(*w);
    if ((client && client->hasFocus()) || (outer && outer->hasFocus())) return w;
    if (TWindow* deeper = focus_below(w)) return deeper;
  }
  return nullptr;
}

}  // namespace

std::vector<TEventHandler*> TDecoratedMDIFrame::CommandChain() {
  std::vector<TEventHandler*> chain;
  if (TMDIChild* child = mdiClient_.GetActiveMDIChild()) {
    // the window with the focus inside the child first, then its parents
    for (TWindow* w = focus_below(child); w && w != child; w = w->Parent()) chain.push_back(w);
    chain.push_back(child);
  }
  for (TEventHandler* h : TFrameWindow::CommandChain()) chain.push_back(h);
  return chain;
}

// ---------------------------------------------------------------- dialogs

TDialog::TDialog(TWindow* parent, std::string_view title) : TWindow(parent, title) {}

void TDialog::CreateQt() {
  QWidget* owner = Parent() && Parent()->Qt() ? Parent()->Qt()->outer.data() : nullptr;
  auto* dlg = new OwlDialog(this, owner);
  dlg->setWindowModality(Qt::ApplicationModal);
  qt_->client = new OwlClient(this, dlg);
  auto* layout = new QVBoxLayout(dlg);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(qt_->client);
  qt_->outer = dlg;
}

int TDialog::Execute() {
  Create();
  auto* dlg = qt_ ? qobject_cast<QDialog*>(qt_->outer.data()) : nullptr;
  if (!dlg) return -1;
  // shown first, so that a placement made while it was hidden is applied
  // again with its border known
  ShowWindow(SW_SHOWNORMAL);
  return dlg->exec();
}

void TDialog::CloseWindow(int result) {
  if (auto* dlg = qt_ ? qobject_cast<QDialog*>(qt_->outer.data()) : nullptr) dlg->done(result);
}

// ---------------------------------------------------------------- test access

const QImage& owl_window_image(const TWindow& w) {
  static const QImage none;
  return w.Qt() ? w.Qt()->image : none;
}

QWidget* owl_outer_widget(const TWindow& w) { return w.Qt() ? w.Qt()->outer.data() : nullptr; }

QWidget* owl_client_widget(const TWindow& w) { return w.Qt() ? w.Qt()->client.data() : nullptr; }
