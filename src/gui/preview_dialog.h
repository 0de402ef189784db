// "Preview Changes": what a Replace over the applied settings would change
// (dry_run.h), in a ResultsView, with "Replace" to run it and "Close".
//
//   PreviewDialog preview(DryRunReplace(roots), &window);
//   if (preview.exec() == QDialog::Accepted) ...   // the user chose Replace
//
// Replace only closes the dialog accepted: the caller runs the page's own
// Replace, which asks its own confirmation. It is disabled when the preview
// found nothing to change.
#pragma once

#include <QDialog>
#include <QPushButton>

#include "gui/results_view.h"
#include "app/dry_run.h"

namespace tidewell::gui {

// The preview's failures and the page's refusals as the results show them:
// "<item>: <message>", or the message alone when no item was open.
RunResults PreviewResults(const DryRunOutcome& outcome);

class PreviewDialog : public QDialog {
 public:
  explicit PreviewDialog(const DryRunOutcome& outcome, QWidget* parent = nullptr);

  ResultsView& View() { return *view_; }

 private:
  ResultsView* view_;
};

}  // namespace tidewell::gui
