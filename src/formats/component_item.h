// One item of a vCard or iCalendar resource, whatever holds the resource (a
// file of a vdir folder, a resource on a server): one VCARD, VEVENT, VTODO or
// VJOURNAL of it. A store derives from ComponentItem and says only how the
// resource's bytes are read and written; the property map, lazy parsing and
// saving only the item's own lines are the same for every store.
//
// A resource's N-th component is its own item (the stores name it
// "<folder>/<name>#N", N from 2). The components of one resource share a
// ComponentShare: the bytes read ahead for them, and what the last save of
// any of them wrote, so that a component saved after a sibling builds on the
// sibling's save instead of taking it for another program's change.
//
// The bytes are parsed at the first property read or write (except
// "EntryID"); a resource that cannot be read fails there, and again at every
// later access, and is never written.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/document.h"
#include "formats/item_view.h"
#include "platform/outlook.h"

namespace tidewell {
class Ui;
}

namespace tidewell::formats {

// What the components of one resource share while their folder's items live.
struct ComponentShare {
  std::optional<std::string> pending;  // read ahead, not yet handed to an item
  std::optional<std::string> saved;    // the resource as the last save of a component wrote it
};

// The type names of the item components of a resource's bytes, in order:
// "ContactItem" for each top-level VCARD of a contact resource, else
// "AppointmentItem", "TaskItem" or "JournalItem" for each VEVENT, VTODO or
// VJOURNAL not inside another of those. A light scan of BEGIN and END lines:
// it never fails, and a malformed resource fails when its item is parsed.
std::vector<std::string> ScanItemTypes(std::string_view bytes, bool contacts);

class ComponentItem : public OutlookItem {
 public:
  enum class Kind { kContact, kCalendar, kMail };

  // The item is the `ordinal`-th (from 1) of the `components` item
  // components of its resource, of type `typeName`. A kMail item has no
  // properties but EntryID. `ui` must outlive the item.
  ComponentItem(Kind kind, size_t ordinal, size_t components, std::string typeName,
                std::shared_ptr<ComponentShare> share, Ui* ui);

  // The item's EntryID.
  virtual std::string EntryId() const = 0;

  // Makes the first parse tell the Ui that the item is open
  // (Ui::CurrentItem, "<entry id> (<where>)") and, in one note, which values
  // of the item no property reads: "Not searched: <entry id>: URL on line 9,
  // DESCRIPTION of an alarm on line 12.". A run's items tell; a lookup's do
  // not.
  void TellUnsearched() { tell_unsearched_ = true; }

  std::string TypeName() const override;
  std::string GetProperty(const std::string& name) override;
  void SetProperty(const std::string& name, const std::string& text) override;
  // The formatted body's RTF is let go once its plain text is made.
  void SetPropertyTaken(const std::string& name, std::string&& text) override;
  // The property's physical lines as read, as a LineToken (content_line.h).
  std::string PropertyLine(const std::string& name) override;
  std::optional<std::string_view> PropertyLineView(const std::string& name) override;
  void RestoreLine(const std::string& name, const std::string& line) override;
  void RestoreLineTaken(const std::string& name, std::string&& line) override;
  // Rebases onto a sibling's save, marks the item changed now (REV,
  // LAST-MODIFIED, DTSTAMP where present) and writes the resource with only
  // the changed lines rewritten. A Save with nothing changed writes nothing.
  void Save() override;
  // A contact's unfolded bytes (see SearchableContactText); nothing for
  // events and tasks, whose fields format dates and numbers. Asked before
  // the item is parsed, it reads the bytes (named to the Ui as a parse is)
  // and the subject off them, and a later Get("Subject") takes that subject
  // rather than parse: a contact the text rules out is then never parsed.
  std::optional<std::string> SearchableText() override;

 protected:
  // Where the resource lives, for messages: a path, a URL.
  virtual std::string Where() const = 0;
  // The resource's bytes, read afresh. Throws Failure with the reason.
  virtual std::string ReadResource() = 0;
  // Stores `bytes` in place of `read`, the bytes the item was parsed from;
  // durable when it returns. Throws Failure(kChangedByAnotherProgram) when
  // the resource is no longer `read`, else Failure with the whole message.
  virtual void WriteResource(const std::string& read, const std::string& bytes) = 0;
  // Throws Failure when the resource may not be written; asked at the first
  // write that would change the item.
  virtual void RefuseWrite() {}

  // The parsed resource, or null before the first parse.
  const Document* document() const { return document_.get(); }

 private:
  void Load();
  // Reads the resource's bytes into raw_ (a failure kept, as Load keeps it).
  void Fetch();
  void Parse(std::string bytes);
  // Makes `document` this item's, with a view of its component.
  void Adopt(std::unique_ptr<Document> document);
  // Moves this item's changes onto the resource as a sibling's save left it.
  void Rebase(const std::string& current);
  [[noreturn]] void Unknown(const std::string& name) const;
  // The bytes of the property's physical lines as read, without the last
  // terminator; "" where the item has none or cannot be read.
  std::string_view LineBytes(const std::string& name);
  // The view's name for property `name`, checked to be one it may write
  // (SetProperty's failures).
  std::string WritableProperty(const std::string& name);

  Kind kind_;
  size_t ordinal_;
  size_t components_;
  std::string type_name_;
  std::shared_ptr<ComponentShare> share_;
  Ui* ui_;
  bool tell_unsearched_ = false;

  std::optional<std::string> load_error_;
  // Fetched, not yet parsed: a contact whose subject was read off its bytes
  // is parsed only when a field is read.
  std::optional<std::string> raw_;
  // Read off raw_ (subject_scan.h) by SearchableText; nothing when the parse
  // must tell.
  std::optional<std::string> scanned_subject_;
  bool named_ = false;  // Ui::CurrentItem told before the parse
  std::unique_ptr<Document> document_;
  std::unique_ptr<ItemView> view_;  // over *document_, so declared after it
};

}  // namespace tidewell::formats
