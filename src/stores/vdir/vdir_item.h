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
#include <vector>

#include "formats/document.h"
#include "formats/item_view.h"
#include "platform/outlook.h"
#include "stores/vdir/durable_file.h"
#include "stores/vdir/folders.h"

namespace tidewell::vdir {

inline constexpr const char* kItemIsReadOnly = "The item is read-only.";

// What the components of one file share while their folder's items live.
struct FileShare {
  std::optional<std::string> pending;  // read ahead, not yet handed to an item
  std::optional<std::string> saved;    // the file as the last save of a component wrote it
};

// The type names of the item components of a file's bytes, in file order:
// "ContactItem" for each top-level VCARD of a contact file, else
// "AppointmentItem", "TaskItem" or "JournalItem" for each VEVENT, VTODO or
// VJOURNAL not inside another of those. A light scan of BEGIN and END lines:
// it never fails, and a malformed file fails when its item is parsed.
std::vector<std::string> ScanItemTypes(std::string_view bytes, bool contacts);

// The type an item file stands for when it yields no components: a contact
// file a contact, a calendar file an appointment, so that an unreadable or
// empty file fails in an item procedure whatever its extension.
std::string FallbackTypeName(std::string_view fileName);

class VdirItem : public OutlookItem {
 public:
  // `folder` is the open directory of the folder `folderEntryId` of store
  // `store`; it is shared by the items listed together. The item is the
  // `ordinal`-th (from 1) of the `components` item components of the file,
  // of type `typeName`.
  VdirItem(std::shared_ptr<const StoreState> state, std::shared_ptr<const UniqueFd> folder,
           size_t store, std::string folderEntryId, std::string fileName, size_t ordinal,
           size_t components, std::string typeName, std::shared_ptr<FileShare> share);

  // "<folder>/<file>", with "#N" for the N-th component from 2 on.
  std::string EntryId() const;

  // Makes the first parse tell the store's Ui that the item is open
  // (Ui::CurrentItem, "<entry id> (<path>)") and, in one note, which values
  // of the item no property reads: "Not searched: <entry id>: URL on line 9,
  // ADR on line 12.". A run's items tell; a lookup's do not.
  void TellUnsearched() { tell_unsearched_ = true; }

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
  // Makes `document` this item's, with a view of its component.
  void Adopt(std::unique_ptr<Document> document);
  // Moves this item's changes onto the file as a sibling's save left it.
  void Rebase(const std::string& current);
  [[noreturn]] void Unknown(const std::string& name) const;
  void RefuseReadOnly();

  std::shared_ptr<const StoreState> state_;
  std::shared_ptr<const UniqueFd> folder_;
  std::string folder_entry_id_;
  std::string file_name_;
  std::string path_;
  Kind kind_;
  size_t ordinal_;
  size_t components_;
  std::string type_name_;
  std::shared_ptr<FileShare> share_;
  bool tell_unsearched_ = false;

  std::optional<std::string> load_error_;
  std::optional<bool> read_only_;  // known from the first write on
  std::unique_ptr<Document> document_;
  std::unique_ptr<ItemView> view_;  // over *document_, so declared after it
};

}  // namespace tidewell::vdir
