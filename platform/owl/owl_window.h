// Windows of the layer: TWindow (a client area that turns Qt's events into the
// system's messages), frames with menus and decorations, the MDI client and its
// children, command enablers, and modal dialogs. A window object owns its Qt
// widgets and its child window objects; destroying a window destroys its
// children first. Only the window thread touches these objects.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/owl/owl_event.h"

class TApplication;
class TDC;
class TMDIClient;
class TMDIChild;
struct OwlWindowQt;
struct OwlMenuQt;
struct OwlEnablerQt;

class TWindow : public TEventHandler {
 public:
  // title: CP932. The window's Qt side is made by Create.
  explicit TWindow(TWindow* parent = nullptr, std::string_view title = {});
  ~TWindow() override;
  TWindow(const TWindow&) = delete;
  TWindow& operator=(const TWindow&) = delete;

  // Makes the Qt side (once), then WM_CREATE and SetupWindow. Children that
  // exist already are created with it.
  void Create();
  bool IsCreated() const;
  // WM_DESTROY to this window and its children, then the Qt side goes; the
  // object stays until its owner deletes it.
  void Destroy();
  // Runs once the Qt side exists, before the window is first shown.
  virtual void SetupWindow() {}

  // Runs the message through the window's table now (WM_COMMAND is looked up
  // by its command id); unanswered messages go to DefWindowProc.
  i64 SendMessage(u32 message, u64 wParam = 0, i64 lParam = 0);
  // Queues the message; it is sent when the event loop (a modal one too) next
  // runs. Posted to a destroyed window, it is dropped.
  void PostMessage(u32 message, u64 wParam = 0, i64 lParam = 0);
  // Inside a handler: the framework's handling of the message being handled.
  i64 DefaultProcessing();
  // The framework's handling of every message.
  virtual i64 DefWindowProc(OwlMessage& msg);

  // Draws the area `rect` (client pixels) into the window's backing image.
  virtual void Paint(TDC& dc, bool erase, TRect& rect);
  void Invalidate(bool erase = true);
  void InvalidateRect(const TRect& rect, bool erase = true);
  // Paints what is invalid now, without waiting for the event loop.
  void UpdateWindow();
  // Moves the pixels of `rect` by (dx, dy) inside the backing image; the
  // uncovered part is left for the caller to fill or invalidate.
  void ScrollWindow(int dx, int dy, const TRect& rect);

  // Client area: (0, 0, width, height).
  TRect GetClientRect() const;
  // The window's outer rectangle: a child's in its parent's client
  // coordinates, a frame's in screen coordinates.
  TRect GetWindowRect() const;
  void MoveWindow(const TRect& rect, bool repaint = true);
  void ShowWindow(int cmdShow);
  bool IsWindowVisible() const;
  bool IsIconic() const;
  bool IsZoomed() const;
  void SetFocus();
  bool HasFocus() const;
  void SetCaption(std::string_view cp932);
  std::string GetCaption() const;  // CP932
  void BringWindowToTop();
  // The window id (a decoration's id is the command that shows or hides it).
  void SetId(u32 id) { id_ = id; }
  u32 GetId() const { return id_; }

  // Timers by id: a tick arrives as WM_TIMER with the id, posted, so that it
  // still comes inside a modal loop. One tick at most waits per timer. SetTimer
  // with an id in use restarts it.
  bool SetTimer(u32 id, u32 milliseconds);
  bool KillTimer(u32 id);

  // WM_CLOSE: by default CanClose decides, then the window is destroyed.
  virtual bool CanClose() { return true; }
  void CloseWindow();

  // The window's vertical scroll bar (a child window made with the style,
  // see TMDIChild::SetVScrollStyle): range, thumb position and visibility.
  // A user's action on it arrives as WM_VSCROLL (code | position << 16).
  void SetScrollRange(int minimum, int maximum, bool redraw = true);
  void SetScrollPos(int position, bool redraw = true);
  int GetScrollPos() const;
  void ShowScrollBar(bool show);
  // Client coordinates to screen coordinates and back.
  TPoint ClientToScreen(TPoint p) const;
  TPoint ScreenToClient(TPoint p) const;

  TWindow* Parent() const { return parent_; }
  // Moves the window object under another parent (which then owns it).
  void SetParent(TWindow* parent);
  std::span<TWindow* const> Children() const { return children_; }
  TApplication* GetApplication() const;

  OwlWindowQt* Qt() const { return qt_.get(); }

 protected:
  // Builds the Qt side into qt_ (each window class its own widgets).
  virtual void CreateQt();
  std::unique_ptr<OwlWindowQt> qt_;

 private:
  friend struct OwlWindowQt;
  friend class TMDIChild;
  void AddChild(TWindow* child);
  void RemoveChild(TWindow* child);
  // Cuts the Qt side off from this object: no event reaches it any more.
  void DetachQt();

  TWindow* parent_ = nullptr;
  std::vector<TWindow*> children_;   // owned
  std::string title_;                // CP932
  u32 id_ = 0;
  OwlMessage* current_ = nullptr;    // the message being handled
  bool destroying_ = false;
  int pendingShow_ = -1;             // ShowWindow before Create: applied at creation
  std::optional<TRect> pendingOuter_;  // a hidden frame's placement, applied again when shown
  std::unique_ptr<OwlWindowQt> dead_;  // the Qt side after Destroy, kept until the object goes
};

// A menu bar or popup. Items carry command ids and no shortcut; texts are CP932
// (a tab and what follows is the key legend shown at the right).
class TMenu {
 public:
  explicit TMenu(OwlMenuQt* qt) : qt_(qt) {}
  // Appends an item; id 0 is a separator.
  void AppendItem(u32 id, std::string_view cp932);
  // Appends a popup and returns it (owned by this menu).
  TMenu AppendPopup(std::string_view cp932);
  u32 GetItemCount() const;
  // The popup at `index`, or a menu that holds nothing when the item is no popup.
  TMenu GetSubMenu(u32 index) const;
  // Command id of the item at `index` (0 for separators and popups).
  u32 GetItemId(u32 index) const;
  // The item with command `id` anywhere below this menu; state MF_* bits.
  bool HasItem(u32 id) const;
  u32 GetMenuState(u32 id) const;
  std::string GetMenuString(u32 id) const;  // CP932
  void ModifyMenuText(u32 id, std::string_view cp932);
  // Every command id below this menu, in menu order, once each.
  std::vector<u32> CommandIds() const;
  OwlMenuQt* Qt() const { return qt_; }

 private:
  OwlMenuQt* qt_;
};

// A menu template row: depth 0 is an entry of the bar, depth 1 an item of its
// popup, and so on. kMenuPopup opens a popup; id 0 is a separator. Texts are
// UTF-8 source texts.
constexpr u32 kMenuPopup = 0xFFFFFFFF;
struct MenuTemplateRow {
  u8 depth;
  u32 id;
  const char* text;
};
// Makes menu resource `resource_id` known to AssignMenu.
void owl_register_menu(u32 resource_id, std::span<const MenuTemplateRow> rows);

// A menu descriptor: a menu resource whose bar entries fall, in order, into
// the six groups File, Edit, Container, Object, Window and Help, by count.
// While an MDI child with a descriptor is active, each group for which it
// counts popups shows the child's popups instead of the frame's; the other
// groups show the frame's. Resource 0: no descriptor.
constexpr int kMenuGroupCount = 6;
struct TMenuDescr {
  u32 resource = 0;
  int groups[kMenuGroupCount]{};
};

// What an enabler may say about every item and button of one command.
class TCommandEnabler {
 public:
  TCommandEnabler(u32 id, OwlEnablerQt* qt) : id_(id), qt_(qt) {}
  u32 GetId() const { return id_; }
  void Enable(bool enable = true);
  // 0 unchecked, 1 checked.
  void SetCheck(int state);
  void SetText(std::string_view cp932);
  bool WasHandled() const { return handled_; }

 private:
  u32 id_;
  OwlEnablerQt* qt_;
  bool handled_ = false;
};

// A control bar (tool bar or window bar): buttons with command ids, no shortcuts.
class TControlBar : public TWindow {
 public:
  explicit TControlBar(TWindow* parent, bool vertical = false);
  // id 0 adds a separator. label: CP932, the button's face; tip: CP932, its
  // tool tip (empty: the label).
  void AddButton(u32 id, std::string_view label, std::string_view tip = {});
  // Removes every button and separator.
  void RemoveAll();
  std::vector<u32> CommandIds() const;
  // Every gadget's id in order, 0 for a separator.
  std::vector<u32> GadgetIds() const;
  bool Vertical() const { return vertical_; }
  void SetVertical(bool vertical);
  // Tool tips shown (true) or not; with tips on, the button under the pointer
  // sends its frame WM_MENUSELECT with its id.
  void SetTipsShown(bool shown);
  void ButtonHovered(u32 id);

 protected:
  void CreateQt() override;

 private:
  struct Button {
    u32 id;
    std::string label;
    std::string tip;
  };
  bool vertical_;
  bool tips_ = true;
  std::vector<Button> buttons_;
};

// The status bar: text fields by id, laid out left to right in the order they
// were added. Without fields of its own it shows one message field (id 0).
class TStatusBar : public TWindow {
 public:
  explicit TStatusBar(TWindow* parent);
  // Adds a field `chars` characters of the fixed font wide, plus its border
  // and margins; chars 0 makes the field take all room left. bordered: a
  // plain border.
  void AddField(u32 id, int chars, bool bordered);
  // The message field's text (field 0).
  void SetText(std::string_view cp932);
  std::string GetText() const;
  void SetFieldText(u32 id, std::string_view cp932);
  std::string GetFieldText(u32 id) const;
  // Text and background colours of field `id`; system: the button-face colours.
  void SetFieldColours(u32 id, COLORREF text, COLORREF background, bool system = false);
  // The field's rectangle in the bar's coordinates (empty before creation).
  TRect GetFieldRect(u32 id) const;

 protected:
  void CreateQt() override;

 private:
  struct Field {
    u32 id;
    int chars;
    bool bordered;
    std::string text;
    COLORREF fore = 0;
    COLORREF back = 0;
    bool system = true;
  };
  Field* FindField(u32 id);
  void ApplyField(const Field& f);
  std::vector<Field> fields_;
};

class TFrameWindow : public TWindow {
 public:
  // client: the window that fills the frame (owned by the frame), or none.
  TFrameWindow(TWindow* parent, std::string_view title, TWindow* client = nullptr);
  ~TFrameWindow() override;

  // Builds the menu bar from a registered menu resource; false when unknown
  // (the frame then has an empty bar).
  bool AssignMenu(u32 resource_id);
  TMenu GetMenu() const;
  // The frame's menu descriptor: its menu resource (the bar is built from
  // it) and the group counts of its popups (File, Edit, Container, Object,
  // Window, Help); the child menus merge into these groups.
  void SetMenuDescr(u32 resource_id, const int (&groups)[6]);
  const TMenuDescr& GetMenuDescr() const { return menuDescr_; }
  void SetIcon(u32 resource_id) { icon_ = resource_id; }
  TWindow* GetClientWindow() const { return client_; }
  // The bar shows `child`'s popups merged into the frame's groups; with no
  // child, or a child or frame without a descriptor, the frame's own bar.
  void MergeMenu(TMDIChild* child);

  // Runs command `id`: the first handler along CommandChain. False when none.
  bool RouteCommand(u32 id);
  // Runs the enablers of every command of the menu and the bars, shown or not.
  // A command with neither an enabler nor a handler anywhere is greyed.
  void EnableCommands();
  // Where commands go, in order: the client, the frame, the application.
  virtual std::vector<TEventHandler*> CommandChain();

  i64 DefWindowProc(OwlMessage& msg) override;

 protected:
  void CreateQt() override;
  TWindow* client_;
  std::vector<TControlBar*> bars_;  // owned as children
  // Runs once the children exist.
  virtual void PlaceDecorations() {}

 private:
  friend class TWindow;
  // Builds the bar's entries from the menu resource.
  void BuildMenu();
  TMenuDescr menuDescr_;
  u32 icon_ = 0;
};

enum class TDecorationSpot { Top, Left, Bottom, Right };

class TDecoratedFrame : public TFrameWindow {
 public:
  using TFrameWindow::TFrameWindow;
  // Places a control bar or the status bar at `where` (the frame takes it as
  // its child). A decoration inserted before is moved to `where`.
  void Insert(TWindow& decoration, TDecorationSpot where);
  // The decoration whose window id is `id`, or null.
  TWindow* DecorationById(u32 id) const;
  // Commands 32040 (status bar), 32041 and 32042 (the bars) show or hide the
  // decoration of that window id; their enablers check the visible one. The
  // exit command 24310 closes the frame.
  const ResponseEntry* Find(u32 message, u32 id) override;
  void CmToggleDecoration(u32 id);
  void CeToggleDecoration(TCommandEnabler& ce);

 protected:
  void PlaceDecorations() override;

 private:
  void Place(TWindow& decoration, TDecorationSpot where);
  std::vector<std::pair<TWindow*, TDecorationSpot>> decorations_;
};

class TMDIClient : public TWindow {
 public:
  explicit TMDIClient(TWindow* parent = nullptr);
  ~TMDIClient() override;
  TMDIChild* GetActiveMDIChild() const;
  std::vector<TMDIChild*> MDIChildren() const;
  // The framework's cascade of the children that are not minimized.
  void CascadeChildren();
  // Lines the minimized children up at the client's bottom edge.
  void ArrangeIcons();

 protected:
  void CreateQt() override;

 private:
  friend struct OwlWindowQt;
  TMDIChild* lastActive_ = nullptr;
};

class TMDIChild : public TWindow {
 public:
  // The child lives in the client; its client area is the child itself.
  TMDIChild(TMDIClient& parent, std::string_view title);
  i64 DefWindowProc(OwlMessage& msg) override;
  // Before Create: the window gets a vertical scroll bar right of its client
  // area (hidden until ShowScrollBar).
  void SetVScrollStyle() { vscrollStyle_ = true; }
  // The child's menu descriptor, merged into the frame's bar while the child
  // is active (see TMenuDescr), and its icon resource.
  void SetMenuDescr(u32 resource_id, const int (&groups)[6]);
  const TMenuDescr& GetMenuDescr() const { return menuDescr_; }
  void SetIcon(u32 resource_id) { icon_ = resource_id; }
  u32 GetIcon() const { return icon_; }
  // The window's least and greatest outer size: WM_GETMINMAXINFO asks the
  // window, and the answer bounds every later sizing, the user's and
  // MoveWindow's. Asked when the window is made, before each MoveWindow and
  // when the user presses on its frame.
  void ApplyMinMaxInfo();

 protected:
  void CreateQt() override;

 private:
  bool vscrollStyle_ = false;
  TMenuDescr menuDescr_;
  u32 icon_ = 0;
};

// The caret: one per window thread, a solid block in the client area of the
// window that created it, drawn over the window's picture (never into its
// backing image). Hides nest as the system's do: a caret is seen when it
// exists and every hide was matched by a show.
void owl_create_caret(TWindow& owner, int width, int height);
void owl_destroy_caret();
void owl_set_caret_pos(int x, int y);
void owl_show_caret();
void owl_hide_caret();
struct OwlCaret {
  TWindow* owner = nullptr;  // null: no caret
  TRect rect;                // client coordinates
  int hidden = 1;            // hides not matched by a show; 0 = seen
};
const OwlCaret& owl_caret();

// The multi-document frame: a decorated frame whose client is an MDI client.
class TDecoratedMDIFrame : public TDecoratedFrame {
 public:
  TDecoratedMDIFrame(std::string_view title, u32 menu_resource, TMDIClient& client,
                     bool trackMenuSelection = false);
  TMDIClient& GetMDIClient() const { return mdiClient_; }
  // The active child first, then the client, the frame and the application.
  std::vector<TEventHandler*> CommandChain() override;

 private:
  TMDIClient& mdiClient_;
};

// The open/save dialog's data record.
constexpr u32 OFN_OVERWRITEPROMPT = 0x0002;
constexpr u32 OFN_HIDEREADONLY = 0x0004;
constexpr u32 OFN_SHOWHELP = 0x0010;
constexpr u32 OFN_FILEMUSTEXIST = 0x1000;
struct TOpenSaveData {
  u32 flags = 0;
  std::string fileName;    // CP932
  std::string filter;      // CP932, "text|pattern|..." pairs
  std::string initialDir;  // CP932
};

// A modal dialog. Execute runs its own event loop until CloseWindow(result).
class TDialog : public TWindow {
 public:
  TDialog(TWindow* parent, std::string_view title);
  int Execute();
  void CloseWindow(int result);

 protected:
  void CreateQt() override;
};
