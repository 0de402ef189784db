// The desktop host's window: Apply, OK and Cancel against the settings, the
// help area, the refusal box, the folder windows, and a whole run and its
// undo on a copy of the demo store.
#include "gui/options_window.h"

#include <QRegularExpression>
#include <QTest>
#include <QTreeWidget>
#include <fstream>

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
  // Opens a folder window with `button` and lets `user` work in its tree.
  void PickFolders(const char* button, std::function<void(QWidget*, QTreeWidget*)> user) {
    ModalAnswers answers(
        {[&user](QWidget* picker) { user(picker, Find<QTreeWidget>(picker, "FolderTree")); }});
    Click(&window, button);
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

// How many lines and files differ between two snapshots of a folder,
// leaving out the REV line a save stamps anew. The store rewrites only the
// lines it changes, one per field.
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

  // Chooses the contacts' fields with `fieldsButton` of the chooser and the
  // Contacts folder, and types the texts; nothing is applied yet.
  void PrepareRun(Shown& w, const char* fieldsButton, const char* search, const char* replace) {
    {
      ModalAnswers answers({[fieldsButton](QWidget* chooser) {
        Click(chooser, "cmdContactClearAllFields");
        Click(chooser, fieldsButton);
        Click(chooser, "cmdOk");
      }});
      Click(&w.window, "cmdChooseFields");
    }
    w.PickFolders("cmdChooseFolder", [](QWidget* picker, QTreeWidget* tree) {
      Select(tree, "Contacts");
      Click(picker, "cmdOk");
    });
    w.Type("txtSearchFor", search);
    w.Type("txtReplaceWith", replace);
  }

  // Presses "Undo Last Run..." and answers its boxes: `seen` gets each one's
  // caption, text and buttons.
  void UndoLastRun(Shown& w, std::vector<QMessageBox::StandardButton> answers,
                   std::vector<SeenBox>& seen) {
    seen.resize(answers.size());
    std::vector<ModalAnswers::Action> actions;
    for (size_t i = 0; i < answers.size(); ++i) actions.push_back(Record(seen[i], answers[i]));
    ModalAnswers answering(std::move(actions));
    Click(&w.window, "cmdUndoLastRun");
  }

  Sandbox sandbox;
  QtUi ui;
  HostEnvironment env{ui, {sandbox.StoreRoot()}};
};

TEST_F(StoreWindowTest, ChooseFolderReplacesTheListOnOkOnly) {
  Remember("Contacts", "contacts");
  Shown w(ui, env);
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
  Shown w(ui, env);
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
  Shown w(ui, env);
  PrepareRun(w, "cmdContactEmailAddresses", "northwind-traders.example", "northwind.example");
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

// The phone numbers of one contact are edited by hand between the run and
// its undo: that field is skipped and named, every other file comes back.
TEST_F(StoreWindowTest, UndoLastRunGivesTheOldValuesBackOnYesOnly) {
  Shown w(ui, env);
  std::vector<SeenBox> seen;
  UndoLastRun(w, {QMessageBox::Ok}, seen);
  EXPECT_EQ(seen[0].text, "The journal holds no run to undo.");
  EXPECT_EQ(seen[0].title, "Marrowby");
  EXPECT_EQ(seen[0].buttons, QMessageBox::Ok);

  const std::filesystem::path contacts = sandbox.Folder("contacts");
  const auto before = Sandbox::Snapshot(contacts);
  PrepareRun(w, "cmdContactPhoneNumbers", "555", "777");
  Click(&w.window, "HostApply");
  {
    ModalAnswers answers({Press(QMessageBox::Yes)});
    Click(&w.window, "cmdReplace");
  }
  const auto after = Sandbox::Snapshot(contacts);
  const auto [fields, items] = Differences(before, after);
  ASSERT_GT(items, 1);

  UndoLastRun(w, {QMessageBox::No}, seen);
  const QRegularExpression question(
      "^Undo the run of \\S+ \\(Looking for '555' replacing with '777'; Case sensitive: 0\\): " +
      QString::number(fields) + " fields in " + QString::number(items) + " items\\?$");
  EXPECT_TRUE(question.match(seen[0].text).hasMatch()) << seen[0].text.toStdString();
  EXPECT_EQ(seen[0].buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(Sandbox::Snapshot(contacts), after);

  const std::string edited = "8e3b5d7f-0a29-4c61-b7d4-e5f1a3c9b082.vcf";
  std::string card = after.at(edited);
  card.replace(card.find("(777) 450-6627"), 14, "(888) 450-6627");
  std::ofstream(contacts / edited, std::ios::binary) << card;

  UndoLastRun(w, {QMessageBox::Yes, QMessageBox::Ok}, seen);
  EXPECT_EQ(seen[1].title, "Marrowby");
  EXPECT_EQ(seen[1].buttons, QMessageBox::Ok);
  EXPECT_EQ(seen[1].text.toStdString(),
            "Restored " + std::to_string(fields - 1) + " fields in " + std::to_string(items - 1) +
                " items; skipped 1.\n\nMobileTelephoneNumber of contacts/" + edited +
                ": changed since the run");
  auto restored = before;
  restored[edited] = card;
  EXPECT_EQ(Differences(restored, Sandbox::Snapshot(contacts)), std::pair(0, 0));
  EXPECT_TRUE(env.watched.reported().empty());
}

}  // namespace
}  // namespace tidewell::gui::testing
