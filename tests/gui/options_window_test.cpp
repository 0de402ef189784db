// The desktop host's window: Apply, OK and Cancel against the settings, the
// help area, repaints, and the folder windows on a copy of the demo store.
#include "gui/options_window.h"

#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "app/store_host.h"
#include "gui_support.h"

namespace tidewell::gui::testing {
namespace {

using tidewell::testing::FakeHost;
using tidewell::testing::FakeStore;

// The window as main() sets it up, shown.
class Shown {
 public:
  Shown(Components& components, Host& stores) : window(components, stores) { Show(window); }
  explicit Shown(HostEnvironment& env) : window(env) { Show(window); }

  void Type(const char* name, const char* text) {
    QTest::keyClicks(Find<QLineEdit>(&window, name), text);
  }
  bool ApplyEnabled() { return Find<QPushButton>(&window, "HostApply")->isEnabled(); }
  // Opens a folder window with `button` and lets `user` work in its tree.
  void PickFolders(const char* button, std::function<void(QWidget*, QTreeWidget*)> user) {
    ModalAnswers answers(
        {[&user](QWidget* picker) { user(picker, Find<QTreeWidget>(picker, "FolderTree")); }});
    Click(&window, button);
  }

  OptionsWindow window;
};

class FakeWindowTest : public ::testing::Test {
 protected:
  QtFakeComponents components;
  FakeHost stores{std::make_shared<FakeStore>()};
};

TEST_F(FakeWindowTest, ApplyIsEnabledWhileDirtyAndOkAppliesButCancelDoesNot) {
  for (const auto& [button, stored, closed] : {std::tuple{"HostApply", true, false},
                                               {"HostOk", true, true},
                                               {"HostCancel", false, true}}) {
    SCOPED_TRACE(button);
    components.settings.values.clear();
    Shown w(components, stores);
    EXPECT_FALSE(w.ApplyEnabled());
    w.Type("txtSearchFor", "555");
    EXPECT_TRUE(w.ApplyEnabled());
    Click(&w.window, button);
    EXPECT_EQ(components.settings.Value("SearchFor").has_value(), stored);
    EXPECT_EQ(w.window.isVisible(), !closed);
    EXPECT_FALSE(w.ApplyEnabled() && stored);
  }
}

TEST_F(FakeWindowTest, AFailedApplyIsShownAndTheWindowStaysOpenAndDirty) {
  components.settings.fail_write["ReplaceWith"] = "The settings file is read-only.";
  Shown w(components, stores);
  w.Type("txtSearchFor", "555");
  SeenBox seen;
  {
    ModalAnswers answers({Press(QMessageBox::Ok, &seen)});
    Click(&w.window, "HostOk");
  }
  EXPECT_EQ(seen.title, "Marrowby");
  EXPECT_EQ(seen.text, "The settings file is read-only.");
  EXPECT_TRUE(w.window.isVisible());
  EXPECT_TRUE(w.ApplyEnabled());
  EXPECT_TRUE(w.window.Page().Dirty());
}

TEST_F(FakeWindowTest, TheHelpAreaShowsHotHelpAndLeavingThePageClearsIt) {
  Shown w(components, stores);
  QTest::mouseMove(w.window.View().Widget("txtSearchFor"), {5, 5});
  EXPECT_EQ(LabelText(&w.window, "HotHelp"), "help 1");
  QTest::mouseMove(Find<QWidget>(&w.window, "HostCancel"), {5, 5});
  EXPECT_EQ(LabelText(&w.window, "HotHelp"), "");
  QTest::mouseMove(w.window.View().Widget("txtSearchFor"), {9, 9});
  EXPECT_EQ(LabelText(&w.window, "HotHelp"), "help 1") << "coming back shows the same help again";
}

// A run holds the thread: Repaint must paint before it returns.
TEST_F(FakeWindowTest, RepaintPaintsTheControlBeforeReturning) {
  Shown w(components, stores);
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

// The real platform under the window: a copy of the demo store, settings and
// logs in temporary folders.
class StoreWindowTest : public ::testing::Test {
 protected:
  Sandbox sandbox;
  QtUi ui;
  HostEnvironment env{ui, {sandbox.StoreRoot()}};
};

TEST_F(StoreWindowTest, TheFolderWindowsReplaceTheListOnOkOnly) {
  const std::string store = env.store->StoreIDs().front();
  for (const auto& [key, value] : {std::pair<std::string, std::string>{"FolderCount", "1"},
                                   {"FolderName1", "Contacts"},
                                   {"FolderEntryId1", "contacts"},
                                   {"FolderStoreId1", store}}) {
    env.settings.SaveSetting("Marrowby", "Tidewell", key, value);
  }
  Shown w(env);
  // The multi-folder window starts from the list; Cancel keeps it.
  for (bool ok : {false, true}) {
    w.PickFolders("cmdChooseMultiFolder", [ok](QWidget* picker, QTreeWidget* tree) {
      EXPECT_EQ(picker->windowTitle(), "Choose the folders to search");
      QTreeWidgetItem* contacts = tree->findItems("Contacts", Qt::MatchRecursive).value(0);
      ASSERT_NE(contacts, nullptr);
      EXPECT_EQ(contacts->checkState(0), Qt::Checked);
      ClickItem(tree, "Calendar");
      QTest::keyClick(tree, Qt::Key_Space);
      Click(picker, ok ? "cmdOk" : "cmdCancel");
    });
    EXPECT_EQ(ListTexts(&w.window, "lstFolderList"),
              ok ? QStringList({"Calendar", "Contacts"}) : QStringList{"Contacts"});
    EXPECT_EQ(w.window.Page().Dirty(), ok);
  }
  for (bool ok : {false, true}) {
    w.PickFolders("cmdChooseFolder", [ok](QWidget* picker, QTreeWidget* tree) {
      EXPECT_EQ(picker->windowTitle(), "Select Folder");
      EXPECT_FALSE(Find<QPushButton>(picker, "cmdOk")->isEnabled()) << "no folder chosen yet";
      ClickItem(tree, "Tasks");
      Click(picker, ok ? "cmdOk" : "cmdCancel");
    });
    EXPECT_EQ(ListTexts(&w.window, "lstFolderList"),
              ok ? QStringList{"Tasks"} : QStringList({"Calendar", "Contacts"}));
  }
}

}  // namespace
}  // namespace tidewell::gui::testing
