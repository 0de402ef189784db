#include "stores/dav/dav_store.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/failure.h"
#include "stores/dav/collection_cache.h"
#include "support/failure_of.h"
#include "support/fake_components.h"
#include "support/memory_transport.h"

namespace tidewell::testing {
namespace {

const std::string kHost = "http://127.0.0.1:5232";

std::string Multistatus(const std::string& responses) {
  return "<?xml version=\"1.0\"?><d:multistatus xmlns:d=\"DAV:\" "
         "xmlns:a=\"urn:ietf:params:xml:ns:carddav\" "
         "xmlns:c=\"urn:ietf:params:xml:ns:caldav\">" +
         responses + "</d:multistatus>";
}

std::string Ok(const std::string& href, const std::string& props) {
  return "<d:response><d:href>" + href + "</d:href><d:propstat><d:prop>" + props +
         "</d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>";
}

std::string Book(const std::string& href, const std::string& name) {
  return Ok(href,
            "<d:resourcetype><d:collection/><a:addressbook/></d:resourcetype>"
            "<d:displayname>" +
                name + "</d:displayname>");
}

std::string Calendar(const std::string& href, const std::string& comp) {
  return Ok(href,
            "<d:resourcetype><d:collection/><c:calendar/></d:resourcetype>"
            "<c:supported-calendar-component-set><c:comp name=\"" +
                comp + "\"/></c:supported-calendar-component-set>");
}

// An account whose principal /me/, with `principal` among its properties, is the home of its
// books and calendars; `listing` answers for the collections there, `dav` as the DAV header.
void Account(MemoryTransport& server, const std::string& listing, const std::string& principal = "",
             const std::string& dav = "") {
  server.On("PROPFIND", kHost + "/",
            {207, Multistatus(Ok("/",
                                 "<d:current-user-principal><d:href>/me/</d:href>"
                                 "</d:current-user-principal>"))});
  server.On("PROPFIND", kHost + "/me/",
            {207, Multistatus(Ok("/me/",
                                 "<a:addressbook-home-set><d:href>/me/</d:href>"
                                 "</a:addressbook-home-set><c:calendar-home-set><d:href>/me/"
                                 "</d:href></c:calendar-home-set>" +
                                     principal))},
            "addressbook-home-set");
  server.On(
      "PROPFIND", kHost + "/me/",
      {207, Multistatus(Ok("/me/", "<d:resourcetype><d:collection/></d:resourcetype>") + listing),
       "", dav},
      "resourcetype");
}

struct NotingUi : ScriptedUi {
  void Note(const std::string& text) override { notes.push_back(text); }
  std::vector<std::string> notes;
};

struct CountingLog : WriteAheadLog {
  explicit CountingLog(const MemoryTransport& t) : server(t) {}
  void Sync() override {
    synced_after.push_back(server.requests.size());
    if (fail) throw JournalNotWritten("No space left on device");
  }
  const MemoryTransport& server;
  bool fail = false;
  std::vector<size_t> synced_after;  // how many requests had been sent at each Sync
};

// A transport that answers OPTIONS by throwing, as one whose connection timed out.
struct LostOptions : SharedTransport {
  using SharedTransport::SharedTransport;
  dav::Response Send(const dav::Request& r, const dav::BodySink& sink, size_t cap) override {
    if (r.method == "OPTIONS") throw Failure("Timeout was reached");
    return SharedTransport::Send(r, sink, cap);
  }
};

struct Fixture {
  Fixture() : log(*server) {}
  DavStore& Open(const std::string& url = kHost) {
    store = std::make_unique<DavStore>(
        std::vector<std::string>{url}, ui, &log,
        [this](const std::string&) -> std::unique_ptr<dav::Transport> {
          if (lose_options) return std::make_unique<LostOptions>(server);
          return std::make_unique<SharedTransport>(server);
        },
        cache_home);
    return *store;
  }
  std::unique_ptr<Items> Listing(const std::string& folder) {
    return store->YSGetFolder(folder, store->StoreIDs()[0])->GetItems();
  }

  std::shared_ptr<MemoryTransport> server = std::make_shared<MemoryTransport>();
  NotingUi ui;
  CountingLog log;
  std::unique_ptr<DavStore> store;
  std::string cache_home;  // "" keeps no copies
  bool lose_options = false;
};

TEST(DavDiscovery, CountsAServerAsSchedulingUnlessItsAnswersSayItIsNot) {
  const std::string kSchedules = "1, 3, calendar-access, calendar-auto-schedule";
  const std::string kPlain = "1, 3, calendar-access";
  const struct {
    const char* server;
    long options;              // OPTIONS status on the home; 0: the answer is lost
    std::string options_dav;   // its DAV header
    std::string propfind_dav;  // the home listing's DAV header
    bool outbox;               // the principal names a schedule-outbox-URL
    bool via_collection;       // the store URL names the calendar itself
    bool schedules;
  } rows[] = {
      {"header on OPTIONS only", 200, kSchedules, kPlain, false, false, true},
      {"header on PROPFIND only", 200, kPlain, kSchedules, false, false, true},
      {"an outbox only", 200, kPlain, kPlain, true, false, true},
      {"OPTIONS refused", 405, "", kPlain, false, false, true},
      {"the calendar's OPTIONS refused", 501, "", kPlain, false, true, true},
      {"OPTIONS lost", 0, "", kPlain, false, false, true},
      {"no sign of scheduling", 200, kPlain, kPlain, false, false, false},
      {"no sign on the calendar itself", 200, kPlain, kPlain, false, true, false},
  };
  for (const auto& row : rows) {
    Fixture f;
    Account(*f.server, Calendar("/me/cal/", "VEVENT"),
            row.outbox ? "<c:schedule-outbox-URL><d:href>/me/out/</d:href></c:schedule-outbox-URL>"
                       : "",
            row.propfind_dav);
    f.server->On("PROPFIND", kHost + "/me/cal/",
                 {207, Multistatus(Calendar("/me/cal/", "VEVENT")), "", row.propfind_dav});
    const std::string asked = kHost + (row.via_collection ? "/me/cal/" : "/me/");
    f.server->On("OPTIONS", asked, {row.options, "", "", row.options_dav});
    f.lose_options = row.options == 0;
    EXPECT_EQ(f.Open(row.via_collection ? asked : kHost).SchedulesImplicitly(), row.schedules)
        << row.server;
  }
}

TEST(DavDiscovery, RefusedLoginFailsWithTheStatusLine) {
  Fixture f;
  f.server->On("PROPFIND", kHost + "/", {401});
  EXPECT_EQ(FailureOf([&] { return f.Open().StoreIDs()[0]; }), "!HTTP/1.1 401 Unauthorized");
}

const std::string kTwoCards =
    "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann\r\nEMAIL:ann@a.example\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Bob\r\nEMAIL:bob@a.example\r\nEND:VCARD\r\n";

std::string Card(const std::string& href, const std::string& etag, const std::string& data) {
  return Ok(href,
            "<d:getetag>" + etag + "</d:getetag><a:address-data>" + data + "</a:address-data>");
}

// One address book /me/contacts/ holding `cards`, answered by a REPORT.
Fixture& WithCards(Fixture& f, const std::string& cards) {
  Account(*f.server, Book("/me/contacts/", "Contacts"));
  f.server->On("REPORT", kHost + "/me/contacts/", {207, Multistatus(cards)});
  f.Open();
  return f;
}

TEST(DavItems, ListsEveryComponentAndRefusesHrefsOutsideTheFolder) {
  Fixture f;
  WithCards(f, Card("/me/contacts/two.vcf", "\"e1\"", kTwoCards) +
                   Card("/elsewhere/x.vcf", "\"e2\"", kTwoCards));
  auto items = f.Listing("contacts");
  ASSERT_EQ(items->Count(), 3);
  EXPECT_EQ(items->Item(1)->GetProperty("EntryID"), "contacts/two.vcf");
  EXPECT_EQ(items->Item(2)->GetProperty("EntryID"), "contacts/two.vcf#2");
  EXPECT_EQ(items->Item(2)->GetProperty("Email1Address"), "bob@a.example");
  EXPECT_EQ(FailureOf([&] { return items->Item(3)->GetProperty("Email1Address"); }),
            "!Cannot read http://127.0.0.1:5232/elsewhere/x.vcf: The server named "
            "/elsewhere/x.vcf as an item of http://127.0.0.1:5232/me/contacts/, which lies "
            "outside it; it is neither read nor written.");
  EXPECT_TRUE(f.server->Sent("GET").empty());
}

TEST(DavItems, AListingLargerThanWhatMemoryKeepsIsReadFromTheServerOnce) {
  // 12 cards of 1 MiB pass what a listing keeps in memory; the rest must
  // come back whole from disk, not from the server again.
  std::string cards;
  for (int i = 1; i <= 12; ++i) {
    const std::string note = std::string(1 << 20, static_cast<char>('a' + i));
    cards += Card("/me/contacts/c" + std::to_string(i) + ".vcf", "\"e\"",
                  "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:C" + std::to_string(i) + "\r\nNOTE:" + note +
                      "\r\nEND:VCARD\r\n");
  }
  Fixture f;
  WithCards(f, cards);
  auto items = f.Listing("contacts");
  ASSERT_EQ(items->Count(), 12);
  for (int i = 12; i >= 1; --i) {
    const std::string body = items->Item(i)->GetProperty("Body");
    EXPECT_EQ(body, std::string(1 << 20, static_cast<char>('a' + i))) << i;
  }
  EXPECT_TRUE(f.server->Sent("GET").empty());
}

TEST(DavItems, SaveSendsOnlyTheChangedLineWithIfMatchAfterTheLog) {
  Fixture f;
  WithCards(f, Card("/me/contacts/two.vcf", "\"e1\"", kTwoCards));
  const std::string url = kHost + "/me/contacts/two.vcf";
  f.server->On("PUT", url, {204, "", "\"e2\""});
  auto items = f.Listing("contacts");
  auto ann = items->Item(1), bob = items->Item(2);
  ann->SetProperty("Email1Address", "ann@b.example");
  bob->SetProperty("Email1Address", "bob@b.example");
  ann->Save();
  bob->Save();
  const std::vector<dav::Request> puts = f.server->Sent("PUT");
  ASSERT_EQ(puts.size(), 2u);
  std::string first = kTwoCards, second;
  first.replace(first.find("ann@a"), 5, "ann@b");
  second = first;
  second.replace(second.find("bob@a"), 5, "bob@b");
  EXPECT_EQ(puts[0].body, first);
  EXPECT_EQ(puts[1].body, second);  // built on the first save, not taken for a conflict
  const auto header = [](const dav::Request& r, const std::string& name) {
    for (const auto& [k, v] : r.headers) {
      if (k == name) return v;
    }
    return std::string();
  };
  EXPECT_EQ(header(puts[0], "If-Match"), "\"e1\"");
  EXPECT_EQ(header(puts[1], "If-Match"), "\"e2\"");
  EXPECT_EQ(header(puts[0], "Content-Type"), "text/vcard; charset=utf-8");
  // Each Sync came right before its PUT was sent.
  ASSERT_EQ(f.log.synced_after.size(), 2u);
  EXPECT_EQ(f.server->requests[f.log.synced_after[0]].method, "PUT");
  EXPECT_EQ(f.server->requests[f.log.synced_after[1]].method, "PUT");
}

TEST(DavItems, FailedPutsAndAJournalThatCannotBeWrittenFailTheSave) {
  const struct {
    long status;
    const char* error;
    bool journal_fails = false;  // then no PUT may go out
  } rows[] = {
      {412, "The item was changed by another program since it was read."},
      {500, "HTTP/1.1 500 Internal Server Error"},
      {204,
       "The undo journal could not be written (No space left on device); the item was left as "
       "it was.",
       true},
  };
  for (const auto& row : rows) {
    Fixture f;
    WithCards(f, Card("/me/contacts/two.vcf", "\"e1\"", kTwoCards));
    f.server->On("PUT", kHost + "/me/contacts/two.vcf", {row.status, ""});
    f.log.fail = row.journal_fails;
    auto ann = f.Listing("contacts")->Item(1);
    ann->SetProperty("Email1Address", "ann@b.example");
    EXPECT_EQ(FailureOf([&] {
                ann->Save();
                return "";
              }),
              "!" + std::string(row.error));
    EXPECT_EQ(f.server->Sent("PUT").size(), row.journal_fails ? 0u : 1u) << row.error;
  }
}

TEST(DavItems, ReadsByMultigetWhereTheQueryIsRefused) {
  Fixture f;
  Account(*f.server, Book("/me/contacts/", "Contacts"));
  f.server->On("REPORT", kHost + "/me/contacts/", {405}, "addressbook-query");
  f.server->On(
      "PROPFIND", kHost + "/me/contacts/",
      {207, Multistatus(Ok("/me/contacts/", "<d:resourcetype><d:collection/></d:resourcetype>") +
                        Ok("/me/contacts/two.vcf", "<d:getetag>\"e1\"</d:getetag>"))},
      "getetag");
  f.server->On("REPORT", kHost + "/me/contacts/",
               {207, Multistatus(Card("/me/contacts/two.vcf", "\"e1\"", kTwoCards))},
               "<D:href>/me/contacts/two.vcf</D:href>");
  f.Open();
  auto items = f.Listing("contacts");
  ASSERT_EQ(items->Count(), 2);
  EXPECT_EQ(items->Item(2)->GetProperty("Email1Address"), "bob@a.example");
  EXPECT_EQ(f.server->Sent("REPORT").size(), 2u);
}

TEST(DavItems, LeavesEventsThatMayNotifyAttendeesAloneWhenAsked) {
  Fixture f;
  Account(*f.server, Calendar("/me/cal/", "VEVENT"),
          "<c:calendar-user-address-set><d:href>mailto:ME@a.example</d:href>"
          "</c:calendar-user-address-set>",
          "1, calendar-auto-schedule");
  const auto ics = [](const std::string& href, const std::string& organizer) {
    return "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:" + href +
           "\r\nSUMMARY:Meet\r\nORGANIZER:" + organizer +
           "\r\nATTENDEE:mailto:bob@a.example\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
  };
  const auto event = [&ics](const std::string& href, const std::string& organizer) {
    return Ok(href, "<d:getetag>\"1\"</d:getetag><c:calendar-data>" + ics(href, organizer) +
                        "</c:calendar-data>");
  };
  f.server->On("REPORT", kHost + "/me/cal/",
               {207, Multistatus(event("/me/cal/mine.ics", "mailto:me@a.example") +
                                 event("/me/cal/theirs.ics", "mailto:bob@a.example"))});
  f.server->On("GET", kHost + "/me/cal/mine.ics", {200, ics("mine", "mailto:me@a.example")});
  f.server->On("GET", kHost + "/me/cal/theirs.ics", {200, ics("theirs", "mailto:bob@a.example")});
  DavStore& store = f.Open();
  ASSERT_TRUE(store.SchedulesImplicitly());
  // An undo looks its items up by id, without a listing.
  for (const char* name : {"cal/mine.ics", "cal/theirs.ics"}) {
    ASSERT_NE(store.GetItemFromID(name, kHost + "/"), nullptr) << name;
  }
  EXPECT_TRUE(store.MayNotifyOthers("cal/mine.ics", kHost + "/"));
  EXPECT_FALSE(store.MayNotifyOthers("cal/theirs.ics", kHost + "/"));
  EXPECT_FALSE(store.LeavesNotifyingItemsAlone());
  ASSERT_EQ(f.Listing("cal")->Count(), 2);
  EXPECT_TRUE(store.MayNotifyOthers("cal/mine.ics", kHost + "/"));
  EXPECT_FALSE(store.MayNotifyOthers("cal/theirs.ics", kHost + "/"));
  store.LeaveNotifyingItemsAlone();
  EXPECT_TRUE(store.LeavesNotifyingItemsAlone());
  EXPECT_EQ(f.Listing("cal")->Count(), 1);
  EXPECT_EQ(f.ui.notes, (std::vector<std::string>{"Skipped cal/mine.ics: it has attendees, and "
                                                  "the server may e-mail them the change."}));
}

// Two runs over one cache: the first reads /me/contacts/ whole (Ann in a.vcf, Bob in b.vcf,
// ETags "1"), the second lists it through its copy after the server answers as the row says.
std::string Named(const std::string& href, const std::string& etag, const std::string& fn) {
  return Card(href, etag, "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:" + fn + "\r\nEND:VCARD\r\n");
}

std::string Removed(const std::string& href) {
  return "<d:response><d:href>" + href +
         "</d:href><d:status>HTTP/1.1 404 Not Found</d:status></d:response>";
}

TEST(DavCache, ASecondRunReadsOnlyWhatChanged) {
  const std::string a = "/me/contacts/a.vcf", b = "/me/contacts/b.vcf", c = "/me/contacts/c.vcf";
  const std::string book = kHost + "/me/contacts/";
  const struct {
    const char* what;
    bool tokens, corrupt;                    // the server gives sync tokens; the copy is cut short
    MemoryTransport::Answer sync;            // the answer to sync-collection from token "t1"
    std::string etags, multiget;             // the Depth-1 ETag listing; the multiget's answer
    std::vector<std::string> listed, asked;  // FN of every item listed; hrefs multigets named
    bool whole;                              // read whole again, by the query
  } rows[] = {
      {"sync: changed, removed, added",
       true,
       false,
       {207,
        Multistatus(Ok(a, "<d:getetag>\"2\"</d:getetag>") + Removed(b) +
                    Ok(c, "<d:getetag>\"1\"</d:getetag>") + "<d:sync-token>t2</d:sync-token>")},
       "",
       Multistatus(Named(a, "\"2\"", "Ann2") + Named(c, "\"1\"", "Cid")),
       {"Ann2", "Cid"},
       {a, c},
       false},
      {"no tokens: ETags",
       false,
       false,
       {404},
       Multistatus(Ok("/me/contacts/", "<d:getetag>\"x\"</d:getetag>") +
                   Ok(a, "<d:getetag>\"1\"</d:getetag>") + Ok(c, "<d:getetag>\"1\"</d:getetag>")),
       Multistatus(Named(c, "\"1\"", "Cid")),
       {"Ann", "Cid"},
       {c},
       false},
      {"a copy cut short",
       true,
       true,
       {207, Multistatus("<d:sync-token>t1</d:sync-token>")},
       "",
       "",
       {"Whole"},
       {},
       true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string home = ::testing::TempDir() + "tidewell-cache-" + std::to_string(&row - rows);
    std::filesystem::remove_all(home);
    Fixture f;
    f.cache_home = home;
    WithCards(f, Named(a, "\"1\"", "Ann") + Named(b, "\"1\"", "Bob"));
    if (row.tokens) {
      f.server->On("PROPFIND", book,
                   {207, Multistatus(Ok("/me/contacts/", "<d:sync-token>t1</d:sync-token>"))},
                   "sync-token");
    }
    ASSERT_EQ(f.Listing("contacts")->Count(), 2);
    for (const auto& e : std::filesystem::recursive_directory_iterator(home)) {
      struct stat st {};
      ASSERT_EQ(::stat(e.path().c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 077, 0u) << e.path();  // the owner's alone
      if (row.corrupt && e.is_regular_file())
        std::ofstream(e.path(), std::ios::trunc) << "tidewell collection copy 1\n3:htt";
    }

    f.server->On("REPORT", book, {207, Multistatus(Named(a, "\"9\"", "Whole"))}, "query");
    f.server->On("REPORT", book, row.sync, "<D:sync-token>t1</D:sync-token>");
    f.server->On("PROPFIND", book, {207, row.etags}, "getetag");
    f.server->On("REPORT", book, {207, row.multiget}, "multiget");
    f.server->requests.clear();
    f.Open();
    auto items = f.Listing("contacts");
    std::vector<std::string> listed, asked;
    for (int32_t i = 1; i <= items->Count(); ++i)
      listed.push_back(items->Item(i)->GetProperty("Subject"));
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, row.listed);
    bool whole = false;
    for (const dav::Request& r : f.server->Sent("REPORT")) {
      whole = whole || r.body.find("addressbook-query") != std::string::npos;
      for (size_t at = r.body.find("<D:href>"); at != std::string::npos;
           at = r.body.find("<D:href>", at + 1)) {
        asked.push_back(r.body.substr(at + 8, r.body.find("</D:href>", at) - at - 8));
      }
    }
    EXPECT_EQ(asked, row.asked);
    EXPECT_EQ(whole, row.whole);
    EXPECT_EQ(f.ui.notes, row.corrupt ? std::vector<std::string>{"The cached copy of " + book +
                                                                 " could not be read; it is read "
                                                                 "from the server again."}
                                      : std::vector<std::string>{});
  }
}

TEST(DavCache, ForgettingAStoreRemovesItsCopiesAlone) {
  const std::string home = ::testing::TempDir() + "tidewell-cache-forget";
  std::filesystem::remove_all(home);
  const dav::CollectionCopy copy{"t1", {{"/c/a.vcf", "\"1\"", "", "BEGIN:VCARD"}}};
  const std::string a = dav::CacheFile(home, "http://a.example/", "http://a.example/c/"),
                    b = dav::CacheFile(home, "http://b.example/", "http://b.example/c/");
  ASSERT_TRUE(dav::WriteCopy(a, "http://a.example/c/", copy));
  ASSERT_TRUE(dav::WriteCopy(b, "http://b.example/c/", copy));
  dav::CollectionCopy read;
  EXPECT_TRUE(dav::ForgetStoreCache("HTTP://A.example:80", home));
  EXPECT_EQ(dav::ReadCopy(a, "http://a.example/c/", read), dav::CopyRead::kNone);
  EXPECT_EQ(dav::ReadCopy(b, "http://b.example/c/", read), dav::CopyRead::kRead);
  EXPECT_EQ(read.resources.at(0).bytes, "BEGIN:VCARD");
  dav::ForgetAllStoreCaches(home);
  EXPECT_EQ(dav::ReadCopy(b, "http://b.example/c/", read), dav::CopyRead::kNone);
}

}  // namespace
}  // namespace tidewell::testing
