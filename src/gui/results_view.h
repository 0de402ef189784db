// What a run did, or a preview would do, for the user to read: a summary
// line, the failures (marked so that they cannot be missed, with their
// count), the changed fields in a table (folder, item, field, old value, new
// value) with their totals, and the values the run could not search.
//
//   ResultsView view;
//   view.Show({"Updated 31 items in 1 folder", changes, {"ann.vcf: Disk full."}, {}});
//   view.Table();    // five columns, a row per field
//
// The same view serves the results after a run, the preview and a run of
// the history. Every text is plain: a search text never turns into markup.
#pragma once

#include <QLabel>
#include <QListWidget>
#include <QTableWidget>
#include <QWidget>
#include <string>
#include <vector>

#include "app/change_listing.h"
#include "app/run_index.h"
#include "app/store_host.h"

namespace tidewell::gui {

struct RunResults {
  std::string summary;  // "Updated 31 items in 1 folder"; "" shows none
  std::vector<FieldChange> changes;
  std::vector<std::string> failures;  // each as shown, one line or more
  std::vector<std::string> notes;     // "Not searched: ..."
};

// The results of `run`: its changes from the journal and its failures from
// the error log (each its message), under `summary`.
RunResults ResultsOfRun(HostEnvironment& env, const RunSummary& run, const std::string& summary);

class ResultsView : public QWidget {
 public:
  explicit ResultsView(QWidget* parent = nullptr);

  // Replaces what the view shows.
  void Show(const RunResults& results);

  QTableWidget& Table() { return *table_; }

  // "12 fields in 5 items" (items counted as ChangedItemCount does), "No fields
  // changed." for none.
  static QString Totals(const std::vector<FieldChange>& changes);
  // "1 item could not be changed" / "3 items could not be changed".
  static QString FailureCount(size_t failures);

 private:
  QLabel* summary_;
  QLabel* failure_banner_;
  QListWidget* failures_;
  QLabel* totals_;
  QTableWidget* table_;
  QLabel* notes_title_;
  QListWidget* notes_;
};

}  // namespace tidewell::gui
