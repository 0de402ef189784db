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
// nothing runs. The window also has "Undo Last Run..." beside its
// buttons: it names the newest run of the journal that is no undo and was
// not undone (its time and "Looking for" line) in a Yes/No box, and on Yes gives the run's fields
// their old values back and shows the summary line and any skipped fields in a box captioned
// "Marrowby". The boxes go through the Ui of the components.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <memory>

#include "adapters/logbook/run_session.h"
#include "app/store_host.h"
#include "gui/page_view.h"
#include "page/uc1.h"
#include "platform/components.h"
#include "platform/host.h"

namespace tidewell::gui {

class OptionsWindow : public QDialog {
 public:
  // `components` and `stores` outlive the window.
  OptionsWindow(Components& components, Host& stores, QWidget* parent = nullptr)
      : OptionsWindow(components, stores, nullptr, parent) {}
  // With "Undo Last Run..." over the journal and store of `env`, which
  // outlives the window.
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

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  OptionsWindow(Components& components, Host& stores, HostEnvironment* env, QWidget* parent);

  // Applies a dirty page; false when Apply failed (already shown).
  bool ApplyPage();
  void UndoLastRun();
  // The journal's lock for a run; nullptr (after a box saying so) while
  // another Tidewell run holds it.
  std::unique_ptr<RunSession> StartRun();

  Components& components_;
  HostEnvironment* env_;  // null: no undo
  std::unique_ptr<UC1> page_;
  PageView* view_;
  QLabel* help_;
  QPushButton* apply_;
};

}  // namespace tidewell::gui
