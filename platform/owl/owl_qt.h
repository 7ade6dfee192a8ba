// The layer's Qt side, seen only by the layer and its tests: the widgets that
// stand behind the window objects, the per-window Qt state, and the edges where
// CP932 meets Unicode and Qt's key events meet the system's key messages.
#pragma once

#include <QAction>
#include <QImage>
#include <QKeyEvent>
#include <QMdiArea>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/owl/owl_window.h"

// CP932 bytes <-> Unicode, at the drawing and input edges.
QString owl_qstring(std::string_view cp932);
std::string owl_cp932(const QString& text);

// Qt colour of a 0x00BBGGRR word, and back.
QColor owl_qcolor(COLORREF c);
COLORREF owl_colorref(QColor c);

// The system's key messages for one Qt key press or release, in the order the
// system delivers them: WM_KEYDOWN or WM_SYSKEYDOWN, then the characters the
// key makes (WM_CHAR or WM_SYSCHAR, one message per CP932 byte).
std::vector<OwlMessage> owl_key_press_messages(const QKeyEvent& event);
std::vector<OwlMessage> owl_key_release_messages(const QKeyEvent& event);
// The virtual key of a Qt key (0 when it has none).
u32 owl_virtual_key(int qt_key, Qt::KeyboardModifiers modifiers);
// WM_CHAR messages for text that an input method commits.
std::vector<OwlMessage> owl_text_messages(const QString& text);

// The Qt font behind a TFont.
struct OwlFontQt {
  QFont font;
};

// The receiver of a window's posted messages and timer ticks.
class OwlReceiver : public QObject {
 public:
  explicit OwlReceiver(TWindow* owner) : owner_(owner) {}
  bool event(QEvent* e) override;
  TWindow* owner_;
};

// The widget of a window's client area: paints from the backing image and
// turns input into messages.
class OwlClient : public QWidget {
 public:
  OwlClient(TWindow* owner, QWidget* parent);
  TWindow* owner_;

 protected:
  bool event(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void moveEvent(QMoveEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void inputMethodEvent(QInputMethodEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;
};

struct OwlTimerSlot {
  u32 interval = 0;
  bool pending = false;     // a tick is posted and not yet handled
  QPointer<QTimer> timer;   // real clock
  u32 due = 0;              // manual clock: tick count of the next tick
};

struct OwlWindowQt {
  explicit OwlWindowQt(TWindow* owner);
  ~OwlWindowQt();
  TWindow* owner;
  OwlReceiver receiver;
  QPointer<QWidget> outer;    // the window's own widget (frame, sub-window, dialog, bar)
  QPointer<OwlClient> client; // the client area, when the window has one
  QPointer<QScrollBar> vscroll; // the vertical scroll bar, when the window has one
  QImage image;               // backing image of the client area
  QRect invalid;              // what waits for WM_PAINT
  bool eraseInvalid = false;
  std::map<u32, OwlTimerSlot> timers;
  QPainter painter;           // on `image` while a TDC is open
  int painterUsers = 0;       // TDCs open on the window
  // The entries its menu resource puts on a frame's bar (a popup's action, or
  // a plain item), in resource order: a frame's own, or an MDI child's, made
  // in its frame's bar the first time the child's menu is merged. A child's
  // popups go with it.
  std::vector<QPointer<QAction>> barEntries;
  QSize layerMinimum{-1, -1};  // the outer widget's minimum before WM_GETMINMAXINFO answered

  // The widget that a child window's widgets go into.
  QWidget* ChildParent() const;
  // Sends WM_PAINT when something is invalid.
  void PaintPending();
  void ArmTimer(u32 id, OwlTimerSlot& slot);
  void PostTick(u32 id);
};

// The vertical scroll bar of `owner`, made in `parent`: the user's actions
// arrive at the owner as WM_VSCROLL; the thumb moves only when the owner
// sets it, as the system's scroll bars do.
QScrollBar* owl_make_vscroll(TWindow* owner, QWidget* parent);
// A window that goes drops the caret it owns, without drawing.
void owl_forget_caret(TWindow* window);

// A window's backing image (tests read cells from it).
const QImage& owl_window_image(const TWindow& window);
// The Qt side of a window, for tests.
QWidget* owl_outer_widget(const TWindow& window);
QWidget* owl_client_widget(const TWindow& window);
// The menu and bar actions of command `id` in a frame.
std::vector<QAction*> owl_command_actions(const TFrameWindow& frame, u32 id);
