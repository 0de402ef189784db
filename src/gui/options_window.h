// The desktop host's window, "Marrowby Options": the page UC1 in a tab
// "Search And Replace", a help area under it showing what the page's hot
// help sends, and OK, Cancel and Apply.
//
//   OptionsWindow window(components, stores);   // stores: the client and its folders
//   OptionsWindow window(env);                  // the same over a HostEnvironment, with undo
//   window.show();                              // the page loads its settings
//
// As the page's host the window hands on the client's application and
// folder lookup of `stores`, keeps Apply enabled exactly while the page is
// Dirty (it re-reads Dirty at every OnStatusChange), and shows each hot help
// text. Leaving the page clears the help area and tells the page
// "ResetHelpText", so coming back shows the help again.
//
// OK applies a dirty page and closes; Cancel closes without applying. When
// Apply fails, or a handler without a trap of its own fails, a box captioned
// "Marrowby" shows the failure and the window stays open, still dirty.
//
// Over a HostEnvironment each run (Replace, undo) holds the journal's lock
// for its length; while another process's run holds it, a box says so and
// nothing runs. After a Replace run a results window lists the run's
// changes, its failures and its summary (results_view.h). "Preview
// Changes..." shows what a Replace over the applied settings would change
// (preview_dialog.h), "Run History..." the runs of the journal to show and
// undo (history_dialog.h). The boxes go through the Ui of the components.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <memory>

#include "gui/page_view.h"
#include "page/uc1.h"
#include "platform/components.h"
#include "platform/host.h"
#include "platform/logbook/run_session.h"
#include "platform/support/store_host.h"

namespace tidewell::gui {

class OptionsWindow : public QDialog {
 public:
  // `components` and `stores` outlive the window.
  OptionsWindow(Components& components, Host& stores, QWidget* parent = nullptr)
      : OptionsWindow(components, stores, nullptr, parent) {}
  // With "Preview Changes...", the results of a run and "Run History..." over the journal and store
  // of `env`, which outlives the window.
  explicit OptionsWindow(HostEnvironment& env, QWidget* parent = nullptr)
      : OptionsWindow(*env.components, *env.host, &env, parent) {}
  ~OptionsWindow() override;

  UC1& Page() { return *page_; }
  PageView& View() { return *view_; }

  // The host's side of the page: OnStatusChange and SetHotHelp.
  void PageStatusChanged();
  void ShowHotHelp(const std::string& text);

  // Shows a failure that reached the host.
  void ShowFailure(const std::exception& failure);

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
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  OptionsWindow(Components& components, Host& stores, HostEnvironment* env, QWidget* parent);

  // Applies a dirty page; false when Apply failed (already shown).
  bool ApplyPage();
  // Opens the results window over the run `runId`, unless that run left no
  // line in the journal or the error log (it was refused or not confirmed).
  void ShowResults(const std::string& runId);
  // The journal's lock for a run; nullptr (after a box saying so) while
  // another Tidewell run holds it.
  std::unique_ptr<RunSession> StartRun();

  Components& components_;
  HostEnvironment* env_;  // null: no undo
  std::unique_ptr<UC1> page_;
  PageView* view_;
  QLabel* help_;
  QPushButton* apply_;
  QPointer<QDialog> results_;
};

}  // namespace tidewell::gui
