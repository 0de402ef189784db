#include "gui/options_window.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include "adapters/logbook/journal_reader.h"
#include "adapters/logbook/run_index.h"
#include "adapters/logbook/run_session.h"
#include "platform/failure.h"
#include "undo/undo.h"

namespace tidewell::gui {

namespace {

constexpr const char* kWindowTitle = "Marrowby Options";
constexpr const char* kPageTab = "Search And Replace";
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
  return report;
}

// The host object the page is given: the client and its folders come from
// the stores, the status and the help go to the window.
class WindowHost : public Host {
 public:
  WindowHost(Host& stores, OptionsWindow& window) : stores_(stores), window_(window) {}

  std::shared_ptr<Application> OutlookApplication() override {
    return stores_.OutlookApplication();
  }
  void OnStatusChange() override { window_.PageStatusChanged(); }
  FolderLookup& engine() override { return stores_.engine(); }
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

  // Undo acts on the files, not on the page's settings: it stands apart, on
  // the left, away from OK, Cancel and Apply.
  auto* buttonRow = new QHBoxLayout;
  if (env_ != nullptr) {
    auto* undo = new QPushButton(QStringLiteral("Undo Last Run..."), this);
    undo->setObjectName(QStringLiteral("cmdUndoLastRun"));
    undo->setAutoDefault(false);
    connect(undo, &QPushButton::clicked, this, [this] { UndoLastRun(); });
    buttonRow->addWidget(undo);
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
      const std::unique_ptr<RunSession> run = StartRun();
      if (run) click();
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

void OptionsWindow::UndoLastRun() {
  Guarded(
      [this](const std::exception& failure) { ShowFailure(failure); },
      [this] {
        Ui& ui = components_.ui();
        const std::unique_ptr<RunSession> session = StartRun();
        if (!session) return;
        const RunList& runs = session->Runs();
        const RunSummary* newest = runs.NewestToUndo();
        if (newest == nullptr) {
          ui.MsgBox(kNoRunToUndo, MsgBoxButtons::OkOnly, kBoxTitle);
          return;
        }
        const JournalRun run = LoadRun(*newest);
        if (ui.MsgBox(UndoQuestion(run), MsgBoxButtons::YesNo, kBoxTitle) != MsgBoxResult::Yes) {
          return;
        }
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const UndoOutcome outcome = UndoJournalRun(run, *env_->store, components_);
        QApplication::restoreOverrideCursor();
        ui.MsgBox(UndoReport(outcome), MsgBoxButtons::OkOnly, kBoxTitle);
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
