#include "support/ui_folder_picker.h"

#include <algorithm>

#include "platform/failure.h"

namespace tidewell {

bool UiMultiFolderPicker::PickFolders(Application& app, bool, FolderList& folders,
                                      const std::string& caption) {
  std::vector<FolderChoice> offered;
  for (const auto& folder : app.GetNamespace("MAPI")->AllFolders()) {
    offered.push_back({folder->Name(), folder->EntryID(), folder->StoreID()});
  }

  std::vector<size_t> checked;
  for (size_t i = 0; i < offered.size(); ++i) {
    const bool listed = std::any_of(folders.begin(), folders.end(), [&](const FolderRecord& r) {
      return r.EntryID() == offered[i].entry_id && r.StoreID() == offered[i].store_id;
    });
    if (listed) checked.push_back(i);
  }

  const std::optional<std::vector<size_t>> chosen = ui_.PickFolders(offered, checked, caption);
  if (!chosen) return false;

  FolderList picked;
  for (size_t index : *chosen) {
    if (index >= offered.size()) {
      throw Failure("The folder picker chose folder " + std::to_string(index + 1) + " of " +
                    std::to_string(offered.size()) + ".");
    }
    const FolderChoice& choice = offered[index];
    picked.emplace_back(choice.name, choice.entry_id, choice.store_id);
  }
  folders = std::move(picked);
  return true;
}

}  // namespace tidewell
