#include "gui/results_view.h"

#include <QApplication>
#include <QHeaderView>
#include <QStyle>
#include <QVBoxLayout>
#include <utility>

#include "app/run_report.h"

namespace tidewell::gui {

namespace {

constexpr int kColumns = 5;

QString Text(const std::string& text) { return QString::fromStdString(text); }

QLabel* PlainLabel(const char* name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  return label;
}

// A list that is as high as its rows, up to `most` of them, and scrolls past.
void FitRows(QListWidget* list, int most) {
  const int rows = std::min(list->count(), most);
  const int row =
      list->sizeHintForRow(0) > 0 ? list->sizeHintForRow(0) : list->fontMetrics().height();
  list->setFixedHeight(rows * row + 2 * list->frameWidth() + 4);
}

}  // namespace

RunResults ResultsOfRun(HostEnvironment& env, const RunSummary& run, const std::string& summary) {
  RunResults results{summary, RunChanges(LoadRun(run), env), {}, {}};
  for (const RunFailure& failure : RunFailures(env.logbook, run.id)) {
    results.failures.push_back(failure.message);
  }
  return results;
}

ResultsView::ResultsView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("ResultsView"));

  summary_ = PlainLabel("ResultSummary", this);
  QFont bigger = summary_->font();
  bigger.setPointSizeF(bigger.pointSizeF() * 1.25);
  bigger.setBold(true);
  summary_->setFont(bigger);
  summary_->setAccessibleName(tr("Summary"));
  summary_->setAccessibleDescription(tr("What the run did, or would do"));

  // Failures stand first and in the palette's warning colours: a run that
  // changed 30 items and failed on one must not read as a success.
  failure_banner_ = PlainLabel("ResultFailureCount", this);
  failure_banner_->setAccessibleName(tr("Failure count"));
  failure_banner_->setAccessibleDescription(tr("How many items could not be changed"));
  failure_banner_->setStyleSheet(
      QStringLiteral("QLabel { background: #fdecea; color: #8a1c12; border: 1px solid #f0b4ad;"
                     " border-radius: 6px; padding: 6px 10px; font-weight: 600; }"));
  failures_ = new QListWidget(this);
  failures_->setObjectName(QStringLiteral("ResultFailures"));
  failures_->setAccessibleName(tr("Failures"));
  failures_->setAccessibleDescription(tr("Each item that could not be changed, with the reason"));
  failures_->setWordWrap(true);
  failures_->setStyleSheet(QStringLiteral("QListWidget { color: #8a1c12; }"));

  totals_ = PlainLabel("ResultTotals", this);
  totals_->setAccessibleName(tr("Totals"));
  totals_->setAccessibleDescription(tr("How many fields in how many items"));
  table_ = new QTableWidget(0, kColumns, this);
  table_->setObjectName(QStringLiteral("ResultChanges"));
  table_->setAccessibleName(tr("Changed fields"));
  table_->setAccessibleDescription(
      tr("The folder, item, field, old value and new value of each changed field"));
  table_->setHorizontalHeaderLabels(
      {tr("Folder"), tr("Item"), tr("Field"), tr("Old value"), tr("New value")});
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setAlternatingRowColors(true);
  table_->setShowGrid(false);
  table_->setWordWrap(false);
  // Tab leaves the table for the buttons, rather than walking every cell.
  table_->setTabKeyNavigation(false);
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 10);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->horizontalHeader()->setHighlightSections(false);
  table_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  notes_title_ = PlainLabel("ResultNotesTitle", this);
  notes_title_->setText(tr("Values not searched"));
  notes_title_->setAccessibleName(tr("Values not searched"));
  notes_title_->setAccessibleDescription(tr("Heading of the values no field stands for"));
  notes_ = new QListWidget(this);
  notes_->setObjectName(QStringLiteral("ResultNotes"));
  notes_->setAccessibleName(tr("Values not searched"));
  notes_->setAccessibleDescription(tr("Values of items that no field stands for"));
  notes_->setWordWrap(true);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(8);
  layout->addWidget(summary_);
  layout->addWidget(failure_banner_);
  layout->addWidget(failures_);
  layout->addWidget(totals_);
  layout->addWidget(table_, 1);
  layout->addWidget(notes_title_);
  layout->addWidget(notes_);
  Show({});
}

QString ResultsView::Totals(const std::vector<FieldChange>& changes) {
  if (changes.empty()) return tr("No fields changed.");
  const auto count = [](size_t n, const char* one, const char* many) {
    return QString::number(n) + QLatin1Char(' ') + QString::fromLatin1(n == 1 ? one : many);
  };
  return count(changes.size(), "field", "fields") + tr(" in ") +
         count(ChangedItemCount(changes), "item", "items");
}

QString ResultsView::FailureCount(size_t failures) {
  return QString::number(failures) +
         (failures == 1 ? tr(" item could not be changed") : tr(" items could not be changed"));
}

void ResultsView::Show(const RunResults& results) {
  summary_->setText(Text(results.summary));
  summary_->setVisible(!results.summary.empty());

  const bool failed = !results.failures.empty();
  failure_banner_->setText(QString::fromUtf8("\u26A0  ") + FailureCount(results.failures.size()));
  failure_banner_->setVisible(failed);
  failures_->clear();
  const QIcon error = style()->standardIcon(QStyle::SP_MessageBoxCritical);
  for (const std::string& failure : results.failures) {
    failures_->addItem(new QListWidgetItem(error, Text(failure)));
  }
  FitRows(failures_, 5);
  failures_->setVisible(failed);

  totals_->setText(Totals(results.changes));
  table_->setRowCount(static_cast<int>(results.changes.size()));
  int row = 0;
  for (const FieldChange& change : results.changes) {
    const std::string* parts[] = {&change.folder, &change.item, &change.field, &change.old_value,
                                  &change.new_value};
    for (int column = 0; column < kColumns; ++column) {
      auto* cell = new QTableWidgetItem(Text(*parts[column]));
      cell->setToolTip(cell->text());
      table_->setItem(row, column, cell);
    }
    ++row;
  }
  table_->resizeColumnsToContents();
  // Long values would push the new value out of sight; the tooltip has them whole.
  for (int column = 0; column + 1 < kColumns; ++column) {
    table_->setColumnWidth(column, std::min(table_->columnWidth(column), 220));
  }

  notes_->clear();
  for (const std::string& note : results.notes) notes_->addItem(Text(note));
  FitRows(notes_, 4);
  notes_title_->setVisible(!results.notes.empty());
  notes_->setVisible(!results.notes.empty());
}

}  // namespace tidewell::gui
