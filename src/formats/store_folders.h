// What every store's NameSpace does the same way over the folders it lists:
// offering them in the host's folder dialog and finding the default contacts
// folder. A folder here is any record with `name`, `entry_id` and `store`
// (the index of its store's root).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/failure.h"
#include "platform/outlook.h"
#include "platform/ui.h"

namespace tidewell::formats {

// The index of the folder the user picks among `folders` in the host's
// dialog, each offered by its name under its store's root (`roots[store]`);
// nothing when the user cancels.
template <typename Folder, typename Roots>
std::optional<size_t> PickFolderIndex(Ui& ui, const std::vector<Folder>& folders,
                                      const Roots& roots) {
  std::vector<FolderChoice> choices;
  choices.reserve(folders.size());
  for (const Folder& f : folders) choices.push_back({f.name, f.entry_id, roots[f.store]});
  const std::optional<size_t> chosen = ui.PickFolder(choices);
  if (!chosen || *chosen >= folders.size()) return std::nullopt;
  return chosen;
}

// The default folder of type `folderType`: the first folder `list()` gives
// that `holdsContacts`. Only contacts have a default folder: any other type
// throws NoDefaultFolder before the folders are listed, and a store where no
// folder holds contacts throws Failure.
template <typename List, typename HoldsContacts>
auto DefaultContactsFolder(int32_t folderType, List list, HoldsContacts holdsContacts) {
  if (folderType != olFolderContacts) throw NoDefaultFolder(folderType);
  for (auto& f : list()) {
    if (holdsContacts(f)) return std::move(f);
  }
  throw Failure("No folder of the store holds contacts.");
}

}  // namespace tidewell::formats
