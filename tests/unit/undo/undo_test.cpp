// Undo of a journalled run on a real store: per field, what the file holds
// now decides whether the old value is written back, left alone or skipped,
// and the summary and the undo's own journal count only what was written.
#include "undo/undo.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/platform_components.h"
#include "stores/vdir/vdir_store.h"
#include "support/fake_components.h"
#include "support/marrowby_support.h"
#include "support/temp_files.h"

namespace tidewell {
namespace {

namespace fs = std::filesystem;

std::string Card(const std::string& company, const std::string& email) {
  return "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann Lee\r\nORG:" + company + "\r\nEMAIL:" + email +
         "\r\nEND:VCARD\r\n";
}

// The run replaced "e" by "E", case sensitive, in both fields of one contact;
// each row is the company and e-mail as the undo finds them, what it says and
// skips, and the two afterwards.
TEST(Undo, WritesBackOnlyWhatStillShowsTheRunsResult) {
  const struct {
    std::string company, email, summary, skipped, company_after, email_after;
  } rows[] = {{"AcmE Ltd", "ann@ExamplE.com", "Restored 2 fields in 1 items; skipped 0.", "",
               "Acme Ltd", "ann@example.com"},
              // Journalled, then the run was cut off before the save: nothing to do.
              {"Acme Ltd", "ann@example.com", "Restored 0 fields in 0 items; skipped 0.", "",
               "Acme Ltd", "ann@example.com"},
              {"Acme Ltd", "ann@ExamplE.com", "Restored 1 fields in 1 items; skipped 0.", "",
               "Acme Ltd", "ann@example.com"},
              {"Other Corp", "ann@ExamplE.com", "Restored 1 fields in 1 items; skipped 1.",
               "CompanyName of f/a.vcf: changed since the run\n", "Other Corp", "ann@example.com"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.summary);
    testing::TempDir dir;
    const fs::path& root = dir.path();
    testing::WriteFile(root / "f" / "a.vcf", Card(row.company, row.email));

    Logbook logbook(root / "state");
    MarrowbySupport support(logbook);
    testing::FakeSettings settings;
    testing::ScriptedUi ui;
    PlatformComponents components(ui, settings, logbook, support);
    VdirStore store({root.string()}, ui, &logbook);

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
}

}  // namespace
}  // namespace tidewell
