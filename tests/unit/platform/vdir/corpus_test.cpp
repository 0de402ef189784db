// Round trips over real files of many programs (TIDEWELL_CORPUS_DIR): every
// property reads or fails cleanly, an unchanged save is byte for byte, a
// changed field rewrites only its own lines, and vobject, khard, khal and
// todoman still read the results.
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/failure.h"
#include "vdir_fixture.h"

namespace tidewell::testing {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kContactProperties = {"Subject",
                                                     "FullNameAndCompany",
                                                     "Account",
                                                     "CompanyName",
                                                     "Body",
                                                     "RTFBody",
                                                     "BusinessHomePage",
                                                     "Email1Address",
                                                     "Email2Address",
                                                     "Email3Address",
                                                     "Email1DisplayName",
                                                     "Email2DisplayName",
                                                     "Email3DisplayName",
                                                     "FileAs",
                                                     "BusinessAddressStreet",
                                                     "BusinessAddressCity",
                                                     "BusinessAddressState",
                                                     "BusinessAddressPostalCode",
                                                     "HomeAddressStreet",
                                                     "HomeAddressCity",
                                                     "HomeAddressState",
                                                     "HomeAddressPostalCode",
                                                     "OtherAddressStreet",
                                                     "OtherAddressCity",
                                                     "OtherAddressState",
                                                     "OtherAddressPostalCode",
                                                     "OfficeLocation",
                                                     "AssistantTelephoneNumber",
                                                     "BusinessTelephoneNumber",
                                                     "Business2TelephoneNumber",
                                                     "BusinessFaxNumber",
                                                     "CallbackTelephoneNumber",
                                                     "CarTelephoneNumber",
                                                     "CompanyMainTelephoneNumber",
                                                     "HomeTelephoneNumber",
                                                     "Home2TelephoneNumber",
                                                     "HomeFaxNumber",
                                                     "MobileTelephoneNumber",
                                                     "OtherTelephoneNumber",
                                                     "OtherFaxNumber",
                                                     "PagerNumber",
                                                     "PrimaryTelephoneNumber",
                                                     "RadioTelephoneNumber",
                                                     "TTYTDDTelephoneNumber"};

const std::vector<std::string> kCalendarProperties = {"Subject",
                                                      "Location",
                                                      "Body",
                                                      "RTFBody",
                                                      "Start",
                                                      "End",
                                                      "StartDate",
                                                      "DueDate",
                                                      "DateCompleted",
                                                      "ActualWork",
                                                      "TotalWork",
                                                      "Mileage",
                                                      "BillingInformation",
                                                      "Companies"};

// The content lines a property may rewrite, besides the change stamps.
const std::map<std::string, std::set<std::string>> kLinesOf = {
    {"Subject", {"FN", "SUMMARY"}},
    {"Account", {"X-ACCOUNT"}},
    {"CompanyName", {"ORG"}},
    {"Body", {"NOTE", "DESCRIPTION"}},
    {"BusinessHomePage", {"URL"}},
    {"FileAs", {"X-EVOLUTION-FILE-AS"}},
    {"Location", {"LOCATION"}},
    {"Start", {"DTSTART"}},
    {"StartDate", {"DTSTART"}},
    {"End", {"DTEND", "DURATION"}},
    {"DueDate", {"DUE"}},
    {"DateCompleted", {"COMPLETED"}},
    {"ActualWork", {"X-ACTUAL-WORK"}},
    {"TotalWork", {"X-TOTAL-WORK"}},
    {"Mileage", {"X-MILEAGE"}},
    {"BillingInformation", {"X-BILLING-INFORMATION"}},
    {"Companies", {"X-COMPANIES"}},
};

std::set<std::string> LinesOf(const std::string& property) {
  auto it = kLinesOf.find(property);
  if (it != kLinesOf.end()) return it->second;
  if (property.starts_with("Email")) return {"EMAIL"};
  if (property.find("Address") != std::string::npos || property == "OfficeLocation") {
    return {"ADR", "LABEL"};
  }
  return {"TEL", "X-MS-TEL"};
}

bool IsDate(const std::string& p) {
  return p == "Start" || p == "End" || p == "StartDate" || p == "DueDate" || p == "DateCompleted";
}

// A different value of the same type: dates four years on (leap days stay
// real), numbers 45, texts with characters that need escaping.
std::string NewText(const std::string& property, const std::string& old) {
  if (IsDate(property)) return std::to_string(std::stoi(old.substr(0, 4)) + 4) + old.substr(4);
  if (property == "ActualWork" || property == "TotalWork") return "45";
  return old + " ~edited, \xC3\xBC; ok";
}

// Every corpus file in a folder of its own, named after the file: one store.
struct CorpusStore {
  CorpusStore() {
    for (const char* kind : {"vcard", "icalendar"}) {
      for (const auto& e : fs::directory_iterator(fs::path(TIDEWELL_CORPUS_DIR) / kind)) {
        fs::path target = root.path() / e.path().stem() / e.path().filename();
        WriteFile(target, ReadFile(e.path()));
        files[e.path().stem().string()] = target;
      }
    }
    store =
        std::make_unique<VdirStore>(std::vector<std::string>{root.path().string()}, ui, nullptr);
  }
  std::shared_ptr<OutlookItem> Item(const std::string& folder) {
    return store->GetItemFromID(folder + "/" + files.at(folder).filename().string(), "");
  }

  TempDir root;
  ScriptedUi ui;
  std::unique_ptr<VdirStore> store;
  std::map<std::string, fs::path> files;  // folder -> file
};

// UTC in the local zone and the C locale: the tests compare text forms.
class Corpus : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    saved_tz_ = tz ? std::optional<std::string>(tz) : std::nullopt;
    setenv("TZ", "UTC", 1);
    tzset();
  }
  void TearDown() override {
    if (saved_tz_) {
      setenv("TZ", saved_tz_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

  // The files that python3-vobject reads, among `paths`.
  static std::set<std::string> VobjectReads(const TempDir& scratch,
                                            const std::vector<fs::path>& paths) {
    fs::path script = scratch.path() / "vobject_reads.py";
    WriteFile(script,
              "import sys, vobject\n"
              "for p in sys.argv[1:]:\n"
              "    try:\n"
              "        with open(p, encoding='utf-8', newline='') as f:\n"
              "            list(vobject.readComponents(f))\n"
              "        print(p)\n"
              "    except Exception:\n"
              "        pass\n");
    std::string command = "/usr/bin/python3 " + script.string();
    for (const fs::path& p : paths) command += " '" + p.string() + "'";
    CommandResult result = RunShell(command + " 2>/dev/null");
    EXPECT_EQ(result.status, 0) << "python3-vobject is needed for this test";
    std::set<std::string> ok;
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) ok.insert(line);
    return ok;
  }

 private:
  std::optional<std::string> saved_tz_;
};

const std::set<std::string> kUnreadable = {"khard-unparsable", "vobject-timezones",
                                           "vobject-tz_us_eastern"};

TEST_F(Corpus, EveryPropertyReadsOrFailsCleanlyAndAnUnchangedSaveKeepsEveryByte) {
  CorpusStore corpus;
  std::set<std::string> failed;
  for (const auto& [folder, path] : corpus.files) {
    auto item = corpus.Item(folder);
    ASSERT_NE(item, nullptr) << folder;
    const auto& properties =
        item->TypeName() == "ContactItem" ? kContactProperties : kCalendarProperties;
    for (const std::string& p : properties) {
      try {
        item->GetProperty(p);
      } catch (const Failure& f) {
        failed.insert(folder);
        EXPECT_TRUE(Contains(f.Description(), path.string())) << f.Description();
      }
    }
    item->Save();
    EXPECT_EQ(ReadFile(path),
              ReadFile(fs::path(TIDEWELL_CORPUS_DIR) /
                       (path.extension() == ".vcf" ? "vcard" : "icalendar") / path.filename()))
        << folder;
  }
  EXPECT_EQ(failed, kUnreadable);
}

TEST_F(Corpus, EachChangedFieldRewritesOnlyItsOwnLinesAndVobjectStillReadsTheFile) {
  CorpusStore corpus;
  std::vector<fs::path> paths;
  for (const auto& [folder, path] : corpus.files) paths.push_back(path);
  std::set<std::string> readBefore = VobjectReads(corpus.root, paths);
  EXPECT_GT(readBefore.size(), paths.size() / 2) << "vobject read too few files to judge";

  int changes = 0;
  for (const auto& [folder, path] : corpus.files) {
    if (kUnreadable.contains(folder)) continue;
    bool contact = path.extension() == ".vcf";
    for (const std::string& p : contact ? kContactProperties : kCalendarProperties) {
      if (p == "RTFBody" || p == "FullNameAndCompany") continue;
      auto item = corpus.Item(folder);
      std::string old = item->GetProperty(p);
      if (old.empty()) continue;
      std::string text = NewText(p, old);
      std::string before = ReadFile(path);
      item->SetProperty(p, text);
      item->Save();
      ++changes;
      std::string after = ReadFile(path);
      EXPECT_EQ(corpus.Item(folder)->GetProperty(p), text) << folder << " " << p;

      std::vector<RawLogicalLine> was = RawLogicalLines(before);
      std::vector<RawLogicalLine> is = RawLogicalLines(after);
      ASSERT_EQ(was.size(), is.size()) << folder << " " << p;
      std::set<std::string> allowed = LinesOf(p);
      allowed.insert({"REV", "DTSTAMP", "LAST-MODIFIED"});
      bool ownLineChanged = false;
      size_t firstBreak = before.find('\n');
      size_t crs = 0;
      while (crs < firstBreak && before[firstBreak - 1 - crs] == '\r') ++crs;
      std::string newline = before.substr(firstBreak - crs, crs + 1);
      for (size_t i = 0; i < was.size(); ++i) {
        if (was[i].raw == is[i].raw) continue;
        EXPECT_TRUE(allowed.contains(is[i].name)) << folder << " " << p << " rewrote " << is[i].raw;
        ownLineChanged = ownLineChanged || LinesOf(p).contains(is[i].name);
        for (size_t nl = is[i].raw.find('\n'); nl != std::string::npos;
             nl = is[i].raw.find('\n', nl + 1)) {
          EXPECT_EQ(is[i].raw.substr(nl + 1 - newline.size(), newline.size()), newline)
              << folder << " " << p << ": a line break unlike the file's own";
        }
        std::istringstream physical(is[i].raw);
        for (std::string line; std::getline(physical, line);) {
          while (!line.empty() && line.back() == '\r') line.pop_back();
          EXPECT_LE(line.size(), 75u) << folder << " " << p << ": " << line;
        }
      }
      EXPECT_TRUE(ownLineChanged) << folder << " " << p;
    }
  }
  EXPECT_GT(changes, 200);

  std::set<std::string> readAfter = VobjectReads(corpus.root, paths);
  for (const std::string& p : readBefore) {
    EXPECT_TRUE(readAfter.contains(p)) << "vobject no longer reads " << p;
  }
}

// The real programs, each run with a home of its own and no network: once
// on the files as they came, once after the store changed them.
class Peers : public Corpus {
 protected:
  std::string Env() const {
    const fs::path& h = home_.path();
    return "env -i PATH=/usr/bin:/bin HOME=" + h.string() +
           " XDG_CONFIG_HOME=" + (h / "config").string() +
           " XDG_DATA_HOME=" + (h / "data").string() + " XDG_CACHE_HOME=" + (h / "cache").string() +
           " TZ=UTC LANG=C.UTF-8 ";
  }
  fs::path Config(const std::string& name, const std::string& text) const {
    fs::path path = home_.path() / name;
    WriteFile(path, text);
    return path;
  }
  // The lines of `command`'s output split at `separator`: first field -> rest.
  std::multimap<std::string, std::string> Listing(const std::string& command,
                                                  const std::string& separator) const {
    CommandResult result = RunShell(Env() + command + " 2>/dev/null");
    EXPECT_EQ(result.status, 0) << command;
    std::multimap<std::string, std::string> rows;
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) {
      size_t at = line.find(separator);
      if (at != std::string::npos)
        rows.emplace(line.substr(0, at), line.substr(at + separator.size()));
    }
    return rows;
  }
  static bool Lists(const std::multimap<std::string, std::string>& rows, const std::string& key,
                    const std::string& value) {
    auto [begin, end] = rows.equal_range(key);
    return std::any_of(begin, end, [&](const auto& row) { return row.second == value; });
  }
  static std::string NewSubject(const std::string& folder) {
    return "Tidewell " + folder + " edited, \xC3\xBC; ok";
  }

  TempDir home_;
};

TEST_F(Peers, KhardListsEachContactWithItsNewName) {
  CorpusStore corpus;
  std::vector<fs::path> cards;
  for (const auto& [folder, path] : corpus.files) {
    if (path.extension() == ".vcf") cards.push_back(path);
  }
  // khard stops at the first file that vobject cannot read.
  std::set<std::string> readable = VobjectReads(home_, cards);
  std::string config = "[addressbooks]\n";
  for (const fs::path& p : cards) {
    if (!readable.contains(p.string())) continue;
    config += "[[" + p.stem().string() + "]]\npath = " + p.parent_path().string() + "\n";
  }
  config +=
      "[general]\ndebug = no\ndefault_action = list\neditor = /bin/true\nmerge_editor = /bin/true\n"
      "[contact table]\ndisplay = formatted_name\nshow_uids = yes\n";
  std::string list = "khard -c " + Config("khard.conf", config).string() + " list -p";
  auto byBook = [&] {
    std::multimap<std::string, std::string> rows;
    for (const auto& [uid, rest] : Listing(list, "\t")) {
      size_t tab = rest.rfind('\t');
      rows.emplace(rest.substr(tab + 1), rest.substr(0, tab));
    }
    return rows;
  };

  std::multimap<std::string, std::string> before = byBook();
  std::set<std::string> edited;
  for (const auto& [book, name] : before) {
    auto item = corpus.Item(book);
    if (item->GetProperty("Subject").empty() || edited.contains(book)) continue;
    item->SetProperty("Subject", NewSubject(book));
    item->Save();
    edited.insert(book);
  }
  EXPECT_GE(edited.size(), 10u);
  std::multimap<std::string, std::string> after = byBook();
  for (const std::string& book : edited) {
    EXPECT_TRUE(Lists(after, book, NewSubject(book))) << "khard lost " << book;
  }
  EXPECT_EQ(after.size(), before.size());
}

TEST_F(Peers, KhalListsEachEventWithItsNewTitle) {
  CorpusStore corpus;
  std::string config = "[calendars]\n";
  for (const auto& [folder, path] : corpus.files) {
    if (path.extension() == ".ics")
      config += "[[" + folder + "]]\npath = " + path.parent_path().string() + "\n";
  }
  config +=
      "[locale]\ntimeformat = %H:%M\ndateformat = %Y-%m-%d\nlongdateformat = %Y-%m-%d\n"
      "datetimeformat = %Y-%m-%d %H:%M\nlongdatetimeformat = %Y-%m-%d %H:%M\n";
  std::string list = "khal -c " + Config("khal.conf", config).string() +
                     " list --format '{calendar}@@{title}' --day-format '' 1970-01-01 2040-12-31";

  std::multimap<std::string, std::string> before = Listing(list, "@@");
  std::set<std::string> edited;
  for (const auto& [calendar, title] : before) {
    auto item = corpus.Item(calendar);
    if (item->GetProperty("Subject").empty() || edited.contains(calendar)) continue;
    item->SetProperty("Subject", NewSubject(calendar));
    item->Save();
    edited.insert(calendar);
  }
  EXPECT_GE(edited.size(), 30u);
  std::multimap<std::string, std::string> after = Listing(list, "@@");
  for (const std::string& calendar : edited) {
    EXPECT_TRUE(Lists(after, calendar, NewSubject(calendar))) << "khal lost " << calendar;
  }
  EXPECT_EQ(after.size(), before.size());
}

TEST_F(Peers, TodomanListsEachTaskWithItsNewSummaryAndDueTime) {
  CorpusStore corpus;
  TempDir tasks;
  WriteFile(tasks.path() / "date" / "t.ics",
            ReadFile(fs::path(TIDEWELL_CORPUS_DIR) / "icalendar" / "vobject-vtodo.ics"));
  WriteFile(tasks.path() / "utc" / "t.ics",
            Lines("BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//x//y//EN\nBEGIN:VTODO\nUID:utc-1\n"
                  "DTSTAMP:20240101T000000Z\nSUMMARY:Pay the rent\nDUE:20240301T150000Z\n"
                  "X-ACTUAL-WORK:30\nDESCRIPTION:A long description that the store folds at s\n"
                  " eventy-five octets when it writes it back.\nEND:VTODO\nEND:VCALENDAR\n"));
  WriteFile(tasks.path() / "zoned" / "t.ics",
            Lines("BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//x//y//EN\nBEGIN:VTODO\nUID:zoned-1\n"
                  "SUMMARY:Call Berlin\nDTSTART;TZID=Europe/Berlin:20240301T090000\n"
                  "DUE;TZID=Europe/Berlin:20240301T170000\nEND:VTODO\nEND:VCALENDAR\n"));
  std::string config = "path = \"" + tasks.path().string() +
                       "/*\"\ndate_format = \"%Y-%m-%d\"\ntime_format = \"%H:%M\"\n"
                       "default_list = \"date\"\ncache_path = \"" +
                       (home_.path() / "todoman.sqlite3").string() + "\"\n";
  fs::path script = Config("rows.py",
                           "import json, sys\n"
                           "for t in json.load(sys.stdin):\n"
                           "    print(t['list'], t['summary'], t['due'], sep='\\t')\n");
  std::string list = "todoman -c " + Config("todoman.py", config).string() +
                     " --porcelain list --status ANY | /usr/bin/python3 " + script.string();

  std::multimap<std::string, std::string> before = Listing(list, "\t");
  EXPECT_TRUE(Lists(before, "utc", "Pay the rent\t1709305200"));
  ScriptedUi ui;
  VdirStore store({tasks.path().string()}, ui, nullptr);
  // New due times, as the C locale shows them with TZ=UTC.
  const std::vector<std::tuple<std::string, std::string, std::string>> edits = {
      {"date", "2007-05-08", "1178582400"},
      {"utc", "2024-03-02 15:00:00", "1709391600"},
      {"zoned", "2024-03-01 18:00:00", "1709312400"}};
  for (const auto& [list_name, due, epoch] : edits) {
    auto item = store.GetItemFromID(list_name + "/t.ics", "");
    item->SetProperty("Subject", NewSubject(list_name));
    item->SetProperty("DueDate", due);
    item->Save();
  }
  std::multimap<std::string, std::string> after = Listing(list, "\t");
  for (const auto& [list_name, due, epoch] : edits) {
    EXPECT_TRUE(Lists(after, list_name, NewSubject(list_name) + "\t" + epoch))
        << "todoman lost " << list_name;
  }
}

}  // namespace
}  // namespace tidewell::testing
