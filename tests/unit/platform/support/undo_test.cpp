// Undo of a journalled run on a real store: per field, what the file holds
// now decides whether the old value is written back, left alone or skipped,
// and the summary and the undo's own journal count only what was written.
#include "platform/support/undo.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include "platform/support/marrowby_support.h"
#include "platform/support/platform_components.h"
#include "support/fake_components.h"

namespace tidewell {
namespace {

namespace fs = std::filesystem;

std::string Card(const std::string& company, const std::string& email) {
  return "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann Lee\r\nORG:" + company + "\r\nEMAIL:" + email +
         "\r\nEND:VCARD\r\n";
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

struct UndoCase {
  std::string name;
  std::string company, email;  // what the file holds when the undo starts
  std::string summary;
  std::vector<std::string> skipped;
  std::string company_after, email_after;
};

void PrintTo(const UndoCase& row, std::ostream* out) { *out << row.name; }

class Undo : public ::testing::TestWithParam<UndoCase> {};

// The run replaced "e" by "E", case sensitive, in both fields of one contact.
TEST_P(Undo, WritesBackOnlyWhatStillShowsTheRunsResult) {
  const UndoCase& row = GetParam();
  char pattern[] = "/tmp/undo_test.XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const fs::path root = pattern;
  fs::create_directories(root / "f");
  std::ofstream(root / "f" / "a.vcf", std::ios::binary) << Card(row.company, row.email);

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
    JournalEntry entry;
    entry.time = run.time;
    entry.FolderStoreId = store.StoreIDs()[0];
    entry.FolderEntryId = "f";
    entry.ItemEntryId = "f/a.vcf";
    entry.FieldName = field;
    entry.FieldValue = old;
    entry.records = 5;
    entry.complete = true;
    run.entries.push_back(entry);
  }

  const UndoOutcome outcome = UndoJournalRun(run, store, components);
  std::vector<std::string> skipped;
  for (const SkippedField& field : outcome.skipped) skipped.push_back(DescribeSkipped(field));
  EXPECT_EQ(UndoSummary(outcome), row.summary);
  EXPECT_EQ(skipped, row.skipped);
  EXPECT_EQ(ReadAll(root / "f" / "a.vcf"), Card(row.company_after, row.email_after));
  // Five undo records for each field written, none for the others.
  std::ifstream journal(logbook.ActivityPath());
  int records = 0;
  for (std::string line; std::getline(journal, line);) {
    records += nlohmann::json::parse(line)["procedure"] == "UndoSave";
  }
  EXPECT_EQ(records, 5 * outcome.restored_fields);
  fs::remove_all(root);
}

INSTANTIATE_TEST_SUITE_P(
    FieldStates, Undo,
    ::testing::Values(UndoCase{"SavedByTheRun",
                               "AcmE Ltd",
                               "ann@ExamplE.com",
                               "Restored 2 fields in 1 items; skipped 0.",
                               {},
                               "Acme Ltd",
                               "ann@example.com"},
                      // Journalled, then the run was cut off before the save: nothing to do.
                      UndoCase{"CutOffBeforeTheSave",
                               "Acme Ltd",
                               "ann@example.com",
                               "Restored 0 fields in 0 items; skipped 0.",
                               {},
                               "Acme Ltd",
                               "ann@example.com"},
                      UndoCase{"OneFieldUndoneAlready",
                               "Acme Ltd",
                               "ann@ExamplE.com",
                               "Restored 1 fields in 1 items; skipped 0.",
                               {},
                               "Acme Ltd",
                               "ann@example.com"},
                      UndoCase{"OneFieldEditedElsewhere",
                               "Other Corp",
                               "ann@ExamplE.com",
                               "Restored 1 fields in 1 items; skipped 1.",
                               {"CompanyName of f/a.vcf: changed since the run"},
                               "Other Corp",
                               "ann@example.com"}),
    [](const ::testing::TestParamInfo<UndoCase>& row) { return row.param.name; });

}  // namespace
}  // namespace tidewell
