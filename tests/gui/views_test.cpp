// The page's widgets (layout, mirroring, hot help from real mouse moves,
// Enabled, the invalid-pattern hint), the field chooser's window and the
// widgets both build from layout rows.
#include <QTest>
#include <functional>

#include <gtest/gtest.h>

#include "app/platform_components.h"
#include "gui/classic_form.h"
#include "gui/layout_widgets.h"
#include "gui/page_view.h"
#include "gui_support.h"
#include "page/page_layout.h"

namespace tidewell::gui::testing {
namespace {

using tidewell::testing::FakeComponents;
using tidewell::testing::FakeHost;
using tidewell::testing::FakeStore;

// The view marks a pattern through the page's own matcher, so it is shown
// the real one.
class RealMatcherComponents : public FakeComponents {
 public:
  std::unique_ptr<tidewell::PatternMatcher> CreatePatternMatcher() override {
    return tidewell::NewPatternMatcher();
  }
};

class PageViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    page.SetHost(host);
    page.Show();
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  }

  QWidget* W(const char* name) { return Find<QWidget>(&view, name); }
  void MoveOver(const char* name, QPoint at = {4, 4}) { QTest::mouseMove(W(name), at); }

  RealMatcherComponents components;
  std::shared_ptr<FakeHost> host = std::make_shared<FakeHost>(std::make_shared<FakeStore>());
  UC1 page{components};
  std::vector<std::string> failures;
  PageView view{page, [this](const std::exception& e) { failures.push_back(e.what()); }};
};

// Where each control stands is the layout table's business; the view must let
// the mouse reach what frames and pictures lie over.
TEST_F(PageViewTest, TheMouseReachesControlsUnderPictures) {
  // Picture1 lies under the list and Picture3: the mouse must reach them.
  for (const char* name : {"lstFolderList", "cmdChooseFolder", "cmdChooseMultiFolder"}) {
    QWidget* hit = view.childAt(W(name)->mapTo(&view, W(name)->rect().center()));
    EXPECT_TRUE(hit == W(name) || W(name)->isAncestorOf(hit)) << name;
  }
}

TEST_F(PageViewTest, WidgetsAndControlsMirrorEachOther) {
  QTest::keyClicks(W("txtSearchFor"), "555");
  EXPECT_EQ(page.txtSearchFor.Text(), "555");
  EXPECT_TRUE(page.Dirty());
  page.txtReplaceWith.SetText("(555)");
  EXPECT_EQ(Find<QLineEdit>(&view, "txtReplaceWith")->text(), "(555)");

  auto* box = Find<QCheckBox>(&view, "chkCaseSensitive");
  for (const auto& [before, after] : {std::pair{0, 1}, {1, 0}, {2, 1}}) {
    page.chkCaseSensitive.SetValue(before);
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(page.chkCaseSensitive.Value(), after) << "from " << before;
    EXPECT_EQ(box->checkState(), after == 1 ? Qt::Checked : Qt::Unchecked);
  }
  page.lblFolderName.SetCaption("Folder: R&D <b>");
  EXPECT_EQ(Find<QLabel>(&view, "lblFolderName")->text(), "Folder: R&D <b>");
  EXPECT_TRUE(failures.empty());
}

// Which control's help a move sends is the page's business; here, that real
// moves over a widget reach its own control once per visit, and only it.
TEST_F(PageViewTest, HotHelpGoesOutOncePerControlVisited) {
  using HotHelp = std::vector<std::pair<std::string, std::string>>;
  page.ProgressBar1.SetVisible(true);  // showing the page hid it
  page.cmdReplace.SetEnabled(false);
  // Each move and the help it sends. A negative y is a frame's own area, under
  // everything it holds; a list's viewport belongs to the list; a disabled
  // button sends nothing.
  const struct {
    const char* name;
    int x, y;
    const char* sent;
  } moves[] = {{"txtSearchFor", 4, 8, "help 1"},    {"txtSearchFor", 30, 8, nullptr},
               {"lblFolderName", 4, 4, "help 15"},  {"frameProgress", 2, -3, "help 13"},
               {"lstFolderList", 20, 20, "help 9"}, {"cmdReplace", 4, 4, nullptr}};
  for (const auto& move : moves) {
    host->hot_help.clear();
    MoveOver(move.name, {move.x, move.y < 0 ? W(move.name)->height() + move.y : move.y});
    EXPECT_EQ(host->hot_help, move.sent ? HotHelp({{move.sent, ""}}) : HotHelp())
        << move.name << " at " << move.x;
  }
  page.cmdReplace.SetEnabled(true);
  MoveOver("cmdReplace", {6, 6});
  EXPECT_EQ(host->hot_help, (HotHelp{{"help 11", ""}}));
  EXPECT_TRUE(failures.empty());
}

TEST_F(PageViewTest, EnabledGreysEveryControlFramesAndLabelsIncluded) {
  for (bool enabled : {false, true}) {
    page.Enabled(enabled);
    for (const ControlLayout& row : kPageLayout) {
      if (row.kind == ControlKind::kLine) continue;
      EXPECT_EQ(W(row.name)->isEnabled(), enabled) << row.name;
    }
  }
}

TEST_F(PageViewTest, AnInvalidSearchPatternIsMarkedWithItsFault) {
  auto* edit = Find<QLineEdit>(&view, "txtSearchFor");
  auto* note = Find<QLabel>(&view, "PatternFault");
  const QRect field(edit->mapTo(&view, QPoint(0, 0)), edit->size());
  const QColor normal = edit->palette().color(QPalette::Text);
  for (const auto& [typed, tooltip] :
       {std::pair{"ab[c", "Invalid pattern: '[' at position 3 is never closed."},
        {"]", ""},
        {"{", "Invalid pattern: '{' at position 6 is never closed."}}) {
    QTest::keyClicks(edit, typed);
    EXPECT_EQ(edit->toolTip().toStdString(), tooltip) << edit->text().toStdString();
    EXPECT_EQ(edit->palette().color(QPalette::Text) != normal, tooltip[0] != '\0');
    EXPECT_EQ(note->isVisible(), tooltip[0] != '\0');
    EXPECT_EQ(note->text().toStdString(), tooltip);
    if (!note->isVisible()) continue;
    // Under the field, from its left edge, and not hidden behind the frame's
    // other controls.
    EXPECT_EQ(note->geometry().left(), field.left());
    EXPECT_GT(note->geometry().top(), field.bottom());
    EXPECT_NE(view.childAt(note->geometry().center()), note)
        << "the note lets clicks through to the field under it";
    const QPoint inside = note->geometry().topLeft() + QPoint(note->width() / 2, 2);
    EXPECT_EQ(view.grab().toImage().pixelColor(inside), QColor(QStringLiteral("#fdecea")))
        << "drawn over the controls below";
  }
}

// Each edge rounds on its own: controls that touch in twips touch in pixels,
// at any density.
TEST(ClassicFormTest, TwipsRectsRoundEachEdgeSoNeighboursStillTouch) {
  const struct {
    int32_t left, top, width, height;
    double dpi;
    QRect pixels;
  } rows[] = {{1425, 285, 3480, 315, 96, {95, 19, 232, 21}},
              {1425, 285, 3480, 315, 192, {190, 38, 464, 42}},
              {10, 10, 10, 10, 96, {1, 1, 0, 0}},
              {7, 0, 7, 7, 120, {1, 0, 0, 1}}};
  for (const auto& row : rows) {
    EXPECT_EQ(TwipsRect(row.left, row.top, row.width, row.height, row.dpi), row.pixels)
        << row.left << " at " << row.dpi;
    const QRect next = TwipsRect(row.left + row.width, row.top, 300, row.height, row.dpi);
    EXPECT_EQ(next.left(), row.pixels.right() + 1) << row.left << " at " << row.dpi;
  }
}

// A form's own frames and labels have no control: they show the row's caption
// as it is.
TEST(LayoutWidgetsTest, BareRowsShowTheirCaptionAsItIs) {
  QWidget form;
  const ControlLayout frame{"frameX", ControlKind::kFrame, "", 0, 0, 10, 10, "R&D <b>"};
  const ControlLayout label{"lblX", ControlKind::kLabel, "", 0, 0, 10, 10, "R&D <b>"};
  EXPECT_EQ(static_cast<QGroupBox*>(MakeControlWidget(frame, nullptr, &form, {}))->title(),
            "R&D <b>");
  auto* shown = static_cast<QLabel*>(MakeControlWidget(label, nullptr, &form, {}));
  EXPECT_EQ(shown->text(), "R&D <b>");
  EXPECT_EQ(shown->textFormat(), Qt::PlainText);
}

class ChooseFieldsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    page.Show();
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  }

  QtFakeComponents components;
  UC1 page{components};
  PageView view{page, [](const std::exception& e) { ADD_FAILURE() << e.what(); }};
};

// Which fields a button chooses is the chooser's own business; here, that the
// clicks and the typing reach it, and that only OK stores them.
TEST_F(ChooseFieldsTest, OkStoresWhatTheButtonsAndTheInstructionBoxChoseCancelAndCloseNothing) {
  for (const char* how : {"cmdCancel", "close", "cmdOk"}) {
    SCOPED_TRACE(how);
    ClickAnswering(&view, "cmdChooseFields", {[how](QWidget* chooser) {
      EXPECT_EQ(chooser->windowTitle(), "Look In Fields");
      EXPECT_TRUE(Find<QWidget>(chooser, "Picture1")->isVisible()) << "opens on Contacts";
      // Neither key is bound to a button of the dialog.
      for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) QTest::keyClick(chooser, key);
      EXPECT_TRUE(chooser->isVisible());
      Click(chooser, "cmdContactClearAllFields");
      Click(chooser, "cmdContactPhoneNumbers");
      auto* tabs = Find<QTabBar>(chooser, "vsIndexTab1Tabs");
      QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
      EXPECT_FALSE(Find<QWidget>(chooser, "Picture1")->isVisible());
      EXPECT_TRUE(Find<QWidget>(chooser, "Picture3")->isVisible()) << "the Tasks tab shown";
      Click(chooser, "chkTaskMileage");
      auto* instructions = Find<QComboBox>(chooser, "cboSpecialInstructions");
      QTest::keyClick(instructions, Qt::Key_Down);
      EXPECT_EQ(instructions->currentText(), "Only look in city/area codes");
      instructions->lineEdit()->selectAll();
      QTest::keyClicks(instructions->lineEdit(), "(555) only");
      how == std::string("close") ? void(chooser->close()) : Click(chooser, how);
    }});
    EXPECT_TRUE(page.Dirty()) << "every visit of the chooser makes the page dirty";
    if (how != std::string("cmdOk")) {
      EXPECT_TRUE(components.settings.writes.empty());
      continue;
    }
    for (const auto& [key, value] : {std::pair{"AssistantsPhone", "1"},
                                     {"EmailAddress", "0"},
                                     {"TaskMileage", "1"},
                                     {"SpecialInstructions", "(555) only"}}) {
      EXPECT_EQ(components.settings.Value(key).value_or("absent"), value) << key;
    }
  }
}

}  // namespace
}  // namespace tidewell::gui::testing
