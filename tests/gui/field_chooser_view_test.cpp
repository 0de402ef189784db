// The field chooser's window: its layout and tabs, and what its buttons and
// keys do to the settings when the page's "Choose Fields..." opens it.
#include "gui/field_chooser_view.h"

#include <QTest>

#include <gtest/gtest.h>

#include "gui/page_view.h"
#include "gui/qt_ui.h"
#include "gui/classic_form.h"
#include "gui_support.h"
#include "support/fake_components.h"
#include "support/fake_store.h"

namespace tidewell::gui::testing {
namespace {

using tidewell::testing::FakeComponents;

TEST(FieldChooserViewTest, EveryControlStandsWhereTheLayoutSaysAndTabsSwitchPages) {
  FakeComponents components;
  frmLookInFields dialog(components.settings, components.support);
  dialog.Form_Load();
  FieldChooserView view(dialog, {});
  const double dpi = ScreenDpi();
  EXPECT_EQ(view.windowTitle(), "Look In Fields");
  EXPECT_EQ(view.size(),
            QSize(TwipsToPixels(kLookInFieldsWidth, dpi), TwipsToPixels(kLookInFieldsHeight, dpi)));
  for (const DialogControlLayout& row : LookInFieldsLayout()) {
    SCOPED_TRACE(row.name);
    QWidget* widget = view.Widget(row.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->objectName().toStdString(), row.name);
    EXPECT_EQ(widget->parentWidget(), row.container[0] ? view.Widget(row.container) : &view);
    EXPECT_EQ(widget->geometry(), TwipsRect(row.left, row.top, row.width, row.height, dpi));
  }
  EXPECT_EQ(Find<QCheckBox>(&view, "chkHomeFax")->text(), "Home Fax");

  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  const QStringList tabs{"&Contacts", "&Appointments", "&Tasks"};
  for (int tab : {0, 2, 1, 0}) {
    if (tab != 0 || view.Tabs().currentIndex() != 0) {
      QTest::mouseClick(&view.Tabs(), Qt::LeftButton, {}, view.Tabs().tabRect(tab).center());
    }
    EXPECT_EQ(view.Tabs().tabText(tab), tabs[tab]);
    for (int page = 0; page < 3; ++page) {
      const std::string name = "Picture" + std::to_string(page + 1);
      EXPECT_EQ(view.Widget(name)->isVisible(), page == tab) << "tab " << tab << ", " << name;
    }
  }
}

class ChooseFieldsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    page.Show();
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  }

  // Opens the chooser from the page and lets `user` work in it.
  void ChooseFields(std::function<void(QWidget*)> user) {
    {
      ModalAnswers answers({std::move(user)});
      Click(&view, "cmdChooseFields");
    }
    EXPECT_TRUE(page.Dirty()) << "every visit of the chooser makes the page dirty";
  }

  std::string Stored(const char* key) { return components.settings.Value(key).value_or("absent"); }

  QtFakeComponents components;
  UC1 page{components};
  PageView view{page, [](const std::exception& e) { ADD_FAILURE() << e.what(); }};
};

TEST_F(ChooseFieldsTest, OkStoresWhatTheButtonsAndTheInstructionBoxChose) {
  ChooseFields([](QWidget* chooser) {
    EXPECT_TRUE(Find<QWidget>(chooser, "Picture1")->isVisible()) << "opens on Contacts";
    // Neither key is bound to a button of the dialog.
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) QTest::keyClick(chooser, key);
    EXPECT_TRUE(chooser->isVisible());
    Click(chooser, "cmdContactClearAllFields");
    Click(chooser, "cmdContactPhoneNumbers");
    auto* tabs = Find<QTabBar>(chooser, "vsIndexTab1Tabs");
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
    Click(chooser, "chkTaskMileage");
    auto* instructions = Find<QComboBox>(chooser, "cboSpecialInstructions");
    QTest::keyClick(instructions, Qt::Key_Down);
    EXPECT_EQ(instructions->currentText(), "Only look in city/area codes");
    instructions->lineEdit()->selectAll();
    QTest::keyClicks(instructions->lineEdit(), "(555) only");
    Click(chooser, "cmdOk");
  });
  const struct {
    const char* key;
    const char* value;
  } rows[] = {
      {"AssistantsPhone", "1"}, {"TTYPhone", "1"},        {"AccountName", "0"},
      {"EmailAddress", "0"},    {"TaskMileage", "1"},     {"TaskBody", "0"},
      {"FileAs", "0"},          {"AppointmentBody", "0"}, {"SpecialInstructions", "(555) only"}};
  for (const auto& row : rows) EXPECT_EQ(Stored(row.key), row.value) << row.key;
}

TEST_F(ChooseFieldsTest, CancelAndTheCloseButtonStoreNothing) {
  for (bool cancel : {true, false}) {
    ChooseFields([cancel](QWidget* chooser) {
      Click(chooser, "cmdContactClearAllFields");
      if (cancel) {
        Click(chooser, "cmdCancel");
      } else {
        chooser->close();
      }
    });
    EXPECT_TRUE(components.settings.writes.empty()) << (cancel ? "Cancel" : "close");
  }
}

}  // namespace
}  // namespace tidewell::gui::testing
