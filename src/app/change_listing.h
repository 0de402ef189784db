// Lists each field a run changes, item by item as the run saves it: the same
// lines for a real run and for a preview, which saves nothing.
//
//   ChangeListing listing(*env.components, env.host, /*save=*/false,
//                         [&](const FieldChange& c) { out << ChangeLine(c) << '\n'; });
//   UC1 page(listing);
//   page.SetHost(listing.host());
//   page.Show();
//   page.cmdReplace.Press();   // one line per changed field; no item is stored
//
// The lines come from the safe-item wrappers the page is given: a wrapper
// notes each field's old text before its first write, and when the page saves
// the item it stores it (unless a preview) and then lists every field it
// wrote, with the text the item now holds. An item whose Save throws lists
// nothing. A field written twice is listed once, from its first old text.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/forwarding_components.h"
#include "platform/host.h"

namespace tidewell {

// One field a run changed, or would change.
struct FieldChange {
  std::string folder;     // the name of the folder the run was in
  std::string item;       // the item's "Subject" (a contact's full name) before the change
  std::string field;      // the property; "Body" for the formatted body
  std::string old_value;  // text forms; a body as its plain text, never RTF
  std::string new_value;
  // The item's store id and entry id, a tab between them: what tells items
  // of one name apart (a series and its moved occurrence), so that items are
  // counted as the run's summary counts them. "" where unknown.
  std::string item_id = {};
  // The item's file or URL (kLocationProperty); "" where unknown.
  std::string location = {};
  // Alike when they read alike: the line ChangeLine prints.
  friend bool operator==(const FieldChange& a, const FieldChange& b) {
    return a.folder == b.folder && a.item == b.item && a.field == b.field &&
           a.old_value == b.old_value && a.new_value == b.new_value;
  }
};

// How many items `changes` touch: told apart by item_id, else by folder and
// name.
size_t ChangedItemCount(const std::vector<FieldChange>& changes);

// FOLDER<TAB>ITEM<TAB>Field<TAB>old<TAB>new, each part with a backslash, tab,
// line feed and carriage return written as \\, \t, \n and \r: one line each.
std::string ChangeLine(const FieldChange& change);

class ChangeListing : public ForwardingComponents {
 public:
  using Listener = std::function<void(const FieldChange&)>;

  // `save` false: a preview, where an item's Save lists its changes and
  // stores nothing. `inner` and `host` must outlive the listing and every
  // wrapper it makes; a throwing listener throws out of Save.
  ChangeListing(Components& inner, std::shared_ptr<Host> host, bool save, Listener listener);

  // The host to hand the page: `host`, but it notes the name of each folder
  // the page looks up, for the lines of that folder's items.
  std::shared_ptr<Host> host() const;

  // A wrapper of `inner`'s that lists its changes when saved.
  std::unique_ptr<SafeItem> CreateSafeItem(const std::string& progId) override;

  // What the run has gone through so far: the items handed to it, the
  // folders it found, and the items it saved with a change (a preview: would
  // have saved).
  size_t items_searched() const { return items_searched_; }
  size_t folders_searched() const;
  size_t items_changed() const { return items_changed_; }

  // Told of each item saved with at least one change, after its lines: its
  // EntryID and the StoreID of its folder. Unset: nothing is told.
  std::function<void(const std::string& entryId, const std::string& storeId)> on_item_saved;

  // False: the changes told carry "" for old and new value, which are then
  // never read. For a listener that shows none: a field of tens of MB would
  // otherwise be held once more from its first write until after the save.
  bool list_values = true;

 private:
  class FolderNotingHost;
  class ListedItem;

  std::shared_ptr<FolderNotingHost> host_;
  bool save_;
  Listener listener_;
  size_t items_searched_ = 0;
  size_t items_changed_ = 0;
};

}  // namespace tidewell
