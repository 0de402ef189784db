// The page's own settings: LoadValues and Apply.
#include <exception>
#include <string>

#include "fields/conversions.h"
#include "page/uc1.h"
#include "platform/failure.h"

namespace tidewell {

namespace {
constexpr const char* kNotFound = "Not Found";
}  // namespace

void UC1::LoadValues() {
  int32_t line = 0;
  try {
    line = 4;
    txtSearchFor.SetText(ReadSetting("SearchFor", ""));
    txtReplaceWith.SetText(ReadSetting("ReplaceWith", ""));
    chkCaseSensitive.SetValue(CInt(CLng(ReadSetting("CaseSensitive", "0"))));

    line = 6;
    lblFolderName.SetCaption("");
    ProgressBar1.SetVisible(false);

    line = 8;
    const int32_t count = CLng(ReadSetting("FolderCount", "0"));

    line = 10;
    folders_.emplace();
    lstFolderList.Clear();
    ForEachFolderSlot(count, [&](const std::string& slot, bool) {
      const std::string name = ReadSetting("FolderName" + slot, kNotFound);
      if (name == kNotFound) return;
      const std::string entryId = ReadSetting("FolderEntryId" + slot, kNotFound);
      const std::string storeId = ReadSetting("FolderStoreId" + slot, kNotFound);
      if (entryId == kNotFound) return;
      lstFolderList.AddItem(name);
      folders_->emplace_back(name, entryId,
                             storeId.empty() ? std::nullopt : std::optional<std::string>(storeId));
    });
  } catch (const std::exception& e) {
    journal_.Report(FailureFormatB(DescriptionOf(e), line), "LoadValues");
  }
}

void UC1::Apply() {
  WriteSetting("SearchFor", txtSearchFor.Text());
  WriteSetting("ReplaceWith", txtReplaceWith.Text());
  WriteSetting("CaseSensitive", std::to_string(chkCaseSensitive.Value()));
  if (!folders_) {
    WriteSetting("FolderCount", "0");
  } else {
    WriteSetting("FolderCount", std::to_string(folders_->size()));
    int32_t n = 0;
    for (const FolderRecord& folder : *folders_) {
      const std::string slot = std::to_string(++n);
      WriteSetting("FolderName" + slot, folder.Name());
      WriteSetting("FolderEntryId" + slot, folder.EntryID());
      WriteSetting("FolderStoreId" + slot, folder.StoreID());
    }
  }
  dirty_ = false;
}

}  // namespace tidewell
