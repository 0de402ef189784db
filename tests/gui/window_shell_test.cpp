// The window around the page: the way in without a store, menus and
// shortcuts, resizing, a run watched and stopped,
// accessibility, and the whole way from no store to a run and its undo with
// the keyboard alone and with the mouse alone.
#include <QAccessible>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>
#include <cstdlib>
#include <set>

#include <gtest/gtest.h>

#include "app/dry_run.h"
#include "app/run_index.h"
#include "app/store_host.h"
#include "gui/history_dialog.h"
#include "gui/options_window.h"
#include "gui/preview_dialog.h"
#include "gui/results_view.h"
#include "gui/server_dialogs.h"
#include "gui/start_view.h"
#include "gui_support.h"

namespace tidewell::gui::testing {
namespace {

// VDIRSYNCER_CONFIG pointing at a config whose one storage is `root`, for
// as long as it lives; an empty root names no config at all.
struct VdirsyncerConfig {
  explicit VdirsyncerConfig(const std::string& root) : path(dir.path().toStdString() + "/config") {
    tidewell::testing::WriteFile(path, root.empty()
                                           ? ""
                                           : "[storage local]\ntype = \"filesystem\"\npath = \"" +
                                                 root + "\"\nfileext = \".vcf\"\n");
    setenv("VDIRSYNCER_CONFIG", path.c_str(), 1);
  }
  ~VdirsyncerConfig() { unsetenv("VDIRSYNCER_CONFIG"); }
  QTemporaryDir dir;
  std::string path;
};

// Without a store and none in the configs: a word that there are none. A
// folder that is no store is refused; Ctrl+O opens the folder dialog, and the
// folder chosen there opens and is remembered.
TEST(StartTest, TheStartViewOpensAnyFolderAndRemembersIt) {
  Sandbox sandbox;
  QtUi ui;
  VdirsyncerConfig config("");
  OptionsWindow window(ui);
  Show(window);
  EXPECT_EQ(LabelText(&window, "NoStoreFound").toStdString(), kNoStoreFound);
  // A folder that went away since the configs were read.
  SeenBox box;
  {
    ModalAnswers answers({Press(QMessageBox::Ok, &box)});
    EXPECT_FALSE(window.OpenStores({"/no/such/folder"}));
  }
  EXPECT_EQ(box.text, "No such store: /no/such/folder");
  EXPECT_FALSE(window.HasPage());
  EXPECT_EQ(IniSettingsStore().GetSetting("Marrowby", "Host", "Stores", ""), "");
  Show(window);
  {
    ModalAnswers answers({[&sandbox](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      ASSERT_NE(dialog, nullptr);
      EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
      dialog->selectFile(QString::fromStdString(sandbox.StoreRoot()));
      QMetaObject::invokeMethod(dialog, "accept");
    }});
    Key(&window, Qt::Key_O, Qt::ControlModifier);
  }
  EXPECT_TRUE(window.HasPage());
  EXPECT_EQ(IniSettingsStore().GetSetting("Marrowby", "Host", "Stores", ""),
            sandbox.StoreRoot() + "\n");
}

// The window over the demo store, settings saved for a run of 555 to 777
// over the contacts.
class StoreShellTest : public ::testing::Test {
 protected:
  void SetUp() override { SavePhoneRun(""); }
  Sandbox sandbox;
  QtUi ui;
};

TEST_F(StoreShellTest, TheFolderListAndTheProgressTakeTheRoomOfAGrownWindow) {
  HostEnvironment env(ui, {sandbox.StoreRoot()});
  OptionsWindow window(env);
  Show(window);
  PageView& view = window.View();
  const auto place = [&view](const char* name) {
    QWidget* widget = view.Widget(name);
    return QRect(widget->mapTo(&view, QPoint(0, 0)), widget->size());
  };
  const QRect list = place("lstFolderList");
  const QRect search = place("txtSearchFor");
  const QSize was = view.size();
  window.resize(window.width() + 300, window.height() + 200);
  QApplication::processEvents();
  const QSize grown = view.size() - was;
  ASSERT_TRUE(grown.width() > 250 && grown.height() > 150);
  EXPECT_EQ(place("lstFolderList").size(), list.size() + grown);
  EXPECT_EQ(place("txtSearchFor"), search);
  // Still in the page's order, each inside its container.
  EXPECT_LT(place("lstFolderList").bottom(), place("cmdReplace").top());
  EXPECT_LT(place("cmdReplace").bottom(), place("frameProgress").top());
  EXPECT_LT(place("lstFolderList").right(), place("cmdChooseFolder").left());
  for (QWidget* widget : view.findChildren<QWidget*>()) {
    if (widget->objectName().isEmpty() || widget->parentWidget() == nullptr) continue;
    EXPECT_TRUE(widget->parentWidget()->rect().contains(widget->geometry()))
        << widget->objectName().toStdString();
  }
}

// A run is watched and stopped three ways; each stops after the item in
// hand, says how far it came, and undo takes it back.
TEST_F(StoreShellTest, ARunCanBeWatchedAndStopped) {
  enum class How { kStopButton, kEscape, kClose };
  for (const How how : {How::kStopButton, How::kEscape, How::kClose}) {
    SCOPED_TRACE(static_cast<int>(how));
    HostEnvironment env(ui, {sandbox.StoreRoot()});
    Save("FolderStoreId1", env.store->StoreIDs().front());
    OptionsWindow window(env);
    Show(window);
    const auto before = Sandbox::Snapshot(sandbox.Folder("contacts"));
    auto* tabs = Find<QWidget>(&window, "OptionsTabs");
    auto* stop = Find<QPushButton>(&window, "cmdStop");

    std::set<QString> seen_items;
    bool locked = true;
    QTimer watcher;
    watcher.setInterval(0);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
      if (!window.Running()) return;
      locked = locked && !tabs->isEnabled() &&
               !window.findChild<QAction*>("actionReplace")->isEnabled() && stop->isVisible();
      seen_items.insert(LabelText(&window, "RunItem"));
      if (seen_items.size() < 4 || !stop->isEnabled()) return;
      if (how == How::kStopButton) Click(&window, "cmdStop");
      if (how == How::kEscape) {
        // Without a window manager nothing gives the focus back after the
        // confirmation box closed.
        window.activateWindow();
        Key(&window, Qt::Key_Escape);
      }
      if (how == How::kClose) window.close();
    });
    watcher.start();
    ClickAnswering(&window, "cmdReplace", {Press(QMessageBox::Yes)});
    watcher.stop();
    QApplication::processEvents();
    EXPECT_TRUE(locked) << "the page took input during the run";
    const int changed = Sandbox::ChangedFiles(before, sandbox.Folder("contacts"));
    EXPECT_GT(changed, 0);
    EXPECT_LT(changed, static_cast<int>(before.size()) - 5) << "the run went on";
    EXPECT_EQ(window.isVisible(), how != How::kClose);
    EXPECT_TRUE(tabs->isEnabled());
    EXPECT_FALSE(stop->isVisible());
    const QString report = LabelText(&window, "RunReport");
    const QRegularExpression expected(
        "^Stopped after " + QString::number(changed) +
        " items; Undo Last Run takes this run back\\.\nLast item checked: contacts/\\S+\\.vcf "
        "\\(.+\\)$");
    EXPECT_TRUE(expected.match(report).hasMatch()) << report.toStdString();
    if (how != How::kClose) {
      // The results of a stopped run say where it stopped, under its summary,
      // and count its items as the history does.
      ASSERT_NE(window.Results(), nullptr);
      EXPECT_TRUE(window.Results()->isVisible());
      EXPECT_TRUE(LabelText(window.Results(), "ResultSummary").endsWith("\n" + report))
          << LabelText(window.Results(), "ResultSummary").toStdString();
      EXPECT_EQ(LabelText(window.Results(), "ResultTotals").section(" in ", 1),
                QString("%1 items").arg(changed));
      EXPECT_EQ(ListRuns(env.logbook).runs.back().items, static_cast<size_t>(changed));
    }

    ModalAnswers answers({Press(QMessageBox::Yes), Press(QMessageBox::Ok)});
    window.findChild<QAction*>("actionUndoLastRun")->trigger();
    EXPECT_EQ(Sandbox::ChangedFiles(before, sandbox.Folder("contacts")), 0);
  }
}

// The menu item is the Host setting: it survives a new window, and the page's
// matcher follows it at once.
TEST_F(StoreShellTest, UseRegularExpressionsIsTheHostSettingAndSwitchesThePagesSyntax) {
  HostEnvironment env(ui, {sandbox.StoreRoot()});
  for (const bool on : {true, false}) {
    OptionsWindow window(env);
    auto* action = window.findChild<QAction*>("actionUseRegularExpressions");
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->isChecked(), !on);
    action->trigger();
    EXPECT_EQ(IniSettingsStore().GetSetting("Marrowby", "Host", "RegularExpressions", ""),
              on ? "1" : "0");
    EXPECT_EQ(window.Page().regularExpressions->Check("a(").empty(), !on);
  }
}

TEST_F(StoreShellTest, EveryControlHasAnAccessibleNameAndDescriptionAndTabFollowsThePage) {
  VdirsyncerConfig config(sandbox.StoreRoot());
  OptionsWindow start(ui);
  HostEnvironment env(ui, {sandbox.StoreRoot()});
  OptionsWindow window(env);
  // The run views and the server dialogs too: a preview, a history, the
  // results of a run with a failure and a note, the login and the connect
  // windows.
  PreviewDialog preview(DryRunReplace({sandbox.StoreRoot()}), &window);
  HistoryDialog history(env, {}, &window);
  ResultsView results;
  results.Show(
      {"Updated 0 items in 1 folder", {}, {"Error occurred at line 0."}, {"Not searched: x"}});
  LoginDialog login("https://dav.example.org", "ann");
  ConnectDialog connect("ann");
  for (QWidget* shown : std::initializer_list<QWidget*>{&start, &window, &preview, &history,
                                                        &results, &login, &connect}) {
    shown->show();
    for (QWidget* widget : shown->findChildren<QWidget*>()) {
      const bool control = (widget->focusPolicy() & Qt::TabFocus) != 0 ||
                           qobject_cast<QLabel*>(widget) || qobject_cast<QGroupBox*>(widget) ||
                           qobject_cast<QProgressBar*>(widget);
      if (!control || !widget->isVisibleTo(shown)) continue;
      QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
      ASSERT_NE(accessible, nullptr);
      const std::string name =
          widget->objectName().toStdString() + " (" + widget->metaObject()->className() + ")";
      EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty()) << name;
      EXPECT_FALSE(accessible->text(QAccessible::Description).isEmpty()) << name;
    }
  }
  // Every action of the menus has a shortcut.
  for (OptionsWindow* shown : {&start, &window}) {
    for (QAction* action : shown->menuBar()->findChildren<QAction*>()) {
      if (action->isSeparator() || action->menu() || action->text().isEmpty()) continue;
      if (action->parent() == shown->findChild<QMenu*>("FoundStoresMenu")) continue;
      EXPECT_FALSE(action->shortcut().isEmpty()) << action->text().toStdString();
    }
  }
  Show(window);
  window.View().Widget("txtSearchFor")->setFocus();
  for (const char* expected :
       {"txtSearchFor", "chkCaseSensitive", "txtReplaceWith", "cmdChooseFields", "lstFolderList",
        "cmdChooseFolder", "cmdChooseMultiFolder", "cmdReplace", "cmdPreviewChanges",
        "cmdRunHistory", "cmdUndoLastRun"}) {
    EXPECT_EQ(QApplication::focusWidget()->objectName().toStdString(), expected);
    Key(QApplication::focusWidget(), Qt::Key_Tab);
  }
}

// From a window without a store to a run and its undo with the keyboard
// alone, the store picked from the configs' list.
TEST_F(StoreShellTest, FromNoStoreToARunAndItsUndoWithTheKeyboardAlone) {
  Sandbox fresh;
  SetUp();
  VdirsyncerConfig config(fresh.StoreRoot());
  OptionsWindow window(ui);
  Show(window);
  const auto focus = [] { return QApplication::focusWidget(); };

  EXPECT_EQ(window.windowTitle(), "Marrowby Options");
  EXPECT_FALSE(window.findChild<QAction*>("actionReplace")->isEnabled());
  const std::string root = std::filesystem::canonical(fresh.StoreRoot()).string();
  auto* found = Find<QTreeWidget>(&window, "FoundStores");
  ASSERT_EQ(found->topLevelItemCount(), 1);
  EXPECT_EQ(found->topLevelItem(0)->text(0).toStdString(), root);
  EXPECT_EQ(found->topLevelItem(0)->text(1).toStdString(), config.path);
  EXPECT_EQ(focus(), found);
  Key(found, Qt::Key_Return);
  ASSERT_TRUE(window.HasPage());
  ASSERT_NE(window.Environment(), nullptr);
  HostEnvironment& env = *window.Environment();
  // Found, not chosen by path: the configs go on naming it.
  EXPECT_TRUE(RememberedStores(env.saved_settings, env.support).empty());

  EXPECT_EQ(focus()->objectName(), "txtSearchFor");
  Key(focus(), Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(focus(), "555");
  for (int i = 0; i < 2; ++i) Key(focus(), Qt::Key_Tab);
  QTest::keyClicks(focus(), "777");
  for (int i = 0; i < 3; ++i) Key(focus(), Qt::Key_Tab);
  EXPECT_EQ(focus()->objectName(), "cmdChooseFolder");
  {
    ModalAnswers answers({[](QWidget* picker) {
      auto* tree = Find<QTreeWidget>(picker, "FolderTree");
      // The tree is the window's first control; without a window manager to
      // activate the window, the test gives it the focus.
      tree->setFocus();
      QTest::keyClicks(tree, "Contacts");
      Key(tree, Qt::Key_Return);
    }});
    Key(focus(), Qt::Key_Space);
  }
  Show(window);  // back from the folder window
  Key(&window, Qt::Key_S, Qt::ControlModifier);
  EXPECT_FALSE(window.Page().Dirty());

  const auto before = Sandbox::Snapshot(fresh.Folder("contacts"));
  {
    // The preview's Replace runs through the page's own, with its question.
    ModalAnswers answers({[&](QWidget* preview) {
                            ASSERT_EQ(preview->objectName(), "PreviewDialog");
                            EXPECT_EQ(Sandbox::ChangedFiles(before, fresh.Folder("contacts")), 0);
                            // No window manager activates the preview offscreen.
                            QApplication::setActiveWindow(preview);
                            Key(preview, Qt::Key_R, Qt::AltModifier);
                          },
                          [](QWidget* box) { Key(box, Qt::Key_Return); }});
    Key(&window, Qt::Key_P, Qt::ControlModifier);
  }
  Show(window);
  const int changed = Sandbox::ChangedFiles(before, fresh.Folder("contacts"));
  EXPECT_GT(changed, 1);
  const std::string summary = "Updated " + std::to_string(changed) + " items in 1 folder";
  EXPECT_EQ(LabelText(&window, "lblFolderName").toStdString(), summary);
  QDialog* results = window.Results();
  ASSERT_NE(results, nullptr);
  EXPECT_TRUE(results->isVisible());
  EXPECT_EQ(LabelText(results, "ResultSummary").toStdString(), summary);
  Key(results, Qt::Key_Escape);
  EXPECT_FALSE(results->isVisible());
  Show(window);

  // The keys undo from the history: Enter on a run shows it without closing
  // the dialog; Tab reaches "Undo Run...", Space asks, Enter says Yes; Escape
  // closes, and the progress area shows the undo's outcome.
  QString outcome;
  {
    ModalAnswers answers({[&outcome, &focus](QWidget* history) {
      QApplication::setActiveWindow(history);
      auto* list = Find<QTreeWidget>(history, "RunList");
      list->setFocus();
      Key(list, Qt::Key_Return);
      EXPECT_TRUE(history->isVisible());
      EXPECT_GT(Find<QTableWidget>(history, "ResultChanges")->rowCount(), 0);
      auto* undo = Find<QPushButton>(history, "cmdUndoRun");
      for (int tabs = 0; tabs < 10 && focus() != undo; ++tabs) Key(focus(), Qt::Key_Tab);
      ASSERT_EQ(focus(), undo);
      {
        ModalAnswers box({[](QWidget* question) { Key(question, Qt::Key_Return); }});
        Key(undo, Qt::Key_Space);
      }
      EXPECT_TRUE(history->isVisible());
      outcome = LabelText(history, "UndoOutcome");
      Key(history, Qt::Key_Escape);
    }});
    Key(&window, Qt::Key_H, Qt::ControlModifier);
  }
  EXPECT_TRUE(outcome.startsWith("Restored ")) << outcome.toStdString();
  EXPECT_EQ(LabelText(&window, "lblFolderName"), outcome.section('\n', 0, 0));
  EXPECT_EQ(Sandbox::ChangedFiles(before, fresh.Folder("contacts")), 0);
}

}  // namespace
}  // namespace tidewell::gui::testing
