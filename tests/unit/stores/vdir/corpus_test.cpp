// Round trips over real files of many programs (TIDEWELL_CORPUS_DIR): every
// property reads or fails cleanly, an unchanged save is byte for byte, a
// changed field rewrites only its own lines and writing the old value back
// with its line gives the file back. What the programs make of a run's
// results is the end-to-end tests' business.
#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include <gtest/gtest.h>

#include "vdir_fixture.h"

namespace tidewell::testing {
namespace {

namespace fs = std::filesystem;

// Every property of contacts or of calendar items, each with the content lines
// a change of it may rewrite besides REV, DTSTAMP and LAST-MODIFIED. A new
// start moves its series; a new time counts in SEQUENCE.
std::map<std::string, std::set<std::string>> Properties(bool contact) {
  const std::string series = "DTSTART,SEQUENCE,RRULE,EXDATE,RDATE,RECURRENCE-ID";
  std::string table =
      "Subject:SUMMARY Location:LOCATION Body:DESCRIPTION Start:" + series +
      " StartDate:" + series +
      " End:DTEND,DURATION,SEQUENCE DueDate:DUE,SEQUENCE DateCompleted:COMPLETED "
      "ActualWork:X-ACTUAL-WORK "
      "TotalWork:X-TOTAL-WORK Mileage:X-MILEAGE BillingInformation:X-BILLING-INFORMATION "
      "Companies:X-COMPANIES";
  if (contact) {
    table =
        "Subject:FN Account:X-ACCOUNT CompanyName:ORG Body:NOTE BusinessHomePage:URL "
        "FileAs:X-EVOLUTION-FILE-AS OfficeLocation:ADR,LABEL";
    for (const std::string n : {"1", "2", "3"}) {
      table += " Email" + n + "Address:EMAIL Email" + n + "DisplayName:EMAIL";
    }
    for (const std::string kind : {"Business", "Home", "Other"}) {
      for (const std::string part : {"Street", "City", "State", "PostalCode"}) {
        table += " " + kind + "Address" + part + ":ADR,LABEL";
      }
    }
    for (const std::string& phone :
         Words("AssistantTelephone BusinessTelephone Business2Telephone BusinessFax "
               "CallbackTelephone CarTelephone CompanyMainTelephone HomeTelephone Home2Telephone "
               "HomeFax MobileTelephone OtherTelephone OtherFax Pager PrimaryTelephone "
               "RadioTelephone TTYTDDTelephone")) {
      table += " " + phone + "Number:TEL,X-MS-TEL";
    }
  }
  std::map<std::string, std::set<std::string>> properties;
  for (std::string word : Words(table)) {
    const size_t colon = word.find(':');
    std::replace(word.begin(), word.end(), ',', ' ');
    for (const std::string& line : Words(word.substr(colon + 1))) {
      properties[word.substr(0, colon)].insert(line);
    }
  }
  return properties;
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

// A logical line of a vCard/iCalendar text by a deliberately simple reading
// (unfold, join quoted-printable soft breaks): its upper-case name without
// group, and its physical lines without their line breaks.
struct RawLogicalLine {
  std::string name, raw;
  std::vector<std::string> physical;
};

std::vector<RawLogicalLine> RawLogicalLines(const std::string& bytes) {
  std::vector<RawLogicalLine> out;
  std::string text;
  for (size_t pos = 0, end; pos < bytes.size(); pos = end) {
    end = std::min(bytes.find('\n', pos), bytes.size() - 1) + 1;
    const std::string raw = bytes.substr(pos, end - pos);
    const std::string c = raw.substr(0, raw.find_first_of("\r\n"));
    const bool continues = !out.empty() && !c.empty() && (c[0] == ' ' || c[0] == '\t');
    if (continues || (!out.empty() && text.ends_with("=") &&
                      text.find("QUOTED-PRINTABLE") != std::string::npos)) {
      out.back().raw += raw;
      out.back().physical.push_back(c);
      text += c;
      continue;
    }
    text = c;
    std::string head = c.substr(0, c.find_first_of(";:"));
    head = head.substr(head.rfind('.') + 1);
    std::transform(head.begin(), head.end(), head.begin(), ::toupper);
    out.push_back({head, raw, {c}});
  }
  return out;
}

// Checks that `after` differs from `before` only in lines `property` may
// rewrite, at least one of its own among them, with the file's own line
// break, folded as they were: a line that was one long or quoted-printable
// physical line stays one, others keep within 75 octets or their longest
// physical line, or break only after encoded line breaks when they did; a
// vCard 2.1 line gets no fold at all (its readers keep the fold's blank).
void ExpectOnlyItsLinesChanged(const std::string& before, const std::string& after,
                               const std::set<std::string>& own, const std::string& where) {
  std::vector<RawLogicalLine> was = RawLogicalLines(before), is = RawLogicalLines(after);
  ASSERT_EQ(was.size(), is.size()) << where;
  const size_t firstBreak = before.find('\n');
  size_t crs = 0;
  while (crs < firstBreak && before[firstBreak - 1 - crs] == '\r') ++crs;
  const std::string newline = before.substr(firstBreak - crs, crs + 1);
  const auto breaksOnlyAtLineBreaks = [](const std::vector<std::string>& lines) {
    return std::all_of(lines.begin(), lines.end() - 1,
                       [](const std::string& l) { return l.ends_with("=0A="); });
  };
  const bool v21 = before.find("VERSION:2.1") != std::string::npos;
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
    const std::vector<std::string>&old_lines = was[i].physical, &new_lines = is[i].physical;
    size_t longest = 0;
    for (const std::string& l : old_lines) longest = std::max(longest, l.size());
    const bool qp = was[i].raw.find("QUOTED-PRINTABLE") != std::string::npos;
    if (v21) {
      for (const std::string& l : new_lines) {
        EXPECT_FALSE(l.starts_with(' ') || l.starts_with('\t')) << where << ": " << is[i].raw;
      }
    } else if (old_lines.size() == 1 && (longest > 75 || qp)) {
      EXPECT_EQ(new_lines.size(), 1u) << where << ": " << is[i].raw;
    } else if (!qp || old_lines.size() == 1 || !breaksOnlyAtLineBreaks(old_lines) ||
               !breaksOnlyAtLineBreaks(new_lines)) {
      for (const std::string& l : new_lines) {
        EXPECT_LE(l.size(), old_lines.size() == 1 ? 75 : std::max<size_t>(75, longest))
            << where << ": " << is[i].raw;
      }
    }
  }
  EXPECT_TRUE(ownChanged) << where;
}

// The raw logical lines but those a save stamps anew.
std::vector<std::string> WithoutStamps(const std::string& bytes) {
  std::vector<std::string> out;
  for (const RawLogicalLine& line : RawLogicalLines(bytes)) {
    if (line.name != "REV" && line.name != "DTSTAMP" && line.name != "LAST-MODIFIED" &&
        line.name != "SEQUENCE") {
      out.push_back(line.raw);
    }
  }
  return out;
}

// Every corpus file in a folder of its own, named after the file, in one
// store; times in UTC and the C locale, since the tests compare text forms.
class Corpus : public ::testing::Test {
 protected:
  Corpus() {
    for (const auto& e : fs::recursive_directory_iterator(fs::path(TIDEWELL_CORPUS_DIR))) {
      if (e.path().extension() != ".vcf" && e.path().extension() != ".ics") continue;
      files_[e.path().stem().string()] = root_.path() / e.path().stem() / e.path().filename();
      WriteFile(files_[e.path().stem().string()], ReadFile(e.path()));
    }
    store_ =
        std::make_unique<VdirStore>(std::vector<std::string>{root_.path().string()}, ui_, nullptr);
  }
  std::shared_ptr<OutlookItem> Item(const std::string& folder) {
    return store_->GetItemFromID(folder + "/" + files_.at(folder).filename().string(), "");
  }

  ScopedTimeZone utc_{"UTC"};
  TempDir root_;
  ScriptedUi ui_;
  std::unique_ptr<VdirStore> store_;
  std::map<std::string, fs::path> files_;  // folder -> its one file
};

TEST_F(Corpus, EveryFieldReadsOrFailsCleanlyAndEachChangeRewritesOnlyItsOwnLines) {
  std::set<std::string> unreadable, refused;
  int changes = 0;
  for (const auto& [folder, path] : files_) {
    const std::string original = ReadFile(path);
    auto item = Item(folder);
    const bool contact = item->TypeName() == "ContactItem";
    const auto properties = Properties(contact);
    std::vector<std::string> names = {"RTFBody"};
    if (contact) names.push_back("FullNameAndCompany");
    for (const auto& [p, lines] : properties) names.push_back(p);
    for (const std::string& p : names) {
      try {
        item->GetProperty(p);
      } catch (const Failure& f) {
        unreadable.insert(folder);
        EXPECT_NE(f.Description().find(path.string()), std::string::npos) << f.Description();
      }
    }
    item->Save();
    EXPECT_EQ(ReadFile(path), original) << folder << ": an unchanged save wrote";
    if (unreadable.contains(folder)) continue;

    for (const auto& [p, lines] : properties) {
      auto fresh = Item(folder);
      const std::string old = fresh->GetProperty(p);
      if (old.empty()) continue;
      const std::string before = ReadFile(path);
      const std::string line = fresh->PropertyLine(p);
      // Where the line is its own token, the view a run journals must read the same.
      if (const auto view = fresh->PropertyLineView(p)) {
        EXPECT_EQ(*view, line) << folder << " " << p;
      }
      try {
        fresh->SetProperty(p, NewText(p, old));
      } catch (const Failure& f) {
        refused.insert(folder + " " + p + ": " + f.Description());
        fresh->Save();
        EXPECT_EQ(ReadFile(path), before) << folder << " " << p << ": a refused move wrote";
        continue;
      }
      fresh->Save();
      ++changes;
      EXPECT_EQ(Item(folder)->GetProperty(p), NewText(p, old)) << folder << " " << p;
      ExpectOnlyItsLinesChanged(before, ReadFile(path), lines, folder + " " + p);
      // As an undo does: the old value, and the line as it was read.
      auto back = Item(folder);
      back->SetProperty(p, old);
      back->RestoreLine(p, line);
      back->Save();
      EXPECT_EQ(WithoutStamps(ReadFile(path)), WithoutStamps(before)) << folder << " " << p;
    }
  }
  EXPECT_EQ(unreadable, (std::set<std::string>{"khard-unparsable", "vobject-timezones",
                                               "vobject-tz_us_eastern"}));
  // Only series khal already refuses refuse to move.
  const std::string beforeStart =
      ": The series would end before it starts: the UNTIL of RRULE on line 5 falls before the "
      "new start.";
  const std::string none =
      ": The series would have no occurrence: RRULE on line 4 yields none from the new start.";
  EXPECT_EQ(refused,
            (std::set<std::string>{"khal-event_dt_rrule_until_before_start Start" + beforeStart,
                                   "khal-event_dt_rrule_until_before_start StartDate" + beforeStart,
                                   "khal-event_rrule_no_occurence Start" + none,
                                   "khal-event_rrule_no_occurence StartDate" + none}));
  EXPECT_GT(changes, 200);
}

}  // namespace
}  // namespace tidewell::testing
