// The desktop host's window: Apply, OK, Cancel and closing against the
// settings, the help area, repaints, and the folder windows on a copy of the
// demo store.
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

class FakeWindowTest : public ::testing::Test {
 protected:
  QtFakeComponents components;
  FakeHost stores{std::make_shared<FakeStore>()};
};

// Enter must not press a default button. Closing any other way than Cancel
// asks what to do with the changes; a failed write is shown, and the window
// stays open and dirty.
TEST_F(FakeWindowTest, TheButtonsAndClosingReachThePageAndAFailedWriteIsShown) {
  const QMessageBox::StandardButton none = QMessageBox::NoButton;
  const struct {
    const char* button;  // null: Ctrl+Q
    QMessageBox::StandardButton answer;
    bool fails, stored, closed;
    const char* text;
  } rows[] = {
      {"HostApply", none, false, true, false, ""},
      {"HostOk", none, false, true, true, ""},
      {"HostCancel", none, false, false, true, ""},
      {"HostOk", QMessageBox::Ok, true, false, false, "The settings file is read-only."},
      {nullptr, QMessageBox::Apply, false, true, true, kUnappliedQuestion},
      {nullptr, QMessageBox::Discard, false, false, true, kUnappliedQuestion},
      {nullptr, QMessageBox::Cancel, false, false, false, kUnappliedQuestion},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE("row " + std::to_string(&row - rows));
    components.settings.values.clear();
    components.settings.writes.clear();
    components.settings.fail_write.clear();
    if (row.fails) components.settings.fail_write["ReplaceWith"] = row.text;
    OptionsWindow window(components, stores);
    Show(window);
    auto* apply = Find<QPushButton>(&window, "HostApply");
    EXPECT_FALSE(apply->isEnabled());
    for (const char* box : {"txtSearchFor", "txtReplaceWith"}) {
      auto* edit = Find<QLineEdit>(&window, box);
      QTest::keyClicks(edit, "555");
      Key(edit, Qt::Key_Return);
      Key(edit, Qt::Key_Enter);
    }
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(apply->isEnabled());
    EXPECT_TRUE(components.settings.writes.empty());

    SeenBox seen;
    {
      ModalAnswers answers(row.answer == none ? std::vector<ModalAnswers::Action>{}
                                              : std::vector{Press(row.answer, &seen)});
      if (row.button) {
        Click(&window, row.button);
      } else {
        Key(&window, Qt::Key_Q, Qt::ControlModifier);
      }
    }
    EXPECT_EQ(seen.text.toStdString(), row.text);
    EXPECT_EQ(seen.title, row.answer == none ? "" : "Marrowby");
    if (!row.button) {
      EXPECT_EQ(seen.buttons, QMessageBox::Apply | QMessageBox::Discard | QMessageBox::Cancel);
    }
    EXPECT_EQ(components.settings.Value("ReplaceWith").has_value(), row.stored);
    EXPECT_EQ(window.isVisible(), !row.closed);
    if (!row.closed) {
      EXPECT_EQ(window.Page().Dirty(), !row.stored);
    }
    EXPECT_EQ(apply->isEnabled(), window.Page().Dirty());
  }
}

// The help area shows hot help, and leaving the page clears it. A run holds
// the thread: Repaint must paint before it returns.
TEST_F(FakeWindowTest, TheHelpAreaShowsHotHelpAndRepaintPaintsBeforeReturning) {
  OptionsWindow window(components, stores);
  Show(window);
  for (const auto& [name, help] :
       {std::pair{"txtSearchFor", "help 1"}, {"HostCancel", ""}, {"txtSearchFor", "help 1"}}) {
    QTest::mouseMove(Find<QWidget>(&window, name), {5, 5});
    EXPECT_EQ(LabelText(&window, "HotHelp"), help) << name;
  }
  window.Page().ProgressBar1.SetVisible(true);
  for (const char* name : {"lblFolderName", "ProgressBar1"}) {
    struct PaintCounter : QObject {
      int paints = 0;
      bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
      }
    } counter;
    window.View().Widget(name)->installEventFilter(&counter);
    components.qt_ui.Repaint(name);
    EXPECT_EQ(counter.paints, 1) << name;
  }
}

// Each folder window starts from the list and replaces it on OK only.
TEST(StoreWindowTest, TheFolderWindowsReplaceTheListOnOkOnly) {
  Sandbox sandbox;
  QtUi ui;
  HostEnvironment env{ui, {sandbox.StoreRoot()}};
  SavePhoneRun(env.store->StoreIDs().front());
  OptionsWindow window(env);
  Show(window);
  const auto pick = [&window](const char* button,
                              std::function<void(QWidget*, QTreeWidget*)> user) {
    ModalAnswers answers(
        {[&user](QWidget* picker) { user(picker, Find<QTreeWidget>(picker, "FolderTree")); }});
    Click(&window, button);
  };
  for (bool ok : {false, true}) {
    pick("cmdChooseMultiFolder", [ok](QWidget* picker, QTreeWidget* tree) {
      EXPECT_EQ(picker->windowTitle(), "Choose the folders to search");
      QTreeWidgetItem* contacts = tree->findItems("Contacts", Qt::MatchRecursive).value(0);
      ASSERT_NE(contacts, nullptr);
      EXPECT_EQ(contacts->checkState(0), Qt::Checked);
      ClickItem(tree, "Calendar");
      QTest::keyClick(tree, Qt::Key_Space);
      Click(picker, ok ? "cmdOk" : "cmdCancel");
    });
    EXPECT_EQ(ListTexts(&window, "lstFolderList"),
              ok ? QStringList({"Calendar", "Contacts"}) : QStringList{"Contacts"});
    EXPECT_EQ(window.Page().Dirty(), ok);
  }
  for (bool ok : {false, true}) {
    pick("cmdChooseFolder", [ok](QWidget* picker, QTreeWidget* tree) {
      EXPECT_EQ(picker->windowTitle(), "Select Folder");
      EXPECT_FALSE(Find<QPushButton>(picker, "cmdOk")->isEnabled()) << "no folder chosen yet";
      ClickItem(tree, "Tasks");
      Click(picker, ok ? "cmdOk" : "cmdCancel");
    });
    EXPECT_EQ(ListTexts(&window, "lstFolderList"),
              ok ? QStringList{"Tasks"} : QStringList({"Calendar", "Contacts"}));
  }
}

}  // namespace
}  // namespace tidewell::gui::testing
