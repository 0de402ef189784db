// The page over fakes: its contract with the host (dirty marking, hot help),
// its settings, the folder buttons and the Replace run.
#include <array>
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "fields/frm_look_in_fields.h"
#include "page/uc1.h"
#include "support/fake_components.h"

namespace tidewell::testing {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// A page over a contacts folder "c" and a calendar "k" of store "/s", set to
// replace "Acme" by "Apex" in contact company names and appointment
// locations; the stored folder slots are up to each test. Tables make a fresh
// one per row.
struct World {
  World() {
    store->folders = {
        {"Contacts", "c", "/s", {MakeContact("c/1", "Ann Lee", {{"CompanyName", "Acme"}})}},
        {"Calendar", "k", "/s", {MakeAppointment("k/1", "Lunch", {{"Location", "Acme Hall"}})}}};
    for (const char* key : {"CompanyName", "AppointmentLocation"}) Put(key, "1");
    Put("SearchFor", "Acme");
    Put("ReplaceWith", "Apex");
  }
  void Put(const std::string& key, const std::string& value) {
    components.settings.Put(key, value);
  }
  // Stores the folder slots as Apply would; a slot with no name gets no keys.
  void Slots(const std::vector<std::array<std::string, 3>>& slots) {
    Put("FolderCount", std::to_string(slots.size()));
    for (size_t n = 1; n <= slots.size(); ++n) {
      if (slots[n - 1][0].empty()) continue;
      for (size_t k = 0; k < 3; ++k) {
        const char* keys[] = {"FolderName", "FolderEntryId", "FolderStoreId"};
        Put(keys[k] + std::to_string(n), slots[n - 1][k]);
      }
    }
  }
  Texts Reports() const { return components.support.Reports(); }
  void ShowWithHost() {
    page.SetHost(host);
    page.Show();
  }
  void Confirm() {
    components.ui_.answers = {MsgBoxResult::Yes};
    page.cmdReplace.Press();
  }
  void ShowAndReplace() {
    ShowWithHost();
    Confirm();
  }
  FakeItem& Item(size_t folder, size_t item) { return *store->folders[folder].items[item]; }

  FakeComponents components;
  std::shared_ptr<FakeStore> store = std::make_shared<FakeStore>();
  std::shared_ptr<FakeHost> host = std::make_shared<FakeHost>(store);
  UC1 page{components};
};

class PageTest : public ::testing::Test, public World {};

TEST_F(PageTest, ShowLoadsCleanAndEveryLaterChangeMarksThePageDirty) {
  Put("SearchFor", "cat");
  Put("CaseSensitive", "1");
  ShowWithHost();
  EXPECT_EQ(page.txtSearchFor.Text(), "cat");
  EXPECT_FALSE(page.Dirty());
  EXPECT_EQ(host->status_changes, 0);
  page.chkCaseSensitive.SetValue(0);
  EXPECT_TRUE(page.Dirty());
  page.Apply();
  EXPECT_FALSE(page.Dirty());
  page.txtReplaceWith.SetText("dog");
  EXPECT_EQ(host->status_changes, 2);
  page.Apply();
  Put("ReplaceWith", "cow");
  page.LoadValues();  // outside Show, a loaded value that differs is an edit
  EXPECT_TRUE(page.Dirty());
  EXPECT_EQ(host->status_changes, 3);

  host->hot_help.clear();
  host->fail_status_change = "The host window is gone";
  page.txtSearchFor.SetText("x");
  EXPECT_TRUE(page.Dirty());
  EXPECT_TRUE(host->hot_help.empty());
  EXPECT_EQ(Reports(), Texts{"Tidewell.SetDirty|Error occurred.  Reason: The host window is gone"});
}

TEST_F(PageTest, EditsMarkThePageWithoutAHostAndAfterAFailedShow) {
  page.Show();
  page.txtSearchFor.SetText("x");
  EXPECT_TRUE(page.Dirty());
  page.SetHost(host);
  page.Terminate();
  page.txtReplaceWith.SetText("y");
  EXPECT_EQ(host->status_changes, 0);
  EXPECT_TRUE(host->hot_help.empty());
  EXPECT_FALSE(page.Folders().has_value());

  page.Apply();
  components.support.strings.erase("11");
  EXPECT_THROW(page.Show(), Failure);
  page.txtSearchFor.SetText("z");
  EXPECT_TRUE(page.Dirty());
}

TEST_F(PageTest, EachControlSendsItsHelpOncePerVisit) {
  ShowWithHost();
  const std::pair<std::string, Texts> rows[] = {
      {"help 1", {"lblSearchFor", "txtSearchFor"}},
      {"help 3", {"chkCaseSensitive"}},
      {"help 5", {"lblReplaceWith", "txtReplaceWith"}},
      {"help 7", {"lblLookIn", "cmdChooseFields"}},
      {"help 9", {"lblSearchIn", "lstFolderList", "cmdChooseFolder", "cmdChooseMultiFolder"}},
      {"help 11", {"cmdReplace"}},
      {"help 13", {"frameProgress"}},
      {"help 15", {"lblFolderName"}},
      {"", {"frameSettings", "Picture3", "frameWarning", "Label1", "Picture1", "ProgressBar1"}}};
  for (const auto& [text, names] : rows) {
    for (const std::string& name : names) {
      host->hot_help.clear();
      page.FindControl(name)->RaiseMouseMove();
      page.FindControl(name)->RaiseMouseMove();
      EXPECT_EQ(host->hot_help, text.empty() ? Pairs() : Pairs({{text, ""}})) << name;
    }
  }
  // Sent again only after a reset or an edit; a move without a host is not remembered.
  host->hot_help.clear();
  page.SetHost(nullptr);
  page.txtSearchFor.RaiseMouseMove();
  page.SetHost(host);
  page.txtSearchFor.RaiseMouseMove();
  EXPECT_EQ(page.SendPropMessage("SomethingElse", "data"), "ok");
  page.txtSearchFor.RaiseMouseMove();
  EXPECT_EQ(page.SendPropMessage("ResetHelpText", ""), "ok");
  page.txtSearchFor.RaiseMouseMove();
  page.txtSearchFor.SetText("edited");
  page.txtSearchFor.RaiseMouseMove();
  EXPECT_EQ(host->hot_help, (Pairs{{"help 1", ""}, {"help 1", ""}, {"", ""}, {"help 1", ""}}));
}

TEST_F(PageTest, EmptyStoreLoadsAnEmptyPageAndApplyWritesInOrderOrFailsDirty) {
  components.settings.values.clear();
  page.lblFolderName.SetCaption("Updated 3 items in 1 folder");
  page.Show();
  EXPECT_EQ(page.txtSearchFor.Text(), "");
  EXPECT_EQ(page.chkCaseSensitive.Value(), 0);
  EXPECT_EQ(page.lblFolderName.Caption(), "");
  EXPECT_FALSE(page.ProgressBar1.Visible());
  EXPECT_EQ(page.Folders(), FolderList{});
  page.Apply();
  const auto& s = components.settings;
  EXPECT_EQ(s.writes, (Texts{"SearchFor", "ReplaceWith", "CaseSensitive", "FolderCount"}));
  EXPECT_EQ(s.Value("FolderCount"), "0");
  EXPECT_EQ(s.Value("CaseSensitive"), "0");
  // The application name is asked anew before every single access.
  EXPECT_EQ(components.support.app_name_calls,
            int(s.reads.size() + s.writes.size()) + s.key_listings);

  page.txtSearchFor.SetText("cat");
  components.settings.fail_write["FolderCount"] = "Read-only file system";
  EXPECT_THROW(page.Apply(), Failure);  // keys written before stay, and so does the mark
  EXPECT_EQ(s.Value("SearchFor"), "cat");
  EXPECT_TRUE(page.Dirty());
}

TEST(LoadValues, ASlotLackingANameOrEntryIdIsLeftOutAndApplyClosesTheGap) {
  for (const char* missing : {"FolderName2", "FolderEntryId2"}) {
    SCOPED_TRACE(missing);
    World w;
    w.Put("CaseSensitive", "1");
    w.Slots({{"Contacts", "c", "/s"}, {"Calendar", "k", "/s"}, {"Tasks", "t", ""}});
    w.components.settings.Erase("FolderStoreId1");
    w.components.settings.Erase(missing);
    w.page.Show();
    EXPECT_EQ(w.page.lstFolderList.List(), (Texts{"Contacts", "Tasks"}));
    EXPECT_EQ(w.page.Folders(),
              (FolderList{{"Contacts", "c", "Not Found"}, {"Tasks", "t", std::nullopt}}));

    w.page.Apply();
    const auto& s = w.components.settings;
    EXPECT_EQ(s.Value("FolderCount"), "2");
    EXPECT_EQ(s.Value("CaseSensitive"), "1");
    EXPECT_EQ(s.Value("FolderStoreId1"), "Not Found");
    EXPECT_EQ(s.Value("FolderName2"), "Tasks");
    EXPECT_EQ(s.Value("FolderStoreId2"), "");
    EXPECT_EQ(s.Value("FolderName3"), "Tasks");  // a higher slot stays
  }
}

TEST(LoadValues, FailureReportsTheLineReachedAndKeepsWhatWasLoadedBefore) {
  const struct {
    const char* key;
    const char* value;  // nullptr: reading the key fails
    const char* message;
  } rows[] = {{"CaseSensitive", "yes", "Type mismatch  LastLineNumber: 4"},
              {"CaseSensitive", "3", "Invalid property value  LastLineNumber: 4"},
              {"FolderCount", "two", "Type mismatch  LastLineNumber: 8"},
              {"FolderCount", "99999999999", "Overflow  LastLineNumber: 8"},
              {"FolderStoreId1", nullptr, "Disk error  LastLineNumber: 10"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.message);
    World w;
    w.Slots({{"Contacts", "c", "/s"}});
    w.page.Show();
    w.Put("SearchFor", "changed");
    if (row.value != nullptr) {
      w.Put(row.key, row.value);
    } else {
      w.components.settings.fail_read[row.key] = "Disk error";
    }
    w.page.LoadValues();
    EXPECT_EQ(w.Reports(),
              Texts{std::string("Tidewell.LoadValues|Error occurred.  Reason: ") + row.message});
    EXPECT_EQ(w.page.txtSearchFor.Text(), "changed");
    // Only the folder step itself drops the old list.
    const size_t kept = row.value != nullptr ? 1 : 0;
    EXPECT_EQ(w.page.Folders()->size(), kept);
    EXPECT_EQ(size_t(w.page.lstFolderList.ListCount()), kept);
  }
}

TEST(FolderButtons, ReplaceTheWholeListOrLeaveIt) {
  const FolderRecord a{"Contacts", "c", "/s"};
  const FolderRecord b{"Calendar", "k", std::nullopt};  // its store id is empty
  const struct {
    bool multi;
    std::optional<FolderList> chosen;  // nothing: Cancel, the five loaded stay
    const char* failure;               // the reason reported, from no host or the picker
  } rows[] = {{false, std::nullopt, nullptr},
              {false, FolderList{b}, nullptr},
              {true, std::nullopt, nullptr},
              {true, FolderList{a, b, a}, nullptr},
              {false, std::nullopt, "Object variable or With block variable not set"},
              {true, std::nullopt, "No display"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.multi ? "multi " : "single ") + (row.failure ? row.failure : ""));
    World w;
    w.store->folders[1].store_id = "";
    std::vector<std::array<std::string, 3>> old;
    for (int n = 1; n <= 5; ++n) old.push_back({"Old" + std::to_string(n), "o", "/s"});
    w.Slots(old);
    w.ShowWithHost();
    const FolderList loaded = *w.page.Folders();
    if (row.chosen && !row.multi) w.store->pick_folder_answer = 1;
    w.components.picker_answer = row.chosen;
    if (row.failure && row.multi) w.components.picker_failure = row.failure;
    if (row.failure && !row.multi) w.page.SetHost(nullptr);
    (row.multi ? w.page.cmdChooseMultiFolder : w.page.cmdChooseFolder).Press();

    const FolderList& want = row.chosen.value_or(loaded);
    Texts names;
    for (const FolderRecord& f : want) names.push_back(f.Name());
    EXPECT_EQ(*w.page.Folders(), want);
    EXPECT_EQ(w.page.lstFolderList.List(), names);
    EXPECT_EQ(w.page.Dirty(), row.chosen.has_value());
    EXPECT_EQ(w.host->status_changes, row.chosen ? 1 : 0);
    const std::string button = row.multi ? "ChooseMultiFolderButton" : "ChooseFolderButton";
    EXPECT_EQ(w.Reports(),
              row.failure ? Texts{"Tidewell." + button + "|Error occurred.  Reason: " + row.failure}
                          : Texts{});
    EXPECT_EQ(w.components.picker_captions,
              row.multi ? Texts{"Choose the folders to search"} : Texts{});
  }
}

TEST_F(PageTest, DirtyPageRefusesAndANoTouchesNothing) {
  Slots({{"Contacts", "c", "/s"}});
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

TEST_F(PageTest, RunSavesTheChangedItemsOfTheThreeKindsAndCountsEveryStoredSlot) {
  Slots({{"Calendar", "k", "/s"}, {"Skipped", "Not Found", "/s"}, {"Contacts", "c", "/s"}});
  auto unchanged = MakeAppointment("k/2", "Dentist", {{"Location", "Town"}});
  auto mail = std::make_shared<FakeItem>("MailItem", Properties{{"Subject", "Acme"}});
  store->folders[1].items.push_back(unchanged);
  store->folders[1].items.push_back(mail);
  ShowAndReplace();
  EXPECT_EQ(page.lblFolderName.Caption(), "Updated 2 items in 3 folders");
  EXPECT_EQ(components.ProgressLines(),
            (Texts{"cmdReplace_Click|CalendarCount of items in folder 'Calendar': 3",
                   "cmdReplace_Click|Looking for 'Acme' replacing with 'Apex'; Case sensitive: 0",
                   "SearchAndReplaceAppointments|Checking Appointment: Lunch",
                   "SearchAndReplaceAppointments|Checking Appointment: Dentist",
                   "cmdReplace_Click|ContactsCount of items in folder 'Contacts': 1",
                   "cmdReplace_Click|Looking for 'Acme' replacing with 'Apex'; Case sensitive: 0",
                   "SearchAndReplaceContacts|Checking contact: Ann Lee"}));
  EXPECT_EQ(host->lookups, (Pairs{{"k", "/s"}, {"c", "/s"}}));
  EXPECT_EQ(Item(1, 0).saved().at("Location"), "Apex Hall");
  EXPECT_EQ(Item(1, 0).save_count(), 1);
  EXPECT_EQ(Item(0, 0).saved().at("CompanyName"), "Apex");
  EXPECT_EQ(unchanged->save_count(), 0);
  EXPECT_TRUE(mail->reads().empty());
  EXPECT_EQ(components.safe_items_created, 3);
  EXPECT_FALSE(page.ProgressBar1.Visible());
  EXPECT_TRUE(Reports().empty());

  // A folder not found counts too, and the host hears of it.
  for (const std::string slots : {"0", "1"}) {
    for (const bool lists_keys : {true, false}) {
      World empty;
      empty.components.settings.lists_keys = lists_keys;
      empty.Slots({{"Gone", "missing", "/s"}});
      empty.Put("FolderCount", slots);
      empty.ShowAndReplace();
      EXPECT_EQ(empty.page.lblFolderName.Caption(),
                "Updated 0 items in " + slots + (slots == "1" ? " folder" : " folders"));
      EXPECT_EQ(empty.page.Folders()->size(), slots == "0" ? 0U : 1U);
      EXPECT_EQ(empty.host->folders_not_found, slots == "0" ? Texts{} : Texts{"Gone"});
      EXPECT_TRUE(empty.components.log.empty());
      EXPECT_TRUE(empty.Reports().empty());
    }
  }
}

TEST_F(PageTest, UninitializedMeansDefaultContactsAndAbsentStoreIdIsLookedUpAsNotFound) {
  Put("CaseSensitive", "2");
  Slots({{"My Contacts", "Uninitialized", ""}, {"Calendar", "k", ""}});
  components.settings.Erase("FolderStoreId2");
  ShowAndReplace();
  EXPECT_EQ(host->lookups, (Pairs{{"c", "/s"}, {"k", "Not Found"}}));
  EXPECT_EQ(components.ProgressLines().at(1),
            "cmdReplace_Click|Looking for 'Acme' replacing with 'Apex'; Case sensitive: 2");
  EXPECT_EQ(page.lblFolderName.Caption(), "Updated 2 items in 2 folders");
}

TEST(ReplaceRun, FailureEndsTheRunWithTheLineReached) {
  using Arrange = std::function<void(World&)>;
  const Arrange no_host = [](World& w) { w.page.SetHost(nullptr); };
  const Arrange no_safe_item = [](World& w) {
    w.components.fail_create_safe_item = "Out of memory";
  };
  const Arrange contact_unsaved = [](World& w) { w.Item(0, 0).FailSave("Disk full"); };
  const Arrange read_fails = [](World& w) {
    w.components.settings.fail_read["FolderName2"] = "Disk error";
  };
  const struct {
    const char* slots;  // stored folders, by name; "-" is a slot without keys
    Arrange arrange;
    const char* message;
  } rows[] = {{"", no_host, "2  Reason: Object variable or With block variable not set"},
              {"", [](World& w) { w.Put("FolderCount", "many"); }, "6  Reason: Type mismatch"},
              {"", [](World& w) { w.Put("AppointmentBody", "on"); }, "6  Reason: Type mismatch"},
              {"Calendar", [](World& w) { w.components.fail_log_line = 1; },
               "10  Folder: Calendar  Reason: Permission denied"},
              {"Contacts", no_safe_item, "11  Folder: Contacts  Reason: Out of memory"},
              {"Calendar", no_safe_item, "22  Folder: Calendar  Reason: Out of memory"},
              {"Contacts", contact_unsaved,
               "18  Folder: Contacts  Contact: Ann Lee, Acme  Reason: Disk full"},
              {"Contacts",
               [&](World& w) {
                 contact_unsaved(w);
                 w.Item(0, 0).FailRead("FullNameAndCompany", "Unreadable");
               },
               "18  Folder: Contacts  Contact:   Reason: Disk full"},
              {"Contacts Calendar", [](World& w) { w.Item(1, 0).FailSave("Disk full"); },
               "28  Folder: Calendar  Reason: Disk full"},
              // No mark is set between folders: the next folder's reads fail under
              // the mark of the last item, and the last name read, "Not Found" too.
              {"Calendar Contacts",
               [&](World& w) {
                 w.Put("AppointmentLocation", "0");
                 read_fails(w);
               },
               "26  Folder: Calendar  Reason: Disk error"},
              {"- Contacts", read_fails, "6  Folder: Not Found  Reason: Disk error"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.message);
    World w;
    std::vector<std::array<std::string, 3>> slots;
    for (const std::string& name : Words(row.slots))
      slots.push_back({name == "-" ? "" : name, name == "Contacts" ? "c" : "k", "/s"});
    w.Slots(slots);
    w.ShowWithHost();
    row.arrange(w);
    w.Confirm();
    EXPECT_EQ(
        w.Reports(),
        Texts{std::string("Tidewell.cmdConvert|Error occurred.  LastLineNumber: ") + row.message});
  }
}

TEST_F(PageTest, ItemsSavedBeforeAFailureStaySavedAndNoSummaryIsShown) {
  Slots({{"Empty", "e", "/s"}, {"Calendar", "k", "/s"}});
  store->folders.push_back({"Empty", "e", "/s", {}});
  auto failing = MakeAppointment("k/2", "Dentist", {{"Location", "Acme"}});
  auto after = MakeAppointment("k/3", "Review", {{"Location", "Acme"}});
  failing->FailSave("Disk full");
  store->folders[1].items.push_back(failing);
  store->folders[1].items.push_back(after);
  ShowAndReplace();
  EXPECT_EQ(Item(1, 0).saved().at("Location"), "Apex Hall");
  EXPECT_EQ(after->save_count(), 0);
  EXPECT_TRUE(after->reads().empty());
  EXPECT_EQ(page.lblFolderName.Caption(), "Folder: Calendar");
  EXPECT_TRUE(page.ProgressBar1.Visible());
  EXPECT_EQ(page.ProgressBar1.Value(), 2);
  EXPECT_EQ(components.ProgressLines().at(0),
            "cmdReplace_Click|EmptyCount of items in folder 'Empty': 0");
}

TEST(ChooseFields, EveryVisitMakesThePageDirtyWhateverTheUserDid) {
  for (bool storeFails : {false, true}) {
    World w;
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
