// A run's failures read back from the error log, as the logbook wrote them.
#include "app/run_report.h"

#include <fstream>

#include <gtest/gtest.h>

#include "support/temp_files.h"

namespace tidewell {
namespace {

TEST(RunFailures, KeepsOnlyTheLinesOfTheRunInTheirOrder) {
  testing::TempDir dir;
  Logbook logbook(dir.path() / "state");
  EXPECT_TRUE(RunFailures(logbook, "r1").empty()) << "no file yet";

  logbook.SetRun("r1");
  logbook.WriteError("Tidewell.SearchAndReplaceContacts", "Disk full.", false);
  logbook.SetRun("r2");
  logbook.WriteError("Tidewell.cmdConvert", "Other run.", false);
  logbook.CloseFiles();
  {
    // Damage between the lines: a line cut off mid-write, one that is no
    // object, one of the run whose message is no string.
    std::ofstream out(logbook.ErrorsPath(), std::ios::app);
    out << "{\"time\":\"2026-12-0\n[\"r1\"]\n{\"run\":\"r1\",\"message\":7}\n";
  }
  logbook.SetRun("r1");
  logbook.WriteError("Tidewell.SearchAndReplaceTasks", "Line \"two\"\nof it.", false);

  const std::vector<RunFailure> failures = RunFailures(logbook, "r1");
  ASSERT_EQ(failures.size(), 3u);
  EXPECT_EQ(failures[0].procedure, "Tidewell.SearchAndReplaceContacts");
  EXPECT_EQ(failures[0].message, "Disk full.");
  EXPECT_FALSE(failures[0].time.empty());
  EXPECT_EQ(failures[1].message, "") << "a message that is no text reads as none";
  EXPECT_EQ(failures[2].procedure, "Tidewell.SearchAndReplaceTasks");
  EXPECT_EQ(failures[2].message, "Line \"two\"\nof it.");
  EXPECT_EQ(RunFailures(logbook, "r2").size(), 1u);
  EXPECT_TRUE(RunFailures(logbook, "r3").empty());
}

}  // namespace
}  // namespace tidewell
