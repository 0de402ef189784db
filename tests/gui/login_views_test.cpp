// The servers vdirsyncer's config names, on the start view, and the login
// window a config's prompt text heads.
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "gui/server_dialogs.h"
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
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->topLevelItemCount(), 2);
  std::vector<std::string> rows;
  for (int i = 0; i < 2; ++i) {
    const QTreeWidgetItem* row = list->topLevelItem(i);
    rows.push_back((row->text(0) + "|" + row->text(1) + "|" + row->text(2)).toStdString());
  }
  EXPECT_EQ(rows, (std::vector<std::string>{
                      "https://a/|ann|the command pass show 'a b'",
                      "https://b/|the netrc file's, else asked|asked: 'Password for b'"}));
  start.findChild<QPushButton*>("cmdOpenServer")->click();
  list->setCurrentItem(list->topLevelItem(1));
  emit list->itemActivated(list->topLevelItem(1), 0);
  EXPECT_EQ(opened, (std::vector<std::string>{"https://a/", "https://b/"}));

  LoginDialog dialog("https://b", "", nullptr);
  dialog.ShowPrompt("Password for b");
  EXPECT_EQ(dialog.findChild<QLabel*>("LoginHeading")->text(), "Password for b");
}

}  // namespace
}  // namespace tidewell::gui::testing
