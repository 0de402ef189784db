#include <filesystem>

#include "cli/command_context.h"
#include "cli/suggestions.h"

namespace tidewell::cli {

namespace {

bool SameStore(const std::string& given, const std::string& storeId) {
  if (given == storeId) return true;
  std::error_code ec;
  const auto canonical = std::filesystem::weakly_canonical(given, ec);
  return !ec && canonical.string() == storeId;
}

std::string Lowered(std::string text) {
  for (char& ch : text) {
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  }
  return text;
}

// The one folder whose name is `name`, case ignored. Throws UsageError
// naming the ids when several have it: a run must not guess.
std::vector<size_t> FoldersNamed(const std::vector<std::unique_ptr<MAPIFolder>>& offered,
                                 const std::string& name) {
  std::vector<size_t> named;
  for (size_t i = 0; i < offered.size(); ++i) {
    if (Lowered(offered[i]->Name()) == Lowered(name)) named.push_back(i);
  }
  if (named.size() > 1) {
    std::string ids;
    for (size_t i : named) {
      ids +=
          (ids.empty() ? "'" : ", '") + offered[i]->EntryID() + "@" + offered[i]->StoreID() + "'";
    }
    throw UsageError(std::to_string(named.size()) + " folders are named '" + name + "': " + ids +
                     "; name one as ENTRYID@STOREID (see 'tidewell folders').");
  }
  return named;
}

// The folder's directory: its store's root, and its entry id below it.
std::string FolderPath(MAPIFolder& folder) {
  const std::string entry_id = folder.EntryID();
  return entry_id == "." ? folder.StoreID() : folder.StoreID() + "/" + entry_id;
}

// The folders whose directory is `entryId` below some folder: the id one
// store root gives a folder ("contacts/default") is a path the folder's
// directory ends in under another ("default" below .../contacts). With a
// store id, the directory `entryId` below it.
std::vector<size_t> FoldersAtPath(const std::vector<std::unique_ptr<MAPIFolder>>& offered,
                                  std::string entryId, const std::optional<std::string>& storeId) {
  std::vector<size_t> found;
  while (entryId.size() > 1 && entryId.ends_with('/')) entryId.pop_back();
  if (entryId.empty() || entryId.starts_with('/')) return found;
  std::string wanted = "/" + entryId;
  if (storeId) {
    std::error_code ec;
    const auto canonical = std::filesystem::weakly_canonical(*storeId, ec);
    wanted = (ec ? *storeId : canonical.string()) + wanted;
  }
  for (size_t i = 0; i < offered.size(); ++i) {
    const std::string path = FolderPath(*offered[i]);
    if (storeId ? path == wanted : path.ends_with(wanted)) found.push_back(i);
  }
  return found;
}

}  // namespace

std::vector<size_t> ResolveFolders(Context& c, const std::vector<std::string>& names) {
  auto ns = c.env.store->OutlookApplication()->GetNamespace("MAPI");
  const auto offered = ns->AllFolders();
  std::vector<size_t> picked;
  for (const std::string& name : names) {
    if (name == "all" && std::none_of(offered.begin(), offered.end(), [](const auto& folder) {
          return folder->EntryID() == "all" || Lowered(folder->Name()) == "all";
        })) {
      for (size_t i = 0; i < offered.size(); ++i) picked.push_back(i);
      continue;
    }
    const auto at = name.rfind('@');
    const std::string entry_id = name.substr(0, at);
    const std::optional<std::string> store_id =
        at == std::string::npos ? std::nullopt : std::optional(name.substr(at + 1));
    std::vector<size_t> matches;
    for (size_t i = 0; i < offered.size(); ++i) {
      if (offered[i]->EntryID() == entry_id &&
          (!store_id || SameStore(*store_id, offered[i]->StoreID()))) {
        matches.push_back(i);
      }
    }
    if (matches.empty()) matches = FoldersAtPath(offered, entry_id, store_id);
    if (matches.empty()) matches = FoldersNamed(offered, name);
    if (matches.empty()) {
      throw UsageError(WithSuggestion("Unknown folder '" + name + "' (see 'tidewell folders').",
                                      name, FolderNames(offered)));
    }
    if (matches.size() > 1) {
      throw UsageError("Folder '" + name + "' is in several stores; name one as ENTRYID@STOREID.");
    }
    picked.push_back(matches.front());
  }
  return picked;
}

}  // namespace tidewell::cli
