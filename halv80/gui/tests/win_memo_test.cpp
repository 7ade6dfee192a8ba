// The memo window in the window program: Memo.QN made at start-up, keys typed
// into the editor, the WordStar caret keys, Home, F3 and the save on close;
// and the About dialog's version texts.
#include "halv80/gui/win_memo.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>

#include "halv80/engine/sup_host.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/gui/dlg_find.h"
#include "halv80/gui/tests/gui_board_fixture.h"
#include "halv80/gui/win_about.h"
#include "halv80/version.h"
#include "platform/host/host_text.h"
#include "platform/owl/owl_qt.h"

namespace {

// A key pressed in the editor's widget, as the keyboard sends it.
void press(TEdit& editor, int key, const QString& text = {}, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QWidget* w = owl_outer_widget(editor);
  ASSERT_NE(w, nullptr);
  QKeyEvent down(QEvent::KeyPress, key, modifiers, text);
  QApplication::sendEvent(w, &down);
  QKeyEvent up(QEvent::KeyRelease, key, modifiers, text);
  QApplication::sendEvent(w, &up);
}

class MemoWindowTest : public GuiBoardTest {};

TEST_F(MemoWindowTest, FindAsksTheSearchDialogCentredOnTheFrameAndFindsItsText) {
  run_app([&](TMDIApp& app) {
    ASSERT_EQ(Sup.StartupFailure, 0);
    auto* memo = dynamic_cast<TMemoWindow*>(Frame.Children.windows[kChildMemo]);
    ASSERT_NE(memo, nullptr);
    TEditMemo& editor = *memo->editor;
    editor.SetText("one two\r\nthree two");
    editor.SetSelection(0, 0);
    TRect placed, frame;
    QTimer::singleShot(0, [&] {
      auto* d = dynamic_cast<FindDialog*>(TQNDialog::Running);
      if (!d) return;
      placed = d->GetWindowRect();
      frame = app.frame->GetWindowRect();
      d->combo->SetText("two");
      d->okButton->Click();
    });
    editor.CmFind();  // F4 and the Search menu's Find
    int start = 0, end = 0;
    editor.GetSelection(start, end);
    EXPECT_EQ(start, 4);
    EXPECT_EQ(end, 7);
    EXPECT_EQ(win_search_text(), "two");
    EXPECT_EQ(dlg_history(DlgHistory::Find).front(), "two");
    // centred on the main frame, where the screen allows
    const TRect expected = dlg_centred_rect(placed, frame, owl_screen_size());
    EXPECT_EQ(placed.left, expected.left);
    EXPECT_EQ(placed.top, expected.top);
    // Find Next searches again without asking
    editor.CmFindNext();
    editor.GetSelection(start, end);
    EXPECT_EQ(start, 15);
  });
}

TEST_F(MemoWindowTest, TheMemoEditsAndSavesMemoQnAndMovesItsCaretByWordStarKeys) {
  ASSERT_FALSE(std::filesystem::exists(folder.dir() / "Memo.QN"));
  bool ran = false;
  run_app([&](TMDIApp& app) {
    ran = true;
    ASSERT_EQ(Sup.StartupFailure, 0);
    // start-up made the memo file, empty
    ASSERT_TRUE(std::filesystem::exists(folder.dir() / "Memo.QN"));
    EXPECT_EQ(folder.Read("Memo.QN"), "");
    auto* memo = dynamic_cast<TMemoWindow*>(Frame.Children.windows[kChildMemo]);
    ASSERT_NE(memo, nullptr);
    ASSERT_NE(memo->editor, nullptr);
    TEditMemo& editor = *memo->editor;
    EXPECT_EQ(editor.GetText(), "");

    // typed keys reach the text through the editor's handlers
    for (const char* c : {"a", "b"}) press(editor, Qt::Key_A + (c[0] - 'a'), c);
    press(editor, Qt::Key_Return, "\r");
    press(editor, 0, QString::fromUtf8("メモ"));
    EXPECT_EQ(editor.GetText(), "ab\r\n" + host_utf8_to_cp932("メモ"));
    EXPECT_TRUE(editor.IsModified());
    // F3 saves
    press(editor, Qt::Key_F3);
    EXPECT_EQ(folder.Read("Memo.QN"), "ab\r\n" + host_utf8_to_cp932("メモ"));
    EXPECT_FALSE(editor.IsModified());
    // a memo that did not change is not written again
    std::filesystem::remove(folder.dir() / "Memo.QN");
    editor.CanClose();
    EXPECT_FALSE(std::filesystem::exists(folder.dir() / "Memo.QN"));

    // the caret keys, over lines "abcd", "xy", "longer" (line ends count two)
    editor.SetText("abcd\r\nxy\r\nlonger");
    const struct {
      int from;
      u8 key;
      int to;
    } cases[] = {
        {4, 0x04, 6},   // Ctrl+D at a line's end: the next line's start
        {2, 0x04, 3},
        {6, 0x13, 4},   // Ctrl+S at a line's start: the end of the line above
        {0, 0x13, 0},   // at the very start nothing moves
        {3, 0x18, 8},   // Ctrl+X: the column is kept where the line is long enough
        {12, 0x05, 8},  // Ctrl+E
        {1, 0x05, 1},   // on line 0 nothing moves
        {13, 0x12, 3},  // Ctrl+R: a page up stops at line 0
        {1, 0x03, 11},  // Ctrl+C: a page down stops at the last line
        {12, 0x11, 12}, // Ctrl+Q is ignored
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << c.from << " " << int(c.key));
      editor.SetSelection(c.from, c.from);
      editor.SendMessage(WM_CHAR, c.key);
      int start = -1, end = -1;
      editor.GetSelection(start, end);
      EXPECT_EQ(start, c.to);
      EXPECT_EQ(end, c.to);
    }
    win_activate_child(kChildMemo);
    ASSERT_EQ(win_active_index(), kChildMemo);
    // Home activates the code window and leaves the caret
    editor.SetSelection(12, 12);
    editor.SendMessage(WM_KEYDOWN, VK_HOME);
    EXPECT_EQ(win_active_index(), kChildCode);
    int start = -1, end = -1;
    editor.GetSelection(start, end);
    EXPECT_EQ(start, 12);

    // the About dialog from the menu shows the program's version texts
    std::string product;
    QTimer::singleShot(0, [&] {
      QWidget* w = QApplication::activeModalWidget();
      if (!w) return;
      product = w->windowTitle().toStdString();
      QWidget* focus = w->focusWidget() ? w->focusWidget() : w;
      QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
      QApplication::sendEvent(focus, &enter);
    });
    app.frame->SendMessage(WM_COMMAND, 530);
    EXPECT_EQ(product, "QUENDARについて");

    // a change left at the end is saved when the program closes
    editor.SetText("last words");
    editor.SetSelection(10, 10);
    press(editor, Qt::Key_Period, ".");
    app.frame->SendMessage(WM_CLOSE);
  });
  EXPECT_TRUE(ran);
  EXPECT_EQ(folder.Read("Memo.QN"), "last words.");
}

TEST_F(MemoWindowTest, TheMemosMergedEditMenuWorksOnTheEditor) {
  run_app([&](TMDIApp& app) {
    ASSERT_EQ(Sup.StartupFailure, 0);
    auto* memo = dynamic_cast<TMemoWindow*>(Frame.Children.windows[kChildMemo]);
    ASSERT_NE(memo, nullptr);
    TEditMemo& editor = *memo->editor;
    win_activate_child(kChildMemo);
    editor.Focus();
    QApplication::processEvents();
    ASSERT_TRUE(editor.HasEditFocus());
    editor.SetText("abcd");
    editor.SetSelection(1, 3);
    TMenu bar = app.frame->GetMenu();
    app.frame->EnableCommands();
    for (u32 id : {CM_EDITCUT, CM_EDITCOPY, CM_EDITDELETE, CM_EDITCLEAR}) EXPECT_EQ(bar.GetMenuState(id), 0u) << id;
    // the memo's own popup after Run carries the same commands to the editor
    const TMenu own = bar.GetSubMenu(5);
    ASSERT_EQ(own.GetItemId(4), CM_EDITDELETE);
    app.frame->SendMessage(WM_COMMAND, CM_EDITDELETE);
    EXPECT_EQ(editor.GetText(), "ad");
    app.frame->EnableCommands();
    EXPECT_EQ(bar.GetMenuState(CM_EDITCUT), MF_GRAYED);  // nothing selected now
    EXPECT_EQ(bar.GetMenuState(CM_EDITUNDO), 0u);
    app.frame->SendMessage(WM_COMMAND, CM_EDITUNDO);
    EXPECT_EQ(editor.GetText(), "abcd");
    app.frame->SendMessage(WM_COMMAND, CM_EDITCLEAR);
    EXPECT_EQ(editor.GetText(), "");
  });
}

TEST(AboutDialogTest, ShowsTheProgramsVersionTextsTheLibraryVersionAndTheDriversVersion) {
  owl_test_app();
  SupHost.LibraryVersion = 0x0123;  // only bits 0 to 7 take part
  {
    TAboutDlg about(nullptr, 100);
    about.Create();
    EXPECT_EQ(about.ControlText(kAboutProductName), host_utf8_to_cp932(kProductName));
    EXPECT_EQ(about.ControlText(kAboutVersion), host_utf8_to_cp932(kProductVersion));
    EXPECT_EQ(about.ControlText(kAboutCopyright), host_utf8_to_cp932(kLegalCopyright));
    EXPECT_EQ(about.ControlText(kAboutLibrary), "RZ7BIOS.DLL ver 2.3");
    // a driver file without version information keeps the template text
    EXPECT_EQ(about.ControlText(kAboutDriver), host_utf8_to_cp932("NT_DRIVERバージョン"));
  }
  // English (0x0409) with code page 0x04E4, stored language first: read under 040904e4
  auto driver = std::make_unique<VersionResource>();
  driver->translation = 0x04E40409;
  driver->values["\\StringFileInfo\\040904e4\\ProductVersion"] = "1.05";
  win_set_version_resource(kDriverModule, std::move(driver));
  {
    const QNVer ver(kDriverModule);
    EXPECT_EQ(ver.translation, 0x040904E4u);
    const char* text = nullptr;
    EXPECT_EQ(ver.GetProductName(text), 0);
    ASSERT_EQ(ver.GetProductVersion(text), 1);
    EXPECT_STREQ(text, "1.05");
    TAboutDlg about(nullptr, 100);
    about.Create();
    EXPECT_EQ(about.ControlText(kAboutDriver), "RZ7IF.SYS Ver 1.05");
  }
  // a resource without a translation entry gives no block: every query answers 0
  auto bare = std::make_unique<VersionResource>();
  bare->hasTranslation = false;
  bare->values["\\StringFileInfo\\00000000\\ProductVersion"] = "9";
  win_set_version_resource(kDriverModule, std::move(bare));
  const QNVer none(kDriverModule);
  const char* text = nullptr;
  EXPECT_EQ(none.block, nullptr);
  EXPECT_EQ(none.GetProductVersion(text), 0);
  win_set_version_resource(kDriverModule, nullptr);
  SupHost.LibraryVersion = 0;
}

}  // namespace
