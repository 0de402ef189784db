#include "stores/dav/multistatus.h"

#include <gtest/gtest.h>

#include "support/failure_of.h"

namespace tidewell::dav {
namespace {

// Prefixes differ from the usual ones on purpose: elements go by namespace.
const std::string kAnswer =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<x:multistatus xmlns:x=\"DAV:\" xmlns:card=\"urn:ietf:params:xml:ns:carddav\" "
    "xmlns:cal=\"urn:ietf:params:xml:ns:caldav\">"
    "<x:response><x:href>/dav/me/c/a%20b.vcf</x:href><x:propstat><x:prop>"
    "<x:getetag>\"1\"</x:getetag><card:address-data>BEGIN:VCARD&#13;\nFN:J\xC3\xBCrgen &amp; "
    "Co&#13;\n"
    "END:VCARD&#13;\n</card:address-data></x:prop><x:status>HTTP/1.1 200 OK</x:status>"
    "</x:propstat><x:propstat><x:prop><x:displayname>ignored</x:displayname></x:prop>"
    "<x:status>HTTP/1.1 404 Not Found</x:status></x:propstat></x:response>"
    "<x:response><x:href>/dav/me/cal/</x:href><x:propstat><x:prop><x:resourcetype><x:collection/>"
    "<cal:calendar/></x:resourcetype><x:displayname> Tasks </x:displayname>"
    "<cal:supported-calendar-component-set><cal:comp "
    "name=\"VTODO\"/></cal:supported-calendar-component-set>"
    "<x:current-user-principal><x:href>/dav/me/</x:href></x:current-user-principal>"
    "<cal:calendar-home-set><x:href>/dav/me/</x:href></cal:calendar-home-set>"
    "</x:prop><x:status>HTTP/1.1 200 OK</x:status></x:propstat></x:response>"
    "<x:response><x:href>/dav/me/c/gone.vcf</x:href><x:status>HTTP/1.1 404 Not Found</x:status>"
    "</x:response></x:multistatus>\n";

std::string Summary(const DavResponse& r) {
  std::string s = r.href + "|" + std::to_string(r.status) + "|" + r.etag + "|" + r.data + "|" +
                  r.display_name + "|" + (r.collection ? "col " : "") + (r.calendar ? "cal " : "") +
                  (r.addressbook ? "book " : "") + "|" + r.principal;
  for (const auto& c : r.components) s += "|" + c;
  for (const auto& h : r.calendar_homes) s += "|home " + h;
  return s;
}

std::vector<std::string> Read(const std::string& answer, size_t split) {
  std::vector<std::string> out;
  MultistatusReader reader([&](DavResponse& r) { out.push_back(Summary(r)); });
  reader.Add(answer.substr(0, split));
  reader.Add(answer.substr(split));
  reader.Finish();
  return out;
}

TEST(Multistatus, GivesTheSameResponsesWhereverTheAnswerIsSplit) {
  const std::vector<std::string> whole = Read(kAnswer, kAnswer.size());
  ASSERT_EQ(whole, (std::vector<std::string>{
                       "/dav/me/c/a%20b.vcf|200|\"1\"|BEGIN:VCARD\r\nFN:J\xC3\xBCrgen & Co\r\n"
                       "END:VCARD\r\n|||",
                       "/dav/me/cal/|200|||Tasks|col cal |/dav/me/|VTODO|home /dav/me/",
                       "/dav/me/c/gone.vcf|404|||||"}));
  for (size_t split = 0; split < kAnswer.size(); ++split) {
    ASSERT_EQ(Read(kAnswer, split), whole) << "split at " << split;
  }
}

// `answer` in two pieces split at `split`: its responses' summaries, or "!" and the failure.
std::string Outcome(const std::string& answer, size_t split) {
  std::string out;
  const std::string error = testing::FailureOf([&] {
    MultistatusReader reader([&](DavResponse& r) {
      if (r.href == "t") throw Failure("thrown");
      out += Summary(r);
    });
    reader.Add(answer.substr(0, split));
    reader.Add(answer.substr(split));
    reader.Finish();
  });
  return error.empty() ? out : error;
}

TEST(Multistatus, AnAnswerCutAnywhereBeforeItsEndIsRefused) {
  for (size_t cut = 0; cut <= kAnswer.rfind('>'); ++cut) {
    ASSERT_EQ(Outcome(kAnswer.substr(0, cut), cut / 2),
              "!The server's answer could not be read: it ended before its last element closed.")
        << "cut at " << cut;
  }
}

TEST(Multistatus, ReadsCdataAndLineEndsAndRefusesBadXmlWhereverSplit) {
  const std::string no = "!The server's answer could not be read: ";
  const std::pair<std::string, std::string> rows[] = {
      {"<multistatus xmlns=\"DAV:\"><response><href><![CDATA[a<b>&amp;]]></href><propstat><prop>"
       "<getetag>\"\xC3\xBC\"</getetag></prop></propstat></response></multistatus>",
       "a<b>&amp;|200|\"\xC3\xBC\"||||"},
      // The XML read every CR LF as LF: the item gets its CR LF back.
      {"<multistatus xmlns=\"DAV:\"><response><href>a</href><propstat><prop><address-data "
       "xmlns=\"urn:ietf:params:xml:ns:carddav\">A\r\nB\r\n</address-data></prop></propstat>"
       "</response></multistatus>",
       "a|200||A\r\nB\r\n|||"},
      {"<!DOCTYPE m [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">]>"
       "<multistatus xmlns=\"DAV:\"><response><href>&b;&b;</href></response></multistatus>",
       no + "it declares a document type."},
      {"<multistatus xmlns=\"DAV:\">&a;</multistatus>", no + "undefined entity (line 1)."},
      {"<multistatus xmlns=\"DAV:\"></response></multistatus>", no + "mismatched tag (line 1)."},
      {"<multistatus xmlns=\"DAV:\"><response><href>t</href></response></multistatus>", "!thrown"},
  };
  for (const auto& [answer, result] : rows) {
    for (size_t split = 0; split <= answer.size(); ++split) {
      ASSERT_EQ(Outcome(answer, split), result) << answer << " split at " << split;
    }
  }
}

}  // namespace
}  // namespace tidewell::dav
