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

}  // namespace
}  // namespace tidewell::testing
