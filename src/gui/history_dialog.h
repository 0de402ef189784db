// "Run History": the runs of the journal, newest first, in plain words; any
// of them shown (its changes and failures) and undone.
//
//   HistoryDialog history(env, [&] { return StartRun(); }, &window);
//   history.exec();
//
// A row reads "6 Dec 2026 19:46" (the user's locale), "Looking for "555",
// replacing with "777", any case" and "12 fields in 5 items", with
// ", undone" once an undo took it back. "Undo Run..." asks in a Yes/No box
// through the Ui, undoes the run under the journal's lock and shows
// "Restored N fields in M items; skipped K." and each skipped field under the
// list, which then holds the undo as its newest run.
#pragma once

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <string>

#include "app/run_index.h"
#include "app/run_session.h"
#include "app/store_host.h"
#include "gui/results_view.h"

namespace tidewell::gui {

// A journal time ("2026-12-06T19:46:15.357Z") in local time, in the user's
// locale's short form; the text itself when it is no such time.
QString LocalTime(const std::string& utc);

// What the run did, in words: "Looking for "555", replacing with "777",
// case sensitive" (or "any case"), "Undo of the run of <LocalTime>".
QString PlainDescription(const RunSummary& run);

// "12 fields in 5 items", then ", 2 incomplete" and ", undone" as they apply.
QString ChangedWords(const RunSummary& run);

class HistoryDialog : public QDialog {
 public:
  // Takes the journal's lock for an undo; nullptr when it cannot (already
  // said to the user).
  using StartRun = std::function<std::unique_ptr<RunSession>()>;

  HistoryDialog(HostEnvironment& env, StartRun startRun, QWidget* parent = nullptr);

  // Reads the runs anew.
  void Reload();
  // Shows the changes of the selected run below the list.
  void ShowSelected();
  // Undoes the selected run after asking.
  void UndoSelected();

  // The summary line of the last undo made here; "" when none was.
  const std::string& LastUndoSummary() const { return last_undo_; }

 private:
  // The parts of the dialog; the constructor lays them out.
  void BuildList();
  void BuildUndoOutcome();
  QDialogButtonBox* BuildButtons();
  const RunSummary* Selected() const;

  HostEnvironment& env_;
  StartRun start_run_;
  RunList runs_;
  QTreeWidget* list_;
  QPushButton* show_;
  QPushButton* undo_;
  ResultsView* details_;
  QLabel* outcome_;
  QListWidget* skipped_;
  std::string last_undo_;
};

}  // namespace tidewell::gui
