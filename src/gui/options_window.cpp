#include "gui/options_window.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>
#include <optional>
#include <utility>

#include "gui/history_dialog.h"
#include "gui/preview_dialog.h"
#include "gui/results_view.h"
#include "platform/failure.h"
#include "platform/logbook/journal_reader.h"
#include "platform/logbook/run_index.h"
#include "platform/logbook/run_session.h"
#include "platform/support/dry_run.h"
#include "platform/support/run_report.h"

namespace tidewell::gui {

namespace {

constexpr const char* kWindowTitle = "Marrowby Options";
constexpr const char* kPageTab = "Search And Replace";
constexpr const char* kBoxTitle = "Marrowby";
// The host object the page is given: the client and its folders come from
// the stores, the status and the help go to the window.
class WindowHost : public Host {
 public:
  WindowHost(Host& stores, OptionsWindow& window) : stores_(stores), window_(window) {}

  std::shared_ptr<Application> OutlookApplication() override {
    return stores_.OutlookApplication();
  }
  void OnStatusChange() override { window_.PageStatusChanged(); }
  Engine& engine() override { return stores_.engine(); }
  void SetHotHelp(const std::string& helpText, const std::string&) override {
    window_.ShowHotHelp(helpText);
  }

 private:
  Host& stores_;
  OptionsWindow& window_;
};

}  // namespace

OptionsWindow::OptionsWindow(Components& components, Host& stores, HostEnvironment* env,
                             QWidget* parent)
    : QDialog(parent),
      components_(components),
      env_(env),
      page_(std::make_unique<UC1>(components)) {
  setObjectName(QStringLiteral("OptionsWindow"));
  setWindowTitle(QString::fromLatin1(kWindowTitle));

  auto* tabs = new QTabWidget(this);
  tabs->setObjectName(QStringLiteral("OptionsTabs"));
  view_ = new PageView(*page_, [this](const std::exception& failure) { ShowFailure(failure); });
  tabs->addTab(view_, QString::fromLatin1(kPageTab));
  view_->installEventFilter(this);

  help_ = new QLabel(this);
  help_->setObjectName(QStringLiteral("HotHelp"));
  help_->setTextFormat(Qt::PlainText);
  help_->setWordWrap(true);
  help_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  help_->setFrameShape(QFrame::StyledPanel);
  help_->setFrameShadow(QFrame::Sunken);
  help_->setMinimumHeight(3 * help_->fontMetrics().lineSpacing() + 2 * help_->frameWidth() + 4);

  auto* buttons = new QDialogButtonBox(
      QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("HostOk"));
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("HostCancel"));
  apply_ = buttons->button(QDialogButtonBox::Apply);
  apply_->setObjectName(QStringLiteral("HostApply"));
  apply_->setEnabled(false);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    if (ApplyPage()) accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(apply_, &QPushButton::clicked, this, [this] { ApplyPage(); });

  // Preview and history act on the files, not on the page's settings: they
  // stand apart, on the left, away from OK, Cancel and Apply.
  auto* buttonRow = new QHBoxLayout;
  if (env_ != nullptr) {
    const std::pair<const char*, void (OptionsWindow::*)()> actions[] = {
        {"cmdPreviewChanges", &OptionsWindow::PreviewChanges},
        {"cmdRunHistory", &OptionsWindow::ShowRunHistory}};
    const QString captions[] = {tr("Preview Changes..."), tr("Run History...")};
    const QString descriptions[] = {
        tr("Lists what Replace would change over the applied settings, changing nothing"),
        tr("Lists the runs made, to show or undo any of them")};
    for (int i = 0; i < 2; ++i) {
      auto* button = new QPushButton(captions[i], this);
      button->setAccessibleDescription(descriptions[i]);
      button->setObjectName(QString::fromLatin1(actions[i].first));
      button->setAutoDefault(false);
      connect(button, &QPushButton::clicked, this, actions[i].second);
      buttonRow->addWidget(button);
    }
  }
  buttonRow->addWidget(buttons);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs);
  layout->addWidget(help_);
  layout->addLayout(buttonRow);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  page_->SetHost(std::make_shared<WindowHost>(stores, *this));

  if (env_ != nullptr) {
    // A run holds the journal for its whole length; one going on elsewhere
    // refuses this one (in a box) rather than freezing the window.
    page_->cmdReplace.Click = [this, click = page_->cmdReplace.Click] {
      std::string id;
      {
        const std::unique_ptr<RunSession> run = StartRun();
        if (!run) return;
        id = run->Id();
        click();
      }
      // The session indexed the run as it ended: the journal can be read now.
      ShowResults(id);
    };
  }
}

std::unique_ptr<RunSession> OptionsWindow::StartRun() {
  try {
    return std::make_unique<RunSession>(env_->logbook, RunWait{},
                                        JournalRetention(env_->settings, env_->watched));
  } catch (const RunInProgress& busy) {
    components_.ui().MsgBox(busy.what(), MsgBoxButtons::OkOnly, kBoxTitle);
    return nullptr;
  }
}

OptionsWindow::~OptionsWindow() {
  page_->Terminate();
  // The view's widgets call into the page; they must go first.
  delete view_;
}

void OptionsWindow::PageStatusChanged() { apply_->setEnabled(page_->Dirty()); }

void OptionsWindow::ShowHotHelp(const std::string& text) {
  help_->setText(QString::fromStdString(text));
}

void OptionsWindow::ShowFailure(const std::exception& failure) {
  QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kBoxTitle),
                  QString::fromStdString(DescriptionOf(failure)), QMessageBox::Ok, this);
  box.setObjectName(QStringLiteral("FailureBox"));
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

bool OptionsWindow::ApplyPage() {
  if (!page_->Dirty()) return true;
  bool applied = false;
  Guarded([this](const std::exception& failure) { ShowFailure(failure); },
          [this, &applied] {
            page_->Apply();
            applied = true;
          });
  apply_->setEnabled(page_->Dirty());
  return applied;
}

void OptionsWindow::PreviewChanges() {
  if (env_ == nullptr) return;
  Ui& ui = components_.ui();
  if (page_->Dirty()) {
    const MsgBoxResult apply =
        ui.MsgBox("The preview shows a run over the applied settings. Apply your changes first?",
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
        outcome = DryRunReplace(roots);
        QApplication::restoreOverrideCursor();
      });
  if (!outcome) return;
  PreviewDialog preview(*outcome, this);
  if (preview.exec() != QDialog::Accepted) return;
  if (auto* replace = qobject_cast<QPushButton*>(view_->Widget("cmdReplace"))) replace->click();
}

void OptionsWindow::ShowRunHistory() {
  if (env_ == nullptr) return;
  HistoryDialog history(
      *env_, [this] { return StartRun(); }, this);
  history.exec();
  // The progress area shows the result of the last run; an undo is one, and
  // the summary of the run it took back no longer holds.
  if (!history.LastUndoSummary().empty()) {
    page_->lblFolderName.SetCaption(history.LastUndoSummary());
  }
}

void OptionsWindow::ShowResults(const std::string& runId) {
  Guarded(
      [this](const std::exception& failure) { ShowFailure(failure); },
      [this, &runId] {
        const RunList runs = ListRuns(env_->logbook);
        const RunSummary* run = runs.Find(runId);
        RunResults results;
        if (run != nullptr) {
          results = ResultsOfRun(*env_, *run, page_->lblFolderName.Caption());
        } else {
          // A run whose every item failed before a change still reported.
          for (const RunFailure& failure : RunFailures(env_->logbook, runId)) {
            results.failures.push_back(failure.message);
          }
          if (results.failures.empty()) return;
          results.summary = page_->lblFolderName.Caption();
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

void OptionsWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Restoring a minimised window is no new showing of the page.
  if (event->spontaneous()) return;
  Guarded([this](const std::exception& failure) { ShowFailure(failure); },
          [this] { page_->Show(); });
  apply_->setEnabled(page_->Dirty());
}

bool OptionsWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view_ && event->type() == QEvent::Leave) {
    help_->clear();
    page_->SendPropMessage("ResetHelpText", "");
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace tidewell::gui
