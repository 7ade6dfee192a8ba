// The tool-bar settings dialog: its list edits, their limits, and the
// definition's round trip through the project file's "Tool Bar" entry.
#include "halv80/gui/dlg_toolbar.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "halv80/engine/engine_state.h"
#include "halv80/gui/app_main.h"
#include "halv80/gui/prj_default.h"
#include "halv80/gui/prj_layout.h"
#include "halv80/gui/tests/gui_test_folder.h"
#include "halv80/gui/win_frame.h"
#include "platform/owl/tests/owl_test_app.h"

namespace {

class ToolBarDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    owl_test_app();
    reset_engine_state();
    app_reset_state();
    frame_reset_state();
    Frame.ToolBarButtons = {406, 407, kToolBarSeparator, 411, kToolBarEnd};
  }
  void TearDown() override {
    frame_reset_state();
    reset_engine_state();
  }
  // Runs the dialog, does `act` in it, and gives the dialog's answer.
  bool Edit(std::function<void(TCustomDialog&)> act) {
    QTimer::singleShot(0, [act] {
      if (auto* d = dynamic_cast<TCustomDialog*>(TQNDialog::Running)) act(*d);
    });
    return dlg_toolbar_show(nullptr);
  }
  static std::vector<i32> Ids(const TListBox& list) {
    std::vector<i32> ids;
    for (int i = 0; i < list.GetCount(); ++i) ids.push_back(i32(list.GetItemData(i)));
    return ids;
  }
};

}  // namespace

TEST_F(ToolBarDialogTest, EditsFollowTheirRulesAndOkWritesTheDefinition) {
  ASSERT_TRUE(Edit([](TCustomDialog& d) {
    EXPECT_EQ(d.catalogue->GetCount(), 29);
    EXPECT_EQ(d.catalogue->GetSelIndex(), 0);  // the separator at the head
    // Up on the first and Down on the last change nothing
    d.definition->SetSelIndex(0);
    d.CmUp();
    d.definition->SetSelIndex(3);
    d.CmDown();
    EXPECT_EQ(Ids(*d.definition), (std::vector<i32>{406, 407, -1, 411}));
    // Add goes right after the selected entry; duplicates are allowed
    d.catalogue->SetSelIndex(1);  // 406
    d.definition->SetSelIndex(0);
    d.CmAdd();
    EXPECT_EQ(Ids(*d.definition), (std::vector<i32>{406, 406, 407, -1, 411}));
    EXPECT_EQ(d.definition->GetSelIndex(), 1);
    d.CmDown();
    EXPECT_EQ(d.definition->GetSelIndex(), 2);
    d.CmUp();
    d.CmUp();
    EXPECT_EQ(d.definition->GetSelIndex(), 0);
    // Ctrl+G in the definition list deletes
    d.definition->KeyDown('G', true);
    EXPECT_EQ(Ids(*d.definition), (std::vector<i32>{406, 407, -1, 411}));
    d.okButton->Click();
  }));
  EXPECT_EQ(Frame.ToolBarButtons, (std::vector<i32>{406, 407, -1, 411, kToolBarEnd}));
}

TEST_F(ToolBarDialogTest, TheLastEntryStaysAndAddAppendsToAnUnselectedList) {
  Frame.ToolBarButtons = {411, kToolBarEnd};
  ASSERT_TRUE(Edit([](TCustomDialog& d) {
    d.definition->SetSelIndex(0);
    d.CmDelete();
    EXPECT_EQ(d.definition->GetCount(), 1);
    d.definition->SetSelIndex(-1);
    d.catalogue->SetSelIndex(3);  // 411
    d.CmAdd();
    d.catalogue->SetSelIndex(0);  // a separator
    d.definition->SetSelIndex(-1);
    d.CmAdd();
    EXPECT_EQ(Ids(*d.definition), (std::vector<i32>{411, 411, -1}));
    // the definition stops at what the project file keeps
    for (int i = 0; i < 70; ++i) d.CmAdd();
    EXPECT_EQ(std::size_t(d.definition->GetCount()), kToolBarDefinitionMax);
    d.okButton->Click();
  }));
  EXPECT_EQ(Frame.ToolBarButtons.size(), kToolBarDefinitionMax + 1);
  // Cancel changes nothing
  const std::vector<i32> kept = Frame.ToolBarButtons;
  EXPECT_FALSE(Edit([](TCustomDialog& d) {
    d.CmReset();
    d.cancelButton->Click();
  }));
  EXPECT_EQ(Frame.ToolBarButtons, kept);
}

TEST_F(ToolBarDialogTest, ResetGivesTheDefaultAndTheDefinitionComesBackFromTheProjectFile) {
  ScratchFolder folder;
  folder.Write("qqn80.qpj", "%SYS\r\n" + std::string(kDefaultSysBody) + std::string(kTemplateTail));
  ASSERT_TRUE(prj_read_section(kSectionSys));
  ASSERT_TRUE(Edit([](TCustomDialog& d) {
    d.CmReset();
    d.definition->SetSelIndex(1);
    d.catalogue->SetSelIndex(16);  // 447
    d.CmAdd();
    d.okButton->Click();
  }));
  const std::vector<i32> edited = Frame.ToolBarButtons;
  EXPECT_EQ(edited, (std::vector<i32>{406, 407, 447, -1, 411, 413, 414, 415, 416, -1, 422, 423, -1, 419, -1, 420,
                                      kToolBarEnd}));
  ASSERT_TRUE(prj_write_section(kSectionSys));
  Frame.ToolBarButtons.clear();
  ASSERT_TRUE(prj_read_section(kSectionSys));
  EXPECT_EQ(Frame.ToolBarButtons, edited);
}
