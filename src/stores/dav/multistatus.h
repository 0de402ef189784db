// Reads a WebDAV 207 multistatus answer as it arrives, with expat: each
// <response> is handed out once it is complete, and only the response being
// read is held, so a listing of 30,000 contacts costs the memory of one. Elements are matched by
// namespace URI, never by prefix; a document type declaration is refused, so no entity is ever
// expanded.
//
//   MultistatusReader reader([&](DavResponse& r) { items.push_back(r.href); });
//   transport.Send(report, [&](std::string_view piece) { reader.Add(piece); });
//   reader.Finish();
//
// Unreadable XML throws Failure("The server's answer could not be read:
// <reason>.").
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tidewell::dav {

// One <response>: its href and what its 2xx propstats hold.
struct DavResponse {
  std::string href;  // as the server wrote it (resolve it with dav_url.h)
  // The response's own <status> when it has one (a multiget's 404), else
  // 200.
  long status = 200;
  std::string etag;  // quotes kept
  // address-data or calendar-data. Line ends are CRLF again where the XML
  // turned them into bare LF (an answer whose data holds no CR at all).
  std::string data;
  bool has_data = false;
  bool data_too_large = false;  // over kItemCap: `data` is empty
  std::string display_name;
  std::string last_modified;  // getlastmodified, as sent (an HTTP date)
  std::string sync_token;     // the sync-token property (RFC 6578)
  bool collection = false;
  bool addressbook = false;
  bool calendar = false;
  std::vector<std::string> components;  // supported-calendar-component-set: "VEVENT", ...
  std::string principal;                // current-user-principal's href
  std::vector<std::string> addressbook_homes;
  std::vector<std::string> calendar_homes;
  std::vector<std::string> user_addresses;  // calendar-user-address-set: "mailto:me@example.org"
  std::string schedule_outbox;              // schedule-outbox-URL's href (RFC 6638)
};

// The number of an HTTP status line: "HTTP/1.1 404 Not Found" -> 404; 0
// when it has none.
long StatusCode(std::string_view statusLine);

class MultistatusReader {
 public:
  explicit MultistatusReader(std::function<void(DavResponse&)> onResponse);
  ~MultistatusReader();

  // Reads one more piece; calls back for every response it completes.
  void Add(std::string_view piece);
  // Throws Failure when the answer ended before its document did.
  void Finish();
  // The sync-token a sync-collection answer ends with (outside any
  // response); "" when it has none.
  const std::string& SyncToken() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace tidewell::dav
