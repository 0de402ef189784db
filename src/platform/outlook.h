// The mail client's object model, as far as the page uses it.
//
//   Application app = host.OutlookApplication();
//   auto ns = app->GetNamespace("MAPI");           // any other name fails
//   auto folder = ns->PickFolder();                 // nullptr: the user cancelled
//   auto items = folder->Items();
//   for (int32_t i = 1; i <= items->Count(); ++i) {
//     auto item = items->Item(i);                   // 1-based, like the client's
//     if (item->TypeName() == "ContactItem") ...
//   }
//
// Items are read through a safe-item wrapper (safe_item.h), never directly by
// the page. Every call may throw Failure.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tidewell {

// What an escape or a join of parts may put into a field that the bytes it
// was read from hold elsewhere, or spelt otherwise (see SearchableText).
inline constexpr std::string_view kNotInSearchableRuns = "\\,;:\"^\r\n";

// One item of a folder. Reading a property of a file-backed item parses the
// file on first use, so a malformed item fails here, not when it is listed.
// The property no item type lists: where the item's bytes are kept, a
// file's path or a server's URL; "" for an item kept nowhere in particular.
inline constexpr const char* kLocationProperty = "ResourceLocation";

class OutlookItem {
 public:
  virtual ~OutlookItem() = default;

  // "ContactItem", "AppointmentItem", "TaskItem", "JournalItem", "MailItem"
  // or "UnknownItem". Cheap: it never parses the whole item.
  virtual std::string TypeName() const = 0;

  // The property's value in its text form: numbers as decimal digits, dates in
  // the user's locale. A property the item lacks reads as "".
  // Throws Failure when the item cannot be read or has no such property name.
  // kLocationProperty reads where the item is kept (no field of it).
  virtual std::string GetProperty(const std::string& name) = 0;

  // Changes the item in memory. Number and date properties convert the text
  // and throw Failure("Type mismatch: '<text>' is not a <date|whole number>.")
  // when it does not parse. Writing a property the item lacks throws.
  virtual void SetProperty(const std::string& name, const std::string& text) = 0;
  // SetProperty, from a text the caller gives up (see SafeItem::SetTaken).
  virtual void SetPropertyTaken(const std::string& name, std::string&& text) {
    SetProperty(name, text);
  }

  // The bytes the property's value was read from (its whole line, folds and
  // encoding included) as a text the journal can keep; "" when the item
  // keeps no such form. Never throws. Asked only for a field about to change.
  virtual std::string PropertyLine(const std::string& /*name*/) { return ""; }
  // PropertyLine without a copy where it is the bytes as the item holds them
  // (ASCII without "%"): a view valid until the item next changes or is
  // saved. Nothing where it is not; then PropertyLine gives it.
  virtual std::optional<std::string_view> PropertyLineView(const std::string& /*name*/) {
    return std::nullopt;
  }

  // After SetProperty(name, ...) by an undo: `line` is the property's
  // PropertyLine before the run; when the property's line reads as it did
  // then at Save, it is written as those bytes rather than encoded anew.
  virtual void RestoreLine(const std::string& /*name*/, const std::string& /*line*/) {}
  // RestoreLine from a line the caller gives up: a long line's bytes are
  // made in its own string, with the room it has, rather than beside it.
  virtual void RestoreLineTaken(const std::string& name, std::string&& line) {
    RestoreLine(name, line);
  }

  // Stores every change made since the item was read. Throws Failure when the
  // item cannot be stored; on return the change is durable.
  virtual void Save() = 0;

  // A text that holds, as a run of it, every value a field of the item reads
  // that has no character of kNotInSearchableRuns; nothing when the item has
  // no such text. A search text free of those characters that does not occur
  // in it occurs in no field. May be asked before any property is read.
  virtual std::optional<std::string> SearchableText() { return std::nullopt; }
};

class Items {
 public:
  virtual ~Items() = default;
  virtual int32_t Count() = 0;
  // `index` runs from 1 to Count(); anything else throws Failure.
  virtual std::shared_ptr<OutlookItem> Item(int32_t index) = 0;
};

class MAPIFolder {
 public:
  virtual ~MAPIFolder() = default;
  virtual std::string EntryID() = 0;
  virtual std::string StoreID() = 0;
  virtual std::string Name() = 0;
  virtual std::unique_ptr<Items> GetItems() = 0;  // the client's `Items`
};

class NameSpace {
 public:
  virtual ~NameSpace() = default;
  // The client's own folder dialog. nullptr when the user cancels.
  virtual std::unique_ptr<MAPIFolder> PickFolder() = 0;
  // 10 is the default contacts folder; other numbers may throw Failure.
  virtual std::unique_ptr<MAPIFolder> GetDefaultFolder(int32_t folderType) = 0;
  // Every folder of every store, by store then name: what pickers offer.
  virtual std::vector<std::unique_ptr<MAPIFolder>> AllFolders() = 0;
};

constexpr int32_t olFolderContacts = 10;

class Application {
 public:
  virtual ~Application() = default;
  // Only "MAPI" names a namespace; any other name throws Failure.
  virtual std::unique_ptr<NameSpace> GetNamespace(const std::string& type) = 0;
};

}  // namespace tidewell
