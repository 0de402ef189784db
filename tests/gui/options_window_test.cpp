// The desktop host's window: Apply, OK and Cancel against the settings, the
// help area, the refusal box, the folder windows, and a whole run on a copy
// of the demo store.
#include "gui/options_window.h"

#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "gui_support.h"
#include "platform/support/store_host.h"
#include "support/fake_store.h"

namespace tidewell::gui::testing {
namespace {

using tidewell::testing::FakeHost;
using tidewell::testing::FakeStore;

// The window as main() sets it up, shown.
class Shown {
 public:
  Shown(QtUi& ui, Components& components, Host& stores) : window(components, stores) {
    ui.SetWindow(&window);
    ui.SetPage(&window.View());
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
  }

  void Type(const char* name, const char* text) {
    QTest::keyClicks(Find<QLineEdit>(&window, name), text);
  }
  bool ApplyEnabled() { return Find<QPushButton>(&window, "HostApply")->isEnabled(); }
  QString Help() { return Find<QLabel>(&window, "HotHelp")->text(); }
  QStringList Listed() {
    QStringList names;
    auto* list = Find<QListWidget>(&window, "lstFolderList");
    for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
    return names;
  }
  // Opens a folder window with `button` and lets `user` work in its tree.
  void PickFolders(const char* button, std::function<void(QWidget*, QTreeWidget*)> user) {
    ModalAnswers answers(
        {[&user](QWidget* picker) { user(picker, Find<QTreeWidget>(picker, "FolderTree")); }});
    Click(&window, button);
  }

  OptionsWindow window;
};

void Select(QTreeWidget* tree, const char* text) {
  QTreeWidgetItem* item = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive).value(0);
  ASSERT_NE(item, nullptr) << text;
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
}

class FakeWindowTest : public ::testing::Test {
 protected:
  QtFakeComponents components;
  FakeHost stores{std::make_shared<FakeStore>()};
};

TEST_F(FakeWindowTest, ApplyIsEnabledWhileDirtyAndOkAppliesButCancelDoesNot) {
  const struct {
    const char* button;
    bool stored;
    bool closed;
  } rows[] = {{"HostApply", true, false}, {"HostOk", true, true}, {"HostCancel", false, true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.button);
    components.settings.values.clear();
    Shown w(components.qt_ui, components, stores);
    EXPECT_FALSE(w.ApplyEnabled());
    w.Type("txtSearchFor", "555");
    EXPECT_TRUE(w.ApplyEnabled());
    Click(&w.window, row.button);
    EXPECT_EQ(components.settings.Value("SearchFor").has_value(), row.stored);
    EXPECT_EQ(w.window.isVisible(), !row.closed);
    EXPECT_FALSE(w.ApplyEnabled() && row.stored);
  }
}

TEST_F(FakeWindowTest, AFailedApplyIsShownAndTheWindowStaysOpenAndDirty) {
  components.settings.fail_write["ReplaceWith"] = "The settings file is read-only.";
  Shown w(components.qt_ui, components, stores);
  w.Type("txtSearchFor", "555");
  SeenBox seen;
  {
    ModalAnswers answers({Record(seen, QMessageBox::Ok)});
    Click(&w.window, "HostOk");
  }
  EXPECT_EQ(seen.title, "Marrowby");
  EXPECT_EQ(seen.text, "The settings file is read-only.");
  EXPECT_TRUE(w.window.isVisible());
  EXPECT_TRUE(w.ApplyEnabled());
  EXPECT_TRUE(w.window.Page().Dirty());
}

TEST_F(FakeWindowTest, TheHelpAreaShowsHotHelpAndLeavingThePageClearsIt) {
  Shown w(components.qt_ui, components, stores);
  QTest::mouseMove(w.window.View().Widget("txtSearchFor"), {5, 5});
  EXPECT_EQ(w.Help(), "help 1");
  QTest::mouseMove(Find<QWidget>(&w.window, "HostCancel"), {5, 5});
  EXPECT_EQ(w.Help(), "");
  QTest::mouseMove(w.window.View().Widget("txtSearchFor"), {9, 9});
  EXPECT_EQ(w.Help(), "help 1") << "coming back shows the same help again";
}

// A run holds the thread, so the folder label and the progress bar must be
// painted before Repaint returns, not at the next turn of the event loop.
TEST_F(FakeWindowTest, RepaintPaintsTheControlBeforeReturning) {
  Shown w(components.qt_ui, components, stores);
  w.window.Page().ProgressBar1.SetVisible(true);
  for (const char* name : {"lblFolderName", "ProgressBar1"}) {
    struct PaintCounter : QObject {
      int paints = 0;
      bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
      }
    } counter;
    w.window.View().Widget(name)->installEventFilter(&counter);
    components.qt_ui.Repaint(name);
    EXPECT_EQ(counter.paints, 1) << name;
  }
}

// The real platform under the window: a copy of the demo store, settings
// and logs in temporary folders.
class StoreWindowTest : public ::testing::Test {
 protected:
  void Remember(const char* name, const char* entryId) {
    const auto put = [this](const std::string& key, const std::string& value) {
      env.settings.SaveSetting("Marrowby", "Tidewell", key, value);
    };
    put("FolderCount", "1");
    put("FolderName1", name);
    put("FolderEntryId1", entryId);
    put("FolderStoreId1", env.store->StoreIDs().front());
  }

  Sandbox sandbox;
  QtUi ui;
  HostEnvironment env{ui, {sandbox.StoreRoot()}};
};

TEST_F(StoreWindowTest, ChooseFolderReplacesTheListOnOkOnly) {
  Remember("Contacts", "contacts");
  Shown w(ui, *env.components, *env.host);
  w.PickFolders("cmdChooseFolder", [](QWidget* picker, QTreeWidget* tree) {
    EXPECT_EQ(picker->windowTitle(), "Select Folder");
    Select(tree, "Tasks");
    Click(picker, "cmdCancel");
  });
  EXPECT_EQ(w.Listed(), QStringList{"Contacts"});
  EXPECT_FALSE(w.window.Page().Dirty());

  w.PickFolders("cmdChooseFolder", [](QWidget* picker, QTreeWidget* tree) {
    EXPECT_FALSE(Find<QPushButton>(picker, "cmdOk")->isEnabled()) << "no folder chosen yet";
    Select(tree, "Tasks");
    Click(picker, "cmdOk");
  });
  EXPECT_EQ(w.Listed(), QStringList{"Tasks"});
  EXPECT_TRUE(w.ApplyEnabled());
}

TEST_F(StoreWindowTest, ChooseMultiFoldersStartsFromTheListAndKeepsItOnCancel) {
  Remember("Contacts", "contacts");
  Shown w(ui, *env.components, *env.host);
  for (bool ok : {false, true}) {
    w.PickFolders("cmdChooseMultiFolder", [ok](QWidget* picker, QTreeWidget* tree) {
      EXPECT_EQ(picker->windowTitle(), "Choose the folders to search");
      QTreeWidgetItem* contacts = tree->findItems("Contacts", Qt::MatchRecursive).value(0);
      ASSERT_NE(contacts, nullptr);
      EXPECT_EQ(contacts->checkState(0), Qt::Checked);
      Select(tree, "Calendar");
      QTest::keyClick(tree, Qt::Key_Space);
      Click(picker, ok ? "cmdOk" : "cmdCancel");
    });
    EXPECT_EQ(w.Listed(), ok ? QStringList({"Calendar", "Contacts"}) : QStringList{"Contacts"});
    EXPECT_EQ(w.window.Page().Dirty(), ok);
  }
}

TEST_F(StoreWindowTest, AWholeRunIsRefusedUntilAppliedThenCountsTheFilesItUpdated) {
  Shown w(ui, *env.components, *env.host);
  {
    ModalAnswers answers({[](QWidget* chooser) {
      Click(chooser, "cmdContactClearAllFields");
      Click(chooser, "cmdContactEmailAddresses");
      Click(chooser, "cmdOk");
    }});
    Click(&w.window, "cmdChooseFields");
  }
  w.PickFolders("cmdChooseFolder", [](QWidget* picker, QTreeWidget* tree) {
    Select(tree, "Contacts");
    Click(picker, "cmdOk");
  });
  w.Type("txtSearchFor", "northwind-traders.example");
  w.Type("txtReplaceWith", "northwind.example");
  const auto before = Sandbox::Snapshot(sandbox.Folder("contacts"));
  SeenBox refusal;
  {
    ModalAnswers answers({Record(refusal, QMessageBox::Ok)});
    Click(&w.window, "cmdReplace");
  }
  EXPECT_EQ(refusal.text,
            "You must click Apply to save your settings, then you can click Replace.");
  EXPECT_EQ(refusal.title, "Marrowby");
  EXPECT_EQ(refusal.buttons, QMessageBox::Ok);
  EXPECT_EQ(refusal.icon, QMessageBox::NoIcon);
  EXPECT_EQ(Sandbox::Snapshot(sandbox.Folder("contacts")), before);

  Click(&w.window, "HostApply");
  EXPECT_FALSE(w.ApplyEnabled());
  SeenBox seen;
  {
    ModalAnswers answers({Record(seen, QMessageBox::Yes)});
    Click(&w.window, "cmdReplace");
  }
  EXPECT_EQ(seen.text,
            "Are you SURE you want to replace all occurrences of 'northwind-traders.example' with "
            "'northwind.example'");
  EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);

  const auto after = Sandbox::Snapshot(sandbox.Folder("contacts"));
  int changed = 0;
  for (const auto& [file, bytes] : after) changed += bytes != before.at(file) ? 1 : 0;
  EXPECT_GT(changed, 0);
  EXPECT_EQ(Find<QLabel>(&w.window, "lblFolderName")->text().toStdString(),
            "Updated " + std::to_string(changed) + " items in 1 folder");
  EXPECT_FALSE(Find<QProgressBar>(&w.window, "ProgressBar1")->isVisible());
  EXPECT_TRUE(env.watched.reported().empty());
}

}  // namespace
}  // namespace tidewell::gui::testing
