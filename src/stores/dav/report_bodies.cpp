#include "stores/dav/report_bodies.h"

#include <algorithm>

namespace tidewell::dav {

std::string QueryBody(const Collection& c) {
  const std::string head = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
  if (c.contacts) {
    return head +
           "<C:addressbook-query xmlns:D=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:carddav\">"
           "<D:prop><D:getetag/><D:getlastmodified/><C:address-data/></D:prop>"
           "</C:addressbook-query>";
  }
  return head +
         "<C:calendar-query xmlns:D=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:caldav\">"
         "<D:prop><D:getetag/><D:getlastmodified/><C:calendar-data/></D:prop>"
         "<C:filter><C:comp-filter name=\"VCALENDAR\"/></C:filter></C:calendar-query>";
}

namespace {

std::string MultigetBody(const Collection& c, const std::vector<std::string>& hrefs) {
  std::string body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
  const std::string ns =
      c.contacts ? "urn:ietf:params:xml:ns:carddav" : "urn:ietf:params:xml:ns:caldav";
  const std::string root = c.contacts ? "addressbook-multiget" : "calendar-multiget";
  body += "<C:" + root + " xmlns:D=\"DAV:\" xmlns:C=\"" + ns + "\"><D:prop><D:getetag/>" +
          "<D:getlastmodified/><C:" + (c.contacts ? "address-data" : "calendar-data") +
          "/></D:prop>";
  for (const std::string& href : hrefs) {
    std::string escaped;
    for (char ch : href) escaped += ch == '&' ? "&amp;" : ch == '<' ? "&lt;" : std::string(1, ch);
    body += "<D:href>" + escaped + "</D:href>";
  }
  return body + "</C:" + root + ">";
}

}  // namespace

Request MultigetBatch(const Collection& c, const std::vector<std::string>& hrefs, size_t first) {
  const auto begin = hrefs.begin() + static_cast<std::ptrdiff_t>(first);
  const auto end =
      hrefs.begin() + static_cast<std::ptrdiff_t>(std::min(hrefs.size(), first + kMultigetBatch));
  return Request{"REPORT",
                 c.url,
                 {{"Depth", "1"}, {"Content-Type", "application/xml; charset=utf-8"}},
                 MultigetBody(c, std::vector<std::string>(begin, end))};
}

std::string SyncBody(const std::string& token) {
  std::string escaped;
  for (char ch : token) escaped += ch == '&' ? "&amp;" : ch == '<' ? "&lt;" : std::string(1, ch);
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
         "<D:sync-collection xmlns:D=\"DAV:\"><D:sync-token>" +
         escaped +
         "</D:sync-token><D:sync-level>1</D:sync-level><D:prop><D:getetag/></D:prop>"
         "</D:sync-collection>";
}

}  // namespace tidewell::dav
