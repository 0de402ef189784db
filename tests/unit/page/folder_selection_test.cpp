// The folder buttons replace the whole folder list, or leave it alone.
#include <functional>

#include "page_fixture.h"

namespace tidewell::testing {
namespace {

TEST(FolderButtons, ReplaceTheWholeListOrLeaveIt) {
  const FolderRecord a{"Contacts", "c", "/s"};
  const FolderRecord b{"Calendar", "k", std::nullopt};  // its store id is empty
  struct Row {
    std::function<void(PageOverFakes&)> arrange;
    bool multi;
    FolderList chosen;   // empty: the five loaded stay
    std::string report;  // "": none
  };
  const Row rows[] = {
      {[](PageOverFakes&) {}, false, {}, ""},
      {[](PageOverFakes& t) { t.store->pick_folder_answer = 1; }, false, {b}, ""},
      {[](PageOverFakes&) {}, true, {}, ""},
      {[&](PageOverFakes& t) {
         t.components.picker_answer = FolderList{a, b, a};
       },
       true,
       {a, b, a},
       ""},
      {[](PageOverFakes& t) { t.page.SetHost(nullptr); },
       false,
       {},
       "Tidewell.ChooseFolderButton|Error occurred.  Reason: Object variable or With block "
       "variable not set"},
      {[](PageOverFakes& t) { t.components.picker_failure = "No display"; },
       true,
       {},
       "Tidewell.ChooseMultiFolderButton|Error occurred.  Reason: No display"},
  };
  for (const Row& row : rows) {
    PageOverFakes t;
    t.store->folders = {{"Contacts", "c", "/s", {}}, {"Calendar", "k", "", {}}};
    t.components.settings.Put("FolderCount", "5");
    for (int n = 1; n <= 5; ++n) t.PutSlot(n, "Old" + std::to_string(n), "o", "/s");
    t.ShowWithHost();
    const FolderList loaded = *t.page.Folders();
    row.arrange(t);
    (row.multi ? t.page.cmdChooseMultiFolder : t.page.cmdChooseFolder).Press();

    const bool changed = !row.chosen.empty();
    const FolderList& want = changed ? row.chosen : loaded;
    std::vector<std::string> names;
    for (const FolderRecord& f : want) names.push_back(f.Name());
    const std::string what = std::string(row.multi ? "multi " : "single ") + row.report;
    EXPECT_EQ(*t.page.Folders(), want) << what;
    EXPECT_EQ(t.page.lstFolderList.List(), names) << what;
    EXPECT_EQ(t.page.Dirty(), changed) << what;
    EXPECT_EQ(t.host->status_changes, changed ? 1 : 0) << what;
    EXPECT_EQ(t.Reports(), row.report.empty() ? std::vector<std::string>{}
                                              : std::vector<std::string>{row.report});
    if (row.multi) {
      EXPECT_EQ(t.components.picker_captions,
                (std::vector<std::string>{"Choose the folders to search"}));
    }
  }
}

}  // namespace
}  // namespace tidewell::testing
