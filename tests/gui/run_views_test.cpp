// What the window shows around a run on a copy of the demo store: the
// preview, the results after the run, and the history with its undo.
#include <QLocale>
#include <QRegularExpression>
#include <QTimeZone>
#include <QTreeWidget>
#include <set>

#include <gtest/gtest.h>

#include "adapters/logbook/run_index.h"
#include "adapters/logbook/run_session.h"
#include "app/store_host.h"
#include "fields/field_catalog.h"
#include "gui/history_dialog.h"
#include "gui/options_window.h"
#include "gui/preview_dialog.h"
#include "gui_support.h"

namespace tidewell::gui::testing {
namespace {

// The rows of the changes table, each its five cells joined by "|", sorted.
using Rows = std::vector<std::string>;

Rows TableRows(QWidget* root) {
  auto* table = Find<QTableWidget>(root, "ResultChanges");
  Rows rows;
  for (int row = 0; row < table->rowCount(); ++row) {
    QStringList cells;
    for (int column = 0; column < table->columnCount(); ++column) {
      cells << table->item(row, column)->text();
    }
    rows.push_back(cells.join('|').toStdString());
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

QStringList Cells(const std::string& row) { return QString::fromStdString(row).split('|'); }

// The demo store with one calendar file among the contacts that no run can
// read, and a card whose home page holds the search text but no field.
class RunViewsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tidewell::testing::WriteFile(sandbox.Folder("contacts") / "zz-empty.ics", "");
    tidewell::testing::WriteFile(sandbox.Folder("contacts") / "zz-page.vcf",
                                 "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:zz-1\r\nFN:Ann Page\r\n"
                                 "TEL;TYPE=cell:555 0101\r\nURL;TYPE=home:http://x/555\r\n"
                                 "END:VCARD\r\n");
    SavePhoneRun(env.store->StoreIDs().front());
  }

  OptionsWindow& Shown() {
    window = std::make_unique<OptionsWindow>(env);
    Show(*window);
    return *window;
  }

  Sandbox sandbox;
  QtUi ui;
  HostEnvironment env{ui, {sandbox.StoreRoot()}};
  std::unique_ptr<OptionsWindow> window;
};

// The preview writes nothing and lists exactly what the run it leads to then
// changes; the results of that run show its one failure, which the preview
// foretold with the item's name.
TEST_F(RunViewsTest, ThePreviewForetellsTheRunAndTheResultsShowIt) {
  OptionsWindow& w = Shown();
  const auto before = Sandbox::Snapshot(sandbox.Folder("contacts"));
  Rows previewed;
  {
    ModalAnswers answers({[&](QWidget* preview) {
                            EXPECT_EQ(preview->objectName(), "PreviewDialog");
                            EXPECT_EQ(preview->windowTitle(), "Preview Changes");
                            previewed = TableRows(preview);
                            EXPECT_TRUE(
                                LabelText(preview, "ResultSummary").startsWith("Would update "));
                            EXPECT_EQ(LabelText(preview, "ResultFailureCount"),
                                      QString::fromUtf8("\u26A0  1 item could not be changed"));
                            const QStringList failures = ListTexts(preview, "ResultFailures");
                            ASSERT_EQ(failures.size(), 1);
                            EXPECT_TRUE(failures[0].startsWith("contacts/zz-empty.ics ("))
                                << failures[0].toStdString();
                            EXPECT_EQ(ListTexts(preview, "ResultNotes"),
                                      QStringList{"Not searched: contacts/zz-page.vcf: URL on "
                                                  "line 6."});
                            EXPECT_EQ(Sandbox::Snapshot(sandbox.Folder("contacts")), before);
                            EXPECT_FALSE(std::filesystem::exists(env.logbook.ActivityPath()))
                                << "a preview logs nothing";
                            EXPECT_EQ(w.Results(), nullptr) << "no run, no results";
                            Click(preview, "cmdPreviewReplace");
                          },
                          Press(QMessageBox::Yes)});
    w.PreviewChanges();
  }
  ASSERT_GT(previewed.size(), 2u);
  QDialog* results = w.Results();
  ASSERT_NE(results, nullptr);
  EXPECT_TRUE(results->isVisible());
  EXPECT_EQ(TableRows(results), previewed);
  EXPECT_EQ(LabelText(results, "ResultSummary"), Find<QLabel>(w.window(), "lblFolderName")->text());
  EXPECT_TRUE(Find<QLabel>(results, "ResultFailureCount")->isVisible());
  const QStringList failures = ListTexts(results, "ResultFailures");
  ASSERT_EQ(failures.size(), 1);
  EXPECT_TRUE(failures[0].contains("it holds no event, task or journal entry."))
      << failures[0].toStdString();
  std::set<QString> items;
  for (const std::string& row : previewed) items.insert(Cells(row)[0] + '|' + Cells(row)[1]);
  EXPECT_EQ(LabelText(results, "ResultTotals"),
            QString("%1 fields in %2 items").arg(previewed.size()).arg(items.size()));
}

TEST_F(RunViewsTest, APreviewOfUnappliedChangesAppliesThemFirstOrNothing) {
  OptionsWindow& w = Shown();
  QTest::keyClicks(Find<QLineEdit>(&w, "txtReplaceWith"), "8");
  SeenBox box;
  {
    ModalAnswers answers({Press(QMessageBox::No, &box)});
    Click(&w, "cmdPreviewChanges");
  }
  EXPECT_EQ(box.text,
            "The preview shows a run over the applied settings. Apply your changes first?");
  EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_TRUE(w.Page().Dirty());
  EXPECT_EQ(env.saved_settings.GetSetting("Marrowby", kSettingsSection, "ReplaceWith", ""), "777");

  QString summary;
  Rows rows;
  {
    ModalAnswers answers({Press(QMessageBox::Yes), [&](QWidget* preview) {
                            rows = TableRows(preview);
                            Click(preview, "cmdPreviewClose");
                          }});
    Click(&w, "cmdPreviewChanges");
  }
  EXPECT_FALSE(w.Page().Dirty());
  EXPECT_EQ(env.saved_settings.GetSetting("Marrowby", kSettingsSection, "ReplaceWith", ""), "7778");
  ASSERT_FALSE(rows.empty());
  for (const std::string& row : rows) EXPECT_TRUE(Cells(row)[4].contains("7778")) << row;
}

// Two runs, the first refused until applied; then each shown and undone from
// the history, the oldest first while the newer still holds its fields:
// skipped, named, and nothing written.
TEST_F(RunViewsTest, TheHistoryNamesEveryRunAndUndoesAnyOfThem) {
  OptionsWindow& w = Shown();
  const std::filesystem::path contacts = sandbox.Folder("contacts");
  const auto before = Sandbox::Snapshot(contacts);
  auto* replace = Find<QLineEdit>(&w, "txtReplaceWith");
  QTest::keyClicks(replace, "8");
  Key(replace, Qt::Key_Backspace);
  SeenBox box;
  {
    ModalAnswers answers({Press(QMessageBox::Ok, &box)});
    Click(&w, "cmdReplace");
  }
  EXPECT_EQ(box.text, "You must click Apply to save your settings, then you can click Replace.");
  EXPECT_EQ(box.title, "Marrowby");
  EXPECT_EQ(box.buttons, QMessageBox::Ok);
  EXPECT_EQ(box.icon, QMessageBox::NoIcon);
  EXPECT_EQ(Sandbox::ChangedFiles(before, contacts), 0);
  Click(&w, "HostApply");
  {
    ModalAnswers answers({Press(QMessageBox::Yes, &box)});
    Click(&w, "cmdReplace");
  }
  EXPECT_EQ(box.text, "Are you SURE you want to replace all occurrences of '555' with '777'");
  EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_FALSE(Find<QWidget>(&w, "ProgressBar1")->isVisible());
  ASSERT_GT(Sandbox::ChangedFiles(before, contacts), 1);

  Save("SearchFor", "777");
  Save("ReplaceWith", "888");
  Save("CaseSensitive", "1");
  w.Page().Show();
  {
    ModalAnswers answers({Press(QMessageBox::Yes)});
    Click(&w, "cmdReplace");
  }

  HistoryDialog history(env,
                        [this] { return std::make_unique<RunSession>(env.logbook, RunWait{}); });
  history.show();
  auto* list = Find<QTreeWidget>(&history, "RunList");
  const auto column = [list](int c) {
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i) texts << list->topLevelItem(i)->text(c);
    return texts;
  };
  const QString first = QString::fromUtf8("Looking for “555”, replacing with “777”, any case");
  const QString second =
      QString::fromUtf8("Looking for “777”, replacing with “888”, case sensitive");
  EXPECT_EQ(column(1), QStringList({second, first}));
  const RunList runs = ListRuns(env.logbook);
  ASSERT_EQ(runs.runs.size(), 2u);
  const QString changed = column(2)[1];
  EXPECT_EQ(changed,
            QString("%1 fields in %2 items").arg(runs.runs[0].fields).arg(runs.runs[0].items));
  EXPECT_EQ(column(2)[0], changed) << "the second run changed back every field of the first";

  list->setCurrentItem(list->topLevelItem(1));
  Click(&history, "cmdShowRun");
  EXPECT_EQ(TableRows(&history).size(), runs.runs[0].fields);
  for (const std::string& row : TableRows(&history)) {
    EXPECT_TRUE(Cells(row)[3].contains("555") && Cells(row)[4].contains("777")) << row;
  }

  {
    ModalAnswers answers({Press(QMessageBox::Yes, &box)});
    Click(&history, "cmdUndoRun");
  }
  const QRegularExpression question("^Undo the run of .+ \\(" + first + "\\): " + changed + "\\?$");
  EXPECT_TRUE(question.match(box.text).hasMatch()) << box.text.toStdString();
  EXPECT_EQ(box.title, "Marrowby");
  EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(LabelText(&history, "UndoOutcome"),
            QString("Restored 0 fields in 0 items; skipped %1.").arg(runs.runs[0].fields));
  const QStringList skipped = ListTexts(&history, "UndoSkipped");
  EXPECT_EQ(skipped.size(), static_cast<qsizetype>(runs.runs[0].fields));
  EXPECT_TRUE(
      skipped.contains("MobileTelephoneNumber of contacts/"
                       "8e3b5d7f-0a29-4c61-b7d4-e5f1a3c9b082.vcf: changed since the run"))
      << skipped.join('\n').toStdString();

  // The newest first, then the oldest: every file as it was.
  for (const QString& target : {second, first}) {
    list->setCurrentItem(list->findItems(target, Qt::MatchExactly, 1).value(0));
    ModalAnswers answers({Press(QMessageBox::Yes)});
    Click(&history, "cmdUndoRun");
    EXPECT_EQ(LabelText(&history, "UndoOutcome"),
              QString("Restored %1 fields in %2 items; skipped 0.")
                  .arg(runs.runs[0].fields)
                  .arg(runs.runs[0].items));
    EXPECT_FALSE(Find<QListWidget>(&history, "UndoSkipped")->isVisible());
  }
  EXPECT_EQ(Sandbox::ChangedFiles(before, contacts), 0);
  // An undo that restored nothing wrote nothing, and is no run.
  const QStringList what = column(1);
  ASSERT_EQ(what.size(), 4);
  EXPECT_TRUE(what[0].startsWith("Undo of the run of ")) << what[0].toStdString();
  EXPECT_TRUE(what[1].startsWith("Undo of the run of ")) << what[1].toStdString();
  EXPECT_TRUE(column(2)[2].endsWith(", undone")) << column(2)[2].toStdString();
  EXPECT_TRUE(column(2)[3].endsWith(", undone")) << column(2)[3].toStdString();
}

TEST(RunWordsTest, RunsAreDescribedInPlainWords) {
  struct Row {
    RunKind kind;
    std::string description;
    size_t fields, items, incomplete;
    bool undone;
    const char* what;
    const char* changed;
  };
  const Row rows[] = {
      {RunKind::kReplace, "Looking for 'a' replacing with 'b'; Case sensitive: 1", 1, 1, 0, false,
       "Looking for “a”, replacing with “b”, case sensitive", "1 field in 1 item"},
      {RunKind::kReplace, "Looking for '555' replacing with ''; Case sensitive: 0", 12, 5, 2, true,
       "Looking for “555”, replacing with “”, any case",
       "12 fields in 5 items, 2 incomplete, undone"},
      {RunKind::kReplace, "something else", 0, 0, 0, false, "something else",
       "0 fields in 0 items"},
      {RunKind::kUndo, "Undo of the run of not a time", 3, 1, 0, false,
       "Undo of the run of not a time", "3 fields in 1 item"},
  };
  for (const Row& row : rows) {
    RunSummary run;
    run.kind = row.kind;
    run.description = row.description;
    run.fields = row.fields;
    run.items = row.items;
    run.incomplete = row.incomplete;
    run.undone = row.undone;
    EXPECT_EQ(PlainDescription(run), QString::fromUtf8(row.what)) << row.description;
    EXPECT_EQ(ChangedWords(run), QString::fromUtf8(row.changed)) << row.description;
  }
}

TEST(RunWordsTest, JournalTimesAreShownInTheLocalZoneAndLocale) {
  const QLocale was;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  const QDateTime time(QDate(2026, 12, 6), QTime(19, 46, 15, 357), QTimeZone::utc());
  const QString local = LocalTime("2026-12-06T19:46:15.357Z");
  EXPECT_EQ(local, QLocale().toString(time.toLocalTime(), QLocale::ShortFormat));
  EXPECT_TRUE(local.startsWith("06.12.26")) << local.toStdString();
  EXPECT_EQ(LocalTime("yesterday"), "yesterday");
  QLocale::setDefault(was);
  RunSummary undo;
  undo.kind = RunKind::kUndo;
  undo.description = "Undo of the run of 2026-12-06T19:46:15.357Z";
  EXPECT_EQ(PlainDescription(undo), "Undo of the run of " + LocalTime("2026-12-06T19:46:15.357Z"));
}

}  // namespace
}  // namespace tidewell::gui::testing
