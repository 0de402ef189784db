// Round trips over real files of many programs (TIDEWELL_CORPUS_DIR): every
// property reads or fails cleanly, an unchanged save is byte for byte, a
// changed field rewrites only its own lines, and vobject, khard, khal and
// todoman still read the results.
#include <algorithm>
#include <array>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/failure.h"
#include "vdir_fixture.h"

namespace tidewell::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

const std::vector<std::string> kContactProperties = Words(
    "Subject Account CompanyName Body BusinessHomePage Email1Address Email2Address Email3Address "
    "Email1DisplayName Email2DisplayName Email3DisplayName FileAs OfficeLocation "
    "BusinessAddressStreet BusinessAddressCity BusinessAddressState BusinessAddressPostalCode "
    "HomeAddressStreet HomeAddressCity HomeAddressState HomeAddressPostalCode OtherAddressStreet "
    "OtherAddressCity OtherAddressState OtherAddressPostalCode AssistantTelephoneNumber "
    "BusinessTelephoneNumber Business2TelephoneNumber BusinessFaxNumber CallbackTelephoneNumber "
    "CarTelephoneNumber CompanyMainTelephoneNumber HomeTelephoneNumber Home2TelephoneNumber "
    "HomeFaxNumber MobileTelephoneNumber OtherTelephoneNumber OtherFaxNumber PagerNumber "
    "PrimaryTelephoneNumber RadioTelephoneNumber TTYTDDTelephoneNumber");
const std::vector<std::string> kCalendarProperties = Words(
    "Subject Location Body Start End StartDate DueDate DateCompleted ActualWork TotalWork Mileage "
    "BillingInformation Companies");

// The content lines a property may rewrite, besides REV, DTSTAMP and LAST-MODIFIED.
std::set<std::string> LinesOf(const std::string& property) {
  static const std::map<std::string, std::string> kLines = {
      {"Subject", "FN SUMMARY"},
      {"Account", "X-ACCOUNT"},
      {"CompanyName", "ORG"},
      {"Body", "NOTE DESCRIPTION"},
      {"BusinessHomePage", "URL"},
      {"FileAs", "X-EVOLUTION-FILE-AS"},
      {"Location", "LOCATION"},
      {"Start", "DTSTART"},
      {"StartDate", "DTSTART"},
      {"End", "DTEND DURATION"},
      {"DueDate", "DUE"},
      {"DateCompleted", "COMPLETED"},
      {"ActualWork", "X-ACTUAL-WORK"},
      {"TotalWork", "X-TOTAL-WORK"},
      {"Mileage", "X-MILEAGE"},
      {"BillingInformation", "X-BILLING-INFORMATION"},
      {"Companies", "X-COMPANIES"}};
  std::string lines = kLines.contains(property)       ? kLines.at(property)
                      : property.starts_with("Email") ? "EMAIL"
                      : property.find("Tele") != std::string::npos || property.ends_with("Number")
                          ? "TEL X-MS-TEL"
                          : "ADR LABEL";
  std::vector<std::string> names = Words(lines);
  return {names.begin(), names.end()};
}

// A different value of the same type: dates four years on (leap days stay
// real), numbers 45, texts with characters that need escaping.
std::string NewText(const std::string& property, const std::string& old) {
  if (property.find("Date") != std::string::npos || property == "Start" || property == "End") {
    return std::to_string(std::stoi(old.substr(0, 4)) + 4) + old.substr(4);
  }
  if (property.ends_with("Work")) return "45";
  return old + " ~edited, \xC3\xBC; ok";
}

// Every corpus file in a folder of its own, named after the file, in one
// store; times in UTC and the C locale, since the tests compare text forms.
class Corpus : public ::testing::Test {
 protected:
  Corpus() {
    for (const char* kind : {"vcard", "icalendar"}) {
      for (const auto& e : fs::directory_iterator(fs::path(TIDEWELL_CORPUS_DIR) / kind)) {
        fs::path target = root_.path() / e.path().stem() / e.path().filename();
        WriteFile(target, ReadFile(e.path()));
        files_[e.path().stem().string()] = target;
      }
    }
    store_ =
        std::make_unique<VdirStore>(std::vector<std::string>{root_.path().string()}, ui_, nullptr);
  }
  std::shared_ptr<OutlookItem> Item(const std::string& folder) {
    return store_->GetItemFromID(folder + "/" + files_.at(folder).filename().string(), "");
  }

  // The files among `paths` that python3-vobject reads.
  std::set<std::string> VobjectReads(const std::vector<fs::path>& paths) const {
    fs::path script = root_.path() / ".vobject_reads.py";
    WriteFile(script,
              "import sys, vobject\n"
              "for p in sys.argv[1:]:\n"
              "    try:\n"
              "        list(vobject.readComponents(open(p, encoding='utf-8', newline='')))\n"
              "        print(p)\n"
              "    except Exception:\n"
              "        pass\n");
    std::string command = "/usr/bin/python3 " + script.string();
    for (const fs::path& p : paths) command += " '" + p.string() + "'";
    CommandResult result = RunShell(command + " 2>/dev/null");
    EXPECT_EQ(result.status, 0) << "python3-vobject is needed for this test";
    std::vector<std::string> read = Words(result.output);
    return {read.begin(), read.end()};
  }

  ScopedTimeZone utc_{"UTC"};
  TempDir root_;
  ScriptedUi ui_;
  std::unique_ptr<VdirStore> store_;
  std::map<std::string, fs::path> files_;  // folder -> its one file
};

// The physical lines of a raw logical line, without their line breaks.
std::vector<std::string> PhysicalLines(const std::string& raw) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < raw.size();) {
    size_t nl = std::min(raw.find('\n', start), raw.size());
    size_t end = nl;
    while (end > start && raw[end - 1] == '\r') --end;
    lines.push_back(raw.substr(start, end - start));
    start = nl + 1;
  }
  return lines;
}

// Whether every soft break of a quoted-printable line follows an encoded
// line break, as Outlook writes them.
bool BreaksOnlyAtLineBreaks(const std::vector<std::string>& lines) {
  return std::all_of(lines.begin(), lines.end() - 1,
                     [](const std::string& l) { return l.ends_with("=0A="); });
}

// Checks that `after` differs from `before` only in lines `property` may
// rewrite, at least one of its own among them, with the file's own line
// break, folded as they were: a line that was one long or quoted-printable
// physical line stays one, others keep within 75 octets or their longest
// physical line, or break only after encoded line breaks when they did.
void ExpectOnlyItsLinesChanged(const std::string& before, const std::string& after,
                               const std::string& property, const std::string& where) {
  std::vector<RawLogicalLine> was = RawLogicalLines(before);
  std::vector<RawLogicalLine> is = RawLogicalLines(after);
  ASSERT_EQ(was.size(), is.size()) << where;
  std::set<std::string> own = LinesOf(property);
  size_t firstBreak = before.find('\n');
  size_t crs = 0;
  while (crs < firstBreak && before[firstBreak - 1 - crs] == '\r') ++crs;
  std::string newline = before.substr(firstBreak - crs, crs + 1);
  bool ownChanged = false;
  for (size_t i = 0; i < was.size(); ++i) {
    if (was[i].raw == is[i].raw) continue;
    ownChanged = ownChanged || own.contains(is[i].name);
    EXPECT_TRUE(own.contains(is[i].name) || is[i].name == "REV" || is[i].name == "DTSTAMP" ||
                is[i].name == "LAST-MODIFIED")
        << where << " rewrote " << is[i].raw;
    for (size_t start = 0, nl; (nl = is[i].raw.find('\n', start)) != std::string::npos;
         start = nl + 1) {
      EXPECT_EQ(is[i].raw.substr(nl + 1 - newline.size(), newline.size()), newline) << where;
    }
    std::vector<std::string> old_lines = PhysicalLines(was[i].raw);
    std::vector<std::string> new_lines = PhysicalLines(is[i].raw);
    size_t longest = 0;
    for (const std::string& l : old_lines) longest = std::max(longest, l.size());
    bool qp = was[i].raw.find("QUOTED-PRINTABLE") != std::string::npos;
    if (old_lines.size() == 1 && (longest > 75 || qp)) {
      EXPECT_EQ(new_lines.size(), 1u) << where << ": " << is[i].raw;
      continue;
    }
    if (qp && old_lines.size() > 1 && BreaksOnlyAtLineBreaks(old_lines) &&
        BreaksOnlyAtLineBreaks(new_lines)) {
      continue;
    }
    for (const std::string& l : new_lines) {
      EXPECT_LE(l.size(), old_lines.size() == 1 ? 75 : std::max<size_t>(75, longest))
          << where << ": " << is[i].raw;
    }
  }
  EXPECT_TRUE(ownChanged) << where;
}

TEST_F(Corpus, EveryFieldReadsOrFailsCleanlyAndEachChangeRewritesOnlyItsOwnLines) {
  std::vector<fs::path> paths;
  for (const auto& [folder, path] : files_) paths.push_back(path);
  std::set<std::string> readBefore = VobjectReads(paths);
  EXPECT_GT(readBefore.size(), paths.size() / 2) << "vobject read too few files to judge";

  std::set<std::string> unreadable;
  int changes = 0;
  for (const auto& [folder, path] : files_) {
    const std::string original = ReadFile(path);
    auto item = Item(folder);
    bool contact = item->TypeName() == "ContactItem";
    std::vector<std::string> properties = contact ? kContactProperties : kCalendarProperties;
    properties.push_back("RTFBody");
    if (contact) properties.push_back("FullNameAndCompany");
    for (const std::string& p : properties) {
      try {
        item->GetProperty(p);
      } catch (const Failure& f) {
        unreadable.insert(folder);
        EXPECT_TRUE(Contains(f.Description(), path.string()));
      }
    }
    item->Save();
    EXPECT_EQ(ReadFile(path), original) << folder << ": an unchanged save wrote";
    if (unreadable.contains(folder)) continue;

    for (const std::string& p : contact ? kContactProperties : kCalendarProperties) {
      auto fresh = Item(folder);
      std::string old = fresh->GetProperty(p);
      if (old.empty()) continue;
      std::string before = ReadFile(path);
      fresh->SetProperty(p, NewText(p, old));
      fresh->Save();
      ++changes;
      EXPECT_EQ(Item(folder)->GetProperty(p), NewText(p, old)) << folder << " " << p;
      ExpectOnlyItsLinesChanged(before, ReadFile(path), p, folder + " " + p);
    }
  }
  EXPECT_EQ(unreadable, (std::set<std::string>{"khard-unparsable", "vobject-timezones",
                                               "vobject-tz_us_eastern"}));
  EXPECT_GT(changes, 200);

  std::set<std::string> readAfter = VobjectReads(paths);
  for (const std::string& p : readBefore) {
    EXPECT_TRUE(readAfter.contains(p)) << "vobject no longer reads " << p;
  }
}

// The real programs, each with a home of its own and no network, run once on
// the files as they came and once after the store changed them.
class Peers : public Corpus {
 protected:
  fs::path Config(const std::string& name, const std::string& text) const {
    WriteFile(home_.path() / name, text);
    return home_.path() / name;
  }
  // Each output line as key -> value, split at the first `separator`.
  std::multimap<std::string, std::string> Listing(const std::string& command,
                                                  const std::string& separator = "\t") const {
    std::string h = home_.path().string();
    CommandResult result =
        RunShell("env -i PATH=/usr/bin:/bin HOME=" + h + " XDG_CONFIG_HOME=" + h +
                 "/config XDG_DATA_HOME=" + h + "/data XDG_CACHE_HOME=" + h +
                 "/cache TZ=UTC LANG=C.UTF-8 " + command + " 2>/dev/null");
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
  static std::string NewSubject(const std::string& key) {
    return "Tidewell " + key + " edited, \xC3\xBC; ok";
  }
  // Renames every item that `list` shows (keyed by folder), then expects
  // `list` to show each under its new name and to lose nothing.
  void ExpectListedUnderNewSubjects(const std::string& list, const std::string& separator,
                                    size_t atLeast) {
    std::multimap<std::string, std::string> before = Listing(list, separator);
    std::set<std::string> edited;
    for (const auto& [folder, title] : before) {
      auto item = Item(folder);
      if (edited.contains(folder) || item->GetProperty("Subject").empty()) continue;
      item->SetProperty("Subject", NewSubject(folder));
      item->Save();
      edited.insert(folder);
    }
    EXPECT_GE(edited.size(), atLeast);
    std::multimap<std::string, std::string> after = Listing(list, separator);
    EXPECT_EQ(after.size(), before.size());
    for (const std::string& folder : edited) {
      EXPECT_TRUE(Lists(after, folder, NewSubject(folder))) << "lost " << folder;
    }
  }

  TempDir home_;
};

TEST_F(Peers, KhardListsEachContactUnderItsNewName) {
  std::vector<fs::path> cards;
  for (const auto& [folder, path] : files_) {
    if (path.extension() == ".vcf") cards.push_back(path);
  }
  std::string config = "[addressbooks]\n";
  // khard gives up on every book at the first file that vobject cannot read.
  for (const std::string& path : VobjectReads(cards)) {
    config += "[[" + fs::path(path).stem().string() +
              "]]\npath = " + fs::path(path).parent_path().string() + "\n";
  }
  config +=
      "[general]\neditor = /bin/true\nmerge_editor = /bin/true\n"
      "[contact table]\ndisplay = formatted_name\n";
  ExpectListedUnderNewSubjects("khard -c " + Config("khard.conf", config).string() +
                                   " list -p | awk -F'\\t' '{print $3 \"\\t\" $2}'",
                               "\t", 10);
}

TEST_F(Peers, KhalListsEachEventUnderItsNewTitle) {
  std::string config = "[calendars]\n";
  for (const auto& [folder, path] : files_) {
    if (path.extension() == ".ics") {
      config += "[[" + folder + "]]\npath = " + path.parent_path().string() + "\n";
    }
  }
  config += "[locale]\ndateformat = %Y-%m-%d\nlongdateformat = %Y-%m-%d\n";
  ExpectListedUnderNewSubjects("khal -c " + Config("khal.conf", config).string() +
                                   " list --format '{calendar}@@{title}' --day-format ''"
                                   " 1970-01-01 2040-12-31",
                               "@@", 30);
}

TEST_F(Peers, TodomanListsEachTaskWithItsNewSummaryAndDueTime) {
  TempDir tasks;
  WriteFile(tasks.path() / "date" / "t.ics", ReadFile(files_.at("vobject-vtodo")));
  WriteFile(tasks.path() / "utc" / "t.ics",
            Lines("BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//x//y//EN\nBEGIN:VTODO\nUID:utc-1\n"
                  "DTSTAMP:20240101T000000Z\nSUMMARY:Pay the rent\nDUE:20240301T150000Z\n"
                  "END:VTODO\nEND:VCALENDAR\n"));
  WriteFile(tasks.path() / "zoned" / "t.ics",
            Lines("BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//x//y//EN\nBEGIN:VTODO\nUID:zoned-1\n"
                  "SUMMARY:Call Berlin\nDUE;TZID=Europe/Berlin:20240301T170000\n"
                  "END:VTODO\nEND:VCALENDAR\n"));
  fs::path config = Config("todoman.py", "path = \"" + tasks.path().string() +
                                             "/*\"\ndate_format = \"%Y-%m-%d\"\n"
                                             "time_format = \"%H:%M\"\ncache_path = \"" +
                                             (home_.path() / "todoman.db").string() + "\"\n");
  fs::path rows = Config("rows.py",
                         "import json, sys\n"
                         "for t in json.load(sys.stdin):\n"
                         "    print(t['list'], t['summary'], t['due'], sep='\\t')\n");
  std::string list = "todoman -c " + config.string() + " --porcelain list --status ANY" +
                     " | /usr/bin/python3 " + rows.string();
  EXPECT_TRUE(Lists(Listing(list), "utc", "Pay the rent\t1709305200"));

  VdirStore store({tasks.path().string()}, ui_, nullptr);
  // The new due times as the C locale shows them in UTC, and as seconds.
  const std::vector<std::array<std::string, 3>> edits = {
      {"date", "2007-05-08", "1178582400"},
      {"utc", "2024-03-02 15:00:00", "1709391600"},
      {"zoned", "2024-03-01 18:00:00", "1709312400"}};
  for (const auto& [folder, due, seconds] : edits) {
    auto item = store.GetItemFromID(folder + "/t.ics", "");
    item->SetProperty("Subject", NewSubject(folder));
    item->SetProperty("DueDate", due);
    item->Save();
  }
  std::multimap<std::string, std::string> after = Listing(list);
  for (const auto& [folder, due, seconds] : edits) {
    EXPECT_TRUE(Lists(after, folder, NewSubject(folder) + "\t" + seconds)) << folder;
  }
}

}  // namespace
}  // namespace tidewell::testing
