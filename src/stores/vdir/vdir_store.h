// The mail store over vdir folders: the object model (outlook.h) and the
// host's folder lookup (host.h) over directories of vCard (.vcf) and
// iCalendar (.ics) files, as vdirsyncer, khard, khal and todoman keep them.
//
//   VdirStore store({"/home/me/.contacts", "/home/me/.calendars"}, ui, &journal);
//   host.application = store.OutlookApplication();    // what OutlookApplication() gives
//   auto folder = store.YSGetFolder("work", store.StoreIDs()[0]);
//   auto items = folder->GetItems();                   // "work/alice.vcf", ...
//   auto alice = items->Item(1);
//   alice->GetProperty("BusinessAddressCity");         // "" when the card has no work ADR
//   alice->SetProperty("BusinessAddressCity", "Springfield");
//   alice->Save();                                     // durable when it returns
//
// Stores and folders:
// - A store is a configured root; its StoreID is the root's canonical
//   absolute path. A folder (a collection) is a directory that holds items or
//   a `displayname` file, one level under a root ("work"), or two levels
//   under it below a directory that is no collection itself (vdirsyncer's
//   STORAGE/COLLECTION: "contacts/default"), or the root itself when it holds
//   items (EntryID "."). EntryID = the path below the root; Name = the trimmed
//   text of `displayname`, else the last directory name. Hidden directories
//   and symlinks are never folders, nor lead to one.
// - Item files: regular files (never symlinks) named *.vcf, *.ics or *.eml,
//   sorted by byte order of name; names starting with "." or ending ".tmp"
//   are not items. Each component of a file is an item of its own, in file
//   order: each top-level VCARD of a .vcf ("ContactItem"), each VEVENT, VTODO
//   and VJOURNAL of an .ics ("AppointmentItem", "TaskItem", "JournalItem"),
//   a series' overrides included. A .vcf or .ics file with no component (or
//   that cannot be read) is one "ContactItem" or "AppointmentItem" that fails
//   when read; an .eml file is one "MailItem".
//   An item's EntryID is the folder's EntryID, "/", and the file name, with
//   "#N" for the N-th component from 2 on ("work/team.ics#2"); it is read
//   back by splitting at the last "/". A folder's items read and scan every
//   file once when first counted.
// - Saving a component rewrites only its lines. The components of a file
//   listed together share what the last save of any of them wrote, so a
//   component saved after a sibling is not taken for another program's
//   change; one looked up on its own (GetItemFromID) reads the file afresh.
// - Items of a listing tell the Ui when they are first read
//   (Ui::CurrentItem) and note what no property of theirs reads
//   (Ui::Note, "Not searched: ...").
// - Nothing outside a root is ever read or written: an entry id with "..", a
//   separator or an absolute path, and a symlink, name no folder.
//
// Items (see contact_view.h and calendar_view.h for the property map):
// - A file is parsed at the first property read; a file that is unreadable,
//   malformed, binary, or holds no card or component throws Failure naming the
//   file there, and is never written.
// - A property the file lacks reads as ""; writing one throws Failure: the
//   store never adds a line. An unknown property name throws on read and write.
// - Numbers read as decimal digits; dates in the LC_TIME locale of the
//   process (ISO "YYYY-MM-DD HH:MM:SS" in C and POSIX), date alone for DATE
//   values and midnight. A write parses the same form back and keeps the
//   value's own form (DATE, UTC, TZID or floating), or throws
//   "Type mismatch: '<text>' is not a date." / "... is not a whole number.".
// - Save rewrites only the lines of changed properties, each in the form it
//   had: its folding (width, lead, newline; a long unfolded line stays
//   unfolded; a line that grows past 75 octets folds there), its escaping
//   (a bare comma stays bare), its encoding and character set. So writing a
//   field and then its old text back gives back the file byte for byte but
//   for a fold the change made impossible to tell. Save sets REV /
//   LAST-MODIFIED / DTSTAMP to now where present,
//   and replaces the file atomically: temporary file, fsync, a check that no
//   other program changed the file since it was read ("The item was changed
//   by another program since it was read."), WriteAheadLog::Sync(), rename,
//   fsync of the folder; a JournalNotWritten from the sync is thrown as it is,
//   the file untouched. A Save with nothing changed writes nothing.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/activity_logger.h"
#include "platform/mail_store.h"
#include "platform/outlook.h"
#include "platform/ui.h"

namespace tidewell {

namespace vdir {
struct StoreState;
}

// The root a --store folder names: `given` made absolute and normal, without
// a trailing separator; nothing when it is empty or no folder the user may
// list. (Root may list any folder; a folder it cannot list is still refused
// when it is no folder at all.)
std::optional<std::string> VdirRoot(const std::string& given);

class VdirStore : public MailStore {
 public:
  // `roots` are the store roots in the order the user configured them;
  // each is made canonical (a root that does not exist yet keeps its absolute
  // form and shows no folders). `ui` (the client's folder dialog, for
  // NameSpace::PickFolder) must outlive the store and everything it hands
  // out. `wal` may be null; otherwise it is synced before every commit.
  VdirStore(const std::vector<std::string>& roots, Ui& ui, WriteAheadLog* wal);
  ~VdirStore() override;

  // The host's OutlookApplication(): GetNamespace("MAPI") gives every store.
  // Objects it hands out stay valid after the store is gone.
  std::shared_ptr<Application> OutlookApplication() const override;

  // The folder `entryId` of the store `storeId`, or nullptr. A store id that
  // names no configured store ("Not Found" included) searches every store, in
  // order, for the entry id.
  std::unique_ptr<MAPIFolder> YSGetFolder(const std::string& entryId,
                                          const std::string& storeId) override;

  // The item whose EntryID is `itemEntryId` ("<folder entry id>/<file>", as
  // "contacts/default/a.vcf", "#N" after it for the N-th component), looked
  // up like YSGetFolder; nullptr when there is none.
  std::shared_ptr<OutlookItem> GetItemFromID(const std::string& itemEntryId,
                                             const std::string& storeId) const override;

  // The canonical root paths, in configured order.
  // The modification time of the file `storeId`/`itemEntryId`: an item
  // "#N" past the first of its file names no file and has none.
  std::optional<double> LastWritten(const std::string& itemEntryId,
                                    const std::string& storeId) const override;

  const std::vector<std::string>& StoreIDs() const override;

  // From now on the store changes nothing on disk of its own accord: a
  // preview leaves even the temporary files of earlier cut-off saves. (Items
  // are kept from saving by the caller, who never calls Save.)
  void WriteNothing() override;

 private:
  std::shared_ptr<vdir::StoreState> state_;
};

}  // namespace tidewell
