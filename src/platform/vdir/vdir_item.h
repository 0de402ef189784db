// One item file of a vdir folder. Internal to the vdir store; callers see an
// OutlookItem (outlook.h).
//
// An item's bytes come from its folder's read-ahead (see read_ahead.h) when
// they were read there, else from the file at first need: TypeName() of an
// .ics file takes the type of its first VEVENT, VTODO or VJOURNAL. The bytes
// are parsed at the first property read or write (except "EntryID"), and a
// file that cannot be read fails there, and again at every later access,
// and is never written.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/outlook.h"
#include "platform/vdir/document.h"
#include "platform/vdir/durable_file.h"
#include "platform/vdir/folders.h"
#include "platform/vdir/item_view.h"

namespace tidewell::vdir {

inline constexpr const char* kItemIsReadOnly = "The item is read-only.";

class VdirItem : public OutlookItem {
 public:
  // `folder` is the open directory of the folder `folderEntryId` of store
  // `store`; it is shared by the items listed together.
  VdirItem(std::shared_ptr<const StoreState> state, std::shared_ptr<const UniqueFd> folder,
           size_t store, std::string folderEntryId, std::string fileName);

  // Hands over the file's bytes read ahead of time (see read_ahead.h), to
  // be parsed in place of reading the file at the first access.
  void Preload(std::string bytes);

  std::string TypeName() const override;
  std::string GetProperty(const std::string& name) override;
  // Throws Failure(kItemIsReadOnly) when the file's mode has no write bit,
  // checked at the first write that would change the item.
  void SetProperty(const std::string& name, const std::string& text) override;
  void Save() override;

 private:
  enum class Kind { kContact, kCalendar, kMail };

  void Load();
  void Parse(std::string bytes);
  [[noreturn]] void Unknown(const std::string& name) const;
  void RefuseReadOnly();

  std::shared_ptr<const StoreState> state_;
  std::shared_ptr<const UniqueFd> folder_;
  std::string folder_entry_id_;
  std::string file_name_;
  std::string path_;
  Kind kind_;
  mutable std::optional<std::string> type_name_;
  // Read by Preload or TypeName, parsed by Load.
  mutable std::optional<std::string> read_ahead_;

  std::optional<std::string> load_error_;
  std::optional<bool> read_only_;  // known from the first write on
  std::unique_ptr<Document> document_;
  std::unique_ptr<ItemView> view_;  // over *document_, so declared after it
};

}  // namespace tidewell::vdir
