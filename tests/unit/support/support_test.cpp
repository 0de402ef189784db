// The support component, the safe-item library and the multi-folder picker.
#include <fstream>
#include <set>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/failure.h"
#include "support/failure_of.h"
#include "support/fake_components.h"
#include "support/fake_store.h"
#include "support/marrowby_support.h"
#include "support/safe_item_library.h"
#include "support/temp_files.h"
#include "support/ui_folder_picker.h"

namespace tidewell {
namespace {

namespace fs = std::filesystem;
using testing::FailureOf;
using testing::FakeItem;
using testing::FakeStore;
using testing::ScriptedUi;

class SupportTest : public ::testing::Test {
 protected:
  testing::TempDir dir_;
  const fs::path folder_ = dir_.path();
  Logbook logbook_{folder_};
  MarrowbySupport support_{logbook_};
};

TEST_F(SupportTest, PageStringSetHoldsTheHelpTextsAndTheCaption) {
  StringSet set = {{"99", "left over"}};
  support_.LoadStringSet(set, "Tidewell");
  // One text for each odd id from 1 to 17, each its own, and nothing left over.
  std::set<std::string> ids, texts;
  for (const auto& [id, text] : set) {
    ids.insert(id);
    if (!text.empty()) texts.insert(text);
  }
  EXPECT_EQ(ids, (std::set<std::string>{"1", "3", "5", "7", "9", "11", "13", "15", "17"}));
  EXPECT_EQ(texts.size(), ids.size());
  EXPECT_EQ(support_.LookupText(set, "15"), set.at("15"));
  for (const std::string key : {"2", "16", "", "01"}) {
    EXPECT_EQ(FailureOf([&] { support_.LookupText(set, key); }),
              "!Invalid procedure call or argument")
        << key;
  }
  EXPECT_EQ(FailureOf([&] { support_.LoadStringSet(set, "Other"); }),
            "!There is no string set named 'Other'.");
}

TEST_F(SupportTest, ReportsGoToTheErrorLogAndNeverThrow) {
  std::ostringstream echo;
  logbook_.EchoErrorsTo(&echo);
  support_.ReportError("Error occurred.  Reason: x", false, "Tidewell.SetDirty");
  std::string line;
  std::getline(std::ifstream(logbook_.ErrorsPath()), line);
  auto record = nlohmann::json::parse(line);
  record.erase("time");
  record.erase("run");
  EXPECT_EQ(record,
            nlohmann::json::parse(
                R"({"procedure":"Tidewell.SetDirty","message":"Error occurred.  Reason: x",)"
                R"("flag":false})"));

  // errors.jsonl cannot be opened: the report is echoed, not thrown.
  Logbook broken(folder_ / "broken");
  fs::create_directories(broken.ErrorsPath());
  broken.EchoErrorsTo(&echo);
  EXPECT_NO_THROW(MarrowbySupport(broken).ReportError("Error occurred.  Reason: y", false,
                                                      "Tidewell.LoadValues"));
  EXPECT_EQ(echo.str(),
            "Tidewell.SetDirty: Error occurred.  Reason: x\n"
            "Tidewell.LoadValues: Error occurred.  Reason: y\n");
}

// A folder may hold items of any kind; a wrapper takes only its own.
TEST(SafeItemLibrary, WrappersTakeOnlyTheirOwnKindAndForwardToTheItem) {
  SafeItemLibrary library;
  const char* progIds[] = {kSafeContactItem, kSafeAppointmentItem, kSafeTaskItem};
  const std::string kinds[] = {"ContactItem", "AppointmentItem", "TaskItem", "JournalItem"};
  for (size_t p = 0; p < std::size(progIds); ++p) {
    for (size_t k = 0; k < std::size(kinds); ++k) {
      auto wrapper = library.Create(progIds[p]);
      EXPECT_EQ(FailureOf([&] {
                  wrapper->SetItem(std::make_shared<FakeItem>(kinds[k], testing::Properties{}));
                }),
                k == p ? "" : "!Type mismatch")
          << progIds[p] << " bound to " << kinds[k];
    }
  }
  // Get, Set and a save that succeeds reach the item in every end-to-end run.
  auto item = testing::MakeContact("c1", "Ann Lee", {{"CompanyName", "Acme"}});
  auto contact = library.Create(kSafeContactItem);
  EXPECT_EQ(FailureOf([&] { contact->Get("Subject"); }),
            "!Object variable or With block variable not set");
  contact->SetItem(item);
  item->FailSave("Disk full");
  EXPECT_EQ(FailureOf([&] { contact->Save(); }), "!Disk full");
}

// The name goes into failure reports only; a name of a megabyte must not.
TEST(SafeItemLibrary, TheContactsNameIsCutAfter80CharactersOnACharacterBoundary) {
  const std::string a74(74, 'a'), a79(79, 'a'), a80(80, 'a');
  const struct {
    std::string name, company, expected;
  } rows[] = {
      {a74, "Acme", a74 + ", Acme"},
      {a74, "Acme!", a74 + ", Acme\u2026"},
      {a79 + "\u65E5\u672C", "", a79 + "\u65E5\u2026"},
      {std::string(1 << 20, 'a'), "Acme", a80 + "\u2026"},
  };
  for (const auto& row : rows) {
    auto contact = SafeItemLibrary().Create(kSafeContactItem);
    contact->SetItem(testing::MakeContact("c1", row.name, {{"CompanyName", row.company}}));
    EXPECT_EQ(contact->FullNameAndCompany(), row.expected) << row.expected.size();
  }
}

class FolderPickerTest : public ::testing::Test {
 protected:
  FolderPickerTest() {
    store_->folders = {{"Contacts", "e1", "/stores/a", {}},
                       {"Calendar", "e2", "/stores/a", {}},
                       {"Contacts", "e1", "/stores/b", {}},
                       {"Tasks", "e3", "", {}}};
  }
  const FolderList before_ = {{"Calendar", "e2", "/stores/a"},
                              {"Old name", "e1", "/stores/b"},
                              {"Tasks", "e3", std::nullopt},
                              {"Gone", "e9", "/stores/a"},
                              {"Contacts", "e1", "/stores/c"}};
  std::shared_ptr<FakeStore> store_ = std::make_shared<FakeStore>();
  ScriptedUi ui_;
  UiMultiFolderPicker picker_{ui_};
};

TEST_F(FolderPickerTest, OffersEveryFolderWithTheListedOnesCheckedAndTakesTheCheckedOnes) {
  struct Row {
    std::optional<std::vector<size_t>> answer;  // nothing: Cancel
    FolderList expected;
    std::string failure = "";  // none
  };
  const std::vector<Row> rows = {
      {std::nullopt, before_},
      {{{0, 2}}, {{"Contacts", "e1", "/stores/a"}, {"Contacts", "e1", "/stores/b"}}},
      {{{3, 1, 3}}, {{"Tasks", "e3", ""}, {"Calendar", "e2", "/stores/a"}, {"Tasks", "e3", ""}}},
      {{{}}, {}},
      {{{0, 4}}, before_, "!The folder picker chose folder 5 of 4."}};
  for (const Row& row : rows) {
    FolderList folders = before_;
    ui_.pick_folders_answer = row.answer;
    bool confirmed = false;
    EXPECT_EQ(FailureOf([&] { confirmed = picker_.PickFolders(*store_, true, folders, "Pick"); }),
              row.failure);
    EXPECT_EQ(confirmed, row.answer && row.failure.empty());
    EXPECT_EQ(folders, row.expected) << (row.answer ? row.answer->size() : 0) << " folders picked";
  }
  std::vector<std::string> offered;
  for (const FolderChoice& f : ui_.pick_folders_offered) {
    offered.push_back(f.name + "|" + f.entry_id + "|" + f.store_id);
  }
  EXPECT_EQ(offered, (std::vector<std::string>{"Contacts|e1|/stores/a", "Calendar|e2|/stores/a",
                                               "Contacts|e1|/stores/b", "Tasks|e3|"}));
  // Matched by entry and store id: not by name, nor by the entry id in another store.
  EXPECT_EQ(ui_.pick_folders_checked, (std::vector<size_t>{1, 2, 3}));
  EXPECT_EQ(ui_.pick_folders_captions, std::vector<std::string>(rows.size(), "Pick"));
}

}  // namespace
}  // namespace tidewell
