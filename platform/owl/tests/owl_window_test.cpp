// Windows over Qt: messages from Qt's events, response tables searched class by
// class, command routing and enabling over a small frame with children, timers
// inside modal loops, and CP932 texts drawn and read back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QInputMethodEvent>
#include <QMainWindow>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QThread>
#include <QTimer>
#include <QElapsedTimer>
#include <string>
#include <vector>

#include "platform/host/host_text.h"
#include "platform/owl/owl_app.h"
#include "platform/owl/owl_dc.h"
#include "platform/owl/owl_qt.h"
#include "platform/owl/tests/owl_test_app.h"

namespace {

std::vector<std::string> Log;

template <class... A>
void note(const char* format, A... args) {
  char line[128];
  std::snprintf(line, sizeof line, format, args...);
  Log.push_back(line);
}

std::string utf8(std::string_view cp932) { return host_cp932_to_utf8(cp932); }
std::string cp932(std::string_view utf8_text) { return host_utf8_to_cp932(utf8_text); }

void pump() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
}

enum : u32 {
  CmChild = 101,       // the child answers it
  CmClient = 102,      // the MDI client answers it
  CmFrame = 103,       // the frame answers it
  CmApp = 104,         // the application answers it
  CmNobody = 105,      // no one answers it
  CmChildGreys = 106,  // the application answers it, the child's enabler greys it
  CmAppChecks = 107,   // the application answers and checks it
  CmBoth = 108,        // the child and the frame answer it
  CmUnshown = 109,     // in no menu and on no bar: only the application's enabler knows it
};

constexpr u32 kTestMenuId = 900;
constexpr MenuTemplateRow kTestMenu[] = {
    {0, kMenuPopup, "&File"},
    {1, CmChild, "Child"},
    {1, CmClient, "Client"},
    {1, 0, ""},
    {1, kMenuPopup, "More"},
    {2, CmFrame, "Frame"},
    {2, CmApp, "App"},
    {0, kMenuPopup, "&Edit"},
    {1, CmNobody, "ﾉｰﾎﾞﾃﾞｨ(&N)\tCtrl+N"},
    {1, CmChildGreys, "Greyed"},
    {1, CmAppChecks, "Checked"},
    {1, CmBoth, "Both"},
};

class TestApp : public TApplication {
 public:
  using TApplication::TApplication;
  const ResponseEntry* Find(u32 message, u32 id) override;
  void OnApp() { note("app %u", 104u); }
  void OnGreyed() { note("app %u", 106u); }
  void OnChecked() { note("app %u", 107u); }
  void CeChecked(TCommandEnabler& ce) {
    ce.SetCheck(1);
    ce.SetText(cp932("チェック"));
  }
  void CeUnshown(TCommandEnabler&) { ++unshownRuns; }
  void AddEnablerIds(std::vector<u32>& ids) override;
  int unshownRuns = 0;
};
constexpr ResponseEntry kAppTable[] = {
    EvCommand<&TestApp::OnApp>(CmApp),
    EvCommand<&TestApp::OnGreyed>(CmChildGreys),
    EvCommand<&TestApp::OnChecked>(CmAppChecks),
    EvCommandEnable<&TestApp::CeChecked>(CmAppChecks),
    EvCommandEnable<&TestApp::CeUnshown>(CmUnshown),
};
void TestApp::AddEnablerIds(std::vector<u32>& ids) { owl_table_enabler_ids(kAppTable, ids); }
const ResponseEntry* TestApp::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kAppTable, message, id)) return e;
  return TApplication::Find(message, id);
}

class TestClient : public TMDIClient {
 public:
  const ResponseEntry* Find(u32 message, u32 id) override;
  void OnClient() { note("client %u", 102u); }
};
constexpr ResponseEntry kClientTable[] = {EvCommand<&TestClient::OnClient>(CmClient)};
const ResponseEntry* TestClient::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kClientTable, message, id)) return e;
  return TMDIClient::Find(message, id);
}

class TestFrame : public TDecoratedMDIFrame {
 public:
  using TDecoratedMDIFrame::TDecoratedMDIFrame;
  const ResponseEntry* Find(u32 message, u32 id) override;
  void OnFrame() { note("frame %u", 103u); }
  void OnBoth() { note("frame %u", 108u); }
  void EvInitMenuPopup(TMenu& popup, u32 index, bool) {
    note("initmenupopup %u", index);
    popup.ModifyMenuText(CmBoth, cp932("両方"));
    DefaultProcessing();
  }
};
constexpr ResponseEntry kFrameTable[] = {
    EvCommand<&TestFrame::OnFrame>(CmFrame),
    EvCommand<&TestFrame::OnBoth>(CmBoth),
    EvMessage<WM_INITMENUPOPUP, &TestFrame::EvInitMenuPopup>(),
};
const ResponseEntry* TestFrame::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kFrameTable, message, id)) return e;
  return TDecoratedMDIFrame::Find(message, id);
}

class TestChild : public TMDIChild {
 public:
  TestChild(TMDIClient& client, const char* name) : TMDIChild(client, name), name_(name) {}
  const ResponseEntry* Find(u32 message, u32 id) override;
  void OnChild() { note("child %u", 101u); }
  void OnBoth() { note("child %u", 108u); }
  void CeGreyed(TCommandEnabler& ce) { ce.Enable(false); }
  void EvSize(u32 type, const TSize& size) { note("size %u %dx%d", type, size.cx, size.cy); }
  void KeyDown(u32 key, u32 repeat, u32 flags) { note("keydown %x %u %x", key, repeat, flags); }
  void EvChar(u32 c, u32, u32) { note("char %x", c); }
  void EvLButtonDown(u32 modifiers, const TPoint& p) { note("lbuttondown %x %d,%d", modifiers, p.x, p.y); }
  void EvSysCommand(u32 command, const TPoint&) {
    note("syscommand %x", command);
    if ((command & 0xFFF0) == SC_CLOSE)
      ShowWindow(SW_MINIMIZE);  // closing only minimizes
    else
      DefaultProcessing();
  }
  void EvMDIActivate(TWindow* activated, TWindow*) {
    note("%s %s", activated == this ? "activate" : "deactivate", name_);
    DefaultProcessing();
  }
  void EvTimer(u32 id) { note("timer %u", id); }
  const char* name_;
};
constexpr ResponseEntry kChildTable[] = {
    EvCommand<&TestChild::OnChild>(CmChild),
    EvCommand<&TestChild::OnBoth>(CmBoth),
    EvCommandEnable<&TestChild::CeGreyed>(CmChildGreys),
    EvMessage<WM_SIZE, &TestChild::EvSize>(),
    EvMessage<WM_KEYDOWN, &TestChild::KeyDown>(),
    EvMessage<WM_CHAR, &TestChild::EvChar>(),
    EvMessage<WM_LBUTTONDOWN, &TestChild::EvLButtonDown>(),
    EvMessage<WM_SYSCOMMAND, &TestChild::EvSysCommand>(),
    EvMessage<WM_MDIACTIVATE, &TestChild::EvMDIActivate>(),
    EvMessage<WM_TIMER, &TestChild::EvTimer>(),
};
const ResponseEntry* TestChild::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kChildTable, message, id)) return e;
  return TMDIChild::Find(message, id);
}

// A class below TestChild: its own row for one command, the rest from its base.
// A child with the vertical scroll bar style that notes its scroll messages.
class ScrollChild : public TestChild {
 public:
  ScrollChild(TMDIClient& client, const char* name) : TestChild(client, name) { SetVScrollStyle(); }
  const ResponseEntry* Find(u32 message, u32 id) override;
  void EvVScroll(u32 code, u32 position) { note("vscroll %u %u", code, position); }
};
constexpr ResponseEntry kScrollTable[] = {EvMessage<WM_VSCROLL, &ScrollChild::EvVScroll>()};
const ResponseEntry* ScrollChild::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kScrollTable, message, id)) return e;
  return TestChild::Find(message, id);
}

class DerivedChild : public TestChild {
 public:
  using TestChild::TestChild;
  const ResponseEntry* Find(u32 message, u32 id) override;
  void OnChild() { note("derived %u", 101u); }
};
constexpr ResponseEntry kDerivedTable[] = {EvCommand<&DerivedChild::OnChild>(CmChild)};
const ResponseEntry* DerivedChild::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kDerivedTable, message, id)) return e;
  return TestChild::Find(message, id);
}

class OwlFrameTest : public testing::Test {
 protected:
  void SetUp() override {
    owl_test_app();
    owl_register_menu(kTestMenuId, kTestMenu);
    app = std::make_unique<TestApp>("test");
    client = new TestClient;
    frame = new TestFrame("frame", kTestMenuId, *client);
    bar = new TControlBar(frame);
    bar->AddButton(CmNobody, "N");
    bar->AddButton(CmChild, "C");
    frame->Insert(*bar, TDecorationSpot::Top);
    bar->ShowWindow(SW_HIDE);
    app->SetMainWindow(frame);
    frame->Create();
    frame->MoveWindow(TRect{0, 0, 640, 480});
    frame->ShowWindow(SW_SHOW);
    child = AddChild<TestChild>("one");
    Log.clear();
  }
  void TearDown() override {
    app.reset();
    pump();
    TApplication::SetRunHook(nullptr);
  }

  template <class C>
  C* AddChild(const char* name) {
    auto* c = new C(*client, name);
    c->Create();
    Activate(*c);
    return c;
  }
  void Activate(TWindow& w) {
    auto* sub = qobject_cast<QMdiSubWindow*>(owl_outer_widget(w));
    sub->mdiArea()->setActiveSubWindow(sub);
    pump();
  }
  QAction* Action(u32 id, std::size_t which = 0) {
    auto actions = owl_command_actions(*frame, id);
    return which < actions.size() ? actions[which] : nullptr;
  }

  std::unique_ptr<TestApp> app;
  TestClient* client = nullptr;
  TestFrame* frame = nullptr;
  TControlBar* bar = nullptr;
  TestChild* child = nullptr;
};

TEST_F(OwlFrameTest, CommandsGoToTheFirstHandlerFromTheActiveChildToTheApplication) {
  const struct {
    u32 id;
    std::vector<std::string> log;
  } cases[] = {
      {CmChild, {"child 101"}},   {CmClient, {"client 102"}}, {CmFrame, {"frame 103"}},
      {CmApp, {"app 104"}},       {CmBoth, {"child 108"}},    {CmNobody, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    Log.clear();
    frame->SendMessage(WM_COMMAND, c.id);
    EXPECT_EQ(Log, c.log);
  }
  // a menu item and a bar button take the same way
  Log.clear();
  Action(CmFrame)->trigger();
  Action(CmChild, 1)->trigger();
  EXPECT_EQ(Log, (std::vector<std::string>{"frame 103", "child 101"}));
}

TEST_F(OwlFrameTest, WithoutAChildItsCommandsFallThroughOrGoGrey) {
  child->Destroy();
  pump();
  Log.clear();
  frame->SendMessage(WM_COMMAND, CmBoth);
  frame->SendMessage(WM_COMMAND, CmChild);
  EXPECT_EQ(Log, std::vector<std::string>{"frame 108"});
  frame->EnableCommands();
  EXPECT_EQ(frame->GetMenu().GetMenuState(CmChild), MF_GRAYED);
  EXPECT_EQ(frame->GetMenu().GetMenuState(CmChildGreys), 0u);  // the child's enabler is gone
}

TEST_F(OwlFrameTest, EnablersSetEveryItemAndButtonOfTheMainMap) {
  app->IdleAction();
  const TMenu menu = frame->GetMenu();
  const struct {
    u32 id;
    u32 state;
  } cases[] = {
      {CmChild, 0},  {CmClient, 0},  {CmFrame, 0},  {CmApp, 0},
      {CmNobody, MF_GRAYED},                      // no handler anywhere
      {CmChildGreys, MF_GRAYED},                  // the child's enabler comes first
      {CmAppChecks, MF_CHECKED},  {CmBoth, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(menu.GetMenuState(c.id), c.state);
  }
  EXPECT_EQ(utf8(menu.GetMenuString(CmAppChecks)), "チェック");
  // an enabler of the main map runs on every idle pass, shown anywhere or not
  EXPECT_EQ(app->unshownRuns, 1);
  app->IdleAction();
  EXPECT_EQ(app->unshownRuns, 2);
  // the hidden bar's buttons are enabled like the items
  EXPECT_FALSE(bar->IsWindowVisible());
  EXPECT_FALSE(Action(CmNobody, 1)->isEnabled());
  EXPECT_TRUE(Action(CmChild, 1)->isEnabled());
}

TEST_F(OwlFrameTest, OpeningAMenuRunsInitMenuPopupAndTheEnablers) {
  Action(CmNobody)->setEnabled(true);
  auto* edit = frame->GetMenu().GetSubMenu(1).Qt();
  ASSERT_NE(edit, nullptr);
  Q_EMIT reinterpret_cast<QMenu*>(edit)->aboutToShow();
  EXPECT_EQ(Log, std::vector<std::string>{"initmenupopup 1"});
  EXPECT_EQ(frame->GetMenu().GetMenuState(CmNobody), MF_GRAYED);
  EXPECT_EQ(utf8(frame->GetMenu().GetMenuString(CmBoth)), "両方");
}

TEST_F(OwlFrameTest, TheLoopRunsTheEnablersWhenIdle) {
  Action(CmNobody)->setEnabled(true);
  TApplication::SetRunHook([](TApplication&) {
    QTimer::singleShot(30, [] { QCoreApplication::exit(7); });
    return QApplication::exec();
  });
  EXPECT_EQ(app->Run(), 7);
  EXPECT_FALSE(Action(CmNobody)->isEnabled());
}

TEST_F(OwlFrameTest, QtEventsArriveAsTheSystemsMessages) {
  QWidget* w = owl_client_widget(*child);
  ASSERT_NE(w, nullptr);
  const struct {
    const char* what;
    std::function<void()> send;
    std::vector<std::string> log;
  } cases[] = {
      {"Ctrl+A",
       [w] {
         QKeyEvent e(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier, QStringLiteral("\x01"));
         QApplication::sendEvent(w, &e);
       },
       {"keydown 41 1 0", "char 1"}},
      {"Tab stays with the window",
       [w] {
         QKeyEvent e(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
         QApplication::sendEvent(w, &e);
       },
       {"keydown 9 1 0", "char 9"}},
      {"committed text",
       [w] {
         QInputMethodEvent e;
         e.setCommitString(QString::fromUtf8("漢"));
         QApplication::sendEvent(w, &e);
       },
       {"char 8a", "char bf"}},
      {"Shift+left button",
       [w] {
         QMouseEvent e(QEvent::MouseButtonPress, QPointF(10, 5), w->mapToGlobal(QPointF(10, 5)), Qt::LeftButton,
                       Qt::LeftButton, Qt::ShiftModifier);
         QApplication::sendEvent(w, &e);
       },
       {"lbuttondown 5 10,5"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Log.clear();
    c.send();
    EXPECT_EQ(Log, c.log);
  }
}

TEST_F(OwlFrameTest, ResizingReportsTheClientSize) {
  auto* sub = qobject_cast<QMdiSubWindow*>(owl_outer_widget(*child));
  sub->resize(300, 200);
  pump();
  const TRect client_rect = child->GetClientRect();
  char expect[64];
  std::snprintf(expect, sizeof expect, "size 0 %dx%d", client_rect.Width(), client_rect.Height());
  ASSERT_FALSE(Log.empty());
  EXPECT_EQ(Log.back(), expect);
  EXPECT_EQ(owl_window_image(*child).size(), QSize(client_rect.Width(), client_rect.Height()));
}

TEST_F(OwlFrameTest, TheScrollBarSendsItsActionsAndItsThumbMovesOnlyWhenSet) {
  auto* w = AddChild<ScrollChild>("scroll");
  w->SetScrollRange(0, 1000);
  w->SetScrollPos(400);
  w->ShowScrollBar(true);
  pump();
  QScrollBar* bar = w->Qt()->vscroll;
  ASSERT_NE(bar, nullptr);
  // right of the client area, outside it
  EXPECT_GT(bar->width(), 0);
  EXPECT_EQ(w->GetClientRect().Width() + bar->width(), owl_client_widget(*w)->parentWidget()->width());
  Log.clear();
  const struct {
    QAbstractSlider::SliderAction action;
    const char* noted;
  } cases[] = {
      {QAbstractSlider::SliderSingleStepSub, "vscroll 0 399"},
      {QAbstractSlider::SliderSingleStepAdd, "vscroll 1 401"},
      {QAbstractSlider::SliderPageStepSub, "vscroll 2 390"},
      {QAbstractSlider::SliderPageStepAdd, "vscroll 3 410"},
      {QAbstractSlider::SliderToMinimum, "vscroll 6 0"},
      {QAbstractSlider::SliderToMaximum, "vscroll 7 1000"},
  };
  for (const auto& c : cases) {
    Log.clear();
    bar->triggerAction(c.action);
    ASSERT_EQ(Log.size(), 1u) << c.noted;
    EXPECT_EQ(Log.back(), c.noted);
    EXPECT_EQ(w->GetScrollPos(), 400) << "the thumb waits for its owner";
  }
  // a thumb the program sets sends nothing
  Log.clear();
  w->SetScrollPos(1000);
  EXPECT_EQ(w->GetScrollPos(), 1000);
  EXPECT_TRUE(Log.empty());
}

TEST(OwlCaret, OneCaretHidesAsOftenAsItIsShownAndGoesWithItsWindow) {
  owl_test_app();
  auto w = std::make_unique<TWindow>(nullptr, "caret");
  w->Create();
  EXPECT_EQ(owl_caret().owner, nullptr);
  owl_create_caret(*w, 8, 16);
  EXPECT_EQ(owl_caret().owner, w.get());
  EXPECT_EQ(owl_caret().hidden, 1);  // made hidden
  owl_show_caret();
  owl_show_caret();  // one too many: no effect
  EXPECT_EQ(owl_caret().hidden, 0);
  owl_hide_caret();
  owl_hide_caret();
  owl_show_caret();
  EXPECT_EQ(owl_caret().hidden, 1);
  owl_show_caret();
  EXPECT_EQ(owl_caret().hidden, 0);
  owl_set_caret_pos(24, 32);
  EXPECT_EQ(owl_caret().rect, (TRect{24, 32, 32, 48}));
  w.reset();
  EXPECT_EQ(owl_caret().owner, nullptr);
  owl_show_caret();  // without a caret: nothing
  owl_destroy_caret();
  EXPECT_EQ(owl_caret().owner, nullptr);
}

TEST_F(OwlFrameTest, AChildsSystemMenuTakesNoKeys) {
  // Ctrl+W, Ctrl+F4 and the like reach the child's key handler instead
  auto* sub = qobject_cast<QMdiSubWindow*>(owl_outer_widget(*child));
  ASSERT_NE(sub->systemMenu(), nullptr);
  for (QAction* a : sub->systemMenu()->actions()) EXPECT_TRUE(a->shortcuts().isEmpty()) << a->text().toStdString();
}

TEST_F(OwlFrameTest, ClosingAChildIsASystemCommandItsHandlerMayRefuse) {
  owl_outer_widget(*child)->close();
  pump();
  ASSERT_FALSE(Log.empty());
  EXPECT_EQ(Log.front(), "syscommand f060");
  EXPECT_TRUE(child->IsCreated());
  EXPECT_TRUE(child->IsIconic());
  EXPECT_NE(std::find(Log.begin(), Log.end(), "size 1 0x0"), Log.end());
}

TEST_F(OwlFrameTest, ActivationTellsTheChildThatGoesAndTheOneThatComes) {
  auto activations = [] {
    std::vector<std::string> only;
    for (const std::string& line : Log)
      if (line.find("activate") != std::string::npos) only.push_back(line);
    Log.clear();
    return only;
  };
  TestChild* two = AddChild<TestChild>("two");
  EXPECT_EQ(activations(), (std::vector<std::string>{"deactivate one", "activate two"}));
  EXPECT_EQ(client->GetActiveMDIChild(), two);
  Activate(*child);
  EXPECT_EQ(activations(), (std::vector<std::string>{"deactivate two", "activate one"}));
}

TEST_F(OwlFrameTest, ADerivedClassFallsBackToItsBasesTable) {
  DerivedChild* derived = AddChild<DerivedChild>("derived");
  Log.clear();
  frame->SendMessage(WM_COMMAND, CmChild);  // its own row
  frame->SendMessage(WM_COMMAND, CmBoth);   // its base's row
  derived->SendMessage(WM_CHAR, 'x');       // its base's message row
  derived->SendMessage(WM_KEYUP, 'X');      // in no table: the framework's
  EXPECT_EQ(Log, (std::vector<std::string>{"derived 101", "child 108", "char 78"}));
}

TEST_F(OwlFrameTest, PostedMessagesWaitForTheLoop) {
  child->PostMessage(WM_TIMER, 0);
  EXPECT_TRUE(Log.empty());
  pump();
  EXPECT_EQ(Log, std::vector<std::string>{"timer 0"});
}

// A window whose first tick opens a modal dialog, which it closes after three
// more ticks.
class ModalTicker : public TWindow {
 public:
  ModalTicker() : TWindow(nullptr, "ticker") {}
  const ResponseEntry* Find(u32 message, u32 id) override;
  void EvTimer(u32 id) {
    if (id == 0) {
      zeroInModal = dialog != nullptr;
      return;
    }
    ++ticks;
    if (dialog) {
      if (++ticksInModal == 1) PostMessage(WM_TIMER, 0);
      if (ticksInModal == 3) dialog->CloseWindow(5);
      return;
    }
    if (ticks != 1) return;
    TDialog modal(this, "modal");
    dialog = &modal;
    result = modal.Execute();
    dialog = nullptr;
    KillTimer(1);
    done = true;
  }
  TDialog* dialog = nullptr;
  int ticks = 0;
  int ticksInModal = 0;
  int result = 0;
  bool zeroInModal = false;
  bool done = false;
};
constexpr ResponseEntry kTickerTable[] = {EvMessage<WM_TIMER, &ModalTicker::EvTimer>()};
const ResponseEntry* ModalTicker::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kTickerTable, message, id)) return e;
  return TWindow::Find(message, id);
}

TEST_F(OwlFrameTest, AMainWindowClosedWithNoLoopRunningLeavesLaterDialogsTheirLoops) {
  frame->SendMessage(WM_CLOSE);
  ASSERT_FALSE(frame->IsCreated());
  TDialog modal(nullptr, "after");
  QTimer::singleShot(0, [&] { modal.CloseWindow(5); });
  EXPECT_EQ(modal.Execute(), 5);
}

TEST(OwlTimer, TicksKeepArrivingInsideAModalDialog) {
  owl_test_app();
  ModalTicker w;
  w.Create();
  ASSERT_TRUE(w.SetTimer(1, 10));
  // a dialog left open by a fault must not hang the run
  QTimer::singleShot(5000, [&w] {
    if (w.dialog) w.dialog->CloseWindow(-1);
  });
  QElapsedTimer waited;
  waited.start();
  while (!w.done && waited.elapsed() < 6000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(1);
  }
  EXPECT_TRUE(w.done);
  EXPECT_EQ(w.result, 5);
  EXPECT_EQ(w.ticksInModal, 3);
  EXPECT_TRUE(w.zeroInModal);  // a posted WM_TIMER with id 0 as well
}

class TickCounter : public TWindow {
 public:
  TickCounter() : TWindow(nullptr, "counter") {}
  const ResponseEntry* Find(u32 message, u32 id) override;
  void EvTimer(u32 id) { ticks.push_back(id); }
  std::vector<u32> ticks;
};
constexpr ResponseEntry kCounterTable[] = {EvMessage<WM_TIMER, &TickCounter::EvTimer>()};
const ResponseEntry* TickCounter::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kCounterTable, message, id)) return e;
  return TWindow::Find(message, id);
}

TEST(OwlTimer, OnTheManualClockTicksComeOnlyWhenDueAndOneAtATime) {
  owl_test_app();
  owl_clock_use_manual(1000);
  TickCounter w;
  w.Create();
  w.SetTimer(2, 55);
  w.SetTimer(3, 100);
  const struct {
    u32 advance;
    std::vector<u32> ticks;  // all ticks so far
  } steps[] = {
      {54, {}},
      {1, {2}},
      {550, {2, 2, 3}},  // many intervals: one tick of each
      {54, {2, 2, 3}},   // the timer keeps its own beat: due at 1660
      {1, {2, 2, 3, 2}},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.advance);
    owl_clock_advance(s.advance);
    pump();
    EXPECT_EQ(w.ticks, s.ticks);
  }
  w.KillTimer(2);
  owl_clock_advance(55);  // timer 3 falls due, then is killed: its tick is dropped
  EXPECT_TRUE(w.KillTimer(3));
  pump();
  EXPECT_EQ(w.ticks, (std::vector<u32>{2, 2, 3, 2}));
  owl_clock_use_real();
}

// Draws CP932 text in cells of one font.
class CellWindow : public TWindow {
 public:
  explicit CellWindow(const TFont& f) : TWindow(nullptr, "cells"), font(f) {}
  void Paint(TDC& dc, bool, TRect&) override {
    const int cell = font.Metrics().tmAveCharWidth;
    const std::vector<int> advances(text.size(), cell);
    dc.SelectObject(font);
    dc.SetTextColor(owl_rgb(0, 0, 0));
    dc.SetBkColor(owl_rgb(255, 255, 255));
    dc.TextOut(0, 0, text, advances.data(), advances.size());
  }
  const TFont& font;
  std::string text;
};

TEST(OwlText, Cp932TextIsDrawnInCellsAndReadBack) {
  owl_test_app();
  TLogFont lf;
  lf.height = -16;
  lf.pitchAndFamily = FIXED_PITCH;
  const TFont font(lf);
  const int cell = font.Metrics().tmAveCharWidth;
  const int height = font.Metrics().tmHeight;
  ASSERT_GT(cell, 0);

  CellWindow w(font);
  w.text = cp932("A漢ｱ");  // one, two and one cells
  ASSERT_EQ(w.text, "A\x8a\xbf\xb1");
  w.Create();
  w.MoveWindow(TRect{0, 0, cell * 8, height * 2});
  w.ShowWindow(SW_SHOW);
  pump();
  w.Invalidate();
  w.UpdateWindow();

  // the same glyphs drawn straight from Unicode at their cells
  QImage expect(owl_window_image(w).size(), QImage::Format_RGB32);
  expect.fill(Qt::white);
  {
    QPainter p(&expect);
    p.setFont(font.Qt()->font);
    p.setPen(Qt::black);
    const int base = QFontMetrics(font.Qt()->font).ascent();
    p.drawText(QPoint(0, base), QStringLiteral("A"));
    p.drawText(QPoint(cell, base), QString::fromUtf8("漢"));
    p.drawText(QPoint(cell * 3, base), QString::fromUtf8("ｱ"));
  }
  const QRect strip(0, 0, cell * 5, height);
  EXPECT_EQ(owl_window_image(w).copy(strip), expect.copy(strip));
  // the double-byte character has ink in both of its cells
  auto ink = [&](int first_cell) {
    const QImage part = owl_window_image(w).copy(QRect(first_cell * cell, 0, cell, height));
    for (int y = 0; y < part.height(); ++y)
      for (int x = 0; x < part.width(); ++x)
        if (QColor(part.pixel(x, y)).lightness() < 128) return true;
    return false;
  };
  EXPECT_TRUE(ink(1));
  EXPECT_TRUE(ink(2));
  EXPECT_FALSE(ink(5));

  // texts given to the window side come back byte for byte
  const std::string caption = cp932("コード-1 \\ ﾒﾓﾘ");
  w.SetCaption(caption);
  EXPECT_EQ(w.GetCaption(), caption);
}

}  // namespace

namespace {

// Child menus of the merge test: one popup in the object group, or an Edit
// popup of its own besides.
constexpr u32 kObjectMenuId = 901;
constexpr MenuTemplateRow kObjectMenu[] = {
    {0, kMenuPopup, "Object"},
    {1, CmChild, "Child"},
};
constexpr u32 kEditObjectMenuId = 902;
constexpr MenuTemplateRow kEditObjectMenu[] = {
    {0, kMenuPopup, "Edit2"},
    {1, CmBoth, "Both"},
    {0, kMenuPopup, "Object2"},
    {1, CmChild, "Child"},
};

std::vector<std::string> bar_titles(const TFrameWindow& frame) {
  std::vector<std::string> titles;
  auto* mw = qobject_cast<QMainWindow*>(owl_outer_widget(frame));
  for (QAction* a : mw->menuBar()->actions()) titles.push_back(a->text().toStdString());
  return titles;
}

}  // namespace

TEST_F(OwlFrameTest, TheActiveChildsMenuMergesIntoTheFramesGroupsAndGoesWithIt) {
  owl_register_menu(kObjectMenuId, kObjectMenu);
  owl_register_menu(kEditObjectMenuId, kEditObjectMenu);
  const int frameGroups[6] = {1, 1, 0, 0, 0, 0};
  frame->SetMenuDescr(kTestMenuId, frameGroups);
  const int objectGroup[6] = {0, 0, 0, 1, 0, 0};
  const int editObjectGroups[6] = {0, 1, 0, 1, 0, 0};
  TestChild* two = AddChild<TestChild>("two");
  child->SetMenuDescr(kObjectMenuId, objectGroup);
  two->SetMenuDescr(kEditObjectMenuId, editObjectGroups);
  // the active child's new descriptor shows at once
  EXPECT_EQ(bar_titles(*frame), (std::vector<std::string>{"&File", "Edit2", "Object2"}));
  Activate(*child);
  EXPECT_EQ(bar_titles(*frame), (std::vector<std::string>{"&File", "&Edit", "Object"}));
  // the merged popup's command goes to the active child; its enabler ran
  frame->EnableCommands();
  QAction* item = Action(CmChild, 1);  // the File popup's comes first
  ASSERT_NE(item, nullptr);
  EXPECT_TRUE(item->isEnabled());
  Log.clear();
  item->trigger();
  EXPECT_EQ(Log, (std::vector<std::string>{"child 101"}));
  Activate(*two);
  EXPECT_EQ(bar_titles(*frame), (std::vector<std::string>{"&File", "Edit2", "Object2"}));
  // with no child left the frame's own bar comes back
  two->Destroy();
  pump();
  EXPECT_EQ(bar_titles(*frame), (std::vector<std::string>{"&File", "&Edit", "Object"}));
  child->Destroy();
  pump();
  EXPECT_EQ(bar_titles(*frame), (std::vector<std::string>{"&File", "&Edit"}));
}

namespace {

// A child that is never less than 150 pixels high.
class TallChild : public TestChild {
 public:
  using TestChild::TestChild;
  const ResponseEntry* Find(u32 message, u32 id) override;
  void EvGetMinMaxInfo(TMinMaxInfo& info) { info.minTrackSize.cy = 150; }
};
constexpr ResponseEntry kTallTable[] = {EvMessage<WM_GETMINMAXINFO, &TallChild::EvGetMinMaxInfo>()};
const ResponseEntry* TallChild::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kTallTable, message, id)) return e;
  return TestChild::Find(message, id);
}

}  // namespace

TEST_F(OwlFrameTest, TheMinimumTrackSizeBoundsEverySizing) {
  TallChild* tall = AddChild<TallChild>("tall");
  tall->MoveWindow(TRect{10, 10, 210, 30});
  EXPECT_EQ(tall->GetWindowRect(), (TRect{10, 10, 210, 160}));
  tall->MoveWindow(TRect{10, 10, 210, 300});
  EXPECT_EQ(tall->GetWindowRect(), (TRect{10, 10, 210, 300}));
  // a resize from Qt's side (the user's drag) is held to it as well
  owl_outer_widget(*tall)->resize(200, 40);
  EXPECT_EQ(tall->GetWindowRect().Height(), 150);
  // the decoration's metrics are what a child adds to its client height
  const int decoration = 2 * owl_system_metric(SM_CYFRAME) + owl_system_metric(SM_CYCAPTION);
  EXPECT_EQ(tall->GetWindowRect().Height() - tall->GetClientRect().Height(), decoration);
}
