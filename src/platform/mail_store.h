// A mail store as the hosts and undo see it: the client's object model, the
// host's folder lookup, and an item looked up by its ids. The vdir store
// (stores/vdir/vdir_store.h) is one; stores/store_factory.h picks the store
// that --store names.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/host.h"
#include "platform/outlook.h"

namespace tidewell {

// A server login that a config keeps (vdirsyncer's carddav and caldav
// storages): for the store ids at `url` or under it. Only ever in memory.
struct KeptLogin {
  std::string url;  // as the config writes it
  std::string user;
  // username.fetch = ["command", ...]: the command whose first line is the user.
  std::vector<std::string> user_command;
  // password.fetch = ["command", ...]: the command whose first line is the password.
  std::vector<std::string> password_command;
  // password.fetch = ["prompt", TEXT]: the password is asked with TEXT.
  std::optional<std::string> password_prompt;
  // password = "...", written in the config itself.
  std::optional<std::string> password;
};

// What a store needs besides its roots; only server stores use it.
struct StoreOptions {
  // --user: the login; empty takes the netrc file's, else asks.
  std::string user;
  // --ca-file: a PEM file of the certificate authorities to trust besides
  // the system's; empty for the system's alone.
  std::string ca_file;
  // --password-command, split into words: run (never through a shell), its
  // first line of output is the password. Empty: none.
  std::vector<std::string> password_command = {};
  // The logins the configs keep, tried after --user and --password-command
  // and before the netrc file.
  std::vector<KeptLogin> kept_logins = {};
  // --no-cache: a server store reads every item from the server, and keeps
  // no copy of what it read.
  bool no_cache = false;
};

// Why an item that may make the server e-mail attendees is left alone.
inline constexpr const char* kNotifiesAttendees =
    "it has attendees, and the server may e-mail them the change";

class MailStore : public FolderLookup {
 public:
  // The host's OutlookApplication(): GetNamespace("MAPI") gives every store.
  // Objects it hands out stay valid after the store is gone.
  virtual std::shared_ptr<Application> OutlookApplication() const = 0;

  // The host's `engine`.
  FolderLookup& engine() { return *this; }

  // The item whose EntryID is `itemEntryId` in the store `storeId`, looked up
  // like YSGetFolder (a store id that names no store searches every store);
  // nullptr when there is none.
  virtual std::shared_ptr<OutlookItem> GetItemFromID(const std::string& itemEntryId,
                                                     const std::string& storeId) const = 0;

  // When the item was last written, in seconds since the epoch; nothing when
  // the store cannot tell (no such item, or one of several in its file).
  virtual std::optional<double> LastWritten(const std::string& itemEntryId,
                                            const std::string& storeId) const = 0;

  // The store ids, in the order the user configured the stores.
  virtual const std::vector<std::string>& StoreIDs() const = 0;

  // From now on the store changes nothing of its own accord (a preview).
  // Items are kept from saving by the caller, who never calls Save.
  virtual void WriteNothing() = 0;

  // Whether saving an item here may make the server e-mail other people
  // (a CalDAV server with implicit scheduling); only then does
  // MayNotifyOthers say yes for any item.
  virtual bool SchedulesImplicitly() const { return false; }

  // Whether the item, as this store last read it, is an event with attendees
  // organized by the account, on a server that schedules implicitly: saving it
  // may send each attendee an update. False for an item not read yet.
  virtual bool MayNotifyOthers(const std::string& /*itemEntryId*/,
                               const std::string& /*storeId*/) const {
    return false;
  }

  // From now on every folder's items leave out the items MayNotifyOthers
  // would say yes for, each named in a Ui::Note as it is passed over, so a
  // run never changes them.
  // The note is "Skipped <EntryID>: " + kNotifiesAttendees + ".".
  virtual void LeaveNotifyingItemsAlone() {}
  // Whether LeaveNotifyingItemsAlone was called: an undo, which finds its
  // items by id rather than in folders, then passes them over itself.
  virtual bool LeavesNotifyingItemsAlone() const { return false; }
};

}  // namespace tidewell
