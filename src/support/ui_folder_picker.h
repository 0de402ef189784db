// The multi-folder picker on the Ui's check-list window: every folder of
// every store is offered, those already in the page's list start checked.
#pragma once

#include "platform/folder_picker.h"
#include "platform/ui.h"

namespace tidewell {

class UiMultiFolderPicker : public MultiFolderPicker {
 public:
  // `ui` must outlive the picker.
  explicit UiMultiFolderPicker(Ui& ui) : ui_(ui) {}

  // Offers app.GetNamespace("MAPI")->AllFolders() under `caption`; a folder
  // starts checked when an entry of `folders` has its entry id and store id
  // (an unset store id counts as ""). On confirm, `folders` becomes one
  // record per index the window returned, in its order, duplicates kept, each
  // with the folder's Name, EntryID and StoreID. `flag` changes nothing.
  // Throws Failure when the client fails or the window returns an index it
  // was not offered; `folders` is then unchanged.
  bool PickFolders(Application& app, bool flag, FolderList& folders,
                   const std::string& caption) override;

 private:
  Ui& ui_;
};

}  // namespace tidewell
