// What every folder, item and namespace of one DavStore shares, and the
// requests they make. Internal to the server store.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/activity_logger.h"
#include "stores/dav/multistatus.h"
#include "stores/dav/transport.h"

namespace tidewell {
class Ui;
}

namespace tidewell::dav {

struct Collection {
  size_t store = 0;
  std::string url;        // absolute, one trailing slash
  std::string entry_id;   // "contacts", or "addressbooks/NAME" and "calendars/NAME"
  std::string name;       // displayname, else the last path segment
  bool contacts = false;  // an address book; else a calendar
};

// One server account or collection a store URL names.
struct Server {
  std::string root;  // the StoreID: DavRoot of the URL given
  std::unique_ptr<Transport> transport;
  std::vector<Collection> collections;
  std::vector<std::string> user_addresses;  // calendar-user-address-set, lower case
  bool schedules = false;  // may e-mail attendees: calendar-auto-schedule, an outbox, or no answer
};

struct StoreState {
  std::vector<std::string> roots;  // the store ids, in the order given
  std::vector<Server> servers;     // one per root
  Ui* ui = nullptr;
  WriteAheadLog* wal = nullptr;
  bool writes_nothing = false;
  bool leaves_notifying_items = false;
  // Where collection copies are kept (collection_cache.h); "" keeps none.
  std::string cache_home;
  // Per "storeId\nitemEntryId", what listings learnt.
  std::map<std::string, bool> may_notify;
  std::map<std::string, double> last_modified;
};

// A PROPFIND of `url` with `depth` asking for `props` (the inner XML of
// <D:prop>, with the prefixes D:, C: (CardDAV) and CAL: (CalDAV) declared).
// Throws Failure with the status line for any answer but 207, and for
// unreadable XML. `answer` gets the response's headers when given.
std::vector<DavResponse> Propfind(Transport& transport, const std::string& url, int depth,
                                  const std::string& props, Response* answer = nullptr);

// Sends `request` and reads its 207 answer as it streams, calling back per
// response. Returns the answer (status and headers; a non-2xx body).
// `syncToken`, when given, gets the sync-token a 207 answer ends with.
Response SendMultistatus(Transport& transport, const Request& request,
                         const std::function<void(DavResponse&)>& onResponse,
                         std::string* syncToken = nullptr);

// Finds the collections `url` names (the collection itself, or every one
// under the account's home sets) and fills `server`. Throws Failure with the
// server's status line on 401/403 and when nothing answers as a DAV server.
void Discover(Server& server, const std::string& url);

// The key of StoreState's maps.
inline std::string ItemKey(const std::string& storeId, const std::string& itemEntryId) {
  return storeId + "\n" + itemEntryId;
}

}  // namespace tidewell::dav
