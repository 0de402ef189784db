#include "gui/preview_dialog.h"

#include <QDialogButtonBox>
#include <QVBoxLayout>

namespace tidewell::gui {

RunResults PreviewResults(const DryRunOutcome& outcome) {
  RunResults results{outcome.summary, outcome.changes, {}, outcome.notes};
  // A page that refused to run said why in a box and left no summary.
  for (const std::string& message : outcome.messages) {
    if (results.summary.empty()) results.summary = message;
  }
  if (outcome.notifying_events > 0) {
    results.summary += "\n" + NotifyingEventsLine(outcome.notifying_events);
  }
  for (const ItemFailure& failure : outcome.failures) {
    results.failures.push_back(failure.item.empty() ? failure.message
                                                    : failure.item + ": " + failure.message);
  }
  return results;
}

PreviewDialog::PreviewDialog(const DryRunOutcome& outcome, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("PreviewDialog"));
  setWindowTitle(tr("Preview Changes"));
  setSizeGripEnabled(true);

  view_ = new ResultsView(this);
  view_->Show(PreviewResults(outcome));

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* replace = buttons->addButton(tr("&Replace"), QDialogButtonBox::AcceptRole);
  replace->setObjectName(QStringLiteral("cmdPreviewReplace"));
  replace->setEnabled(!outcome.changes.empty());
  replace->setAccessibleDescription(tr("Runs this replacement on the items, after a confirmation"));
  QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
  close->setObjectName(QStringLiteral("cmdPreviewClose"));
  close->setAccessibleDescription(tr("Closes the preview without changing anything"));
  // Enter must not start a run that writes to every item.
  replace->setAutoDefault(false);
  close->setDefault(true);
  close->setFocus();
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 16, 16, 12);
  layout->addWidget(view_, 1);
  layout->addWidget(buttons);
  resize(760, 460);
}

}  // namespace tidewell::gui
