#include "app/run_index.h"

#include <fstream>
#include <functional>

#include <gtest/gtest.h>

#include "app/run_session.h"
#include "support/journal_lines.h"
#include "support/temp_files.h"

namespace tidewell {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Ids(const RunList& list) {
  std::vector<std::string> ids;
  for (const RunSummary& run : list.runs) ids.push_back(run.id);
  return ids;
}

// Six runs of one change each; every run rotates the one before into a
// segment, and only the newest three runs are kept.
class RunIndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const Retention retention{.keep_runs = 3, .keep_days = 0, .segment_bytes = 300};
    for (int i = 0; i < 6; ++i) {
      Logbook logbook(folder_);
      RunSession run(logbook, RunWait{}, retention);
      made_.push_back(run.Id());
      auto logger = logbook.CreateActivityLogger();
      logger->Write("Tidewell", "cmdReplace_Click", "CCount of items in folder 'C': 1", 0);
      logger->Write("Tidewell", "cmdReplace_Click",
                    "Looking for 'a' replacing with 'b'; Case sensitive: 0", 0);
      const auto entry = testing::EntryMessages("C/x.vcf", "a" + std::to_string(i));
      for (size_t r = 0; r < 4; ++r) logger->Write("Tidewell", "UndoSave", entry[r], -1);
      logger->WriteWith("Tidewell", "UndoSave", entry[4], -1, "new", "b" + std::to_string(i));
    }
    kept_.assign(made_.begin() + 2, made_.end());
  }

  testing::TempDir dir_;
  const fs::path folder_ = dir_.path() / "Marrowby";
  std::vector<std::string> made_;
  std::vector<std::string> kept_;
};

TEST_F(RunIndexTest, KeepsWholeRunsInSegmentsAndReadsEachFromItsOwnBytes) {
  Logbook logbook(folder_);
  const RunList list = ListRuns(logbook);
  EXPECT_FALSE(list.rebuilt || list.caught_up);
  EXPECT_EQ(Ids(list), kept_);
  for (size_t i = 0; i < list.runs.size(); ++i) {
    const RunSummary& run = list.runs[i];
    SCOPED_TRACE(run.id);
    EXPECT_EQ(run.file.filename(), i + 1 == list.runs.size()
                                       ? fs::path("activity.jsonl")
                                       : fs::path("activity-" + run.id + ".jsonl"));
    const JournalRun whole = LoadRun(run);
    ASSERT_EQ(whole.entries.size(), 1u);
    EXPECT_EQ(whole.entries[0].FieldValue, "a" + std::to_string(i + 2));
    EXPECT_EQ(whole.entries[0].written, "b" + std::to_string(i + 2));
  }
  EXPECT_FALSE(fs::exists(folder_ / ("activity-" + made_[0] + ".jsonl")));
}

TEST_F(RunIndexTest, WhatAKillLeavesIsReadAgainFromTheLogs) {
  struct Row {
    const char* what;
    std::function<void()> damage;
    bool rebuilt;
    bool renamed_listed = false;  // the newest run also listed from a segment of its own
  };
  const fs::path index = folder_ / "activity.index";
  const fs::path current = folder_ / "activity.jsonl";
  const std::vector<Row> rows = {
      {"the index gone", [&] { fs::remove(index); }, true},
      {"its last line torn", [&] { fs::resize_file(index, fs::file_size(index) - 10); }, false},
      {"the rotation renamed the file but the index was not written yet",
       [&] { fs::rename(current, folder_ / ("activity-" + made_.back() + ".jsonl")); }, true},
      {"a segment the index does not name",
       [&] { fs::copy_file(current, folder_ / "activity-0.jsonl"); }, true, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const fs::path saved = dir_.path() / "saved";
    fs::remove_all(saved);
    fs::copy(folder_, saved);
    // As a kill leaves them: a segment written since it was indexed is damage.
    for (const auto& file : fs::directory_iterator(folder_)) {
      fs::last_write_time(saved / file.path().filename(), fs::last_write_time(file.path()));
    }
    row.damage();
    Logbook logbook(folder_);
    const RunList list = ListRuns(logbook);
    EXPECT_EQ(list.rebuilt, row.rebuilt);
    std::vector<std::string> expected = kept_;
    if (row.renamed_listed) expected.insert(expected.begin(), made_.back());
    EXPECT_EQ(Ids(list), expected);
    fs::remove_all(folder_);
    fs::rename(saved, folder_);
  }
}

// A kill between removing a dropped segment and its errors file left the
// errors file behind for good: nothing named it any more.
TEST_F(RunIndexTest, TheNextRunRemovesAnErrorsSegmentLeftWithoutItsSegment) {
  const fs::path orphan = folder_ / ("errors-" + made_[0] + ".jsonl");
  const fs::path kept = folder_ / ("errors-" + kept_[1] + ".jsonl");
  std::ofstream(orphan) << "{}\n";
  std::ofstream(kept) << "{}\n";
  Logbook logbook(folder_);
  RunSession run(logbook, RunWait{}, {.keep_runs = 3, .keep_days = 0, .segment_bytes = 300});
  EXPECT_FALSE(fs::exists(orphan));
  EXPECT_TRUE(fs::exists(kept));
}

}  // namespace
}  // namespace tidewell
