// Undo of a journalled run on a real store: per field, what the file holds
// now decides whether the old value is written back, left alone or skipped;
// a stopped undo is finished by the next, and an item whose save was refused
// is passed over.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/platform_components.h"
#include "app/run_session.h"
#include "journal/journal.h"
#include "stores/vdir/vdir_store.h"
#include "support/fake_components.h"
#include "support/marrowby_support.h"
#include "support/temp_files.h"
#include "undo/undo.h"

namespace tidewell {
namespace {

namespace fs = std::filesystem;

std::string Card(const std::string& company, const std::string& email = "") {
  return "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann\r\nORG:" + company + "\r\n" +
         (email.empty() ? "" : "EMAIL:" + email + "\r\n") + "END:VCARD\r\n";
}

// The company and e-mail of a contact as an undo finds them, what it says and
// skips, and the two afterwards.
struct Found {
  std::string company, email, summary, skipped, company_after, email_after;
};
void PrintTo(const Found& found, std::ostream* out) { *out << found.company << " " << found.email; }

struct WayBack : ::testing::TestWithParam<Found> {
  // A replace of "e" by "E" in the company of a.vcf, b.vcf and c.vcf.
  void Replace() {
    RunSession session(logbook, {});
    Journal journal(components);
    journal.WriteToLog("cmdReplace_Click", "fCount of items in folder 'f': 3");
    journal.WriteToLog("cmdReplace_Click", "Looking for 'e' replacing with 'E'; Case sensitive: 1");
    for (const char* name : {"a", "b", "c"}) {
      const fs::path file = root / "f" / (std::string(name) + ".vcf");
      testing::WriteFile(file, Card("Acme"));
      auto item = components.CreateSafeItem(kSafeContactItem);
      item->SetItem(store.GetItemFromID(std::string("f/") + name + ".vcf", root.string()));
      journal.WriteUndoRecords(root.string(), "f", item->Get("EntryID"), "CompanyName", "Acme",
                               "AcmE");
      item->Set("CompanyName", "AcmE");
      // Another program writes c.vcf between the read and the save.
      if (*name == 'c') testing::WriteFile(file, Card("Acme Corp"));
      try {
        item->Save();
      } catch (const std::exception&) {
      }
    }
  }

  // Undoes what a plain undo takes, stopping after `items` items when given.
  std::string Undo(int items = -1) {
    RunSession session(logbook, {});
    const RunSummary* newest = session.Runs().NewestToUndo();
    if (newest == nullptr) return "none";
    const JournalRun run = LoadRunToUndo(session.Runs(), *newest);
    return UndoSummary(UndoJournalRun(run, store, components, [&] { return items-- == 0; }));
  }

  std::string Listed() { return RunState(*ListRuns(logbook).Find(replace_id)); }

  testing::TempDir dir;
  const fs::path root = dir.path();
  Logbook logbook{root / "state"};
  MarrowbySupport support{logbook};
  testing::FakeSettings settings;
  testing::ScriptedUi ui;
  PlatformComponents components{ui, settings, logbook, support};
  VdirStore store{{root.string()}, ui, &logbook};
  std::string replace_id;
};

TEST_F(WayBack, AStoppedUndoIsFinishedByThePlainUndoAndNoFieldIsRestoredTwice) {
  Replace();
  replace_id = ListRuns(logbook).runs.back().id;
  // c.vcf was never saved: its field is not counted, and undo passes it over.
  EXPECT_EQ(ListRuns(logbook).runs.back().fields, 2u);
  EXPECT_EQ(Undo(1), "Restored 1 fields in 1 items; skipped 0.");
  EXPECT_EQ(Listed(), "partly undone (1 of 2 fields)");
  // The item restored first (b.vcf, the newest change) is written again by
  // another program; the undo that finishes leaves it to that program.
  testing::WriteFile(root / "f" / "b.vcf", Card("AcmE"));
  EXPECT_EQ(Undo(), "Restored 1 fields in 1 items; skipped 0.");
  EXPECT_EQ(Listed(), "undone");
  for (const auto& [name, company] : {std::pair{"a", "Acme"}, {"b", "AcmE"}, {"c", "Acme Corp"}}) {
    EXPECT_EQ(testing::ReadFile(root / "f" / (name + std::string(".vcf"))), Card(company));
  }
  EXPECT_EQ(Undo(), "none");
}

// The run replaced "e" by "E", case sensitive, in both fields of one contact.
TEST_P(WayBack, WritesBackOnlyWhatStillShowsTheRunsResult) {
  const Found& row = GetParam();
  testing::WriteFile(root / "f" / "a.vcf", Card(row.company, row.email));
  JournalRun run;
  run.time = "2026-12-05T10:00:00.000Z";
  run.SearchFor = "e";
  run.ReplaceWith = "E";
  run.CaseSensitive = 1;
  for (const auto& [field, old] :
       {std::pair{"CompanyName", "Acme Ltd"}, std::pair{"Email1Address", "ann@example.com"}}) {
    run.entries.push_back({.time = run.time,
                           .FolderStoreId = store.StoreIDs()[0],
                           .FolderEntryId = "f",
                           .ItemEntryId = "f/a.vcf",
                           .FieldName = field,
                           .FieldValue = old,
                           .records = 5,
                           .restored = std::nullopt,
                           .complete = true});
  }

  const UndoOutcome outcome = UndoJournalRun(run, store, components);
  std::string skipped;
  for (const SkippedField& field : outcome.skipped) skipped += DescribeSkipped(field) + "\n";
  EXPECT_EQ(UndoSummary(outcome), row.summary);
  EXPECT_EQ(skipped, row.skipped);
  EXPECT_EQ(testing::ReadFile(root / "f" / "a.vcf"), Card(row.company_after, row.email_after));
  // Five undo records for each field written, none for the others.
  std::ifstream journal(logbook.ActivityPath());
  int records = 0;
  for (std::string line; std::getline(journal, line);) {
    records += nlohmann::json::parse(line)["procedure"] == "UndoSave";
  }
  EXPECT_EQ(records, 5 * outcome.restored_fields);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, WayBack,
    ::testing::Values(
        Found{"AcmE Ltd", "ann@ExamplE.com", "Restored 2 fields in 1 items; skipped 0.", "",
              "Acme Ltd", "ann@example.com"},
        // Journalled, then the run was cut off before the save: nothing to do.
        Found{"Acme Ltd", "ann@example.com", "Restored 0 fields in 0 items; skipped 0.", "",
              "Acme Ltd", "ann@example.com"},
        Found{"Acme Ltd", "ann@ExamplE.com", "Restored 1 fields in 1 items; skipped 0.", "",
              "Acme Ltd", "ann@example.com"},
        Found{"Other Corp", "ann@ExamplE.com", "Restored 1 fields in 1 items; skipped 1.",
              "CompanyName of f/a.vcf: changed since the run\n", "Other Corp", "ann@example.com"}));

// A line past a MiB is read from the journal again when it is restored: the
// file comes back byte for byte, and a journal changed there since leaves the
// item as it is.
TEST_F(WayBack, ALongLineComesBackFromTheJournalOnlyAsItWasWritten) {
  std::string org = "ORG:";
  while (org.size() < (size_t{3} << 20)) org += "Acme Widgets ";
  std::string card = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann\r\n";
  // Folded at 60 bytes, where a value written anew folds at 75.
  for (size_t at = 0; at < org.size(); at += 59)
    card += (at ? " " : "") + org.substr(at, 59) + "\r\n";
  card += "END:VCARD\r\n";
  const fs::path file = root / "f" / "a.vcf";
  for (const bool altered : {false, true}) {
    SCOPED_TRACE(altered);
    testing::WriteFile(file, card);
    {
      RunSession session(logbook, {});
      Journal journal(components);
      journal.WriteToLog("cmdReplace_Click", "fCount of items in folder 'f': 1");
      journal.WriteToLog("cmdReplace_Click",
                         "Looking for 'e' replacing with 'E'; Case sensitive: 1");
      auto item = components.CreateSafeItem(kSafeContactItem);
      item->SetItem(store.GetItemFromID("f/a.vcf", root.string()));
      const std::string old = item->Get("CompanyName");
      std::string changed = old;
      std::replace(changed.begin(), changed.end(), 'e', 'E');
      journal.WriteUndoRecords(root.string(), "f", "f/a.vcf", "CompanyName", old, changed,
                               item->PropertyLine("CompanyName"));
      item->Set("CompanyName", changed);
      item->Save();
    }
    const std::string replaced = testing::ReadFile(file);
    RunSession session(logbook, {});
    const JournalRun run = LoadRunToUndo(session.Runs(), *session.Runs().NewestToUndo());
    if (altered) {
      // Between the journal's read and the restore.
      std::string journal = testing::ReadFile(logbook.ActivityPath());
      journal[journal.rfind("\"line\":\"") + 100] = '!';
      testing::WriteFile(logbook.ActivityPath(), journal);
    }
    EXPECT_EQ(UndoSummary(UndoJournalRun(run, store, components)),
              altered ? "Restored 0 fields in 0 items; skipped 1."
                      : "Restored 1 fields in 1 items; skipped 0.");
    EXPECT_TRUE(testing::ReadFile(file) == (altered ? replaced : card));
  }
}

}  // namespace
}  // namespace tidewell
