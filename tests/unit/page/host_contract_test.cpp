// The page's contract with its host: dirty marking, Enabled, the layout the
// views draw from, and hot help.
#include "page/page_layout.h"
#include "page_fixture.h"
#include "platform/failure.h"

namespace tidewell::testing {
namespace {

using HotHelp = std::vector<std::pair<std::string, std::string>>;

TEST_F(PageTest, LoadingAtShowLeavesThePageCleanAndLaterEditsMarkIt) {
  components.settings.Put("SearchFor", "cat");
  components.settings.Put("CaseSensitive", "1");
  ShowWithHost();
  EXPECT_EQ(page.txtSearchFor.Text(), "cat");
  EXPECT_FALSE(page.Dirty());
  EXPECT_EQ(host->status_changes, 0);
  page.chkCaseSensitive.SetValue(0);
  EXPECT_TRUE(page.Dirty());
  page.Apply();
  page.txtReplaceWith.SetText("dog");
  EXPECT_TRUE(page.Dirty());
  EXPECT_EQ(host->status_changes, 2);
}

TEST_F(PageTest, EditsWithoutAHostStillMarkThePage) {
  page.Show();
  page.txtSearchFor.SetText("x");
  EXPECT_TRUE(page.Dirty());
  page.SetHost(host);
  page.Terminate();
  page.txtReplaceWith.SetText("y");
  EXPECT_EQ(host->status_changes, 0);
  EXPECT_TRUE(host->hot_help.empty());
  EXPECT_FALSE(page.Folders().has_value());
}

TEST_F(PageTest, FailingHostIsReportedAndThePageStaysDirty) {
  ShowWithHost();
  host->hot_help.clear();
  host->fail_status_change = "The host window is gone";
  page.txtSearchFor.SetText("x");
  EXPECT_TRUE(page.Dirty());
  EXPECT_TRUE(host->hot_help.empty());
  EXPECT_EQ(Reports(), (std::vector<std::string>{
                           "Tidewell.SetDirty|Error occurred.  Reason: The host window is gone"}));
}

TEST_F(PageTest, FailedShowDoesNotLeaveThePageDeafToEdits) {
  components.support.strings.erase("11");
  EXPECT_THROW(page.Show(), Failure);
  page.txtSearchFor.SetText("x");
  EXPECT_TRUE(page.Dirty());
}

TEST_F(PageTest, EveryLaidOutControlExistsAndEnabledGreysThemAll) {
  for (bool enabled : {false, true}) {
    page.Enabled(enabled);
    for (const ControlLayout& row : kPageLayout) {
      Control* control = page.FindControl(row.name);
      EXPECT_EQ(control == nullptr, row.kind == ControlKind::kLine) << row.name;
      EXPECT_TRUE(!row.container[0] || page.FindControl(row.container)) << row.name;
      EXPECT_TRUE(control == nullptr || control->Enabled() == enabled) << row.name;
    }
  }
  page.Enabled(false);
  page.cmdReplace.Press();
  EXPECT_TRUE(components.ui_.boxes.empty());
  EXPECT_EQ(page.Label1.Caption(), "Make backups before running this utility.");
  EXPECT_EQ(page.cmdChooseMultiFolder.Caption(), "Choose Multi Folders...");
}

TEST_F(PageTest, EachControlSendsItsHelpOncePerVisit) {
  ShowWithHost();
  const std::pair<Control*, std::string> rows[] = {
      {&page.lblSearchFor, "help 1"},
      {&page.txtSearchFor, "help 1"},
      {&page.chkCaseSensitive, "help 3"},
      {&page.lblReplaceWith, "help 5"},
      {&page.txtReplaceWith, "help 5"},
      {&page.lblLookIn, "help 7"},
      {&page.cmdChooseFields, "help 7"},
      {&page.lblSearchIn, "help 9"},
      {&page.lstFolderList, "help 9"},
      {&page.cmdChooseFolder, "help 9"},
      {&page.cmdChooseMultiFolder, "help 9"},
      {&page.cmdReplace, "help 11"},
      {&page.frameProgress, "help 13"},
      {&page.lblFolderName, "help 15"},
      {&page.frameSettings, ""},
      {&page.Label1, ""},
      {&page.Picture1, ""},
      {&page.ProgressBar1, ""},
  };
  for (const auto& [control, text] : rows) {
    host->hot_help.clear();
    control->RaiseMouseMove();
    control->RaiseMouseMove();
    EXPECT_EQ(host->hot_help, text.empty() ? HotHelp() : HotHelp({{text, ""}})) << control->Name();
  }
}

TEST_F(PageTest, HelpIsSentAgainAfterResetOrEditButNotWithoutHost) {
  page.Show();
  page.txtSearchFor.RaiseMouseMove();
  page.SetHost(host);
  page.txtSearchFor.RaiseMouseMove();
  EXPECT_EQ(page.SendPropMessage("SomethingElse", "data"), "ok");
  page.txtSearchFor.RaiseMouseMove();
  EXPECT_EQ(page.SendPropMessage("ResetHelpText", ""), "ok");
  page.txtSearchFor.RaiseMouseMove();
  page.txtSearchFor.SetText("edited");
  page.txtSearchFor.RaiseMouseMove();
  EXPECT_EQ(host->hot_help, (HotHelp{{"help 1", ""}, {"help 1", ""}, {"", ""}, {"help 1", ""}}));
}

}  // namespace
}  // namespace tidewell::testing
