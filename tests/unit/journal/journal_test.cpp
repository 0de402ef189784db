#include "journal/journal.h"

#include <gtest/gtest.h>

#include "support/fake_components.h"

namespace tidewell::testing {
namespace {

TEST(FailureFormats, WordForWord) {
  const std::pair<std::string, std::string> rows[] = {
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
       "Error occurred.  LastLineNumber: 6  Reason: Overflow"}};
  for (const auto& [got, want] : rows) EXPECT_EQ(got, want);
}

TEST(Journal, UndoSaveWritesFiveRecordsInOrderWithValuesUntouched) {
  FakeComponents components;
  Journal journal(components);
  journal.UndoSave("/stores/a", "Contacts", "Contacts/ann.vcf", "Body", " line 1\r\nline 2 ",
                   "new");
  EXPECT_EQ(components.UndoMessages(), (Texts{"FolderStoreId: /stores/a", "FolderEntryId: Contacts",
                                              "ItemEntryId: Contacts/ann.vcf", "FieldName: Body",
                                              "FieldValue:  line 1\r\nline 2 "}));
  for (const LogLine& line : components.log) {
    EXPECT_EQ(line, (LogLine{"Tidewell", "UndoSave", line.message, -1}));
  }
  EXPECT_TRUE(components.support.reports.empty());
}

TEST(Journal, LoggerFailingStopsTheEntryWithOneReportButAProgressLineFailsItsCaller) {
  FakeComponents components;
  components.fail_log_line = 2;
  components.fail_log_description = "No space left on device";
  Journal journal(components);
  journal.UndoSave("s", "f", "i", "Subject", "old", "new");
  EXPECT_EQ(components.UndoMessages(), Texts{"FolderStoreId: s"});
  EXPECT_EQ(components.support.Reports(),
            Texts{"Tidewell.UndoSave|Error occurred at line 0.  Reason: No space left on device"});

  journal.WriteToLog("cmdReplace_Click", "Looking for 'a'");
  EXPECT_EQ(components.log.back(), (LogLine{"Tidewell", "cmdReplace_Click", "Looking for 'a'", 0}));
  components.fail_log_line = components.log_attempts + 1;
  EXPECT_THROW(journal.WriteToLog("x", "y"), Failure);
}

}  // namespace
}  // namespace tidewell::testing
