// The desktop host's window, "Marrowby Options": the page UC1 in a tab
// "Search And Replace", a help area under it showing what the page's hot
// help sends, and OK, Cancel and Apply; a menu bar above with the same
// actions and the run's.
//
//   OptionsWindow window(ui);                   // no store yet: the start view
//   OptionsWindow window(components, stores);   // stores: the client and its folders
//   OptionsWindow window(env);                  // the same over a HostEnvironment, with undo
//   window.show();                              // the page loads its settings
//
// Without a store the window shows a StartView (start_view.h): the stores
// the peers' configs name, "Open Folder..." and "Connect to Server...".
// OpenStores opens a new
// HostEnvironment over the stores chosen there or in the File menu; a folder
// or server opened is remembered as `--store` remembers them, a store the
// configs name is not, and the page is built anew over them.
//
// As the page's host the window hands on the client's application and
// folder lookup of `stores`, keeps Apply enabled exactly while the page is
// Dirty (it re-reads Dirty at every OnStatusChange), and shows each hot help
// text. Leaving the page clears the help area and tells the page
// "ResetHelpText", so coming back shows the help again.
//
// OK applies a dirty page and closes; Cancel closes without applying. Enter
// in the page presses nothing. Closing the window otherwise (its title bar,
// File > Close) while the page is dirty, or opening other stores, first asks
// in a box "CloseQuestion" whether to apply the changes (Apply, Discard,
// Cancel). When Apply fails, or a handler without a trap of its own fails, a
// box captioned "Marrowby" shows the failure and the window stays open,
// still dirty.
//
// A Replace run holds the GUI thread; the window answers between its items
// (through the QtUi's run watch): the page repaints, the status bar names the
// item being checked and offers Stop ("cmdStop", Escape, Run > Stop). Stop
// ends the run after the item in hand, as SIGINT ends a terminal run, and
// the label "RunReport" then says how many items were saved, the last item
// checked, and that "Undo Last Run..." takes the run back. Everything else
// of the window is disabled while the run lasts; closing it stops the run
// and closes once it has ended.
//
// Over a HostEnvironment each run (Replace, undo) holds the journal's lock
// for its length; while another process's run holds it, a box says so and
// nothing runs. After a Replace run a results window lists the run's
// changes, its failures and its summary (results_view.h). "Preview
// Changes..." shows what a Replace over the applied settings would change
// (preview_dialog.h), "Run History..." the runs of the journal to show and
// undo (history_dialog.h). The boxes go through the Ui of the components.
#pragma once

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <memory>
#include <string>
#include <vector>

#include "app/dry_run.h"
#include "app/run_session.h"
#include "app/store_host.h"
#include "gui/page_view.h"
#include "page/uc1.h"
#include "platform/components.h"
#include "platform/host.h"

namespace tidewell::gui {

// The question before closing or leaving a dirty page.
inline constexpr const char* kUnappliedQuestion =
    "The page has changes that were not applied. Apply them first?";

class OptionsWindow : public QMainWindow {
 public:
  // No store yet: the start view. Stores opened later get `ui`, which
  // outlives the window.
  explicit OptionsWindow(Ui& ui, QWidget* parent = nullptr);
  // `components` and `stores` outlive the window.
  OptionsWindow(Components& components, Host& stores, QWidget* parent = nullptr);
  // With "Undo Last Run..." over the journal and store of `env`, which
  // outlives the window.
  explicit OptionsWindow(HostEnvironment& env, QWidget* parent = nullptr);
  ~OptionsWindow() override;

  // False while the start view is shown; Page and View need a page.
  bool HasPage() const { return page_ != nullptr; }
  UC1& Page() { return *page_; }
  PageView& View() { return *view_; }
  // The environment the page runs over; null for the start view and for a
  // page over bare components.
  HostEnvironment* Environment() const { return env_; }
  // The "Run" menu, for actions about runs.
  QMenu* RunMenu() const { return run_menu_; }

  // Opens `roots` as the stores the page runs over and remembers them. A
  // dirty page is asked about first (kUnappliedQuestion). False, with a box
  // saying why, when one is no store; false too when the user cancelled. What
  // was open stays open then.
  // `remember` false: stores the configs name, used this time only, so that
  // the configs keep naming them (a calendar added later is found too).
  bool OpenStores(const std::vector<std::string>& roots, bool remember = true);
  // The folder dialog ("Open Folder"), then OpenStores with its folder.
  void OpenFolder();
  // "Connect to Server...": the ConnectDialog (server_dialogs.h), then
  // OpenStores with its address, logging in as the user given there.
  void ConnectToServer();
  // How OpenStores opens stores: --user and --ca-file, and a test's opener.
  void SetStoreOptions(const HostOptions& options) { store_options_ = options; }

  // The host's side of the page: OnStatusChange and SetHotHelp.
  void PageStatusChanged();
  void UseRegex(bool on);
  void ShowHotHelp(const std::string& text);

  // Shows a failure that reached the host.
  void ShowFailure(const std::exception& failure);

  // Asks the Replace run going on to stop after the item in hand; nothing
  // when none is going on.
  void RequestStop();
  bool Running() const { return run_.watching; }

  // "Preview Changes...": asks to apply a dirty page first (No previews
  // nothing), then shows the preview; its Replace presses the page's
  // cmdReplace. Nothing without a HostEnvironment.
  void PreviewChanges();
  // "Run History...", modal; after an undo there the progress area shows its
  // summary. Nothing without a HostEnvironment.
  void ShowRunHistory();
  // The results window of the last run; nullptr before one ran.
  QDialog* Results() const { return results_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  OptionsWindow(Ui& ui, Components* components, Host* stores, HostEnvironment* env,
                QWidget* parent);

  void BuildMenus();
  void BuildPageArea();
  // The parts of the page area below the page, made in this order: OK,
  // Cancel and Apply; the row of preview, history and undo that holds them;
  // the run's item and Stop in the status bar.
  QDialogButtonBox* BuildDialogButtons();
  void BuildButtonRow(QDialogButtonBox* buttons);
  void BuildRunStatus();
  // Builds the page over `components` and `stores` in the page tab, in
  // place of the start view or an earlier page.
  void BuildPage(Components& components, Host& stores);
  void DropPage();
  void ShowStart();
  // Applies a dirty page; false when Apply failed (already shown).
  bool ApplyPage();
  // Nothing to ask, or the user chose Apply (which worked) or Discard.
  bool ChangesSettled();
  void UndoLastRun();
  // Opens the results window over the run `runId`, unless that run left no
  // line in the journal or the error log (it was refused or not confirmed).
  void ShowResults(const std::string& runId);
  // The journal's lock for a run; nullptr (after a box saying so) while
  // another Tidewell run holds it.
  std::unique_ptr<RunSession> StartRun();
  void Replace(const std::function<void()>& click);
  // A preview of the run over the stores open, asking logins as they did.
  DryRunOutcome Preview();
  // On a server that e-mails attendees, asks once whether the events with
  // attendees the run would change are changed too ("AttendeesQuestion",
  // default No); No leaves them alone.
  void SettleNotifyingEvents();
  // The run of one Replace click under the run watch; `closing` tells
  // whether the window closes after it.
  void Watch(const std::function<void()>& click, bool& closing);
  // The run watch of the Ui: the first call of a run locks the window.
  void ItemOpened(const std::string& name);
  bool StopWanted();
  void SetRunning(bool running);
  void UpdateActions();

  Ui& ui_;
  Components* components_ = nullptr;
  HostEnvironment* env_ = nullptr;              // null: no undo
  std::unique_ptr<HostEnvironment> owned_env_;  // stores opened by the window
  std::unique_ptr<UC1> page_;
  PageView* view_ = nullptr;

  QStackedWidget* views_ = nullptr;
  QWidget* start_ = nullptr;
  QWidget* page_area_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  QLabel* help_ = nullptr;
  QLabel* run_report_ = nullptr;
  QPushButton* apply_ = nullptr;
  QPushButton* undo_ = nullptr;
  QWidget* button_row_ = nullptr;
  QLabel* run_item_ = nullptr;
  QPushButton* stop_ = nullptr;

  QMenu* run_menu_ = nullptr;
  QMenu* found_menu_ = nullptr;
  QAction* open_folder_action_ = nullptr;
  QAction* connect_action_ = nullptr;
  QAction* apply_action_ = nullptr;
  QAction* close_action_ = nullptr;
  QAction* replace_action_ = nullptr;
  QAction* regex_action_ = nullptr;  // Run > Use Regular Expressions
  QAction* stop_action_ = nullptr;
  QAction* undo_action_ = nullptr;

  struct RunState {
    bool armed = false;     // a Replace click is under way
    bool watching = false;  // its run has begun: the window is locked
    bool stop = false;
    bool close_after = false;
    std::string last_item;
  } run_;
  bool discard_on_close_ = false;
  QPushButton* preview_ = nullptr;
  QPushButton* history_ = nullptr;
  QAction* preview_action_ = nullptr;
  QAction* history_action_ = nullptr;
  QPointer<QDialog> results_;
  HostOptions store_options_;
};

}  // namespace tidewell::gui
