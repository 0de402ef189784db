// The two folder buttons. Either replaces the whole folder list; the choice
// reaches the store only at the next Apply.
#include <exception>
#include <string>

#include "page/uc1.h"
#include "platform/failure.h"
#include "platform/outlook.h"

namespace tidewell {

void UC1::cmdChooseFolder_Click() {
  try {
    auto app = host().OutlookApplication();
    auto ns = app->GetNamespace("MAPI");
    auto folder = ns->PickFolder();
    components_.ui().SetFocus(cmdChooseFolder.Name());
    if (!folder) return;

    lstFolderList.Clear();
    const std::string entryId = folder->EntryID();
    const std::string storeId = folder->StoreID();
    const std::string name = folder->Name();
    lstFolderList.AddItem(name);
    folders_ = FolderList{FolderRecord(
        name, entryId, storeId.empty() ? std::nullopt : std::optional<std::string>(storeId))};
    SetDirty();
  } catch (const std::exception& e) {
    journal_.Report(FailureFormatA(DescriptionOf(e)), "ChooseFolderButton");
  }
}

void UC1::cmdChooseMultiFolder_Click() {
  try {
    auto picker = components_.CreateMultiFolderPicker();
    auto app = host().OutlookApplication();
    const std::string caption = components_.Support().LookupText(page_strings_, "17");

    // The picker starts from the current list; a cancelled pick keeps it,
    // and "no list yet" with it.
    FolderList chosen = folders_.value_or(FolderList{});
    if (!picker->PickFolders(*app, true, chosen, caption)) return;
    folders_ = std::move(chosen);

    lstFolderList.Clear();
    for (const FolderRecord& folder : *folders_) lstFolderList.AddItem(folder.Name());
    SetDirty();
  } catch (const std::exception& e) {
    journal_.Report(FailureFormatA(DescriptionOf(e)), "ChooseMultiFolderButton");
  }
}

}  // namespace tidewell
