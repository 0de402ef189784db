// What the window shows about runs, apart from the run itself: the preview
// of one, the results of the last, the run history and undo.
#include <QApplication>
#include <QDialogButtonBox>
#include <QVBoxLayout>
#include <optional>

#include "app/run_index.h"
#include "app/run_report.h"
#include "gui/history_dialog.h"
#include "gui/options_window.h"
#include "gui/preview_dialog.h"
#include "gui/results_view.h"
#include "gui/server_dialogs.h"
#include "platform/failure.h"
#include "undo/undo.h"

namespace tidewell::gui {

namespace {

constexpr const char* kBoxTitle = "Marrowby";
// A box taller than the screen hides its OK button; the journal keeps them all.
constexpr size_t kSkipsShown = 20;

std::string UndoReport(const UndoOutcome& outcome) {
  std::string report = UndoSummary(outcome);
  if (!outcome.skipped.empty()) report += '\n';
  for (size_t i = 0; i < outcome.skipped.size() && i < kSkipsShown; ++i) {
    const SkippedField& skipped = outcome.skipped[i];
    report += '\n';
    report += DescribeSkipped(skipped);
  }
  if (outcome.skipped.size() > kSkipsShown) {
    report += "\nand " + std::to_string(outcome.skipped.size() - kSkipsShown) + " more.";
  }
  if (outcome.unreadable > 0) report += "\n\n" + DescribeUnreadable(outcome.unreadable);
  return report;
}

}  // namespace

void OptionsWindow::UndoLastRun() {
  if (env_ == nullptr || run_.armed) return;
  Guarded(
      [this](const std::exception& failure) { ShowFailure(failure); },
      [this] {
        const std::unique_ptr<RunSession> session = StartRun();
        if (!session) return;
        const RunList& runs = session->Runs();
        const RunSummary* newest = runs.NewestToUndo();
        if (newest == nullptr) {
          ui_.MsgBox(kNoRunToUndo, MsgBoxButtons::OkOnly, kBoxTitle);
          return;
        }
        const JournalRun run = LoadRunToUndo(runs, *newest);
        if (ui_.MsgBox(UndoQuestion(run), MsgBoxButtons::YesNo, kBoxTitle) != MsgBoxResult::Yes) {
          return;
        }
        MailStore& store = env_->StoreOfRun(run);
        SettleNotifyingUndo(run, store, this);
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const UndoOutcome outcome = UndoJournalRun(run, store, *components_);
        QApplication::restoreOverrideCursor();
        // The report of a stopped run no longer holds once it is taken back.
        run_report_->hide();
        // An undo is a run: the summary of the run it took back no longer holds.
        page_->lblFolderName.SetCaption(UndoSummary(outcome));
        ui_.MsgBox(UndoReport(outcome), MsgBoxButtons::OkOnly, kBoxTitle);
      });
}

void OptionsWindow::PreviewChanges() {
  if (env_ == nullptr || !page_ || run_.armed) return;
  if (page_->Dirty()) {
    const MsgBoxResult apply =
        ui_.MsgBox("The preview shows a run over the applied settings. Apply your changes first?",
                   MsgBoxButtons::YesNo, kBoxTitle);
    if (apply != MsgBoxResult::Yes || !ApplyPage()) return;
  }
  std::vector<std::string> roots;
  for (const StoreSource& source : env_->sources) roots.push_back(source.root);
  std::optional<DryRunOutcome> outcome;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  Guarded(
      [this](const std::exception& failure) {
        QApplication::restoreOverrideCursor();
        ShowFailure(failure);
      },
      [&] {
        outcome = Preview();
        QApplication::restoreOverrideCursor();
      });
  if (!outcome) return;
  PreviewDialog preview(*outcome, this);
  if (preview.exec() != QDialog::Accepted) return;
  if (auto* replace = qobject_cast<QPushButton*>(view_->Widget("cmdReplace"))) replace->click();
}

void OptionsWindow::ShowRunHistory() {
  if (env_ == nullptr || !page_ || run_.armed) return;
  HistoryDialog history(
      *env_, [this] { return StartRun(); }, this);
  history.exec();
  // The progress area shows the result of the last run; an undo is one, and
  // the summary of the run it took back no longer holds.
  if (!history.LastUndoSummary().empty()) {
    page_->lblFolderName.SetCaption(history.LastUndoSummary());
    run_report_->hide();
  }
}

void OptionsWindow::ShowResults(const std::string& runId) {
  Guarded(
      [this](const std::exception& failure) { ShowFailure(failure); },
      [this, &runId] {
        // A stopped run says where it stopped, beside the page's summary.
        std::string summary = page_->lblFolderName.Caption();
        if (run_report_->isVisibleTo(this)) summary += "\n" + run_report_->text().toStdString();
        const RunList runs = ListRuns(env_->logbook);
        const RunSummary* run = runs.Find(runId);
        RunResults results;
        if (run != nullptr) {
          results = ResultsOfRun(*env_, *run, summary);
        } else {
          // A run whose every item failed before a change still reported.
          for (const RunFailure& failure : RunFailures(env_->logbook, runId)) {
            results.failures.push_back(failure.message);
          }
          if (results.failures.empty()) return;
          results.summary = summary;
        }
        if (!results_) {
          results_ = new QDialog(this);
          results_->setObjectName(QStringLiteral("ResultsDialog"));
          results_->setWindowTitle(tr("Run Results"));
          results_->setSizeGripEnabled(true);
          auto* layout = new QVBoxLayout(results_);
          layout->setContentsMargins(16, 16, 16, 12);
          layout->addWidget(new ResultsView(results_), 1);
          auto* close = new QDialogButtonBox(QDialogButtonBox::Close, results_);
          close->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("cmdResultsClose"));
          connect(close, &QDialogButtonBox::rejected, results_.data(), &QDialog::close);
          layout->addWidget(close);
          close->button(QDialogButtonBox::Close)->setFocus();
          results_->resize(760, 440);
        }
        // ResultsView has no meta-object of its own: found by name, not type.
        static_cast<ResultsView*>(results_->findChild<QWidget*>(QStringLiteral("ResultsView")))
            ->Show(results);
        results_->show();
        results_->raise();
      });
}

}  // namespace tidewell::gui
