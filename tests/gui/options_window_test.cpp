// The desktop host's window: Apply, OK and Cancel against the settings, the
// help area, repaints, the folder windows, and a whole run and its undo on a
// copy of the demo store.
#include "gui/options_window.h"

#include <QRegularExpression>
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
  Shown(QtUi& ui, Components& components, Host& stores) : window(components, stores) { Show(ui); }
  Shown(QtUi& ui, HostEnvironment& env) : window(env) { Show(ui); }

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
  // Clicks `button` and answers the windows it opens, in order.
  void Answer(const char* button, std::vector<ModalAnswers::Action> actions) {
    ModalAnswers answers(std::move(actions));
    Click(&window, button);
  }
  // Opens a folder window with `button` and lets `user` work in its tree.
  void PickFolders(const char* button, std::function<void(QWidget*, QTreeWidget*)> user) {
    Answer(button,
           {[&user](QWidget* picker) { user(picker, Find<QTreeWidget>(picker, "FolderTree")); }});
  }

  OptionsWindow window;

 private:
  void Show(QtUi& ui) {
    ui.SetWindow(&window);
    ui.SetPage(&window.View());
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
  }
};

void Select(QTreeWidget* tree, const char* text) {
  QTreeWidgetItem* item = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive).value(0);
  ASSERT_NE(item, nullptr) << text;
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
}

// How many lines and files differ between two snapshots of a folder, leaving
// out the REV line a save stamps anew: the store rewrites one line per field.
std::pair<int, int> Differences(const std::map<std::string, std::string>& was,
                                const std::map<std::string, std::string>& is) {
  int lines = 0;
  int files = 0;
  for (const auto& [file, bytes] : is) {
    const QStringList old = QString::fromStdString(was.at(file)).split('\n');
    const QStringList now = QString::fromStdString(bytes).split('\n');
    if (old.size() != now.size()) {
      ADD_FAILURE() << file << " gained or lost lines";
      continue;
    }
    int changed = 0;
    for (qsizetype i = 0; i < old.size(); ++i) {
      changed += old[i] != now[i] && !now[i].startsWith("REV:") ? 1 : 0;
    }
    lines += changed;
    files += changed > 0 ? 1 : 0;
  }
  return {lines, files};
}

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
    Shown w(components.qt_ui, components, stores);
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
  Shown w(components.qt_ui, components, stores);
  w.Type("txtSearchFor", "555");
  SeenBox seen;
  w.Answer("HostOk", {Press(QMessageBox::Ok, &seen)});
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

// A run holds the thread: Repaint must paint before it returns.
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
  Shown w(ui, env);
  // The multi-folder window starts from the list; Cancel keeps it.
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
  for (bool ok : {false, true}) {
    w.PickFolders("cmdChooseFolder", [ok](QWidget* picker, QTreeWidget* tree) {
      EXPECT_EQ(picker->windowTitle(), "Select Folder");
      EXPECT_FALSE(Find<QPushButton>(picker, "cmdOk")->isEnabled()) << "no folder chosen yet";
      Select(tree, "Tasks");
      Click(picker, ok ? "cmdOk" : "cmdCancel");
    });
    EXPECT_EQ(w.Listed(), ok ? QStringList{"Tasks"} : QStringList({"Calendar", "Contacts"}));
  }
}

// The phone numbers of every contact, 555 by 777: refused until applied, then
// confirmed; between the run and its undo one card is edited by hand, so its
// field is skipped and named and every other file comes back.
TEST_F(StoreWindowTest, AWholeRunAndItsUndo) {
  Shown w(ui, env);
  SeenBox box;
  w.Answer("cmdChooseFields", {[](QWidget* chooser) {
             Click(chooser, "cmdContactClearAllFields");
             Click(chooser, "cmdContactPhoneNumbers");
             Click(chooser, "cmdOk");
           }});
  w.PickFolders("cmdChooseFolder", [](QWidget* picker, QTreeWidget* tree) {
    Select(tree, "Contacts");
    Click(picker, "cmdOk");
  });
  w.Type("txtSearchFor", "555");
  w.Type("txtReplaceWith", "777");
  const std::filesystem::path contacts = sandbox.Folder("contacts");
  const auto before = Sandbox::Snapshot(contacts);
  w.Answer("cmdReplace", {Press(QMessageBox::Ok, &box)});
  EXPECT_EQ(box.text, "You must click Apply to save your settings, then you can click Replace.");
  EXPECT_EQ(box.title, "Marrowby");
  EXPECT_EQ(box.buttons, QMessageBox::Ok);
  EXPECT_EQ(box.icon, QMessageBox::NoIcon);
  EXPECT_EQ(Sandbox::Snapshot(contacts), before);

  Click(&w.window, "HostApply");
  EXPECT_FALSE(w.ApplyEnabled());
  w.Answer("cmdReplace", {Press(QMessageBox::Yes, &box)});
  EXPECT_EQ(box.text, "Are you SURE you want to replace all occurrences of '555' with '777'");
  EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);
  const auto after = Sandbox::Snapshot(contacts);
  const auto [fields, items] = Differences(before, after);
  ASSERT_GT(items, 1);
  EXPECT_EQ(Find<QLabel>(&w.window, "lblFolderName")->text().toStdString(),
            "Updated " + std::to_string(items) + " items in 1 folder");
  EXPECT_FALSE(Find<QProgressBar>(&w.window, "ProgressBar1")->isVisible());

  // The newest run, undone from the history: first answered No.
  const auto undo = [&](QMessageBox::StandardButton answer) {
    QString outcome;
    QStringList skipped;
    w.Answer("cmdRunHistory", {[&](QWidget* history) {
               auto* runs = Find<QTreeWidget>(history, "RunList");
               runs->setCurrentItem(runs->topLevelItem(0));
               {
                 ModalAnswers answers({Press(answer, &box)});
                 Click(history, "cmdUndoRun");
               }
               outcome = Find<QLabel>(history, "UndoOutcome")->text();
               auto* list = Find<QListWidget>(history, "UndoSkipped");
               for (int i = 0; i < list->count(); ++i) skipped << list->item(i)->text();
               Click(history, "cmdHistoryClose");
             }});
    return std::pair(outcome, skipped);
  };
  undo(QMessageBox::No);
  const QRegularExpression question(
      QString::fromUtf8("^Undo the run of .+ \\(Looking for “555”, replacing with “777”, any "
                        "case\\): ") +
      QString::number(fields) + " fields in " + QString::number(items) + " items\\?$");
  EXPECT_TRUE(question.match(box.text).hasMatch()) << box.text.toStdString();
  EXPECT_EQ(box.title, "Marrowby");
  EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(Sandbox::Snapshot(contacts), after);

  const std::string edited = "8e3b5d7f-0a29-4c61-b7d4-e5f1a3c9b082.vcf";
  std::string card = after.at(edited);
  card.replace(card.find("(777) 450-6627"), 14, "(888) 450-6627");
  tidewell::testing::WriteFile(contacts / edited, card);

  const auto [outcome, skipped] = undo(QMessageBox::Yes);
  EXPECT_EQ(outcome.toStdString(), "Restored " + std::to_string(fields - 1) + " fields in " +
                                       std::to_string(items - 1) + " items; skipped 1.");
  EXPECT_EQ(Find<QLabel>(&w.window, "lblFolderName")->text(), outcome);
  EXPECT_EQ(skipped, QStringList{QString::fromStdString("MobileTelephoneNumber of contacts/" +
                                                        edited + ": changed since the run")});
  auto restored = before;
  restored[edited] = card;
  EXPECT_EQ(Differences(restored, Sandbox::Snapshot(contacts)), std::pair(0, 0));
  EXPECT_TRUE(env.watched.reported().empty());
}

}  // namespace
}  // namespace tidewell::gui::testing
