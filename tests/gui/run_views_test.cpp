// What the window shows around a run on a copy of the demo store: the
// preview, the results after the run, and the history with its undo.
#include <QLocale>
#include <QRegularExpression>
#include <QTimeZone>
#include <QTreeWidget>
#include <set>

#include <gtest/gtest.h>

#include "app/run_index.h"
#include "app/run_session.h"
#include "app/store_host.h"
#include "fields/field_catalog.h"
#include "gui/history_dialog.h"
#include "gui/options_window.h"
#include "gui/preview_dialog.h"
#include "gui_support.h"
#include "stores/vdir/vdir_store.h"
#include "support/scheduling_store.h"

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

// A preview of unapplied changes applies them first, or shows nothing. The
// preview shows what the run it leads to then changes, and the item it
// cannot change, and logs nothing; the results of that run show the same.
TEST_F(RunViewsTest, ThePreviewForetellsTheRunOfTheAppliedSettingsAndTheResultsShowIt) {
  OptionsWindow& w = Shown();
  QTest::keyClicks(Find<QLineEdit>(&w, "txtReplaceWith"), "8");
  SeenBox box;
  ClickAnswering(&w, "cmdPreviewChanges", {Press(QMessageBox::No, &box)});
  EXPECT_EQ(box.text,
            "The preview shows a run over the applied settings. Apply your changes first?");
  EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);
  const auto saved = [this] {
    return env.saved_settings.GetSetting("Marrowby", kSettingsSection, "ReplaceWith", "");
  };
  EXPECT_TRUE(w.Page().Dirty());
  EXPECT_EQ(saved(), "777");

  Rows rows;
  ClickAnswering(&w, "cmdPreviewChanges", {Press(QMessageBox::Yes), [&](QWidget* preview) {
                                             rows = TableRows(preview);
                                             Click(preview, "cmdPreviewClose");
                                           }});
  EXPECT_FALSE(w.Page().Dirty());
  EXPECT_EQ(saved(), "7778");
  ASSERT_FALSE(rows.empty());
  for (const std::string& row : rows) EXPECT_TRUE(Cells(row)[4].contains("7778")) << row;

  Rows previewed;
  {
    ModalAnswers answers(
        {[&](QWidget* preview) {
           EXPECT_EQ(preview->windowTitle(), "Preview Changes");
           previewed = TableRows(preview);
           EXPECT_TRUE(LabelText(preview, "ResultSummary").startsWith("Would update "));
           EXPECT_EQ(LabelText(preview, "ResultFailureCount"),
                     QString::fromUtf8("\u26A0  1 item could not be changed"));
           const QStringList failures = ListTexts(preview, "ResultFailures");
           ASSERT_EQ(failures.size(), 1);
           EXPECT_TRUE(failures[0].startsWith("contacts/zz-empty.ics ("))
               << failures[0].toStdString();
           EXPECT_EQ(ListTexts(preview, "ResultNotes"),
                     QStringList{"Not searched: contacts/zz-page.vcf: URL on line 6."});
           EXPECT_FALSE(std::filesystem::exists(env.logbook.ActivityPath()))
               << "a preview logs nothing";
           EXPECT_EQ(w.Results(), nullptr) << "no run, no results";
           Click(preview, "cmdPreviewReplace");
         },
         Press(QMessageBox::Yes)});
    w.PreviewChanges();
  }
  ASSERT_GT(previewed.size(), 2u);
  EXPECT_EQ(previewed, rows);
  QDialog* results = w.Results();
  ASSERT_NE(results, nullptr);
  EXPECT_EQ(TableRows(results), previewed);
  EXPECT_EQ(LabelText(results, "ResultSummary"), LabelText(&w, "lblFolderName"));
  EXPECT_TRUE(Find<QLabel>(results, "ResultFailureCount")->isVisible());
  EXPECT_EQ(ListTexts(results, "ResultFailures").size(), 1);
  std::set<QString> items;
  for (const std::string& row : previewed) items.insert(Cells(row)[0] + '|' + Cells(row)[1]);
  EXPECT_EQ(LabelText(results, "ResultTotals"),
            QString("%1 fields in %2 items").arg(previewed.size()).arg(items.size()));
}

// On a server that may e-mail attendees, the window's run asks before it
// changes such events, and its undo before it changes them again; declined,
// the undo skips them and says so.
TEST(AttendeesTest, TheRunAndItsUndoAskAboutEventsWithAttendees) {
  Sandbox sandbox;
  QtUi ui;
  auto log = std::make_shared<tidewell::testing::SchedulingLog>();
  log->schedules = true;
  log->notifying = {"a2c6e0f4", "5b7d9f1a"};
  HostOptions options;
  options.open_store = [log](const std::vector<std::string>& roots, Ui& store_ui,
                             WriteAheadLog* wal,
                             const StoreOptions&) -> std::unique_ptr<MailStore> {
    return std::make_unique<tidewell::testing::SchedulingStore>(
        std::make_unique<VdirStore>(roots, store_ui, wal), log);
  };
  HostEnvironment env{ui, {sandbox.StoreRoot()}, options};
  Save("SearchFor", "Newark");
  Save("ReplaceWith", "Newark-on-Sea");
  Save("FolderCount", "1");
  Save("FolderName1", "Calendar");
  Save("FolderEntryId1", "calendar");
  for (const CatalogRow& row : kFieldCatalog) {
    Save(row.key, row.kind == FieldKind::Appointment ? "1" : "0");
  }
  OptionsWindow w(env);
  w.SetStoreOptions(options);
  Show(w);
  const QString question =
      "2 events have attendees; the server may e-mail them the change. Change these events too?";
  SeenBox asked;
  ClickAnswering(&w, "cmdReplace",
                 {[&asked](QWidget* box) {
                    EXPECT_EQ(box->objectName(), "AttendeesQuestion");
                    Press(QMessageBox::Yes, &asked)(box);
                  },
                  Press(QMessageBox::Yes)});
  EXPECT_EQ(asked.text, question);
  EXPECT_EQ(log->left_alone, 0);
  const auto ran = Sandbox::Snapshot(sandbox.Folder("calendar"));
  SeenBox attendees, report;
  ClickAnswering(&w, "cmdUndoLastRun",
                 {Press(QMessageBox::Yes),
                  [&attendees](QWidget* box) {
                    EXPECT_EQ(box->objectName(), "AttendeesQuestion");
                    Press(QMessageBox::No, &attendees)(box);
                  },
                  Press(QMessageBox::Ok, &report)});
  EXPECT_EQ(attendees.text, question);
  EXPECT_TRUE(report.text.startsWith("Restored 0 fields in 0 items; skipped 3.\n"))
      << report.text.toStdString();
  EXPECT_EQ(report.text.count(QString::fromLatin1(kNotifiesAttendees)), 3);
  EXPECT_EQ(Sandbox::Snapshot(sandbox.Folder("calendar")), ran);
}

// Two runs, each shown and undone from the history, the oldest first while
// the newer still holds its fields: skipped, named, and nothing written.
TEST_F(RunViewsTest, TheHistoryNamesEveryRunAndUndoesAnyOfThem) {
  OptionsWindow& w = Shown();
  const std::filesystem::path contacts = sandbox.Folder("contacts");
  const auto before = Sandbox::Snapshot(contacts);
  const auto replace = [&w] { ClickAnswering(&w, "cmdReplace", {Press(QMessageBox::Yes)}); };
  replace();
  Save("SearchFor", "777");
  Save("ReplaceWith", "888");
  Save("CaseSensitive", "1");
  w.Page().Show();
  replace();

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
  const size_t fields = runs.runs[0].fields;
  const QString changed = QString("%1 fields in %2 items").arg(fields).arg(runs.runs[0].items);
  EXPECT_EQ(column(2), QStringList({changed, changed}))
      << "the second run changed back every field of the first";

  list->setCurrentItem(list->topLevelItem(1));
  Click(&history, "cmdShowRun");
  EXPECT_EQ(TableRows(&history).size(), fields);
  for (const std::string& row : TableRows(&history)) {
    EXPECT_TRUE(Cells(row)[3].contains("555") && Cells(row)[4].contains("777")) << row;
  }

  SeenBox box;
  ClickAnswering(&history, "cmdUndoRun", {Press(QMessageBox::Yes, &box)});
  const QRegularExpression question("^Undo the run of .+ \\(" + first + "\\): " + changed + "\\?$");
  EXPECT_TRUE(question.match(box.text).hasMatch()) << box.text.toStdString();
  EXPECT_EQ(box.title, "Marrowby");
  EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(LabelText(&history, "UndoOutcome"),
            QString("Restored 0 fields in 0 items; skipped %1.").arg(fields));
  EXPECT_EQ(ListTexts(&history, "UndoSkipped").size(), static_cast<qsizetype>(fields));

  // The newest first, then the oldest: every file as it was.
  for (const QString& target : {second, first}) {
    list->setCurrentItem(list->findItems(target, Qt::MatchExactly, 1).value(0));
    ClickAnswering(&history, "cmdUndoRun", {Press(QMessageBox::Yes)});
    EXPECT_EQ(LabelText(&history, "UndoOutcome"), QString("Restored %1; skipped 0.").arg(changed));
    EXPECT_FALSE(Find<QListWidget>(&history, "UndoSkipped")->isVisible());
  }
  EXPECT_EQ(Sandbox::ChangedFiles(before, contacts), 0);
  // An undo that restored nothing wrote nothing, and is no run.
  ASSERT_EQ(list->topLevelItemCount(), 4);
  for (int i : {0, 1}) {
    EXPECT_TRUE(column(1)[i].startsWith("Undo of the run of ")) << column(1)[i].toStdString();
    EXPECT_TRUE(column(2)[i + 2].endsWith(", undone")) << column(2)[i + 2].toStdString();
  }
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

// Results, summary and history count items alike, by item and not by name
// (a series and its moved occurrence; two cards of one name).
TEST_F(RunViewsTest, TheResultsCountItemsAsTheSummaryAndTheHistoryDo) {
  tidewell::testing::WriteFile(sandbox.Folder("contacts") / "zz-twin.vcf",
                               "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:zz-2\r\nFN:Ann Page\r\n"
                               "TEL;TYPE=cell:555 0102\r\nEND:VCARD\r\n");
  tidewell::testing::WriteFile(
      sandbox.Folder("contacts") / "zz-series.ics",
      "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//t//EN\r\nBEGIN:VEVENT\r\nUID:s\r\n"
      "DTSTART:20260105T090000Z\r\nRRULE:FREQ=WEEKLY\r\nSUMMARY:Call 555\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:s\r\nRECURRENCE-ID:20260112T090000Z\r\n"
      "DTSTART:20260112T100000Z\r\nSUMMARY:Call 555\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
  Save("AppointmentSubject", "1");
  OptionsWindow& w = Shown();
  ClickAnswering(&w, "cmdReplace", {Press(QMessageBox::Yes)});
  ASSERT_NE(w.Results(), nullptr);
  const QString summary = LabelText(w.Results(), "ResultSummary");
  const QRegularExpressionMatch match = QRegularExpression("^Updated (\\d+) items").match(summary);
  ASSERT_TRUE(match.hasMatch()) << summary.toStdString();
  EXPECT_EQ(LabelText(w.Results(), "ResultTotals").section(" in ", 1),
            match.captured(1) + " items");
  EXPECT_EQ(QString::number(ListRuns(env.logbook).runs.back().items), match.captured(1));
}

}  // namespace
}  // namespace tidewell::gui::testing
