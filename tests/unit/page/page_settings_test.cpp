// LoadValues and Apply against the settings store.
#include "page_fixture.h"
#include "platform/failure.h"

namespace tidewell::testing {
namespace {

TEST_F(PageTest, EmptyStoreLoadsEmptyPageAndAppliesCountZero) {
  page.lblFolderName.SetCaption("Updated 3 items in 1 folder");
  page.Show();
  EXPECT_EQ(page.txtSearchFor.Text(), "");
  EXPECT_EQ(page.chkCaseSensitive.Value(), 0);
  EXPECT_EQ(page.lblFolderName.Caption(), "");
  EXPECT_FALSE(page.ProgressBar1.Visible());
  EXPECT_EQ(page.Folders(), FolderList{});
  page.Apply();
  const auto& s = components.settings;
  EXPECT_EQ(s.Value("FolderCount"), "0");
  EXPECT_EQ(s.Value("CaseSensitive"), "0");
  // The application name is asked anew before every single access.
  EXPECT_EQ(components.support.app_name_calls, int(s.reads.size() + s.writes.size()));
}

// Slot 2 of 3 lacks one key: it is left out, and Apply closes the gap.
class SkippedSlot : public PageTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(SkippedSlot, IsLeftOutAndApplyClosesTheGap) {
  components.settings.Put("FolderCount", "3");
  components.settings.Put("CaseSensitive", "1");
  PutSlot(1, "Contacts", "c", "/s");
  PutSlot(2, "Calendar", "k", "/s");
  PutSlot(3, "Tasks", "t", "");
  components.settings.values.erase({"Marrowby", "Tidewell", "FolderStoreId1"});
  components.settings.values.erase({"Marrowby", "Tidewell", GetParam()});
  page.Show();
  EXPECT_EQ(page.lstFolderList.List(), (std::vector<std::string>{"Contacts", "Tasks"}));
  EXPECT_EQ(page.Folders(),
            (FolderList{{"Contacts", "c", "Not Found"}, {"Tasks", "t", std::nullopt}}));

  page.Apply();
  const auto& s = components.settings;
  EXPECT_EQ(s.Value("FolderCount"), "2");
  EXPECT_EQ(s.Value("CaseSensitive"), "1");
  EXPECT_EQ(s.Value("FolderStoreId1"), "Not Found");
  EXPECT_EQ(s.Value("FolderName2"), "Tasks");
  EXPECT_EQ(s.Value("FolderStoreId2"), "");
  EXPECT_EQ(s.Value("FolderName3"), "Tasks");
}
INSTANTIATE_TEST_SUITE_P(Page, SkippedSlot, ::testing::Values("FolderName2", "FolderEntryId2"));

TEST(LoadValues, FailureReportsTheLineReachedAndKeepsWhatWasLoadedBefore) {
  struct Row {
    const char* key;
    const char* value;  // nullptr: reading the key fails
    const char* message;
  };
  const Row rows[] = {
      {"CaseSensitive", "yes", "Type mismatch  LastLineNumber: 4"},
      {"CaseSensitive", "3", "Invalid property value  LastLineNumber: 4"},
      {"FolderCount", "two", "Type mismatch  LastLineNumber: 8"},
      {"FolderCount", "99999999999", "Overflow  LastLineNumber: 8"},
      {"FolderStoreId1", nullptr, "Disk error  LastLineNumber: 10"},
  };
  for (const Row& row : rows) {
    PageOverFakes w;
    w.components.settings.Put("FolderCount", "1");
    w.PutSlot(1, "Contacts", "c", "/s");
    w.page.Show();
    w.components.settings.Put("SearchFor", "changed");
    if (row.value != nullptr) {
      w.components.settings.Put(row.key, row.value);
    } else {
      w.components.settings.fail_read[row.key] = "Disk error";
    }
    w.page.LoadValues();
    EXPECT_EQ(w.Reports(),
              (std::vector<std::string>{
                  std::string("Tidewell.LoadValues|Error occurred.  Reason: ") + row.message}));
    EXPECT_EQ(w.page.txtSearchFor.Text(), "changed");
    // Only the folder step itself drops the old list.
    const size_t kept = row.value != nullptr ? 1 : 0;
    EXPECT_EQ(w.page.Folders()->size(), kept) << row.message;
    EXPECT_EQ(size_t(w.page.lstFolderList.ListCount()), kept) << row.message;
  }
}

TEST_F(PageTest, LoadValuesOutsideShowMakesThePageDirtyWhenAValueDiffers) {
  ShowWithHost();
  components.settings.Put("ReplaceWith", "dog");
  page.LoadValues();
  EXPECT_TRUE(page.Dirty());
  EXPECT_EQ(host->status_changes, 1);
}

TEST_F(PageTest, FailedApplyKeepsEarlierKeysAndTheDirtyMark) {
  page.Show();
  page.txtSearchFor.SetText("cat");
  components.settings.fail_write["FolderCount"] = "Read-only file system";
  EXPECT_THROW(page.Apply(), Failure);
  EXPECT_EQ(components.settings.Value("SearchFor"), "cat");
  EXPECT_TRUE(page.Dirty());
}

}  // namespace
}  // namespace tidewell::testing
