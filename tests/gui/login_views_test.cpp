// The servers vdirsyncer's config names, on the start view.
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "gui/start_view.h"

namespace tidewell::gui::testing {
namespace {

TEST(StartServers, ListsWhoLogsInAndOpensTheServerChosen) {
  std::vector<std::string> opened;
  StartView start(
      {}, [](const std::vector<std::string>&) {}, [] {});
  start.ShowServers({{"remote", "/c", {"https://a/", "ann", {}, {"pass", "show", "a b"}, {}, {}}},
                     {"cal", "/c", {"https://b/", "", {}, {}, "Password for b", {}}}},
                    [&](const std::string& url) { opened.push_back(url); });
  auto* list = start.findChild<QTreeWidget*>("FoundServers");
  ASSERT_EQ(list->topLevelItemCount(), 2);
  const QTreeWidgetItem* second = list->topLevelItem(1);
  EXPECT_EQ(QStringList({list->topLevelItem(0)->text(1), list->topLevelItem(0)->text(2),
                         second->text(1), second->text(2)}),
            QStringList({"ann", "the command pass show 'a b'", "the netrc file's, else asked",
                         "asked: 'Password for b'"}));
  start.findChild<QPushButton*>("cmdOpenServer")->click();
  emit list->itemActivated(list->topLevelItem(1), 0);
  EXPECT_EQ(opened, (std::vector<std::string>{"https://a/", "https://b/"}));
}

}  // namespace
}  // namespace tidewell::gui::testing
