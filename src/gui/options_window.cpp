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

#include "adapters/logbook/journal_reader.h"
#include "adapters/logbook/run_index.h"
#include "adapters/logbook/run_session.h"
#include "app/discovery/store_configs.h"
#include "app/dry_run.h"
#include "app/platform_components.h"
#include "app/run_report.h"
#include "app/run_start.h"
#include "gui/history_dialog.h"
#include "gui/preview_dialog.h"
#include "gui/qt_ui.h"
#include "gui/results_view.h"
#include "gui/server_dialogs.h"
#include "gui/start_view.h"
#include "page/page_layout.h"
#include "platform/failure.h"
#include "undo/undo.h"

namespace tidewell::gui {

namespace {

constexpr const char* kWindowTitle = "Marrowby Options";
constexpr const char* kPageTab = "Search And Replace";
constexpr const char* kBoxTitle = "Marrowby";
// A box taller than the screen hides its OK button; the journal keeps them all.
constexpr size_t kSkipsShown = 20;

QString Q(const std::string& text) { return QString::fromStdString(text); }

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

void Describe(QWidget* widget, const char* name, const char* description) {
  widget->setAccessibleName(QString::fromUtf8(name));
  widget->setAccessibleDescription(QString::fromUtf8(description));
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

void OptionsWindow::BuildMenus() {
  menuBar()->setObjectName(QStringLiteral("MenuBar"));
  Describe(menuBar(), "Menu bar", "Stores, settings and runs.");
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  open_folder_action_ =
      file->addAction(QStringLiteral("&Open Folder..."), this, [this] { OpenFolder(); });
  open_folder_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  open_folder_action_->setObjectName(QStringLiteral("actionOpenFolder"));
  connect_action_ =
      file->addAction(QStringLiteral("Connect to &Server..."), this, [this] { ConnectToServer(); });
  connect_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
  connect_action_->setObjectName(QStringLiteral("actionConnectServer"));

  // Read at each opening: a store added to a config since is offered too.
  found_menu_ = file->addMenu(QStringLiteral("Open Store &Found"));
  found_menu_->setObjectName(QStringLiteral("FoundStoresMenu"));
  connect(found_menu_, &QMenu::aboutToShow, this, [this] {
    found_menu_->clear();
    const std::vector<FoundStore> found = FindStores(ProcessEnvironment());
    for (const FoundStore& store : found) {
      // A path is no menu text: an "&" in it is no mnemonic.
      found_menu_->addAction(Q(store.path).replace(QLatin1Char('&'), QStringLiteral("&&")), this,
                             [this, root = store.path] { OpenStores({root}, false); });
    }
    if (found.empty()) {
      found_menu_->addAction(QStringLiteral("None named in the configs"))->setEnabled(false);
    }
  });

  file->addSeparator();
  apply_action_ = file->addAction(QStringLiteral("&Apply"), this, [this] { ApplyPage(); });
  apply_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  apply_action_->setObjectName(QStringLiteral("actionApply"));
  file->addSeparator();
  close_action_ = file->addAction(QStringLiteral("&Close"), this, [this] { close(); });
  close_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  close_action_->setObjectName(QStringLiteral("actionClose"));

  run_menu_ = menuBar()->addMenu(QStringLiteral("&Run"));
  run_menu_->setObjectName(QStringLiteral("RunMenu"));
  replace_action_ = run_menu_->addAction(QStringLiteral("&Replace..."), this, [this] {
    // Through the page's own button, so its confirmation and checks hold.
    auto* button = view_ ? qobject_cast<QAbstractButton*>(view_->Widget("cmdReplace")) : nullptr;
    if (button != nullptr && button->isEnabled()) button->click();
  });
  replace_action_->setShortcut(Qt::Key_F5);
  replace_action_->setObjectName(QStringLiteral("actionReplace"));
  stop_action_ = run_menu_->addAction(QStringLiteral("&Stop"), this, [this] { RequestStop(); });
  stop_action_->setShortcut(Qt::Key_Escape);
  stop_action_->setObjectName(QStringLiteral("actionStop"));
  regex_action_ = run_menu_->addAction(QStringLiteral("Use Regular Expressions"));
  regex_action_->setCheckable(true);
  regex_action_->setObjectName(QStringLiteral("actionUseRegularExpressions"));
  regex_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
  connect(regex_action_, &QAction::toggled, this, [this](bool on) { UseRegex(on); });
  run_menu_->addSeparator();
  preview_action_ = run_menu_->addAction(QStringLiteral("&Preview Changes..."), this,
                                         [this] { PreviewChanges(); });
  preview_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  preview_action_->setObjectName(QStringLiteral("actionPreviewChanges"));
  history_action_ =
      run_menu_->addAction(QStringLiteral("Run &History..."), this, [this] { ShowRunHistory(); });
  history_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
  history_action_->setObjectName(QStringLiteral("actionRunHistory"));
  undo_action_ =
      run_menu_->addAction(QStringLiteral("&Undo Last Run..."), this, [this] { UndoLastRun(); });
  // Ctrl+Z alone belongs to the text boxes.
  undo_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Z));
  undo_action_->setObjectName(QStringLiteral("actionUndoLastRun"));
}

void OptionsWindow::BuildPageArea() {
  views_ = new QStackedWidget(this);
  views_->setObjectName(QStringLiteral("Views"));
  setCentralWidget(views_);

  page_area_ = new QWidget(views_);
  page_area_->setObjectName(QStringLiteral("PageArea"));
  tabs_ = new QTabWidget(page_area_);
  tabs_->setObjectName(QStringLiteral("OptionsTabs"));
  Describe(tabs_, "Options", "The options pages.");
  // One page: its tab is a title, not a stop on the way through the window.
  tabs_->tabBar()->setFocusPolicy(Qt::NoFocus);

  help_ = new QLabel(page_area_);
  help_->setObjectName(QStringLiteral("HotHelp"));
  help_->setTextFormat(Qt::PlainText);
  help_->setWordWrap(true);
  help_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  help_->setFrameShape(QFrame::StyledPanel);
  help_->setFrameShadow(QFrame::Sunken);
  help_->setMinimumHeight(3 * help_->fontMetrics().lineSpacing() + 2 * help_->frameWidth() + 4);
  Describe(help_, "Help", "What the control under the mouse pointer is for.");

  run_report_ = new QLabel(page_area_);
  run_report_->setObjectName(QStringLiteral("RunReport"));
  run_report_->setTextFormat(Qt::PlainText);
  run_report_->setWordWrap(true);
  run_report_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  run_report_->hide();
  Describe(run_report_, "Run report", "How the last run ended, when it did not run to its end.");

  auto* buttons = new QDialogButtonBox(
      QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, page_area_);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  ok->setObjectName(QStringLiteral("HostOk"));
  Describe(ok, "OK", "Applies the changes to the settings and closes the window.");
  QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel);
  cancel->setObjectName(QStringLiteral("HostCancel"));
  Describe(cancel, "Cancel", "Closes the window without applying the changes.");
  apply_ = buttons->button(QDialogButtonBox::Apply);
  apply_->setObjectName(QStringLiteral("HostApply"));
  Describe(apply_, "Apply", "Saves the changes to the settings; Replace runs on saved settings.");
  apply_->setEnabled(false);
  for (QAbstractButton* button : buttons->buttons()) {
    if (auto* push = qobject_cast<QPushButton*>(button)) push->setAutoDefault(false);
  }
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    if (ApplyPage()) close();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, [this] {
    discard_on_close_ = true;
    close();
    discard_on_close_ = false;
  });
  connect(apply_, &QPushButton::clicked, this, [this] { ApplyPage(); });

  // Preview, history and undo act on the files, not on the page's settings:
  // they stand apart, on the left, away from OK, Cancel and Apply.
  button_row_ = new QWidget(page_area_);
  auto* buttonRow = new QHBoxLayout(button_row_);
  buttonRow->setContentsMargins(0, 0, 0, 0);
  preview_ = new QPushButton(QStringLiteral("Preview Changes..."), button_row_);
  preview_->setObjectName(QStringLiteral("cmdPreviewChanges"));
  Describe(preview_, "Preview Changes",
           "Lists what Replace would change over the applied settings, changing nothing.");
  connect(preview_, &QPushButton::clicked, this, [this] { PreviewChanges(); });
  history_ = new QPushButton(QStringLiteral("Run History..."), button_row_);
  history_->setObjectName(QStringLiteral("cmdRunHistory"));
  Describe(history_, "Run History", "Lists the runs made, to show or undo any of them.");
  connect(history_, &QPushButton::clicked, this, [this] { ShowRunHistory(); });
  for (QPushButton* button : {preview_, history_}) {
    button->setAutoDefault(false);
    buttonRow->addWidget(button);
  }
  undo_ = new QPushButton(QStringLiteral("Undo Last Run..."), button_row_);
  undo_->setObjectName(QStringLiteral("cmdUndoLastRun"));
  undo_->setAutoDefault(false);
  Describe(undo_, "Undo Last Run",
           "Gives the fields the newest run changed their old values back, after asking.");
  connect(undo_, &QPushButton::clicked, this, [this] { UndoLastRun(); });
  buttonRow->addWidget(undo_);
  buttonRow->addWidget(buttons);

  auto* layout = new QVBoxLayout(page_area_);
  layout->addWidget(tabs_, 1);
  layout->addWidget(help_);
  layout->addWidget(run_report_);
  layout->addWidget(button_row_);
  views_->addWidget(page_area_);

  run_item_ = new QLabel;
  run_item_->setObjectName(QStringLiteral("RunItem"));
  run_item_->setTextFormat(Qt::PlainText);
  Describe(run_item_, "Item being checked", "The item the run is looking at now.");
  stop_ = new QPushButton(QStringLiteral("Stop"));
  stop_->setObjectName(QStringLiteral("cmdStop"));
  Describe(stop_, "Stop",
           "Stops the run after the item in hand; Undo Last Run takes back what it changed.");
  connect(stop_, &QPushButton::clicked, this, [this] { RequestStop(); });
  statusBar()->setObjectName(QStringLiteral("StatusBar"));
  statusBar()->setSizeGripEnabled(true);
  statusBar()->addWidget(run_item_, 1);
  statusBar()->addPermanentWidget(stop_);
  run_item_->hide();
  stop_->hide();
}

void OptionsWindow::ShowStart() {
  DropPage();
  delete start_;
  auto* start = new StartView(
      FindStores(ProcessEnvironment()),
      [this](const std::vector<std::string>& roots) { OpenStores(roots, false); },
      [this] { OpenFolder(); }, [this] { ConnectToServer(); }, views_);
  start->ShowServers(FindServers(ProcessEnvironment()),
                     [this](const std::string& url) { OpenStores({url}); });
  start_ = start;
  views_->insertWidget(0, start_);
  views_->setCurrentWidget(start_);
  UpdateActions();
}

void OptionsWindow::BuildPage(Components& components, Host& stores) {
  DropPage();
  components_ = &components;
  page_ = std::make_unique<UC1>(components);
  {
    const QSignalBlocker quiet(regex_action_);
    regex_action_->setChecked(RegexSetting(components.Settings(), components.Support()));
  }
  view_ = new PageView(*page_, [this](const std::exception& failure) { ShowFailure(failure); });
  tabs_->addTab(view_, QString::fromLatin1(kPageTab));
  view_->installEventFilter(this);
  // The page is built after the buttons below it; Tab must still go through
  // it first, in its own order, then to the buttons.
  QWidget* previous = tabs_->tabBar();
  for (const ControlLayout& row : kPageLayout) {
    QWidget* widget = view_->Widget(row.name);
    if ((widget->focusPolicy() & Qt::TabFocus) == 0) continue;
    setTabOrder(previous, widget);
    previous = widget;
  }
  setTabOrder(previous, preview_);
  setTabOrder(preview_, history_);
  setTabOrder(history_, undo_);
  view_->Widget(page_->txtSearchFor.Name())->setFocus(Qt::OtherFocusReason);
  page_->SetHost(std::make_shared<WindowHost>(stores, *this));
  page_->cmdReplace.Click = [this, click = page_->cmdReplace.Click] { Replace(click); };
  if (auto* qt = dynamic_cast<QtUi*>(&ui_)) qt->SetPage(view_);

  for (QPushButton* button : {preview_, history_, undo_}) button->setVisible(env_ != nullptr);
  run_report_->hide();
  views_->setCurrentWidget(page_area_);
  if (start_ != nullptr) {
    start_->deleteLater();
    start_ = nullptr;
  }
  UpdateActions();
}

void OptionsWindow::DropPage() {
  if (!page_) return;
  page_->Terminate();
  // The view's widgets call into the page; they must go first.
  tabs_->removeTab(tabs_->indexOf(view_));
  delete view_;
  view_ = nullptr;
  page_.reset();
  components_ = nullptr;
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

void OptionsWindow::UpdateActions() {
  const bool idle = !run_.watching;
  const bool page = page_ != nullptr;
  open_folder_action_->setEnabled(idle);
  connect_action_->setEnabled(idle);
  found_menu_->setEnabled(idle);
  apply_action_->setEnabled(idle && page && page_->Dirty());
  replace_action_->setEnabled(idle && page);
  regex_action_->setEnabled(idle && page);
  stop_action_->setEnabled(run_.watching && !run_.stop);
  stop_->setEnabled(run_.watching && !run_.stop);
  for (QAction* action : {preview_action_, history_action_, undo_action_}) {
    action->setVisible(env_ != nullptr);
    action->setEnabled(idle && page && env_ != nullptr);
  }
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
