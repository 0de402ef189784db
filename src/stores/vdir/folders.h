// Folders and item files of the vdir store roots: what counts as a folder or
// an item, and opening them without ever leaving a root. Internal to the vdir
// store.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/activity_logger.h"
#include "stores/vdir/durable_file.h"

namespace tidewell {
class Ui;
}

namespace tidewell::vdir {

// What every folder, item and namespace of one VdirStore shares.
struct StoreState {
  std::vector<std::string> roots;  // canonical absolute paths: the store ids
  Ui* ui = nullptr;
  WriteAheadLog* wal = nullptr;
  bool writes_nothing = false;  // a preview: not even stale temporary files are removed
};

struct FolderInfo {
  size_t store = 0;
  std::string entry_id;  // "DIR" or "STORAGE/COLLECTION"; "." for a root that holds items
  std::string name;      // trimmed displayname file, else the (last) directory name
};

// Item files: not hidden, not ending ".tmp", ending ".vcf", ".ics" or ".eml"
// (in any case).
bool IsItemName(std::string_view name);
// A folder entry id that cannot leave its root: ".", or one or two plain
// directory names ("work", "contacts/default") joined by one "/", none
// hidden, none empty.
bool IsSafeEntryId(const std::string& entryId);

// An item entry id split at its last "/": {folder entry id, file}; nullopt
// without a "/". "contacts/default/a.vcf" -> {"contacts/default", "a.vcf"}.
std::optional<std::pair<std::string, std::string>> SplitItemEntryId(const std::string& itemEntryId);

UniqueFd OpenRoot(const std::string& root);
// The folder's directory, opened one name at a time without following a
// symlink; invalid when the entry id is unsafe or names no directory.
UniqueFd OpenFolder(int rootFd, const std::string& entryId);

// The item file names of one folder, in one block of memory: a folder of
// 100,000 items costs some 4.5 MB here, where a vector of strings would cost
// twice that and grow the peak of a run with the folder.
class NameList {
 public:
  size_t size() const { return starts_.size(); }
  bool empty() const { return starts_.empty(); }
  std::string_view operator[](size_t i) const;

 private:
  friend NameList ItemNames(int dirFd, bool removeCutSaves);
  std::string blob_;              // every name, each followed by a NUL
  std::vector<uint32_t> starts_;  // where each name begins in blob_
};

// The regular item files of a directory, sorted by byte order of name. With
// `removeCutSaves`, the same pass over the directory removes the temporary
// files that saves cut off by a kill left in it: only names of the save's
// own form (".<item>.<pid>-<n>.tmp"), last changed before this process
// started, of a process that is gone. A file that cannot be removed is left.
NameList ItemNames(int dirFd, bool removeCutSaves = false);

// Every folder of store `store`, sorted by name, then entry id: the root when
// it holds items, and every directory one or two levels down that holds items
// or a `displayname` file (a collection). A collection's own subdirectories
// are not searched: vdirsyncer keeps collections side by side under a
// storage, never inside one another.
std::vector<FolderInfo> ListFolders(const StoreState& state, size_t store);
// The folder `entryId` of store `store`, when it is one.
std::optional<FolderInfo> ResolveFolder(const StoreState& state, size_t store,
                                        const std::string& entryId);

// The stores to search for an entry id: the one `storeId` names, or every
// store when it names none.
std::vector<size_t> StoresFor(const StoreState& state, const std::string& storeId);

// Where the folder `entryId` of the root `storeId` lies now, when `storeId`
// is no root of this store but that folder lies in one: the same directory
// is "default" below a vdirsyncer storage a config names and
// "contacts/default" below the folder above it that --store names. Nothing
// when `storeId` is a root, or the folder lies in none as a folder can.
std::optional<std::pair<size_t, std::string>> Relocated(const StoreState& state,
                                                        const std::string& storeId,
                                                        const std::string& entryId);

// The path of an item for messages.
std::string ItemPath(const StoreState& state, size_t store, const std::string& entryId,
                     const std::string& fileName);

}  // namespace tidewell::vdir
