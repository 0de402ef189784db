#include "platform/support/platform_components.h"

#include <fstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include "platform/failure.h"
#include "platform/support/marrowby_support.h"
#include "support/fake_components.h"
#include "support/fake_store.h"

namespace tidewell {
namespace {

namespace fs = std::filesystem;

TEST(PlatformComponents, HandOutTheRealParts) {
  char pattern[] = "/tmp/components_test.XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const fs::path folder = pattern;
  Logbook logbook(folder);
  MarrowbySupport support(logbook);
  testing::FakeSettings settings;
  testing::ScriptedUi ui;
  PlatformComponents components(ui, settings, logbook, support);

  components.CreateActivityLogger()->Write("Tidewell", "UndoSave", "ItemEntryId: x", -1);
  std::ifstream in(logbook.ActivityPath());
  std::string line;
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(nlohmann::json::parse(line)["message"], "ItemEntryId: x");

  auto task = components.CreateSafeItem(kSafeTaskItem);
  EXPECT_THROW(task->SetItem(testing::MakeContact("c", "C")), Failure);
  EXPECT_THROW(components.CreateSafeItem("QZOutlook.QZSafeNoteItem"), Failure);

  auto store = std::make_shared<testing::FakeStore>();
  store->folders = {{"Contacts", "e1", "/s", {}}};
  ui.pick_folders_answer = std::vector<size_t>{0};
  FolderList folders;
  EXPECT_TRUE(components.CreateMultiFolderPicker()->PickFolders(*store, true, folders, "Pick"));
  EXPECT_EQ(ui.pick_folders_captions, std::vector<std::string>{"Pick"});
  EXPECT_EQ(folders, (FolderList{{"Contacts", "e1", "/s"}}));

  // "." is a wildcard only for the classic matcher, not a literal one.
  auto matcher = components.CreatePatternMatcher();
  matcher->SetText("abc adc");
  matcher->SetPattern("a.c");
  EXPECT_EQ(matcher->MatchCount(), 2);

  fs::remove_all(folder);
}

}  // namespace
}  // namespace tidewell
