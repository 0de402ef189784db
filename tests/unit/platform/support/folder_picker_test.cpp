#include <gtest/gtest.h>

#include "platform/failure.h"
#include "platform/support/ui_folder_picker.h"
#include "support/fake_components.h"
#include "support/fake_store.h"

namespace tidewell {
namespace {

using testing::FakeStore;
using testing::ScriptedUi;

class FolderPickerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store_->folders = {
        {"Contacts", "e1", "/stores/a", {}},
        {"Calendar", "e2", "/stores/a", {}},
        {"Contacts", "e1", "/stores/b", {}},
        {"Tasks", "e3", "", {}},
    };
  }

  const FolderList before_ = {
      {"Calendar", "e2", "/stores/a"}, {"Old name", "e1", "/stores/b"},
      {"Tasks", "e3", std::nullopt},   {"Gone", "e9", "/stores/a"},
      {"Contacts", "e1", "/stores/c"},
  };
  std::shared_ptr<FakeStore> store_ = std::make_shared<FakeStore>();
  ScriptedUi ui_;
  UiMultiFolderPicker picker_{ui_};
};

TEST_F(FolderPickerTest, OffersEveryFolderWithTheListedOnesChecked) {
  FolderList folders = before_;
  ui_.pick_folders_answer.reset();
  EXPECT_FALSE(picker_.PickFolders(*store_, true, folders, "Choose the folders to search"));

  ASSERT_EQ(ui_.pick_folders_offered.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(ui_.pick_folders_offered[i].name, store_->folders[i].name);
    EXPECT_EQ(ui_.pick_folders_offered[i].entry_id, store_->folders[i].entry_id);
    EXPECT_EQ(ui_.pick_folders_offered[i].store_id, store_->folders[i].store_id);
  }
  // Matched by entry and store id: the name does not count, nor the entry id
  // alone in another store.
  EXPECT_EQ(ui_.pick_folders_checked, (std::vector<size_t>{1, 2, 3}));
  EXPECT_EQ(ui_.pick_folders_captions, std::vector<std::string>{"Choose the folders to search"});
  EXPECT_EQ(folders, before_) << "Cancel leaves the list";
}

TEST_F(FolderPickerTest, ConfirmReplacesTheListByTheCheckedFolders) {
  struct Row {
    const char* what;
    std::vector<size_t> answer;
    FolderList expected;
  };
  const std::vector<Row> rows = {
      {"two stores, one entry id",
       {0, 2},
       {{"Contacts", "e1", "/stores/a"}, {"Contacts", "e1", "/stores/b"}}},
      {"a folder returned twice is listed twice",
       {3, 1, 3},
       {{"Tasks", "e3", ""}, {"Calendar", "e2", "/stores/a"}, {"Tasks", "e3", ""}}},
      {"nothing checked", {}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    FolderList folders = before_;
    ui_.pick_folders_answer = row.answer;
    EXPECT_TRUE(picker_.PickFolders(*store_, true, folders, "caption"));
    EXPECT_EQ(folders, row.expected);
  }
}

TEST_F(FolderPickerTest, AnIndexNotOfferedFailsAndLeavesTheList) {
  FolderList folders = before_;
  ui_.pick_folders_answer = std::vector<size_t>{0, 4};
  try {
    picker_.PickFolders(*store_, true, folders, "caption");
    ADD_FAILURE() << "an index that was not offered went through";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.Description(), "The folder picker chose folder 5 of 4.");
  }
  EXPECT_EQ(folders, before_);
}

}  // namespace
}  // namespace tidewell
