// The window's widgets: the menu bar, the page area with its help, report
// and buttons, the run's part of the status bar, and which actions are on.
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QStatusBar>
#include <QVBoxLayout>

#include "app/discovery/store_configs.h"
#include "gui/options_window.h"

namespace tidewell::gui {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

void Describe(QWidget* widget, const char* name, const char* description) {
  widget->setAccessibleName(QString::fromUtf8(name));
  widget->setAccessibleDescription(QString::fromUtf8(description));
}

QLabel* HotHelpLabel(QWidget* parent) {
  auto* help = new QLabel(parent);
  help->setObjectName(QStringLiteral("HotHelp"));
  help->setTextFormat(Qt::PlainText);
  help->setWordWrap(true);
  help->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  help->setFrameShape(QFrame::StyledPanel);
  help->setFrameShadow(QFrame::Sunken);
  help->setMinimumHeight(3 * help->fontMetrics().lineSpacing() + 2 * help->frameWidth() + 4);
  Describe(help, "Help", "What the control under the mouse pointer is for.");
  return help;
}

QLabel* RunReportLabel(QWidget* parent) {
  auto* report = new QLabel(parent);
  report->setObjectName(QStringLiteral("RunReport"));
  report->setTextFormat(Qt::PlainText);
  report->setWordWrap(true);
  report->setTextInteractionFlags(Qt::TextSelectableByMouse);
  report->hide();
  Describe(report, "Run report", "How the last run ended, when it did not run to its end.");
  return report;
}

// An action of `menu` with its shortcut and the object name it is found by.
template <typename Slot>
QAction* AddAction(QMenu* menu, const QString& text, const QKeySequence& keys, const char* name,
                   QObject* context, Slot slot) {
  QAction* action = menu->addAction(text, context, std::move(slot));
  action->setShortcut(keys);
  action->setObjectName(QLatin1String(name));
  return action;
}

}  // namespace

void OptionsWindow::BuildMenus() {
  menuBar()->setObjectName(QStringLiteral("MenuBar"));
  Describe(menuBar(), "Menu bar", "Stores, settings and runs.");
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  open_folder_action_ =
      AddAction(file, QStringLiteral("&Open Folder..."), QKeySequence(Qt::CTRL | Qt::Key_O),
                "actionOpenFolder", this, [this] { OpenFolder(); });
  connect_action_ = AddAction(file, QStringLiteral("Connect to &Server..."),
                              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O), "actionConnectServer",
                              this, [this] { ConnectToServer(); });

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
  apply_action_ = AddAction(file, QStringLiteral("&Apply"), QKeySequence(Qt::CTRL | Qt::Key_S),
                            "actionApply", this, [this] { ApplyPage(); });
  file->addSeparator();
  close_action_ = AddAction(file, QStringLiteral("&Close"), QKeySequence(Qt::CTRL | Qt::Key_Q),
                            "actionClose", this, [this] { close(); });

  run_menu_ = menuBar()->addMenu(QStringLiteral("&Run"));
  run_menu_->setObjectName(QStringLiteral("RunMenu"));
  replace_action_ = AddAction(
      run_menu_, QStringLiteral("&Replace..."), Qt::Key_F5, "actionReplace", this, [this] {
        // Through the page's own button, so its confirmation and checks hold.
        auto* button =
            view_ ? qobject_cast<QAbstractButton*>(view_->Widget("cmdReplace")) : nullptr;
        if (button != nullptr && button->isEnabled()) button->click();
      });
  stop_action_ = AddAction(run_menu_, QStringLiteral("&Stop"), Qt::Key_Escape, "actionStop", this,
                           [this] { RequestStop(); });
  regex_action_ = run_menu_->addAction(QStringLiteral("Use Regular Expressions"));
  regex_action_->setCheckable(true);
  regex_action_->setObjectName(QStringLiteral("actionUseRegularExpressions"));
  regex_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
  connect(regex_action_, &QAction::toggled, this, [this](bool on) { UseRegex(on); });
  run_menu_->addSeparator();
  preview_action_ = AddAction(run_menu_, QStringLiteral("&Preview Changes..."),
                              QKeySequence(Qt::CTRL | Qt::Key_P), "actionPreviewChanges", this,
                              [this] { PreviewChanges(); });
  history_action_ =
      AddAction(run_menu_, QStringLiteral("Run &History..."), QKeySequence(Qt::CTRL | Qt::Key_H),
                "actionRunHistory", this, [this] { ShowRunHistory(); });
  // Ctrl+Z alone belongs to the text boxes.
  undo_action_ = AddAction(run_menu_, QStringLiteral("&Undo Last Run..."),
                           QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Z), "actionUndoLastRun", this,
                           [this] { UndoLastRun(); });
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
  help_ = HotHelpLabel(page_area_);
  run_report_ = RunReportLabel(page_area_);
  BuildButtonRow(BuildDialogButtons());

  auto* layout = new QVBoxLayout(page_area_);
  layout->addWidget(tabs_, 1);
  layout->addWidget(help_);
  layout->addWidget(run_report_);
  layout->addWidget(button_row_);
  views_->addWidget(page_area_);
  BuildRunStatus();
}

QDialogButtonBox* OptionsWindow::BuildDialogButtons() {
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
  return buttons;
}

void OptionsWindow::BuildButtonRow(QDialogButtonBox* buttons) {
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
}

void OptionsWindow::BuildRunStatus() {
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

}  // namespace tidewell::gui
