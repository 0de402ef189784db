// The mail store over CardDAV and CalDAV servers: the object model
// (outlook.h) over the address books and calendars of server accounts.
//
//   DavStore store({"https://dav.example.org/"}, ui, &journal,
//                  [&](const std::string& url) { return MakeTransport(url); });
//   auto folder = store.YSGetFolder("contacts", store.StoreIDs()[0]);
//   auto items = folder->GetItems();          // one REPORT: every card and its ETag
//   items->Item(1)->SetProperty("BusinessTelephoneNumber", "+49 30 777");
//   items->Item(1)->Save();                    // one PUT, If-Match: the ETag read
//
// Stores and folders:
// - A store is a URL; its StoreID is DavRoot(url) (dav_url.h). The
//   constructor finds the collections: a URL that names an address book or a
//   calendar gives that one alone (EntryID its last path segment); else the
//   account's principal (current-user-principal of the URL, else of
//   /.well-known/carddav and /.well-known/caldav), its address book and
//   calendar home sets, and every collection one level under them. EntryID
//   is the collection's path below its home set, without slashes at either
//   end, when one home set holds both kinds ("contacts", as on Radicale),
//   else "addressbooks/NAME" and "calendars/NAME" (as on Nextcloud). Name is
//   the displayname, else the last path segment. 401 or 403 anywhere in this
//   throws Failure with the server's status line, before anything is read.
// - An item's EntryID is "<folder>/<NAME>" with "#N" for the N-th component
//   of a resource from 2 on; NAME is the last segment of its href as the
//   server wrote it, still percent-encoded ("a%20b.vcf"), so that it names
//   the resource again exactly.
// Items:
// - A folder's items come from one addressbook-query or calendar-query
//   REPORT, read as it streams; where the server refuses it (400, 403, 405,
//   501), a Depth-1 PROPFIND of the ETags and multigets of 500 hrefs. The
//   bytes of the first 8 MiB of items are kept in memory, the rest in an
//   unlinked temporary file (spill_file.h), so a folder of any size costs the
//   same memory and is read once; only where no such file can be written is
//   an item fetched again (GET) when it is reached.
// - With a cache home, a folder is listed from its copy on disk
//   (collection_cache.h), brought up to date first: a sync-collection REPORT
//   (RFC 6578) with the copy's token where the server gave one, else a
//   Depth-1 PROPFIND of the ETags; then multigets of what changed. A token
//   the server refuses, or a copy that cannot be read (one Note), gives a
//   whole read as above, which makes the copy again. The copy is written
//   even when the store writes nothing. The copy is held whole in memory
//   while a folder is listed.
// - An item is parsed when first read, as vdir's (vdir_store.h: the property
//   map, "Not searched:", a malformed item failing in its own procedure). An
//   href outside its collection, or an item over 16 MiB, is one item that
//   fails when read with the reason, and is never fetched or written.
// - Save writes the item's changed lines only (REV, LAST-MODIFIED, DTSTAMP
//   set to now where present): WriteAheadLog::Sync(), then a PUT with
//   If-Match the ETag read (none when the sync throws JournalNotWritten).
//   412 throws "The item was changed by another program since it was
//   read."; any other failure the status line. The new ETag comes from the
//   answer, else from a PROPFIND of the href.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/activity_logger.h"
#include "platform/mail_store.h"
#include "platform/ui.h"
#include "stores/dav/transport.h"

namespace tidewell {

namespace dav {
struct StoreState;
}

class DavStore : public MailStore {
 public:
  // `urls` are the store URLs in the order given; `connect` makes the
  // transport each talks through. Finds every collection now; throws
  // Failure when a server refuses the login or is no DAV server. `ui` must
  // outlive the store; `wal` may be null, else it is synced before every PUT.
  // `cacheHome` is where copies of the collections are kept and read
  // through (collection_cache.h: CacheHome()); "" reads every item fresh.
  DavStore(const std::vector<std::string>& urls, Ui& ui, WriteAheadLog* wal,
           std::function<std::unique_ptr<dav::Transport>(const std::string& url)> connect,
           const std::string& cacheHome = "");
  ~DavStore() override;

  std::shared_ptr<Application> OutlookApplication() const override;
  std::unique_ptr<MAPIFolder> YSGetFolder(const std::string& entryId,
                                          const std::string& storeId) override;
  // Looks the item up afresh on the server (one GET); nullptr when the
  // folder or the resource does not exist.
  std::shared_ptr<OutlookItem> GetItemFromID(const std::string& itemEntryId,
                                             const std::string& storeId) const override;
  // The getlastmodified a listing read for the item's resource; nothing for
  // "#N" items, items not listed yet, and servers that give none.
  std::optional<double> LastWritten(const std::string& itemEntryId,
                                    const std::string& storeId) const override;
  const std::vector<std::string>& StoreIDs() const override;
  void WriteNothing() override;

  // True when a server may e-mail attendees of what is written: the DAV
  // header of a calendar home's (or the calendar's) OPTIONS or PROPFIND
  // lists calendar-auto-schedule, the principal names a schedule-outbox-URL,
  // or the OPTIONS answer could not be had (refused, or none came).
  bool SchedulesImplicitly() const override;
  // An event with ATTENDEE lines whose ORGANIZER is one of the account's
  // calendar-user-address-set (any ORGANIZER when the set is unknown), as
  // its folder's listing read it.
  bool MayNotifyOthers(const std::string& itemEntryId, const std::string& storeId) const override;
  // Listings leave those items out, each with the note "Skipped ENTRYID: it
  // has attendees, and the server may e-mail them the change.".
  void LeaveNotifyingItemsAlone() override;
  bool LeavesNotifyingItemsAlone() const override;

 private:
  std::shared_ptr<dav::StoreState> state_;
};

}  // namespace tidewell
