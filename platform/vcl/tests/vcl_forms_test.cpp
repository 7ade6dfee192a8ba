#include "platform/vcl/vcl_forms.h"

#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "platform/host/host_text.h"
#include "platform/owl/tests/owl_test_app.h"
#include "platform/vcl/vcl_app.h"

namespace {

using namespace vcl;

class VclFormsTest : public testing::Test {
 protected:
  void SetUp() override { owl_test_app(); }
  void TearDown() override { TForm::SetModalHook({}); }
};

TEST_F(VclFormsTest, SettersAreSilentAndUserActionsRaiseEvents) {
  TForm form;
  auto* edit = form.Add<TEdit>();
  auto* combo = form.Add<TComboBox>();
  auto* check = form.Add<TCheckBox>();
  auto* radio = form.Add<TRadioGroup>();
  int changes = 0;
  edit->OnChange = combo->OnChange = check->OnClick = radio->OnClick = [&] { ++changes; };

  combo->SetItems({"P command", "T command"});
  radio->SetItems({"A", "B", "C"});
  edit->SetText("512");
  combo->SetItemIndex(1);
  check->SetChecked(true);
  radio->SetItemIndex(2);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(edit->Text(), "512");
  EXPECT_EQ(combo->ItemIndex(), 1);
  EXPECT_TRUE(check->Checked());
  EXPECT_EQ(radio->ItemIndex(), 2);

  edit->UserText("1024");
  combo->UserSelect(0);
  check->UserClick();
  radio->UserSelect(0);
  EXPECT_EQ(changes, 4);
  EXPECT_EQ(combo->ItemIndex(), 0);
  EXPECT_FALSE(check->Checked());
  EXPECT_EQ(radio->ItemIndex(), 0);

  // Typing raises OnChange; a disabled check box ignores the click.
  static_cast<QLineEdit*>(edit->Widget())->insert("8");
  EXPECT_EQ(changes, 5);
  check->SetEnabled(false);
  check->UserClick();
  EXPECT_EQ(changes, 5);
  radio->SetItemIndex(-1);
  EXPECT_EQ(radio->ItemIndex(), -1);
  combo->SetItemIndex(7);  // out of range: no item
  EXPECT_EQ(combo->ItemIndex(), -1);
}

TEST_F(VclFormsTest, TextsAreCp932OnThisSide) {
  TForm form;
  const std::string caption = host_utf8_to_cp932("起動オプション");
  form.SetCaption(caption);
  auto* label = form.Add<TLabel>();
  label->SetCaption(host_utf8_to_cp932("タブ(&T)"));
  EXPECT_EQ(form.Caption(), caption);
  EXPECT_EQ(label->Caption(), host_utf8_to_cp932("タブ(&T)"));
}

TEST_F(VclFormsTest, ModalShowEndsWithAButtonsResultOrCancel) {
  TForm form;
  auto* ok = form.Add<TButton>();
  ok->SetModalResult(mrOk);
  auto* cancel = form.Add<TButton>();
  cancel->SetModalResult(mrCancel);
  cancel->SetCancel(true);
  std::vector<std::string> events;
  form.OnShow = [&] { events.push_back("show"); };
  ok->OnClick = [&] { events.push_back("ok"); };
  cancel->OnClick = [&] { events.push_back("cancel"); };

  TForm::SetModalHook([&](TForm& f) {
    EXPECT_TRUE(f.Showing());
    ok->UserClick();
  });
  EXPECT_EQ(form.ShowModal(), mrOk);
  EXPECT_FALSE(form.Showing());

  // The close box acts as the cancel button.
  TForm::SetModalHook([&](TForm& f) {
    QCloseEvent close;
    QCoreApplication::sendEvent(f.Widget(), &close);
  });
  EXPECT_EQ(form.ShowModal(), mrCancel);
  EXPECT_EQ(events, (std::vector<std::string>{"show", "ok", "show", "cancel"}));

  // A disabled button does nothing; the form's Close ends with Cancel.
  TForm::SetModalHook([&](TForm& f) {
    ok->SetEnabled(false);
    ok->UserClick();
    EXPECT_EQ(f.ModalResult(), mrNone);
    f.Close();
  });
  EXPECT_EQ(form.ShowModal(), mrCancel);
}

TEST_F(VclFormsTest, ModalShowRunsItsOwnLoopUntilAResult) {
  TForm form;
  auto* ok = form.Add<TButton>();
  ok->SetModalResult(mrOk);
  form.OnShow = [&] { QMetaObject::invokeMethod(ok->Widget(), [ok] { ok->UserClick(); }, Qt::QueuedConnection); };
  EXPECT_EQ(form.ShowModal(), mrOk);
}

TEST_F(VclFormsTest, MemoKeepsItsBytesAndShowsOneBreakPerLineEnd) {
  TForm form;
  auto* memo = form.Add<TMemo>();
  memo->SetText("Now making\r\n");
  memo->Append(host_utf8_to_cp932("エラー") + "\r\nx");
  EXPECT_EQ(memo->Text(), "Now making\r\n" + host_utf8_to_cp932("エラー") + "\r\nx");
  EXPECT_EQ(static_cast<QPlainTextEdit*>(memo->Widget())->toPlainText(), QString::fromUtf8("Now making\nエラー\nx"));
  memo->Clear();
  EXPECT_EQ(memo->Text(), "");
}

// The timer ticks through a modal form's loop, after OnShow and OnActivate,
// and stops when disabled inside its own handler.
TEST_F(VclFormsTest, TimerTicksInsideAModalShow) {
  TForm form;
  auto* ok = form.Add<TButton>();
  ok->SetModalResult(mrOk);
  auto* timer = form.Add<TTimer>();
  timer->SetInterval(1);
  std::vector<std::string> events;
  form.OnShow = [&] { events.push_back("show"); };
  form.OnActivate = [&] {
    events.push_back("activate");
    timer->SetEnabled(true);
  };
  timer->OnTimer = [&] {
    events.push_back("tick");
    timer->SetEnabled(false);
  };
  TForm::SetModalHook([&](TForm&) {
    vcl_process_until([&] { return !timer->Enabled(); });
    ok->UserClick();
  });
  EXPECT_EQ(form.ShowModal(), mrOk);
  EXPECT_EQ(events, (std::vector<std::string>{"show", "activate", "tick"}));
}

}  // namespace

namespace {

TEST_F(VclFormsTest, MenuItemsListsMemosAndTheWaitCursor) {
  TForm form;
  auto* menu = form.Add<TMainMenu>();
  TMenuItem* top = menu->AddMenu();
  TMenuItem* item = top->Add();
  EXPECT_EQ(item->Add(), nullptr);  // a command holds no items
  int clicks = 0;
  item->OnClick = [&] { ++clicks; };
  item->SetCaption("&Open..");
  EXPECT_EQ(item->Caption(), "&Open..");
  item->UserClick();
  item->SetEnabled(false);
  item->UserClick();  // a disabled item does nothing
  EXPECT_EQ(clicks, 1);

  auto* list = form.Add<TListBox>();
  list->SetItems({"a", "b"});
  list->OnClick = [&] { ++clicks; };
  list->SetItemIndex(5);
  EXPECT_EQ(list->ItemIndex(), -1);
  list->UserSelect(1);
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(list->Item(list->ItemIndex()), "b");
  EXPECT_EQ(list->Item(9), "");

  auto* memo = form.Add<TMemo>();
  memo->SetText("one\ntwo");
  EXPECT_EQ(memo->Text(), "one\ntwo");

  EXPECT_FALSE(TWaitCursor::Active());
  {
    TWaitCursor outer;
    TWaitCursor inner;
    EXPECT_TRUE(TWaitCursor::Active());
  }
  EXPECT_FALSE(TWaitCursor::Active());
}

}  // namespace
