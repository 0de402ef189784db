// One item of a vdir folder: one VCARD, VEVENT, VTODO or VJOURNAL of an item
// file (or the whole file, for mail and for a file that cannot be read).
// Internal to the vdir store; callers see an OutlookItem (outlook.h).
//
// A file's N-th component is the item "<folder>/<file>#N" (N from 2; the
// first is "<folder>/<file>"). The components of one file share a FileShare:
// the bytes read ahead for them, and what the last save of any of them wrote,
// so that a component saved after a sibling builds on the sibling's save
// instead of taking it for another program's change. Each item reads and
// writes only the lines of its own component.
//
// The bytes are parsed at the first property read or write (except
// "EntryID"), and a file that cannot be read fails there, and again at every
// later access, and is never written.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "formats/component_item.h"
#include "stores/vdir/durable_file.h"
#include "stores/vdir/folders.h"

namespace tidewell::vdir {

inline constexpr const char* kItemIsReadOnly = "The item is read-only.";

// What the components of one file share while their folder's items live.
using FileShare = formats::ComponentShare;

// The type an item file stands for when it yields no components: a contact
// file a contact, a calendar file an appointment, so that an unreadable or
// empty file fails in an item procedure whatever its extension.
std::string FallbackTypeName(std::string_view fileName);

class VdirItem : public formats::ComponentItem {
 public:
  // `folder` is the open directory of the folder `folderEntryId` of store
  // `store`; it is shared by the items listed together. The item is the
  // `ordinal`-th (from 1) of the `components` item components of the file,
  // of type `typeName`.
  VdirItem(std::shared_ptr<const StoreState> state, std::shared_ptr<const UniqueFd> folder,
           size_t store, std::string folderEntryId, std::string fileName, size_t ordinal,
           size_t components, std::string typeName, std::shared_ptr<FileShare> share);

  // "<folder>/<file>", with "#N" for the N-th component from 2 on.
  std::string EntryId() const override;

 protected:
  std::string Where() const override { return path_; }
  std::string ReadResource() override;
  void WriteResource(const std::string& read, const std::string& bytes) override;
  // Throws Failure(kItemIsReadOnly) when the file's mode has no write bit.
  void RefuseWrite() override;

 private:
  std::shared_ptr<const StoreState> state_;
  std::shared_ptr<const UniqueFd> folder_;
  std::string folder_entry_id_;
  std::string file_name_;
  std::string path_;
  size_t ordinal_;
  std::optional<bool> read_only_;  // known from the first write on
};

}  // namespace tidewell::vdir
