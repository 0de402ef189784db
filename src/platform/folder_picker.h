// The multi-folder picker of the host's maker (a fresh one per use).
#pragma once

#include <string>

#include "platform/folder_record.h"
#include "platform/outlook.h"

namespace tidewell {

class MultiFolderPicker {
 public:
  virtual ~MultiFolderPicker() = default;
  // Lets the user check folders of every store, starting from `folders`.
  // Returns true when the user confirmed; `folders` then holds one record per
  // checked folder (a folder checked twice is listed twice). On false,
  // `folders` is unchanged. `flag` is always true from the page.
  virtual bool PickFolders(Application& app, bool flag, FolderList& folders,
                           const std::string& caption) = 0;
};

}  // namespace tidewell
