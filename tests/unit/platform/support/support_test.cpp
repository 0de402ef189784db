#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include "platform/failure.h"
#include "platform/support/marrowby_support.h"
#include "platform/support/safe_item_library.h"
#include "support/fake_store.h"

namespace tidewell {
namespace {

namespace fs = std::filesystem;
using testing::FakeItem;

std::string DescriptionOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Failure& failure) {
    return failure.Description();
  }
  return "(no failure)";
}

class SupportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/support_test.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path folder_;
};

TEST_F(SupportTest, PageStringSetHoldsTheHelpTextsAndTheCaption) {
  Logbook logbook(folder_);
  MarrowbySupport support(logbook);
  StringSet set = {{"99", "left over"}};
  support.LoadStringSet(set, "Tidewell");

  const StringSet expected = {
      {"1", "The text or pattern to look for."},
      {"3", "Tick to tell upper and lower case letters apart."},
      {"5", "The text that replaces every match. Leave it empty to delete the matches."},
      {"7", "Choose which fields of contacts, appointments and tasks are searched."},
      {"9", "The folders whose items are searched."},
      {"11", "Search and replace in every chosen folder now. Apply your settings first."},
      {"13", "Shows the folder being searched and how far the run has got."},
      {"15", "The folder being searched, and the result of the last run."},
      {"17", "Choose the folders to search"},
  };
  EXPECT_EQ(set, expected);
  for (const auto& [key, text] : expected) EXPECT_EQ(support.LookupText(set, key), text);

  for (const std::string key : {"2", "16", "", "01"}) {
    EXPECT_EQ(DescriptionOf([&] { support.LookupText(set, key); }),
              "Invalid procedure call or argument")
        << key;
  }
  EXPECT_EQ(DescriptionOf([&] { support.LoadStringSet(set, "Other"); }),
            "There is no string set named 'Other'.");
  EXPECT_EQ(support.AppName(), "Marrowby");
}

TEST_F(SupportTest, ReportsGoToTheErrorLogAndNeverThrow) {
  Logbook logbook(folder_);
  std::ostringstream echo;
  logbook.EchoErrorsTo(&echo);
  MarrowbySupport support(logbook);

  support.ReportError("Error occurred.  Reason: x", false, "Tidewell.SetDirty");
  std::ifstream in(logbook.ErrorsPath());
  std::string line;
  ASSERT_TRUE(std::getline(in, line));
  const auto record = nlohmann::json::parse(line);
  EXPECT_EQ(record["procedure"], "Tidewell.SetDirty");
  EXPECT_EQ(record["message"], "Error occurred.  Reason: x");
  EXPECT_EQ(record["flag"], false);

  // errors.jsonl cannot be opened afresh: the report is echoed, not thrown.
  Logbook broken(folder_ / "broken");
  fs::create_directories(broken.ErrorsPath());
  broken.EchoErrorsTo(&echo);
  MarrowbySupport unlucky(broken);
  EXPECT_NO_THROW(unlucky.ReportError("Error occurred.  Reason: y", false, "Tidewell.LoadValues"));
  EXPECT_EQ(echo.str(),
            "Tidewell.SetDirty: Error occurred.  Reason: x\n"
            "Tidewell.LoadValues: Error occurred.  Reason: y\n");
}

TEST(SafeItemLibrary, EachWrapperTakesOnlyItsOwnKind) {
  const std::vector<std::pair<const char*, std::string>> wrappers = {
      {kSafeContactItem, "ContactItem"},
      {kSafeAppointmentItem, "AppointmentItem"},
      {kSafeTaskItem, "TaskItem"},
  };
  const std::vector<std::string> kinds = {"ContactItem", "AppointmentItem", "TaskItem",
                                          "JournalItem", "MailItem",        "UnknownItem"};
  SafeItemLibrary library;
  for (const auto& [progId, own_kind] : wrappers) {
    for (const std::string& kind : kinds) {
      SCOPED_TRACE(std::string(progId) + " bound to " + kind);
      auto wrapper = library.Create(progId);
      const std::string outcome = DescriptionOf([&] {
        wrapper->SetItem(std::make_shared<FakeItem>(kind, std::map<std::string, std::string>{}));
      });
      EXPECT_EQ(outcome, kind == own_kind ? "(no failure)" : "Type mismatch");
    }
  }
}

TEST(SafeItemLibrary, UnknownProgIdsAreRefused) {
  SafeItemLibrary library;
  for (const std::string progId :
       {"QZOutlook.QZSafeMailItem", "", "qzoutlook.qzsafecontactitem", "QZSafeContactItem"}) {
    EXPECT_EQ(DescriptionOf([&] { library.Create(progId); }),
              "ActiveX component can't create object")
        << progId;
  }
}

TEST(SafeItemLibrary, WrappersForwardToTheItem) {
  SafeItemLibrary library;
  auto item =
      testing::MakeContact("c1", "Ann Lee", {{"CompanyName", "Acme"}, {"JobTitle", "Cook"}});
  auto contact = library.Create(kSafeContactItem);
  EXPECT_EQ(DescriptionOf([&] { contact->Get("Subject"); }),
            "Object variable or With block variable not set");
  contact->SetItem(item);

  EXPECT_EQ(contact->Get("EntryID"), "c1");
  EXPECT_EQ(contact->FullNameAndCompany(), "Ann Lee, Acme");
  contact->Set("JobTitle", "Chef");
  EXPECT_EQ(item->properties().at("JobTitle"), "Chef");
  EXPECT_EQ(item->save_count(), 0);
  contact->Save();
  EXPECT_EQ(item->saved().at("JobTitle"), "Chef");

  item->FailSave("Disk full");
  EXPECT_EQ(DescriptionOf([&] { contact->Save(); }), "Disk full");

  for (const char* progId : {kSafeAppointmentItem, kSafeTaskItem}) {
    auto wrapper = library.Create(progId);
    wrapper->SetItem(progId == std::string(kSafeTaskItem) ? testing::MakeTask("t", "T")
                                                          : testing::MakeAppointment("a", "A"));
    EXPECT_EQ(DescriptionOf([&] { wrapper->FullNameAndCompany(); }),
              "Object doesn't support this property or method");
  }
}

}  // namespace
}  // namespace tidewell
