#include <algorithm>

#include "platform/failure.h"
#include "stores/dav/dav_state.h"
#include "stores/dav/dav_url.h"

namespace tidewell::dav {
namespace {

constexpr const char* kCollectionProps =
    "<D:resourcetype/><D:displayname/><CAL:supported-calendar-component-set/>"
    "<D:current-user-principal/>";
constexpr const char* kPrincipalProps =
    "<C:addressbook-home-set/><CAL:calendar-home-set/><CAL:calendar-user-address-set/>"
    "<CAL:schedule-outbox-URL/>";

bool IsCollection(const DavResponse& r) { return r.addressbook || r.calendar; }

bool OffersAutoSchedule(const Response& r) {
  return r.dav.find("calendar-auto-schedule") != std::string::npos;
}

// Whether the server schedules for `url` (a calendar home or a calendar), as
// RFC 6638 has it answer: in the DAV header of OPTIONS. Many servers send
// that header on OPTIONS alone. A refused or lost answer counts as yes: a
// server that may e-mail attendees must never be taken for one that won't.
bool SchedulesAt(Transport& transport, const std::string& url) {
  try {
    const Response r = transport.Send(Request{"OPTIONS", url, {}, ""});
    return r.status < 200 || r.status > 299 || OffersAutoSchedule(r);
  } catch (const Failure&) {
    return true;
  }
}

Collection MakeCollection(const DavResponse& r, const std::string& url, std::string entryId) {
  Collection c;
  c.url = url;
  if (!c.url.ends_with("/")) c.url += "/";
  c.entry_id = std::move(entryId);
  c.name = r.display_name.empty() ? LastSegment(url) : r.display_name;
  c.contacts = r.addressbook;
  return c;
}

// The principal's URL: from the URL given, else from the well-known URLs.
std::optional<std::string> FindPrincipal(Transport& transport, const std::string& root,
                                         const DavResponse& given) {
  if (!given.principal.empty()) return Resolve(root, given.principal);
  for (const char* known : {"/.well-known/carddav", "/.well-known/caldav"}) {
    const std::optional<std::string> url = Resolve(root, known);
    if (!url) continue;
    Response answer;
    std::vector<DavResponse> found;
    try {
      found = Propfind(transport, *url, 0, kCollectionProps, &answer);
    } catch (const Failure& f) {
      if (answer.status == 401 || answer.status == 403) throw;
      continue;  // a server that knows only one of the two
    }
    const std::string base = answer.location.empty() ? *url : answer.location;
    for (const DavResponse& r : found) {
      if (!r.principal.empty()) return Resolve(base, r.principal);
    }
  }
  return std::nullopt;
}

// The collections one level under the home set `home`, as `prefix` + their
// path below it.
void ListHome(Server& server, const std::string& home, const std::string& prefix) {
  Response answer;
  const std::vector<DavResponse> found =
      Propfind(*server.transport, home, 1, kCollectionProps, &answer);
  if (OffersAutoSchedule(answer)) server.schedules = true;
  for (const DavResponse& r : found) {
    if (!IsCollection(r)) continue;
    const std::optional<std::string> url = HrefInside(home, r.href);
    if (!url) continue;  // the home itself, or what lies outside it
    std::string below = DecodedPath(*url).substr(DecodedPath(home).size());
    while (below.ends_with("/")) below.pop_back();
    while (below.starts_with("/")) below.erase(0, 1);
    server.collections.push_back(MakeCollection(r, *url, prefix + below));
  }
}

}  // namespace

void Discover(Server& server, const std::string& url) {
  Transport& transport = *server.transport;
  Response answer;
  std::vector<DavResponse> given;
  try {
    given = Propfind(transport, url, 0, kCollectionProps, &answer);
  } catch (const Failure&) {
    // A bare host may answer 404 or 405; the well-known URLs lead on.
    if (answer.status == 401 || answer.status == 403 || answer.status == 0) throw;
  }
  for (const DavResponse& r : given) {
    if (IsCollection(r)) {
      server.collections.push_back(MakeCollection(r, url, LastSegment(url)));
      if (r.calendar) server.schedules = OffersAutoSchedule(answer) || SchedulesAt(transport, url);
      return;
    }
  }
  const std::optional<std::string> principal =
      FindPrincipal(transport, url, given.empty() ? DavResponse{} : given.front());
  if (!principal) {
    throw Failure(url + " names no address book or calendar, and no account on the server.");
  }
  std::vector<std::string> books, calendars;
  for (const DavResponse& r : Propfind(transport, *principal, 0, kPrincipalProps)) {
    for (const std::string& h : r.addressbook_homes) {
      if (auto home = Resolve(*principal, h)) books.push_back(*home);
    }
    for (const std::string& h : r.calendar_homes) {
      if (auto home = Resolve(*principal, h)) calendars.push_back(*home);
    }
    for (const std::string& a : r.user_addresses) {
      std::string lower = a;
      std::transform(lower.begin(), lower.end(), lower.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      server.user_addresses.push_back(lower);
    }
    if (!r.schedule_outbox.empty()) server.schedules = true;
  }
  // One home set for both (Radicale) gives ids of their own paths; separate
  // ones (Nextcloud) would collide there, so each gets its kind's prefix.
  const bool shared = books.empty() || calendars.empty() || books == calendars;
  for (const std::string& home : books) ListHome(server, home, shared ? "" : "addressbooks/");
  if (!shared || books.empty()) {
    for (const std::string& home : calendars) ListHome(server, home, shared ? "" : "calendars/");
  }
  const bool anyCalendar = std::any_of(server.collections.begin(), server.collections.end(),
                                       [](const Collection& c) { return !c.contacts; });
  for (const std::string& home : calendars) {
    if (!anyCalendar || server.schedules) break;
    server.schedules = SchedulesAt(transport, home);
  }
  std::sort(server.collections.begin(), server.collections.end(),
            [](const Collection& a, const Collection& b) { return a.entry_id < b.entry_id; });
}

std::vector<DavResponse> Propfind(Transport& transport, const std::string& url, int depth,
                                  const std::string& props, Response* answer) {
  Request request{
      "PROPFIND",
      url,
      {{"Depth", std::to_string(depth)}, {"Content-Type", "application/xml; charset=utf-8"}},
      std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                  "<D:propfind xmlns:D=\"DAV:\" "
                  "xmlns:C=\"urn:ietf:params:xml:ns:carddav\" "
                  "xmlns:CAL=\"urn:ietf:params:xml:ns:caldav\"><D:prop>") +
          props + "</D:prop></D:propfind>"};
  std::vector<DavResponse> found;
  Response r =
      SendMultistatus(transport, request, [&](DavResponse& d) { found.push_back(std::move(d)); });
  if (answer) *answer = r;
  if (r.status != 207) throw Failure(r.status_line);
  return found;
}

Response SendMultistatus(Transport& transport, const Request& request,
                         const std::function<void(DavResponse&)>& onResponse,
                         std::string* syncToken) {
  MultistatusReader reader(onResponse);
  bool streamed = false;
  Response r = transport.Send(request, [&](std::string_view piece) {
    streamed = true;
    reader.Add(piece);
  });
  if (r.status == 207) {
    if (!streamed && !r.body.empty()) reader.Add(r.body);
    reader.Finish();
    if (syncToken) *syncToken = reader.SyncToken();
  }
  return r;
}

}  // namespace tidewell::dav
