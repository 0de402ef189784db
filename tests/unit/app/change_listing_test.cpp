// The change listing's wrappers over fakes, and the overlay settings a
// one-command run works on.
#include "app/change_listing.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/overlay_settings.h"
#include "platform/failure.h"
#include "support/fake_components.h"
#include "support/fake_store.h"

namespace tidewell {
namespace {

using testing::FakeComponents;
using testing::FakeHost;
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

// The defaulted CreatePatternMatchers reaches the inner components too: an
// undo tries every syntax it gives.
TEST(ChangeListing, PassesOnEveryPatternSyntax) {
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
