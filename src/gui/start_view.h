// What the window shows before it has a store: the stores the configs of
// vdirsyncer, khard, khal and todoman name (as `tidewell stores` lists them
// when nothing is remembered), and "Open Folder..." for any other folder.
//
//   StartView start(FindStores(ProcessEnvironment()), open, openFolder);
//
// Widgets: "StartHeading", the list "FoundStores" (path and the configs that
// named it, "~/" for the home folder; several may be selected), "cmdOpenFound" (enabled while a
// store is selected; Enter or a double click on a row opens it too), "cmdOpenFolder" and
// "cmdConnectServer" ("Connect to Server...", shown when `connectServer` is given). With no
// store found, the list gives way to the label "NoStoreFound", which says so.
// ShowServers adds the servers vdirsyncer's config names: the list "FoundServers" (the URL,
// who logs in and where the password comes from; one row at a time) and "cmdOpenServer".
#pragma once

#include <QBoxLayout>
#include <QPushButton>
#include <QTreeWidget>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "app/discovery/server_configs.h"
#include "app/discovery/store_configs.h"

namespace tidewell::gui {

inline constexpr const char* kNoStoreFound =
    "The configs of vdirsyncer, khard, khal and todoman name no store. Open the folder that "
    "holds your address books and calendars.";

class StartView : public QWidget {
 public:
  // `open` gets the roots chosen, in the list's order; `openFolder` is asked
  // for the folder dialog, `connectServer` for the server's address.
  StartView(const std::vector<FoundStore>& found,
            std::function<void(const std::vector<std::string>&)> open,
            std::function<void()> openFolder, std::function<void()> connectServer = {},
            QWidget* parent = nullptr);

  // Lists `servers` under the stores; `open` gets the URL of the one chosen.
  // Nothing is shown for none.
  void ShowServers(const std::vector<FoundServer>& servers,
                   std::function<void(const std::string& url)> open);

 private:
  // The list of `found` with its caption, into `layout`; open_found_ is made
  // here but laid out by the caller, in the row of buttons.
  void ListFound(const std::vector<FoundStore>& found, QVBoxLayout& layout);
  void AddOpenButtons(std::function<void()> openFolder, std::function<void()> connectServer,
                      QHBoxLayout& buttons);
  std::vector<std::string> Selected() const;

  std::function<void(const std::vector<std::string>&)> open_;
  QTreeWidget* list_ = nullptr;
  QPushButton* open_found_ = nullptr;
};

}  // namespace tidewell::gui
