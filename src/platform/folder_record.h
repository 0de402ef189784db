// The folder record and the page's folder list.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tidewell {

// A folder chosen by the user. `StoreID` may be left unset (a folder whose
// store id is empty); reading it then gives "".
class FolderRecord {
 public:
  FolderRecord() = default;
  FolderRecord(std::string name, std::string entryId, std::optional<std::string> storeId)
      : name_(std::move(name)), entry_id_(std::move(entryId)), store_id_(std::move(storeId)) {}

  const std::string& Name() const { return name_; }
  const std::string& EntryID() const { return entry_id_; }
  std::string StoreID() const { return store_id_.value_or(""); }
  bool HasStoreID() const { return store_id_.has_value(); }

  void SetName(std::string v) { name_ = std::move(v); }
  void SetEntryID(std::string v) { entry_id_ = std::move(v); }
  void SetStoreID(std::string v) { store_id_ = std::move(v); }

  friend bool operator==(const FolderRecord&, const FolderRecord&) = default;

 private:
  std::string name_;
  std::string entry_id_;
  std::optional<std::string> store_id_;
};

using FolderList = std::vector<FolderRecord>;

}  // namespace tidewell
