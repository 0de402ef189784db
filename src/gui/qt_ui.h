// The Ui of the desktop host: real Qt windows for the page's message boxes,
// the field chooser, the two folder windows, and repaints while a run holds
// the thread.
//
//   QtUi ui;
//   PlatformComponents components(ui, settings, logbook, support);
//   OptionsWindow window(components, stores);
//   ui.SetWindow(&window);
//   ui.SetPage(&window.View());
//
// Message boxes carry no icon and are named "MsgBox"; they and the folder
// windows open over the window given to SetWindow. The field chooser opens
// with no owner window, as the page asks.
//
// A run holds the GUI thread: the item it opens and its question whether to
// stop go to the run watch a window sets, which can let the window answer
// (process its events) in between. Without a watch nothing is heard and a
// run never stops.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <string>

#include "gui/control_binding.h"
#include "gui/page_view.h"
#include "platform/ui.h"

namespace tidewell::gui {

class QtUi : public Ui {
 public:
  void SetWindow(QWidget* window) { window_ = window; }
  // The view whose widgets Repaint and SetFocus reach.
  void SetPage(PageView* view) { page_ = view; }
  // Where failures of the field chooser's handlers go; none by default.
  void SetFailureHandler(FailureHandler onFailure) { on_failure_ = std::move(onFailure); }
  // `onItem` hears each item a run opens ("" between folders); `stopWanted`
  // answers StopRequested. Either may be empty.
  void SetRunWatch(std::function<void(const std::string&)> onItem,
                   std::function<bool()> stopWanted) {
    on_item_ = std::move(onItem);
    stop_wanted_ = std::move(stopWanted);
  }

  // OK-only boxes answer Ok (Escape too); Yes/No boxes answer No for Escape.
  MsgBoxResult MsgBox(const std::string& prompt, MsgBoxButtons buttons,
                      const std::string& title) override;
  // Opens on the Contacts page and returns when the dialog's model closed it
  // (OK, Cancel, a failing store) or the user closed the window.
  void ShowFieldChooser(frmLookInFields& dialog) override;
  // "Select Folder".
  std::optional<size_t> PickFolder(const std::vector<FolderChoice>& folders) override;
  std::optional<std::vector<size_t>> PickFolders(const std::vector<FolderChoice>& folders,
                                                 const std::vector<size_t>& checked,
                                                 const std::string& caption) override;
  // Paints the control's widget before returning; a name the page does not
  // have is ignored.
  void Repaint(const std::string& controlName) override;
  void SetFocus(const std::string& controlName) override;
  void CurrentItem(const std::string& name) override {
    if (on_item_) on_item_(name);
  }
  bool StopRequested() override { return stop_wanted_ && stop_wanted_(); }
  // The LoginDialog (server_dialogs.h) over the window; nothing on Cancel.
  std::optional<Credentials> AskCredentials(const std::string& where,
                                            const std::string& user) override;
  // The same, its heading the config's `prompt`.
  std::optional<Credentials> AskPassword(const std::string& where, const std::string& user,
                                         const std::string& prompt) override;
  // The login last given for `where` in this process (memory only), so that
  // a preview of the store open does not ask again; nothing before one was.
  std::optional<Credentials> GivenCredentials(const std::string& where) const;

 private:
  QPointer<QWidget> window_;
  QPointer<PageView> page_;
  FailureHandler on_failure_;
  std::function<void(const std::string&)> on_item_;
  std::function<bool()> stop_wanted_;
  std::map<std::string, Credentials> given_;
};

}  // namespace tidewell::gui
