#include "gui/history_dialog.h"

#include <QApplication>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLocale>
#include <QSplitter>
#include <QVBoxLayout>

#include "gui/control_binding.h"
#include "gui/server_dialogs.h"
#include "journal/journal_runs.h"
#include "platform/failure.h"
#include "undo/undo.h"

namespace tidewell::gui {

namespace {

constexpr const char* kBoxTitle = "Marrowby";
constexpr int kIdRole = Qt::UserRole;

QString Quoted(const std::string& text) {
  return QStringLiteral("\u201C") + QString::fromStdString(text) + QStringLiteral("\u201D");
}

}  // namespace

QString LocalTime(const std::string& utc) {
  const QDateTime time = QDateTime::fromString(QString::fromStdString(utc), Qt::ISODateWithMs);
  if (!time.isValid()) return QString::fromStdString(utc);
  return QLocale().toString(time.toLocalTime(), QLocale::ShortFormat);
}

QString PlainDescription(const RunSummary& run) {
  if (run.kind == RunKind::kUndo) {
    const std::string header = kUndoRunHeader;
    if (run.description.starts_with(header)) {
      return QApplication::translate("HistoryDialog", "Undo of the run of ") +
             LocalTime(run.description.substr(header.size()));
    }
    return QString::fromStdString(run.description);
  }
  const std::optional<SearchLine> search = ParseSearchLine(run.description);
  if (!search) return QString::fromStdString(run.description);
  return QApplication::translate("HistoryDialog", "Looking for %1, replacing with %2, %3")
      .arg(Quoted(search->SearchFor), Quoted(search->ReplaceWith),
           search->CaseSensitive != 0 ? QApplication::translate("HistoryDialog", "case sensitive")
                                      : QApplication::translate("HistoryDialog", "any case"));
}

QString ChangedWords(const RunSummary& run) {
  QString words = QStringLiteral("%1 %2 in %3 %4")
                      .arg(run.fields)
                      .arg(run.fields == 1 ? QStringLiteral("field") : QStringLiteral("fields"))
                      .arg(run.items)
                      .arg(run.items == 1 ? QStringLiteral("item") : QStringLiteral("items"));
  if (const std::string state = RunState(run); !state.empty()) {
    words += QStringLiteral(", ") + QString::fromStdString(state);
  }
  return words;
}

HistoryDialog::HistoryDialog(HostEnvironment& env, StartRun startRun, QWidget* parent)
    : QDialog(parent), env_(env), start_run_(std::move(startRun)) {
  setObjectName(QStringLiteral("HistoryDialog"));
  setWindowTitle(tr("Run History"));
  setSizeGripEnabled(true);

  BuildList();
  details_ = new ResultsView(this);
  details_->setObjectName(QStringLiteral("RunDetails"));
  details_->setAccessibleName(tr("The run shown"));
  details_->setAccessibleDescription(tr("The changes and failures of the run shown"));
  BuildUndoOutcome();
  QDialogButtonBox* buttons = BuildButtons();

  auto* top = new QWidget(this);
  auto* top_layout = new QVBoxLayout(top);
  top_layout->setContentsMargins(0, 0, 0, 0);
  top_layout->addWidget(list_);
  top_layout->addWidget(outcome_);
  top_layout->addWidget(skipped_);
  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(top);
  split->addWidget(details_);
  split->setChildrenCollapsible(false);
  split->setSizes({170, 330});

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 16, 16, 12);
  layout->addWidget(split, 1);
  layout->addWidget(buttons);
  resize(820, 560);
  Reload();
}

void HistoryDialog::BuildList() {
  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("RunList"));
  list_->setAccessibleName(tr("Runs"));
  list_->setAccessibleDescription(tr("The runs of the journal, newest first"));
  list_->setHeaderLabels({tr("When"), tr("What"), tr("Changed")});
  list_->setRootIsDecorated(false);
  list_->setAlternatingRowColors(true);
  list_->setUniformRowHeights(true);
  list_->header()->setStretchLastSection(false);
  list_->header()->setSectionResizeMode(1, QHeaderView::Stretch);
  // Enter or a double click on a run shows it.
  connect(list_, &QTreeWidget::itemActivated, this, [this] { ShowSelected(); });
  connect(list_, &QTreeWidget::currentItemChanged, this, [this] {
    show_->setEnabled(Selected() != nullptr);
    undo_->setEnabled(Selected() != nullptr);
  });
}

void HistoryDialog::BuildUndoOutcome() {
  outcome_ = new QLabel(this);
  outcome_->setObjectName(QStringLiteral("UndoOutcome"));
  outcome_->setTextFormat(Qt::PlainText);
  outcome_->setWordWrap(true);
  outcome_->setStyleSheet(
      QStringLiteral("QLabel { background: #e8f3ec; color: #1e5631; border: 1px solid #b7dcc4;"
                     " border-radius: 6px; padding: 6px 10px; font-weight: 600; }"));
  outcome_->setAccessibleName(tr("Undo outcome"));
  outcome_->setAccessibleDescription(tr("How many fields the undo restored and skipped"));
  outcome_->hide();
  skipped_ = new QListWidget(this);
  skipped_->setObjectName(QStringLiteral("UndoSkipped"));
  skipped_->setAccessibleName(tr("Skipped fields"));
  skipped_->setAccessibleDescription(tr("Each field the undo left alone, with the reason"));
  skipped_->hide();
}

QDialogButtonBox* HistoryDialog::BuildButtons() {
  auto* buttons = new QDialogButtonBox(this);
  show_ = buttons->addButton(tr("&Show Changes"), QDialogButtonBox::ActionRole);
  show_->setObjectName(QStringLiteral("cmdShowRun"));
  show_->setAccessibleDescription(tr("Lists the changes and failures of the selected run"));
  undo_ = buttons->addButton(tr("&Undo Run..."), QDialogButtonBox::ActionRole);
  undo_->setObjectName(QStringLiteral("cmdUndoRun"));
  undo_->setAccessibleDescription(tr("Gives the fields of the selected run their old values"));
  QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
  close->setObjectName(QStringLiteral("cmdHistoryClose"));
  close->setAccessibleDescription(tr("Closes the run history"));
  // No default button: Enter on a run shows it and must not also close the
  // dialog.
  for (QPushButton* button : {show_, undo_, close}) button->setAutoDefault(false);
  connect(show_, &QPushButton::clicked, this, [this] { ShowSelected(); });
  connect(undo_, &QPushButton::clicked, this, [this] { UndoSelected(); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  return buttons;
}

void HistoryDialog::Reload() {
  const std::string current = Selected() != nullptr ? Selected()->id : std::string();
  Guarded(
      [this](const std::exception& failure) {
        runs_ = {};
        details_->Show({DescriptionOf(failure), {}, {}, {}});
      },
      [this] { runs_ = ListRuns(env_.logbook); });
  list_->clear();
  for (auto run = runs_.runs.rbegin(); run != runs_.runs.rend(); ++run) {
    auto* row = new QTreeWidgetItem(
        list_, {LocalTime(run->time), PlainDescription(*run), ChangedWords(*run)});
    row->setData(0, kIdRole, QString::fromStdString(run->id));
    row->setToolTip(1, QString::fromStdString(run->description));
    if (run->undone) {
      for (int column = 0; column < 3; ++column) {
        row->setForeground(column, palette().brush(QPalette::Disabled, QPalette::Text));
      }
    }
    if (run->id == current) list_->setCurrentItem(row);
  }
  if (list_->currentItem() == nullptr && list_->topLevelItemCount() > 0) {
    list_->setCurrentItem(list_->topLevelItem(0));
  }
  list_->resizeColumnToContents(0);
  list_->resizeColumnToContents(2);
  show_->setEnabled(Selected() != nullptr);
  undo_->setEnabled(Selected() != nullptr);
}

const RunSummary* HistoryDialog::Selected() const {
  const QTreeWidgetItem* row = list_->currentItem();
  if (row == nullptr) return nullptr;
  return runs_.Find(row->data(0, kIdRole).toString().toStdString());
}

void HistoryDialog::ShowSelected() {
  const RunSummary* run = Selected();
  if (run == nullptr) return;
  const RunSummary chosen = *run;
  Guarded(
      [this](const std::exception& failure) {
        details_->Show({DescriptionOf(failure), {}, {}, {}});
      },
      [this, &chosen] {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        details_->Show(
            ResultsOfRun(env_, chosen,
                         (LocalTime(chosen.time) + QStringLiteral(": ") + PlainDescription(chosen))
                             .toStdString()));
        QApplication::restoreOverrideCursor();
      });
}

void HistoryDialog::UndoSelected() {
  const RunSummary* selected = Selected();
  if (selected == nullptr) return;
  const std::string id = selected->id;
  Ui& ui = env_.components->ui();
  Guarded(
      [&ui](const std::exception& failure) {
        QApplication::restoreOverrideCursor();
        ui.MsgBox(DescriptionOf(failure), MsgBoxButtons::OkOnly, kBoxTitle);
      },
      [&] {
        std::unique_ptr<RunSession> session = start_run_();
        if (!session) return;
        // The runs as the lock found them: another process may have undone
        // this one since the list was read.
        const RunSummary* run = session->Runs().Find(id);
        if (run == nullptr) {
          ui.MsgBox("The run is no longer in the journal.", MsgBoxButtons::OkOnly, kBoxTitle);
          return;
        }
        // What an earlier, stopped undo of it left to do.
        const JournalRun journalled = LoadRunToUndo(session->Runs(), *run);
        const UndoScope left = LeftToUndo(journalled);
        const QString question =
            tr("Undo the run of %1 (%2): %3?")
                .arg(LocalTime(run->time), PlainDescription(*run),
                     QStringLiteral("%1 fields in %2 items").arg(left.fields).arg(left.items));
        if (ui.MsgBox(question.toStdString(), MsgBoxButtons::YesNo, kBoxTitle) !=
            MsgBoxResult::Yes) {
          return;
        }
        MailStore& store = env_.StoreOfRun(journalled);
        SettleNotifyingUndo(journalled, store, this);
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const UndoOutcome outcome = UndoJournalRun(journalled, store, *env_.components);
        session.reset();
        QApplication::restoreOverrideCursor();
        last_undo_ = UndoSummary(outcome);
        if (outcome.unreadable > 0) last_undo_ += "\n" + DescribeUnreadable(outcome.unreadable);
        outcome_->setText(QString::fromStdString(last_undo_));
        outcome_->show();
        skipped_->clear();
        for (const SkippedField& skipped : outcome.skipped) {
          skipped_->addItem(QString::fromStdString(DescribeSkipped(skipped)));
        }
        skipped_->setVisible(!outcome.skipped.empty());
      });
  Reload();
}

}  // namespace tidewell::gui
