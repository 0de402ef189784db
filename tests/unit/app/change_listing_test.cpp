// The change listing around a whole Replace run over fakes, and the overlay
// settings a one-command run works on.
#include "app/change_listing.h"

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/overlay_settings.h"
#include "page/uc1.h"
#include "platform/failure.h"
#include "support/fake_components.h"
#include "support/fake_store.h"

namespace tidewell {
namespace {

using testing::FakeComponents;
using testing::FakeHost;
using testing::FakeItem;
using testing::FakeSettings;
using testing::FakeStore;
using testing::MakeAppointment;
using testing::MakeContact;

TEST(ChangeLine, EscapesWhatWouldBreakTheLineIntoFieldsOrLines) {
  const struct {
    FieldChange change;
    std::string line;
  } rows[] = {
      {{"Contacts", "Ann Lee", "CompanyName", "Acme", "Apex"},
       "Contacts\tAnn Lee\tCompanyName\tAcme\tApex"},
      {{"Tasks", "Trip", "Body", "line 1\r\nline\t2", "line 1\r\nline\t3"},
       "Tasks\tTrip\tBody\tline 1\\r\\nline\\t2\tline 1\\r\\nline\\t3"},
      {{"A\tB", "C:\\dir", "Subject", "", "x"}, "A\\tB\tC:\\\\dir\tSubject\t\tx"},
  };
  for (const auto& row : rows) EXPECT_EQ(ChangeLine(row.change), row.line);
}

// What the listing does not change reaches the inner components, the
// defaulted CreatePatternMatchers too: an undo tries every syntax it gives.
TEST(ChangeListing, PassesOnEveryCallItDoesNotChange) {
  struct TwoSyntaxes : FakeComponents {
    std::vector<std::unique_ptr<PatternMatcher>> CreatePatternMatchers() override {
      std::vector<std::unique_ptr<PatternMatcher>> matchers;
      for (int i = 0; i < 2; ++i) matchers.push_back(CreatePatternMatcher());
      return matchers;
    }
  } inner;
  ChangeListing listing(inner, std::make_shared<FakeHost>(std::make_shared<FakeStore>()), false,
                        [](const FieldChange&) {});
  EXPECT_EQ(listing.CreatePatternMatchers().size(), 2u);
  EXPECT_EQ(&listing.Settings(), &inner.Settings());
  EXPECT_EQ(&listing.Support(), &inner.Support());
  EXPECT_EQ(&listing.ui(), &inner.ui());
}

// A listing over an empty fake store that keeps what it lists.
struct Listed {
  explicit Listed(bool save)
      : listing(components, host, save, [this](const FieldChange& c) { listed.push_back(c); }) {}

  FakeComponents components;
  std::shared_ptr<FakeStore> store = std::make_shared<FakeStore>();
  std::shared_ptr<FakeHost> host = std::make_shared<FakeHost>(store);
  std::vector<FieldChange> listed;
  ChangeListing listing;
};

// A page searching "Acme" for "Apex" in contact company names and
// appointment locations over two folders, run through a listing.
struct ListedRun : Listed {
  explicit ListedRun(bool save) : Listed(save) {
    store->folders = {
        {"Contacts",
         "c",
         "/s",
         {MakeContact("c/1", "Ann Lee", {{"CompanyName", "Acme"}, {"Account", "Acme"}}),
          MakeContact("c/2", "Bo Ek", {{"CompanyName", "Other"}})}},
        {"Calendar", "k", "/s", {MakeAppointment("k/1", "Lunch", {{"Location", "Acme Hall"}})}}};
    for (const auto& [key, value] : std::map<std::string, std::string>{{"CompanyName", "1"},
                                                                       {"AppointmentLocation", "1"},
                                                                       {"SearchFor", "Acme"},
                                                                       {"ReplaceWith", "Apex"},
                                                                       {"FolderCount", "2"}}) {
      components.settings.Put(key, value);
    }
    int slot = 0;
    for (const auto& folder : store->folders) {
      const std::string n = std::to_string(++slot);
      components.settings.Put("FolderName" + n, folder.name);
      components.settings.Put("FolderEntryId" + n, folder.entry_id);
      components.settings.Put("FolderStoreId" + n, folder.store_id);
    }
    page.SetHost(listing.host());
    page.Show();
    components.ui_.answers = {MsgBoxResult::Yes};
    page.cmdReplace.Press();
  }
  FakeItem& Item(size_t folder, size_t item) { return *store->folders[folder].items[item]; }

  UC1 page{listing};
};

TEST(ChangeListing, APreviewListsWhatTheRunThenChangesAndStoresNothing) {
  ListedRun preview(false);
  const std::vector<FieldChange> expected = {
      {"Contacts", "Ann Lee", "CompanyName", "Acme", "Apex"},
      {"Calendar", "Lunch", "Location", "Acme Hall", "Apex Hall"},
  };
  EXPECT_EQ(preview.listed, expected);
  for (auto [folder, item] : {std::pair{0, 0}, {0, 1}, {1, 0}}) {
    EXPECT_EQ(preview.Item(folder, item).save_count(), 0);
  }
  EXPECT_EQ(preview.Item(0, 0).saved().at("CompanyName"), "Acme");

  ListedRun real(true);
  EXPECT_EQ(real.listed, expected);
  EXPECT_EQ(real.Item(0, 0).saved().at("CompanyName"), "Apex");
  EXPECT_EQ(real.Item(1, 0).saved().at("Location"), "Apex Hall");
  EXPECT_EQ(real.Item(0, 1).save_count(), 0);
  // Both ran the same page: the same journal, the same reports.
  EXPECT_EQ(preview.components.log, real.components.log);
  EXPECT_TRUE(real.components.support.reports.empty());
}

// Each field once, from its first old text, only what was stored; the
// formatted body as its plain text, and a preview never saves.
TEST(ChangeListing, ListsEachStoredFieldOnceFromItsFirstOldText) {
  Listed saving(true);
  auto ann = MakeContact("c/1", "Ann Lee", {{"CompanyName", "Acme"}, {"Account", "Acme"}});
  auto wrapper = saving.listing.CreateSafeItem(kSafeContactItem);
  wrapper->SetItem(ann);
  wrapper->Set("CompanyName", "Ap");
  wrapper->Set("CompanyName", "Apex");
  ann->FailWrite("Account", "Property is read-only.");
  EXPECT_THROW(wrapper->Set("Account", "x"), Failure);
  wrapper->Save();
  auto bo = MakeContact("c/2", "Bo Ek", {{"CompanyName", "Acme"}});
  auto unsaved = saving.listing.CreateSafeItem(kSafeContactItem);
  unsaved->SetItem(bo);
  unsaved->Set("CompanyName", "Apex");
  bo->FailSave("Disk full");
  EXPECT_THROW(unsaved->Save(), Failure);
  EXPECT_EQ(saving.listed,
            (std::vector<FieldChange>{{"", "Ann Lee", "CompanyName", "Acme", "Apex"}}));

  Listed preview(false);
  auto item =
      MakeAppointment("k/1", "Lunch", {{"Body", "at Acme"}, {"RTFBody", "{\\rtf1 at Acme}"}});
  auto body = preview.listing.CreateSafeItem(kSafeAppointmentItem);
  body->SetItem(item);
  body->Set("RTFBody", "{\\rtf1 at Apex}");
  item->SetProperty("Body", "at Apex");  // what a real item derives from its new RTF
  body->Save();
  EXPECT_EQ(preview.listed,
            (std::vector<FieldChange>{{"", "Lunch", "Body", "at Acme", "at Apex"}}));
  EXPECT_EQ(item->save_count(), 0);
}

TEST(OverlaySettings, ReadsFallThroughAndWritesStayInTheOverlay) {
  FakeSettings saved;
  saved.Put("SearchFor", "555");
  saved.Put("ReplaceWith", "777");
  OverlaySettingsStore run(saved);
  run.SaveSetting("Marrowby", "Tidewell", "SearchFor", "Acme");
  run.SaveSetting("Marrowby", "Host", "Stores", "/elsewhere\n");
  EXPECT_EQ(run.GetSetting("Marrowby", "Tidewell", "SearchFor", "-"), "Acme");
  EXPECT_EQ(run.GetSetting("Marrowby", "Tidewell", "ReplaceWith", "-"), "777");
  EXPECT_EQ(run.GetSetting("Marrowby", "Tidewell", "CaseSensitive", "-"), "-");
  EXPECT_EQ(run.GetSetting("Marrowby", "Other", "SearchFor", "-"), "-");
  EXPECT_TRUE(saved.writes.empty());
  EXPECT_EQ(saved.Value("SearchFor"), "555");

  // A run's folder slots are found by listing keys: the overlay's own count too.
  run.SaveSetting("Marrowby", "Tidewell", "FolderName1", "Contacts");
  auto keys = run.Keys("Marrowby", "Tidewell");
  ASSERT_TRUE(keys);
  std::sort(keys->begin(), keys->end());
  EXPECT_EQ(*keys, (std::vector<std::string>{"FolderName1", "ReplaceWith", "SearchFor"}));
  saved.lists_keys = false;
  EXPECT_FALSE(run.Keys("Marrowby", "Tidewell"));
}

}  // namespace
}  // namespace tidewell
