#include "journal/journal.h"

#include <gtest/gtest.h>

#include "platform/failure.h"
#include "support/fake_components.h"

namespace tidewell {
namespace {

using testing::FakeComponents;

TEST(FailureFormats, WordForWord) {
  struct Row {
    std::string got;
    std::string want;
  };
  const Row rows[] = {
      {FailureFormatA("Disk full"), "Error occurred.  Reason: Disk full"},
      {FailureFormatA(""), "Error occurred.  Reason: "},
      {FailureFormatB("Type mismatch", 8),
       "Error occurred.  Reason: Type mismatch  LastLineNumber: 8"},
      {FailureFormatC(175, "boom"), "Error occurred at line 175.  Reason: boom"},
      {FailureFormatC(0, ""), "Error occurred at line 0.  Reason: "},
      {FailureFormatD(18, "Contacts", std::string("Ann Lee, Acme"), "Disk full"),
       "Error occurred.  LastLineNumber: 18  Folder: Contacts  Contact: Ann Lee, Acme  Reason: "
       "Disk full"},
      {FailureFormatD(18, "", std::string("Ann Lee"), "x"),
       "Error occurred.  LastLineNumber: 18  Folder:   Contact: Ann Lee  Reason: x"},
      {FailureFormatD(10, "Not Found", std::nullopt, "x"),
       "Error occurred.  LastLineNumber: 10  Folder: Not Found  Reason: x"},
      {FailureFormatD(6, "", std::nullopt, "Overflow"),
       "Error occurred.  LastLineNumber: 6  Reason: Overflow"},
  };
  for (const Row& row : rows) EXPECT_EQ(row.got, row.want);
}

TEST(UndoSave, FiveRecordsInOrderWithValuesUntouched) {
  FakeComponents components;
  Journal journal(components);
  journal.UndoSave("/stores/a", "Contacts", "Contacts/ann.vcf", "Body", " line 1\r\nline 2 ");
  EXPECT_EQ(components.UndoMessages(),
            (std::vector<std::string>{"FolderStoreId: /stores/a", "FolderEntryId: Contacts",
                                      "ItemEntryId: Contacts/ann.vcf", "FieldName: Body",
                                      "FieldValue:  line 1\r\nline 2 "}));
  for (const auto& line : components.log) {
    EXPECT_EQ(line.source, "Tidewell");
    EXPECT_EQ(line.procedure, "UndoSave");
    EXPECT_EQ(line.undo, -1);
  }
  EXPECT_TRUE(components.support.reports.empty());
}

TEST(UndoSave, LoggerFailingOnSecondRecordLeavesOneRecordAndOneReport) {
  FakeComponents components;
  components.fail_log_line = 2;
  components.fail_log_description = "No space left on device";
  Journal journal(components);
  journal.UndoSave("s", "f", "i", "Subject", "old");
  EXPECT_EQ(components.UndoMessages(), (std::vector<std::string>{"FolderStoreId: s"}));
  ASSERT_EQ(components.support.reports.size(), 1u);
  EXPECT_EQ(components.support.reports[0],
            (testing::ErrorReport{"Error occurred at line 0.  Reason: No space left on device",
                                  false, "Tidewell.UndoSave"}));
}

TEST(WriteToLog, ProgressLineAndFailureReachesCaller) {
  FakeComponents components;
  Journal journal(components);
  journal.WriteToLog("cmdReplace_Click", "Looking for 'a'");
  EXPECT_EQ(components.log.at(0),
            (testing::LogLine{"Tidewell", "cmdReplace_Click", "Looking for 'a'", 0}));
  components.fail_log_line = 2;
  EXPECT_THROW(journal.WriteToLog("x", "y"), Failure);
}

}  // namespace
}  // namespace tidewell
