// The Replace run: refusal, confirmation, folders, saves, summary, failures.
#include <functional>

#include "fields/frm_look_in_fields.h"
#include "page_fixture.h"

namespace tidewell::testing {
namespace {

// A clean page searching "Acme" for "Apex" in contact company names and
// appointment locations; stored folder slots are up to each test.
struct RunWorld : PageOverFakes {
  RunWorld() {
    store->folders = {
        {"Contacts", "c", "/s", {MakeContact("c/1", "Ann Lee", {{"CompanyName", "Acme"}})}},
        {"Calendar", "k", "/s", {MakeAppointment("k/1", "Lunch", {{"Location", "Acme Hall"}})}},
    };
    components.settings.Put("CompanyName", "1");
    components.settings.Put("AppointmentLocation", "1");
    components.settings.Put("SearchFor", "Acme");
    components.settings.Put("ReplaceWith", "Apex");
  }
  void Run() {
    ShowWithHost();
    Confirm();
  }
  void Confirm() {
    components.ui_.answers = {MsgBoxResult::Yes};
    page.cmdReplace.Press();
  }
  FakeItem& Item(size_t folder, size_t item) { return *store->folders[folder].items[item]; }
};

TEST_F(PageTest, DirtyPageRefusesAndANoTouchesNothing) {
  components.settings.Put("FolderCount", "1");
  PutSlot(1, "Contacts", "c", "/s");
  ShowWithHost();
  page.txtSearchFor.SetText("cat");
  page.txtReplaceWith.SetText("dog");
  components.ui_.answers = {MsgBoxResult::Ok, MsgBoxResult::No};
  components.settings.reads.clear();
  page.cmdReplace.Press();
  page.Apply();
  page.cmdReplace.Press();

  const auto& boxes = components.ui_.boxes;
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].prompt,
            "You must click Apply to save your settings, then you can click Replace.");
  EXPECT_EQ(boxes[0].buttons, MsgBoxButtons::OkOnly);
  EXPECT_EQ(boxes[1].prompt,
            "Are you SURE you want to replace all occurrences of 'cat' with 'dog'");
  EXPECT_EQ(boxes[1].buttons, MsgBoxButtons::YesNo);
  for (const auto& box : boxes) EXPECT_EQ(box.title, "Marrowby");
  EXPECT_TRUE(components.settings.reads.empty());
  EXPECT_TRUE(components.log.empty());
  EXPECT_TRUE(host->lookups.empty());
  EXPECT_EQ(page.lblFolderName.Caption(), "");
}

TEST(ReplaceRun, SummaryCountsStoredSlotsFoundOrNot) {
  struct Row {
    std::function<void(RunWorld&)> arrange;
    const char* summary;
    std::vector<std::string> lines;
  };
  const Row rows[] = {
      {[](RunWorld&) {}, "Updated 0 items in 0 folders", {}},
      {[](RunWorld& w) {
         w.components.settings.Put("FolderCount", "1");
         w.PutSlot(1, "Gone", "missing", "/s");
       },
       "Updated 0 items in 1 folder",
       {}},
      {[](RunWorld& w) {
         w.components.settings.Put("FolderCount", "3");
         w.PutSlot(1, "Calendar", "k", "/s");
         w.PutSlot(2, "Skipped", "Not Found", "/s");
         w.PutSlot(3, "Contacts", "c", "/s");
         w.store->folders[1].items.push_back(MakeAppointment("k/2", "Dentist"));
         w.store->folders[1].items.push_back(
             std::make_shared<FakeItem>("MailItem", std::map<std::string, std::string>{}));
       },
       "Updated 2 items in 3 folders",
       {"cmdReplace_Click|CalendarCount of items in folder 'Calendar': 3",
        "cmdReplace_Click|Looking for 'Acme' replacing with 'Apex'; Case sensitive: 0",
        "SearchAndReplaceAppointments|Checking Appointment: Lunch",
        "SearchAndReplaceAppointments|Checking Appointment: Dentist",
        "cmdReplace_Click|ContactsCount of items in folder 'Contacts': 1",
        "cmdReplace_Click|Looking for 'Acme' replacing with 'Apex'; Case sensitive: 0",
        "SearchAndReplaceContacts|Checking contact: Ann Lee"}},
  };
  for (const Row& row : rows) {
    RunWorld w;
    row.arrange(w);
    w.Run();
    EXPECT_EQ(w.page.lblFolderName.Caption(), row.summary);
    EXPECT_EQ(w.components.ProgressLines(), row.lines) << row.summary;
    EXPECT_TRUE(w.Reports().empty()) << row.summary;
    EXPECT_FALSE(w.page.ProgressBar1.Visible());
  }
}

TEST(ReplaceRun, SavesOnlyChangedItemsOfTheThreeKinds) {
  RunWorld w;
  w.components.settings.Put("FolderCount", "1");
  w.PutSlot(1, "Calendar", "k", "/s");
  auto unchanged = MakeAppointment("k/2", "Dentist", {{"Location", "Town"}});
  auto mail = std::make_shared<FakeItem>("MailItem",
                                         std::map<std::string, std::string>{{"Subject", "Acme"}});
  w.store->folders[1].items.push_back(unchanged);
  w.store->folders[1].items.push_back(mail);
  w.Run();
  EXPECT_EQ(w.Item(1, 0).saved().at("Location"), "Apex Hall");
  EXPECT_EQ(w.Item(1, 0).save_count(), 1);
  EXPECT_EQ(unchanged->save_count(), 0);
  EXPECT_TRUE(mail->reads().empty());
  EXPECT_EQ(w.components.safe_items_created, 2);
  EXPECT_EQ(w.components.ui_.repaints, (std::vector<std::string>{"lblFolderName", "ProgressBar1",
                                                                 "ProgressBar1", "ProgressBar1"}));
  EXPECT_EQ(w.page.lblFolderName.Caption(), "Updated 1 items in 1 folder");
}

TEST(ReplaceRun, UninitializedMeansDefaultContactsAndAbsentStoreIdIsLookedUpAsNotFound) {
  RunWorld w;
  w.components.settings.Put("CaseSensitive", "2");
  w.components.settings.Put("FolderCount", "2");
  w.PutSlot(1, "My Contacts", "Uninitialized", "");
  w.PutSlot(2, "Calendar", "k", "/s");
  w.components.settings.values.erase({"Marrowby", "Tidewell", "FolderStoreId2"});
  w.Run();
  EXPECT_EQ(w.host->lookups,
            (std::vector<std::pair<std::string, std::string>>{{"c", "/s"}, {"k", "Not Found"}}));
  EXPECT_EQ(w.components.ProgressLines().at(1),
            "cmdReplace_Click|Looking for 'Acme' replacing with 'Apex'; Case sensitive: 2");
  EXPECT_EQ(w.page.lblFolderName.Caption(), "Updated 2 items in 2 folders");
}

TEST(ReplaceRun, FailureEndsTheRunWithTheLineReached) {
  struct Row {
    std::vector<const char*> slots;  // stored folders, by name; "" is a slot without keys
    std::function<void(RunWorld&)> arrange;
    const char* message;
  };
  const Row rows[] = {
      {{},
       [](RunWorld& w) { w.page.SetHost(nullptr); },
       "2  Reason: Object variable or With block variable not set"},
      {{},
       [](RunWorld& w) { w.components.settings.Put("FolderCount", "many"); },
       "6  Reason: Type mismatch"},
      {{},
       [](RunWorld& w) { w.components.settings.Put("AppointmentBody", "on"); },
       "6  Reason: Type mismatch"},
      {{"Calendar"},
       [](RunWorld& w) { w.components.fail_log_line = 1; },
       "10  Folder: Calendar  Reason: Permission denied"},
      {{"Contacts"},
       [](RunWorld& w) { w.components.fail_create_safe_item = "Out of memory"; },
       "11  Folder: Contacts  Reason: Out of memory"},
      {{"Calendar"},
       [](RunWorld& w) { w.components.fail_create_safe_item = "Out of memory"; },
       "22  Folder: Calendar  Reason: Out of memory"},
      {{"Contacts"},
       [](RunWorld& w) { w.Item(0, 0).FailSave("Disk full"); },
       "18  Folder: Contacts  Contact: Ann Lee, Acme  Reason: Disk full"},
      {{"Contacts"},
       [](RunWorld& w) {
         w.Item(0, 0).FailSave("Disk full");
         w.Item(0, 0).FailRead("FullNameAndCompany", "Unreadable");
       },
       "18  Folder: Contacts  Contact:   Reason: Disk full"},
      {{"Contacts", "Calendar"},
       [](RunWorld& w) { w.Item(1, 0).FailSave("Disk full"); },
       "28  Folder: Calendar  Reason: Disk full"},
      // No mark is set between folders: the next folder's reads fail under
      // the mark of the last item, and the last name read, "Not Found" too.
      {{"Calendar", "Contacts"},
       [](RunWorld& w) {
         w.components.settings.Put("AppointmentLocation", "0");
         w.components.settings.fail_read["FolderName2"] = "Disk error";
       },
       "26  Folder: Calendar  Reason: Disk error"},
      {{"", "Contacts"},
       [](RunWorld& w) { w.components.settings.fail_read["FolderName2"] = "Disk error"; },
       "6  Folder: Not Found  Reason: Disk error"},
  };
  for (const Row& row : rows) {
    RunWorld w;
    w.components.settings.Put("FolderCount", std::to_string(row.slots.size()));
    for (size_t n = 0; n < row.slots.size(); ++n) {
      const std::string name = row.slots[n];
      if (!name.empty()) w.PutSlot(int(n + 1), name, name == "Contacts" ? "c" : "k", "/s");
    }
    w.ShowWithHost();
    row.arrange(w);
    w.Confirm();
    EXPECT_EQ(
        w.Reports(),
        (std::vector<std::string>{
            std::string("Tidewell.cmdConvert|Error occurred.  LastLineNumber: ") + row.message}));
  }
}

TEST(ReplaceRun, ItemsSavedBeforeAFailureStaySavedAndNoSummaryIsShown) {
  RunWorld w;
  w.components.settings.Put("FolderCount", "2");
  w.PutSlot(1, "Empty", "e", "/s");
  w.PutSlot(2, "Calendar", "k", "/s");
  w.store->folders.push_back({"Empty", "e", "/s", {}});
  auto failing = MakeAppointment("k/2", "Dentist", {{"Location", "Acme"}});
  auto after = MakeAppointment("k/3", "Review", {{"Location", "Acme"}});
  failing->FailSave("Disk full");
  w.store->folders[1].items.push_back(failing);
  w.store->folders[1].items.push_back(after);
  w.Run();
  EXPECT_EQ(w.Item(1, 0).saved().at("Location"), "Apex Hall");
  EXPECT_EQ(after->save_count(), 0);
  EXPECT_TRUE(after->reads().empty());
  EXPECT_EQ(w.page.lblFolderName.Caption(), "Folder: Calendar");
  EXPECT_TRUE(w.page.ProgressBar1.Visible());
  EXPECT_EQ(w.page.ProgressBar1.Value(), 2);
  EXPECT_EQ(w.components.ProgressLines().at(0),
            "cmdReplace_Click|EmptyCount of items in folder 'Empty': 0");
}

TEST(ChooseFields, EveryVisitMakesThePageDirtyWhateverTheUserDid) {
  for (bool storeFails : {false, true}) {
    RunWorld w;
    w.ShowWithHost();
    w.components.ui_.field_chooser = [](frmLookInFields& dialog) { dialog.cmdCancel.Press(); };
    if (storeFails) w.components.support.fail_app_name = "Settings are locked";
    w.page.cmdChooseFields.Press();
    EXPECT_EQ(w.components.ui_.field_chooser_shown, storeFails ? 0 : 1);
    EXPECT_TRUE(w.page.Dirty());
    EXPECT_EQ(w.host->status_changes, 1);
  }
}

}  // namespace
}  // namespace tidewell::testing
