// The failure texts are checked word for word where each is reported: the
// page's and the engine's tests.
#include "journal/journal.h"

#include <gtest/gtest.h>

#include "support/fake_components.h"

namespace tidewell::testing {
namespace {

TEST(Journal, UndoSaveWritesFiveRecordsUntouchedAndStopsAtAFailingLogger) {
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

  // The entry stops with one report; a progress line's failure goes to its caller.
  components.log.clear();
  components.fail_log_line = components.log_attempts + 2;
  journal.UndoSave("s", "f", "i", "Subject", "old", "new");
  EXPECT_EQ(components.UndoMessages(), Texts{"FolderStoreId: s"});
  EXPECT_EQ(components.support.Reports(),
            Texts{"Tidewell.UndoSave|Error occurred at line 0.  Reason: Permission denied"});
  journal.WriteToLog("cmdReplace_Click", "Looking for 'a'");
  EXPECT_EQ(components.log.back(), (LogLine{"Tidewell", "cmdReplace_Click", "Looking for 'a'", 0}));
  components.fail_log_line = components.log_attempts + 1;
  EXPECT_THROW(journal.WriteToLog("x", "y"), Failure);
}

}  // namespace
}  // namespace tidewell::testing
