// The page's widgets: where they stand, how they mirror the controls, hot
// help from real mouse moves, Enabled, and the invalid-pattern hint.
#include "gui/page_view.h"

#include <QTest>
#include <functional>

#include <gtest/gtest.h>

#include "gui/classic_form.h"
#include "gui_support.h"
#include "page/page_layout.h"
#include "support/fake_components.h"
#include "support/fake_store.h"

namespace tidewell::gui::testing {
namespace {

using tidewell::testing::FakeComponents;
using tidewell::testing::FakeHost;
using tidewell::testing::FakeStore;

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

  // The help texts the host was sent since the last call.
  std::vector<std::string> HelpSent() {
    std::vector<std::string> texts;
    for (const auto& [text, second] : host->hot_help) {
      EXPECT_EQ(second, "");
      texts.push_back(text);
    }
    host->hot_help.clear();
    return texts;
  }

  FakeComponents components;
  std::shared_ptr<FakeHost> host = std::make_shared<FakeHost>(std::make_shared<FakeStore>());
  UC1 page{components};
  std::vector<std::string> failures;
  PageView view{page, [this](const std::exception& e) { failures.push_back(e.what()); }};
};

TEST_F(PageViewTest, EveryControlStandsWhereTheLayoutSaysWithItsCaption) {
  const double dpi = ScreenDpi();
  for (const ControlLayout& row : kPageLayout) {
    SCOPED_TRACE(row.name);
    QWidget* widget = W(row.name);
    ASSERT_NE(widget, nullptr);
    const QWidget* container = row.container[0] ? W(row.container) : &view;
    EXPECT_EQ(widget->parentWidget(), container);
    QRect expected = TwipsRect(row.left, row.top, row.width, row.height, dpi);
    if (row.kind == ControlKind::kLine) expected.setSize(expected.size().expandedTo({1, 1}));
    EXPECT_EQ(widget->geometry(), expected);
    EXPECT_EQ(widget->font().bold(), row.bold);

    QString shown;
    if (auto* label = qobject_cast<QLabel*>(widget)) shown = label->text();
    if (auto* frame = qobject_cast<QGroupBox*>(widget)) shown = frame->title();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) shown = button->text();
    // The folder label starts empty: showing the page clears it.
    if (row.name != std::string("lblFolderName")) {
      EXPECT_EQ(shown.toStdString(), row.caption);
    }
    EXPECT_EQ(widget->font().pointSizeF(), kPageFontPoints);
  }
  EXPECT_EQ(view.font().families().value(0).toStdString(), kPageFontName);

  // Picture1 lies under the list and Picture3: the mouse must reach them.
  for (const char* name : {"lstFolderList", "cmdChooseFolder", "cmdChooseMultiFolder"}) {
    QWidget* widget = W(name);
    QWidget* hit = view.childAt(widget->mapTo(&view, widget->rect().center()));
    EXPECT_TRUE(hit == widget || widget->isAncestorOf(hit)) << name;
  }
}

TEST_F(PageViewTest, WidgetsAndControlsMirrorEachOther) {
  QTest::keyClicks(W("txtSearchFor"), "555");
  EXPECT_EQ(page.txtSearchFor.Text(), "555");
  EXPECT_TRUE(page.Dirty());

  page.txtReplaceWith.SetText("(555)");
  EXPECT_EQ(Find<QLineEdit>(&view, "txtReplaceWith")->text(), "(555)");

  auto* box = Find<QCheckBox>(&view, "chkCaseSensitive");
  const struct {
    int16_t before;
    int16_t after;
  } clicks[] = {{0, 1}, {1, 0}, {2, 1}};
  for (const auto& click : clicks) {
    page.chkCaseSensitive.SetValue(click.before);
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(page.chkCaseSensitive.Value(), click.after) << "from " << click.before;
    EXPECT_EQ(box->checkState(), click.after == 1 ? Qt::Checked : Qt::Unchecked);
  }

  page.lblFolderName.SetCaption("Folder: R&D <b>");
  EXPECT_EQ(Find<QLabel>(&view, "lblFolderName")->text(), "Folder: R&D <b>");
  EXPECT_TRUE(failures.empty());
}

TEST_F(PageViewTest, HotHelpGoesOutOncePerControlVisited) {
  const auto areaOf = [this](const char* frame) {
    // A point of the frame itself, left of everything it holds.
    return [this, frame] { MoveOver(frame, {2, W(frame)->height() - 3}); };
  };
  const struct {
    const char* what;
    std::function<void()> act;
    std::vector<std::string> sent;
  } steps[] = {
      {"three moves over the search box",
       [&] {
         MoveOver("txtSearchFor", {4, 4});
         MoveOver("txtSearchFor", {30, 8});
         MoveOver("txtSearchFor", {60, 10});
       },
       {"help 1"}},
      {"on to its label", [&] { MoveOver("lblSearchFor"); }, {"help 1"}},
      {"controls without help",
       [&] {
         MoveOver("Label1");
         page.ProgressBar1.SetVisible(true);  // showing the page hid it
         MoveOver("ProgressBar1");
         areaOf("frameSettings")();
         MoveOver("Picture3", {2, 2});
       },
       {}},
      {"a label inside a frame with help", [&] { MoveOver("lblFolderName"); }, {"help 15"}},
      {"that frame itself", areaOf("frameProgress"), {"help 13"}},
      {"the folder list",
       [&] {
         MoveOver("lstFolderList", {20, 20});
       },
       {"help 9"}},
      {"the host resets the help",
       [&] {
         EXPECT_EQ(page.SendPropMessage("ResetHelpText", ""), "ok");
         MoveOver("lstFolderList", {30, 30});
       },
       {"help 9"}},
      {"back to the search box", [&] { MoveOver("txtSearchFor"); }, {"help 1"}},
      {"an edit clears the help", [&] { QTest::keyClicks(W("txtSearchFor"), "x"); }, {""}},
      {"so the same box sends again",
       [&] {
         MoveOver("txtSearchFor", {9, 9});
       },
       {"help 1"}},
      {"a disabled button",
       [&] {
         page.cmdReplace.SetEnabled(false);
         MoveOver("cmdReplace");
       },
       {}},
      {"enabled again",
       [&] {
         page.cmdReplace.SetEnabled(true);
         MoveOver("cmdReplace", {6, 6});
       },
       {"help 11"}},
      {"moves without a host",
       [&] {
         page.SetHost(nullptr);
         MoveOver("chkCaseSensitive");
         page.SetHost(host);
       },
       {}},
      {"were not remembered",
       [&] {
         MoveOver("chkCaseSensitive", {7, 7});
       },
       {"help 3"}},
  };
  HelpSent();
  for (const auto& step : steps) {
    step.act();
    EXPECT_EQ(HelpSent(), step.sent) << step.what;
  }
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
  page.Enabled(false);
  QTest::mouseClick(Find<QPushButton>(&view, "cmdChooseFields"), Qt::LeftButton);
  EXPECT_EQ(components.ui_.field_chooser_shown, 0);
}

TEST_F(PageViewTest, AnInvalidSearchPatternIsMarkedWithItsFault) {
  auto* edit = Find<QLineEdit>(&view, "txtSearchFor");
  const QColor normal = edit->palette().color(QPalette::Text);
  const struct {
    const char* typed;
    const char* tooltip;
  } rows[] = {
      {"ab[c", "Invalid pattern: '[' at position 3 is never closed."},
      {"]", ""},
      {"{", "Invalid pattern: '{' at position 6 is never closed."},
  };
  for (const auto& row : rows) {
    QTest::keyClicks(edit, row.typed);
    EXPECT_EQ(edit->toolTip().toStdString(), row.tooltip) << edit->text().toStdString();
    EXPECT_EQ(edit->palette().color(QPalette::Text) != normal, row.tooltip[0] != '\0');
  }
}

}  // namespace
}  // namespace tidewell::gui::testing
