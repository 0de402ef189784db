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

// A failed write is shown, and the window stays open and dirty.
TEST_F(FakeWindowTest, ApplyIsEnabledWhileDirtyOkAppliesCancelDoesNotAndAFailedWriteIsShown) {
  const struct {
    const char* button;
    bool fails, stored, closed;
  } rows[] = {{"HostApply", false, true, false},
              {"HostOk", false, true, true},
              {"HostCancel", false, false, true},
              {"HostOk", true, false, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.button) + (row.fails ? ", failing" : ""));
    components.settings.values.clear();
    components.settings.fail_write.clear();
    if (row.fails)
      components.settings.fail_write["ReplaceWith"] = "The settings file is read-only.";
    Shown w(components, stores);
    EXPECT_FALSE(w.ApplyEnabled());
    w.Type("txtSearchFor", "555");
    EXPECT_TRUE(w.ApplyEnabled());
    SeenBox seen;
    {
      ModalAnswers answers(row.fails ? std::vector{Press(QMessageBox::Ok, &seen)}
                                     : std::vector<ModalAnswers::Action>{});
      Click(&w.window, row.button);
    }
    EXPECT_EQ(seen.title, row.fails ? "Marrowby" : "");
    EXPECT_EQ(seen.text, row.fails ? "The settings file is read-only." : "");
    if (!row.fails) {
      EXPECT_EQ(components.settings.Value("SearchFor").has_value(), row.stored);
    }
    EXPECT_EQ(w.window.isVisible(), !row.closed);
    EXPECT_EQ(w.ApplyEnabled(), w.window.Page().Dirty());
    if (row.stored || row.fails) {
      EXPECT_EQ(w.window.Page().Dirty(), row.fails);
    }
  }
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
