#include "gui/options_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QScopeGuard>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QVBoxLayout>
#include <optional>
#include <utility>

#include "app/discovery/store_configs.h"
#include "app/dry_run.h"
#include "app/platform_components.h"
#include "app/run_index.h"
#include "app/run_report.h"
#include "app/run_session.h"
#include "app/run_start.h"
#include "gui/history_dialog.h"
#include "gui/preview_dialog.h"
#include "gui/qt_ui.h"
#include "gui/results_view.h"
#include "gui/server_dialogs.h"
#include "gui/start_view.h"
#include "journal/journal_runs.h"
#include "page/page_layout.h"
#include "platform/failure.h"
#include "undo/undo.h"

namespace tidewell::gui {

namespace {

constexpr const char* kWindowTitle = "Marrowby Options";
constexpr const char* kBoxTitle = "Marrowby";

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

OptionsWindow::OptionsWindow(Ui& ui, QWidget* parent)
    : OptionsWindow(ui, nullptr, nullptr, nullptr, parent) {}

OptionsWindow::OptionsWindow(Components& components, Host& stores, QWidget* parent)
    : OptionsWindow(components.ui(), &components, &stores, nullptr, parent) {}

OptionsWindow::OptionsWindow(HostEnvironment& env, QWidget* parent)
    : OptionsWindow(env.components->ui(), env.components.get(), env.host.get(), &env, parent) {}

OptionsWindow::OptionsWindow(Ui& ui, Components* components, Host* stores, HostEnvironment* env,
                             QWidget* parent)
    : QMainWindow(parent), ui_(ui), env_(env) {
  setObjectName(QStringLiteral("OptionsWindow"));
  setWindowTitle(QString::fromLatin1(kWindowTitle));
  BuildMenus();
  BuildPageArea();

  if (auto* qt = dynamic_cast<QtUi*>(&ui_)) {
    qt->SetWindow(this);
    QPointer<OptionsWindow> guard(this);
    qt->SetRunWatch(
        [guard](const std::string& name) {
          if (guard) guard->ItemOpened(name);
        },
        [guard] { return guard && guard->StopWanted(); });
  }
  if (components != nullptr) {
    BuildPage(*components, *stores);
  } else {
    ShowStart();
  }
}

// The Ui's run watch outlives the window harmlessly: it holds the window
// through a QPointer.
OptionsWindow::~OptionsWindow() { DropPage(); }

bool OptionsWindow::OpenStores(const std::vector<std::string>& roots, bool remember) {
  if (roots.empty() || run_.armed || !ChangesSettled()) return false;
  std::unique_ptr<HostEnvironment> fresh;
  try {
    HostOptions options = store_options_;
    options.remember_given = remember;
    fresh = std::make_unique<HostEnvironment>(ui_, roots, options);
  } catch (const std::exception& failure) {
    ShowFailure(failure);
    return false;
  }
  // The old page goes before the environment it runs over.
  DropPage();
  env_ = fresh.get();
  owned_env_.swap(fresh);
  fresh.reset();
  BuildPage(*env_->components, *env_->host);
  if (isVisible()) {
    Guarded([this](const std::exception& failure) { ShowFailure(failure); },
            [this] { page_->Show(); });
    PageStatusChanged();
  }
  return true;
}

void OptionsWindow::OpenFolder() {
  if (run_.armed) return;
  QFileDialog dialog(this, QStringLiteral("Open Folder"), QDir::homePath());
  dialog.setObjectName(QStringLiteral("OpenFolderDialog"));
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  if (dialog.exec() != QDialog::Accepted) return;
  const QString folder = dialog.selectedFiles().value(0);
  if (!folder.isEmpty()) OpenStores({folder.toStdString()});
}

void OptionsWindow::ConnectToServer() {
  if (run_.armed) return;
  ConnectDialog dialog(store_options_.store.user, this);
  if (dialog.exec() != QDialog::Accepted || dialog.Url().empty()) return;
  const HostOptions before = store_options_;
  store_options_.store.user = dialog.User();
  if (!OpenStores({dialog.Url()})) store_options_ = before;
}

DryRunOutcome OptionsWindow::Preview() {
  return PreviewRun(*env_, store_options_, false, {},
                    [this](const std::string& where, const std::string& user) {
                      auto* qt = dynamic_cast<QtUi*>(&ui_);
                      if (auto given = qt ? qt->GivenCredentials(where) : std::nullopt) {
                        return given;
                      }
                      return ui_.AskCredentials(where, user);
                    });
}

void OptionsWindow::SettleNotifyingEvents() {
  if (env_ == nullptr) return;
  SettleNotifying(
      *env_->store,
      [this] {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto cursor = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        return Preview().notifying_events;
      },
      [this](size_t events) { return AgreesToNotify(events, this); });
}

std::unique_ptr<RunSession> OptionsWindow::StartRun() {
  try {
    return tidewell::StartRun(*env_, RunWait{});
  } catch (const RunInProgress& busy) {
    ui_.MsgBox(busy.what(), MsgBoxButtons::OkOnly, kBoxTitle);
    return nullptr;
  }
}

void OptionsWindow::Replace(const std::function<void()>& click) {
  // The window answers during a run: no second run may start inside it.
  if (run_.armed) return;
  std::string id;
  bool closing = false;
  {
    // A run holds the journal for its whole length; one going on elsewhere
    // refuses this one (in a box) rather than freezing the window.
    std::unique_ptr<RunSession> session;
    if (env_ != nullptr) {
      session = StartRun();
      if (!session) return;
      id = session->Id();
      bool settled = false;
      Guarded([this](const std::exception& failure) { ShowFailure(failure); },
              [this, &settled] {
                SettleNotifyingEvents();
                settled = true;
              });
      if (!settled) return;
    }
    Watch(click, closing);
  }
  // The session indexed the run as it ended: the journal can be read now.
  if (!id.empty() && !closing && page_) ShowResults(id);
}

void OptionsWindow::Watch(const std::function<void()>& click, bool& closing) {
  run_ = RunState{};
  run_.armed = true;
  run_report_->hide();
  const auto finish = qScopeGuard([this, &closing] {
    if (run_.watching) SetRunning(false);
    if (page_ && page_->StoppedRun()) {
      std::string report = "Stopped after " + std::to_string(*page_->StoppedRun()) +
                           " items; Undo Last Run takes this run back.";
      if (!run_.last_item.empty()) report += "\nLast item checked: " + run_.last_item;
      run_report_->setText(Q(report));
      run_report_->show();
    }
    const bool close_after = run_.close_after;
    closing = close_after;
    run_ = RunState{};
    UpdateActions();
    if (close_after) QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  });
  click();
}

void OptionsWindow::ItemOpened(const std::string& name) {
  if (!run_.armed) return;
  if (!run_.watching) SetRunning(true);
  if (!name.empty()) {
    run_.last_item = name;
    if (!run_.stop) run_item_->setText(Q("Checking " + name));
  }
  QApplication::processEvents();
}

bool OptionsWindow::StopWanted() {
  if (!run_.armed) return false;
  if (!run_.watching) SetRunning(true);
  QApplication::processEvents();
  return run_.stop;
}

void OptionsWindow::RequestStop() {
  if (!run_.watching || run_.stop) return;
  run_.stop = true;
  run_item_->setText(QStringLiteral("Stopping after the item in hand..."));
  UpdateActions();
}

void OptionsWindow::SetRunning(bool running) {
  run_.watching = running;
  // The page and its buttons take no input while the run holds them; the
  // page still repaints its progress.
  tabs_->setEnabled(!running);
  button_row_->setEnabled(!running);
  run_item_->setVisible(running);
  stop_->setVisible(running);
  if (running) {
    stop_->setFocus(Qt::OtherFocusReason);
  } else {
    run_item_->clear();
  }
  UpdateActions();
}

// The setting is the host's, outside the page's keys: saved at once, and the
// page gets a matcher of the syntax chosen.
void OptionsWindow::UseRegex(bool on) {
  if (!page_ || run_.watching) return;
  Guarded([this](const std::exception& failure) { ShowFailure(failure); },
          [&] {
            SaveRegexSetting(components_->Settings(), components_->Support(), on);
            page_->regularExpressions = components_->CreatePatternMatcher();
          });
  view_->ShowPatternFault();
}

void OptionsWindow::PageStatusChanged() {
  apply_->setEnabled(page_->Dirty());
  UpdateActions();
}

void OptionsWindow::ShowHotHelp(const std::string& text) { help_->setText(Q(text)); }

void OptionsWindow::ShowFailure(const std::exception& failure) {
  QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kBoxTitle), Q(DescriptionOf(failure)),
                  QMessageBox::Ok, this);
  box.setObjectName(QStringLiteral("FailureBox"));
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

bool OptionsWindow::ApplyPage() {
  if (!page_ || !page_->Dirty()) return true;
  bool applied = false;
  Guarded([this](const std::exception& failure) { ShowFailure(failure); },
          [this, &applied] {
            page_->Apply();
            applied = true;
          });
  PageStatusChanged();
  return applied;
}

bool OptionsWindow::ChangesSettled() {
  if (!page_ || !page_->Dirty()) return true;
  QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kBoxTitle),
                  QString::fromLatin1(kUnappliedQuestion),
                  QMessageBox::Apply | QMessageBox::Discard | QMessageBox::Cancel, this);
  box.setObjectName(QStringLiteral("CloseQuestion"));
  box.setDefaultButton(QMessageBox::Apply);
  box.setEscapeButton(QMessageBox::Cancel);
  box.exec();
  switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Apply:
      return ApplyPage();
    case QMessageBox::Discard:
      return true;
    default:
      return false;
  }
}

void OptionsWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // Restoring a minimised window is no new showing of the page.
  if (event->spontaneous() || !page_) return;
  Guarded([this](const std::exception& failure) { ShowFailure(failure); },
          [this] { page_->Show(); });
  PageStatusChanged();
}

void OptionsWindow::closeEvent(QCloseEvent* event) {
  if (run_.armed) {
    // The run ends at its next item (or at its first, when it is still
    // asking), and the window closes after it.
    if (run_.watching) {
      RequestStop();
    } else {
      run_.stop = true;
    }
    run_.close_after = true;
    event->ignore();
    return;
  }
  if (!discard_on_close_ && !ChangesSettled()) {
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
}

bool OptionsWindow::eventFilter(QObject* watched, QEvent* event) {
  if (view_ != nullptr && watched == view_ && event->type() == QEvent::Leave) {
    help_->clear();
    page_->SendPropMessage("ResetHelpText", "");
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace tidewell::gui
