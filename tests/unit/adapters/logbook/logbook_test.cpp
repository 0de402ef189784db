#include "adapters/logbook/logbook.h"

#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/wait.h>
#include <unistd.h>

#include "adapters/logbook/journal_reader.h"
#include "support/failure_of.h"
#include "support/journal_lines.h"
#include "support/temp_files.h"

namespace tidewell {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;
using testing::Entry;
using testing::FailureOf;
using testing::Folder;
using testing::Line;
using testing::Looking;

class LogbookTest : public ::testing::Test {
 protected:
  // The records of `file`, each checked to begin with its UTC time, which is then dropped,
  // and to be spelt as nlohmann spells it (the activity log writes its lines by hand).
  std::vector<json> Records(const std::string& file) const {
    static const std::regex kUtcMillis(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)");
    std::ifstream in(folder_ / file, std::ios::binary);
    std::vector<json> records;
    for (std::string line; std::getline(in, line);) {
      json& record = records.emplace_back(json::parse(line));
      EXPECT_EQ(line, record.dump());
      EXPECT_EQ(record.begin().key(), "time");
      EXPECT_TRUE(std::regex_match(record["time"].get<std::string>(), kUtcMillis)) << line;
      record.erase("time");
    }
    return records;
  }

  testing::TempDir dir_;
  const fs::path root_ = dir_.path();
  const fs::path folder_ = root_ / "state" / "Marrowby";
};

TEST_F(LogbookTest, EachLineParsesBackToWhatWasWrittenInItsOwnFile) {
  struct Row {
    std::string message;
    int32_t undo;
    std::string stored = "";  // the message as stored, when it differs
  };
  std::vector<Row> rows = {
      {"Looking for 'a' replacing with 'b'; Case sensitive: 0", 0},
      {"FieldValue: line \"1\"\r\n{\\rtf1 \\b}\ttab\b\f\x01\x1F\x7F/", -1},
      {"Checking contact: Müller, 株式会社", 0},
      {"FieldValue: ", 1},
      {"FieldValue: caf\xE9!", 1, "FieldValue: caf\uFFFD!"},
  };
  // Plain bytes are copied eight at a time: a byte that needs an escape, at
  // each place of such a block, must still be spelt as nlohmann spells it.
  for (const char special : std::string("\"\\\b\n\x01\x1F\x7F \xC3\xBC", 10)) {
    for (size_t at = 0; at < 17; ++at) {
      const std::string message = std::string(at, 'a') + special + "\xC3\xBC" + std::string(9, 'b');
      const json spelt =
          json::parse(json(message).dump(-1, ' ', false, json::error_handler_t::replace));
      rows.push_back({message, 0, spelt.get<std::string>()});
    }
  }
  Logbook logbook(folder_);
  logbook.SetRun("R1");
  std::ostringstream echo;
  logbook.EchoErrorsTo(&echo);
  std::vector<json> expected;
  for (const auto& row : rows) {
    logbook.CreateActivityLogger()->Write("Tidewell", "UndoSave", row.message, row.undo);
    expected.push_back({{"source", "Tidewell"},
                        {"procedure", "UndoSave"},
                        {"message", row.stored.empty() ? row.message : row.stored},
                        {"undo", row.undo != 0},
                        {"run", "R1"},
                        {"n", expected.size() + 1}});
  }
  logbook.CreateActivityLogger()->WriteWith("Tidewell", "UndoSave", "FieldValue: a", -1, "new",
                                            "b\tc\xE9");
  expected.push_back(json::parse(R"({"source":"Tidewell","procedure":"UndoSave",)"
                                 R"("message":"FieldValue: a","undo":true,"new":"b\tc\uFFFD",)"
                                 R"("run":"R1","n":)" +
                                 std::to_string(expected.size() + 1) + "}"));
  logbook.WriteError("Tidewell.cmdConvert", "Error occurred.  Reason: disk\nfull", false);
  logbook.WriteError("Tidewell.UndoSave", "Error occurred at line 0.  Reason: ", true);
  EXPECT_EQ(Records("activity.jsonl"), expected);
  EXPECT_EQ(
      Records("errors.jsonl"),
      json::parse(R"([{"procedure":"Tidewell.cmdConvert",)"
                  R"("message":"Error occurred.  Reason: disk\nfull","flag":false,"run":"R1"},)"
                  R"({"procedure":"Tidewell.UndoSave",)"
                  R"("message":"Error occurred at line 0.  Reason: ","flag":true,"run":"R1"}])")
          .get<std::vector<json>>());
  EXPECT_EQ(echo.str(),
            "Tidewell.cmdConvert: Error occurred.  Reason: disk\nfull\n"
            "Tidewell.UndoSave: Error occurred at line 0.  Reason: \n");
  // Undo records hold the old values of contacts' fields.
  EXPECT_EQ(fs::status(folder_ / "activity.jsonl").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
}

// An undo record of a large field goes out in pieces, its values escaped in
// slices: cut anywhere, even inside a character, the line must read back as
// the one record nlohmann would spell whole.
TEST_F(LogbookTest, ALineWrittenInPiecesIsSpeltAsOneWrittenWhole) {
  const std::string every_escape =
      "a\"b\\c\bd\fe\nf\rg\th\x01i\x1Fj\x7F/M\xC3\xBCller\xE6\xA0\xAA ";
  std::string large;
  while (large.size() < (size_t{3} << 20)) large += every_escape;
  const struct {
    std::string tail, value, line;
  } rows[] = {
      {every_escape, "x", ""},
      {large, large.substr(7), every_escape},
      {"", large.substr(1, 1 << 20), large},
  };
  Logbook logbook(folder_);
  logbook.SetRun("R1");
  std::vector<json> expected;
  for (const auto& row : rows) {
    logbook.CreateActivityLogger()->WriteParts("Tidewell", "UndoSave", "FieldValue: ", row.tail, -1,
                                               "new", row.value, "line", row.line);
    json record = {{"source", "Tidewell"},
                   {"procedure", "UndoSave"},
                   {"message", "FieldValue: " + row.tail},
                   {"undo", true},
                   {"new", row.value}};
    if (!row.line.empty()) record["line"] = row.line;
    record["run"] = "R1";
    record["n"] = expected.size() + 1;
    expected.push_back(record);
  }
  EXPECT_EQ(Records("activity.jsonl"), expected);
}

// Lines up to ~9 KB, well past PIPE_BUF, would tear or interleave if an append took two writes.
TEST_F(LogbookTest, TwoProcessesAppendingAtOnceNeitherInterleaveNorLoseLines) {
  constexpr int kLines = 1500;
  for (char writer : {'a', 'b'}) {
    if (::fork() != 0) continue;
    int code = 1;
    try {
      Logbook logbook(folder_);
      for (int i = 0; i < kLines; ++i) {
        logbook.WriteActivity("Tidewell", std::string(1, writer),
                              std::to_string(i) + " " + std::string((i * 37) % 9000, writer),
                              false);
      }
      code = 0;
    } catch (...) {
    }
    ::_exit(code);
  }
  for (int status = 0; ::wait(&status) > 0;) EXPECT_TRUE(WIFEXITED(status) && !WEXITSTATUS(status));

  std::map<std::string, int> next;
  for (const json& record : Records("activity.jsonl")) {
    const std::string writer = record["procedure"], message = record["message"];
    ASSERT_EQ(message, std::to_string(next[writer]) + " " +
                           std::string((next[writer] * 37) % 9000, writer.at(0)));
    ++next[writer];
  }
  EXPECT_EQ(next, (std::map<std::string, int>{{"a", kLines}, {"b", kLines}}));
}

// Each step writes activity ('a') and error ('e') lines, then syncs.
// Within a run the lines that are no undo records are held back; an undo
// record takes them out with it, in order, and so does the run's end.
TEST_F(LogbookTest, WithinARunLinesWaitForTheNextUndoRecordAndKeepTheirOrder) {
  Logbook logbook(folder_);
  logbook.SetRun("R");
  auto numbers = [&] {
    std::vector<std::pair<std::string, uint64_t>> seen;
    for (const json& record : Records("activity.jsonl")) {
      seen.emplace_back(record["message"], record["n"]);
    }
    return seen;
  };
  logbook.WriteActivity("Tidewell", "SearchAndReplaceContacts", "Checking contact: a", false);
  logbook.WriteActivity("Tidewell", "SearchAndReplaceContacts", "Checking contact: b", false);
  EXPECT_TRUE(numbers().empty());
  logbook.WriteActivity("Tidewell", "UndoSave", "FolderStoreId: /s", true);
  const std::vector<std::pair<std::string, uint64_t>> three = {
      {"Checking contact: a", 1}, {"Checking contact: b", 2}, {"FolderStoreId: /s", 3}};
  EXPECT_EQ(numbers(), three);
  logbook.WriteActivity("Tidewell", "SearchAndReplaceContacts", "Checking contact: c", false);
  EXPECT_EQ(numbers(), three);
  logbook.SetRun("");
  EXPECT_EQ(numbers().size(), 4u);
  EXPECT_EQ(numbers().back(), std::make_pair(std::string("Checking contact: c"), uint64_t{4}));
}

TEST_F(LogbookTest, SyncReachesTheDiskOnlyAfterNewActivityLines) {
  Logbook logbook(folder_);
  for (const auto& [lines, syncs] : std::vector<std::pair<std::string, uint64_t>>{
           {"", 0}, {"a", 1}, {"", 1}, {"e", 1}, {"aaaaa", 2}, {"", 2}}) {
    for (char line : lines) {
      line == 'a' ? logbook.WriteActivity("Tidewell", "UndoSave", "FieldName: Body", true)
                  : logbook.WriteError("Tidewell.x", "m", false);
    }
    logbook.Sync();
    EXPECT_EQ(logbook.DiskSyncs(), syncs) << "after '" << lines << "'";
  }
}

// The next line goes through, but no Sync of the run does: a save after a lost undo record
// would change an item with no way back.
TEST_F(LogbookTest, AWriteThatCannotBeDoneFailsWithTheReasonAndSyncRefusesUntilTheNextRun) {
  const fs::path log = folder_ / "activity.jsonl";
  for (const auto& [spoil, message] : std::vector<std::pair<std::function<void()>, std::string>>{
           {[&] { fs::create_directories(log); },
            "Cannot open '" + log.string() + "': Is a directory"},
           {[&] {
              fs::create_directories(folder_);
              fs::create_symlink("/dev/full", log);
            },
            "Cannot write to '" + log.string() + "': No space left on device"},
           {[&] { std::ofstream(folder_.parent_path()) << "x"; },
            "Cannot create '" + folder_.string() + "': Not a directory"}}) {
    SCOPED_TRACE(message);
    fs::remove_all(root_ / "state");
    spoil();
    Logbook logbook(folder_);
    EXPECT_EQ(FailureOf([&] {
                logbook.CreateActivityLogger()->Write("Tidewell", "UndoSave", "FieldName: Body",
                                                      -1);
              }),
              "!" + message);
    fs::remove_all(root_ / "state");
    logbook.WriteActivity("Tidewell", "UndoSave", "again", true);
    EXPECT_EQ(Records("activity.jsonl").size(), 1u);
    const std::string refused = "!The undo journal could not be written (" +
                                message.substr(message.rfind(": ") + 2) +
                                "); the item was left as it was.";
    EXPECT_EQ(FailureOf([&] { logbook.Sync(); }), refused);
    EXPECT_EQ(FailureOf([&] { logbook.Sync(); }), refused);
    logbook.SetRun("R2");
    EXPECT_EQ(FailureOf([&] { logbook.Sync(); }), "");
  }
}

TEST(LogbookFolder, FollowsTheXdgStateHomeWhenItIsAbsolute) {
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "/";
  const std::string fallback = "/home/someone/.local/state/Marrowby";
  ::setenv("HOME", "/home/someone", 1);
  for (const auto& [state_home, expected] : std::vector<std::pair<std::string, std::string>>{
           {"/var/tmp/state", "/var/tmp/state/Marrowby"},
           {"", fallback},
           {"relative/state", fallback},
           {"unset", fallback}}) {
    state_home == "unset" ? ::unsetenv("XDG_STATE_HOME")
                          : ::setenv("XDG_STATE_HOME", state_home.c_str(), 1);
    EXPECT_EQ(Logbook::DefaultFolder(), fs::path(expected)) << state_home;
  }
  ::setenv("HOME", home.c_str(), 1);
}

// One word per run: kind and search, time, folders, complete/all entries, and
// its marks: records unreadable, an undo that did not finish; then any damage.
std::string Summary(const std::string& text) {
  std::istringstream in(text);
  const JournalContents journal = ReadJournal(in);
  std::ostringstream out;
  for (const JournalRun& run : journal.runs) {
    out << (run.kind == RunKind::kUndo
                ? "undo(" + run.undone + ")"
                : run.SearchFor + ">" + run.ReplaceWith + ":" + std::to_string(run.CaseSensitive));
    out << "@" << run.time << "[";
    for (const std::string& folder : run.folders) out << folder << ",";
    out << "]" << run.CompleteEntries() << "/" << run.entries.size();
    if (run.unreadable > 0) out << " unreadable " << run.unreadable;
    out << (run.finished ? " " : " unfinished ");
  }
  if (journal.malformed_lines > 0) out << "malformed " << journal.malformed_lines << " ";
  if (journal.stray_entries > 0) out << "stray " << journal.stray_entries << " ";
  return out.str() + (journal.torn_lines > 0 ? "torn " + std::to_string(journal.torn_lines) : "");
}

// `lines` as lines of run `id`.
std::string Of(const std::string& id, const std::string& lines) {
  std::string out;
  std::istringstream in(lines);
  for (std::string line; std::getline(in, line);) {
    out += line.substr(0, line.size() - 1) + ",\"run\":\"" + id + "\"}\n";
  }
  return out;
}

// Numbers each line of `lines` as a run does ("n"), leaving out the places
// in `lost`.
std::string Counted(const std::string& lines, std::set<int> lost = {}) {
  std::string out;
  std::istringstream in(lines);
  int n = 0;
  for (std::string line; std::getline(in, line);) {
    if (!lost.contains(++n)) {
      out += line.substr(0, line.size() - 1) + ",\"n\":" + std::to_string(n) + "}\n";
    }
  }
  return out;
}

TEST(JournalReader, GroupsRecordsIntoEntriesAndEntriesIntoRuns) {
  struct Row {
    const char* what;
    std::string journal, summary;
  };
  const std::string cut = Entry("c/x.vcf"), run = Folder("C", "r1") + Looking("e", "E");
  const std::string two = Folder("C") + Looking("e", "E") + Entry("a") + Entry("b");
  const std::string undo =
      Line("UndoRun", "Undo of the run of t") + Entry("a") + Line("UndoRun", "Restored value: old");
  const std::vector<Row> rows = {
      {"empty", "", ""},
      {"a run over three folders, one of them with nothing changed",
       Folder("Contacts", "r1") + Looking("e", "E") + Entry("a") + Folder("Calendar", "r2") +
           Looking("e", "E") + Folder("Tasks", "r3") + Looking("e", "E") + Entry("c"),
       "e>E:0@r1[Contacts,Calendar,Tasks,]2/2 "},
      {"two identical runs back to back over one folder",
       Folder("Contacts", "r1") + Looking("e", "E") + Entry("a") + Folder("Contacts", "r2") +
           Looking("e", "E") + Entry("a", "old2"),
       "e>E:0@r1[Contacts,]1/1 e>E:0@r2[Contacts,]1/1 "},
      {"another search text, replacement or case flag begins a run",
       Folder("C", "r1") + Looking("e", "E") + Folder("D", "r2") + Looking("e", "F") +
           Folder("E", "r3") + Looking("e", "F", 1) + Folder("F", "r4") + Looking("f", "F", 1),
       "e>E:0@r1[C,]0/0 e>F:0@r2[D,]0/0 e>F:1@r3[E,]0/0 f>F:1@r4[F,]0/0 "},
      {"an entry cut short by a failing logger",
       run + Entry("a", "old", 2) + Entry("b") + Entry("c", "old", 4) +
           Line("SearchAndReplaceContacts", "Checking contact: x"),
       "e>E:0@r1[C,]1/3 "},
      {"entries before any run line", Entry("a") + run + Entry("b"), "e>E:0@r1[C,]1/1 stray 1 "},
      {"an undo run is a run of its own; an entry without its restored value is incomplete",
       run + Entry("a") + Entry("b") + Line("UndoRun", "Undo of the run of r1", false, "u") +
           Entry("b", "new") + Line("UndoRun", "Restored value: old") + Entry("a", "new") +
           Folder("C", "r2") + Looking("e", "E"),
       "e>E:0@r1[C,]2/2 undo(r1)@u[]1/2 e>E:0@r2[C,]0/0 "},
      {"lines that are no records, and a record out of its place",
       run + "not json\n" + "[1,2]\n" +
           R"({"time":"t","source":"Tidewell","procedure":"UndoSave","message":"x"})" + "\n" +
           Entry("a", "old", 3) + Line("UndoSave", "FieldValue: v", true) + Entry("b"),
       "e>E:0@r1[C,]1/2 malformed 3 torn 1"},
      {"a last line cut by a crash", run + Entry("a") + cut.substr(0, cut.size() - 20),
       "e>E:0@r1[C,]1/2 torn 1"},
      {"a whole last record whose line break is missing", run + cut.substr(0, cut.size() - 1),
       "e>E:0@r1[C,]1/1 "},
      {"lines of other sources are left out, even inside an entry",
       run + Entry("a", "old", 2) + Line("UndoSave", "ItemEntryId: x", true, "t", "Other") +
           Entry("a", "old", 5, 2),
       "e>E:0@r1[C,]1/1 "},
      // Lines with a run id are grouped by it, never by their neighbours.
      {"two runs whose lines and entries interleave",
       Of("A", Folder("C", "r1") + Looking("e", "E")) + Of("B", Folder("D", "r2")) +
           Of("A", Entry("a", "old", 2)) + Of("B", Looking("f", "F") + Entry("b", "old", 3)) +
           Of("A", Entry("a", "old", 5, 2)) + Of("B", Entry("b", "old", 5, 3)),
       "e>E:0@r1[C,]1/1 f>F:0@r2[D,]1/1 "},
      {"lines of a command that ran nothing are no run", Of("S", Entry("x")), "stray 1 "},
      // The marks of loss, failed saves and finished undos.
      {"older lines carry no count and are never damaged", Of("A", two), "e>E:0@t[C,]2/2 "},
      {"two records lost in the middle", Counted(Of("A", two), {4, 9}),
       "e>E:0@t[C,]0/2 unreadable 2 malformed 6 "},
      {"a failed save of the item just logged",
       Counted(Of("A", two + Line("ItemNotSaved", "Not saved: b"))), "e>E:0@t[C,]1/2 "},
      {"a field the item refused", Of("A", two + Line("ItemNotSaved", "Not written: b")),
       "e>E:0@t[C,]1/2 "},
      {"an undo killed or stopped", Counted(Of("U", undo)), "undo(t)@t[]1/1 unfinished "},
      {"an undo that went through", Counted(Of("U", undo + Line("UndoRun", "Undo finished."))),
       "undo(t)@t[]1/1 "},
      {"an undo of older lines", Of("U", undo), "undo(t)@t[]1/1 "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(Summary(row.journal), row.summary);
  }
}

// The logbook's own lines are read by hand and every other spelling of JSON by
// the full parser; both must read a line alike.
TEST(JournalReader, ReadsALineAlikeHoweverItIsSpelt) {
  const std::string head = Of("A", Folder("C", "r1") + Looking("e", "E") + Entry("a", "old", 4));
  const std::string start = R"({"time":"t","source":"Tidewell","procedure":"UndoSave",)";
  struct Row {
    const char* what;
    std::string line;
    std::string read;  // the entry's old value, or the damage counted
  };
  const std::vector<Row> rows = {
      {"escapes", start + R"("message":"FieldValue: a\"b\\c\/d\n\r\t\b\f","undo":true,"run":"A"})",
       "a\"b\\c/d\n\r\t\b\f"},
      {"a \\u escape",
       start + R"("message":"FieldValue: caf\u00e9 \ud83d\ude00","undo":true,"run":"A"})",
       "caf\xC3\xA9 \xF0\x9F\x98\x80"},
      {"blanks between tokens",
       start + R"( "message" : "FieldValue: v" , "undo" : true, "run":"A" })", "v"},
      {"other members of any type",
       start + R"("n":5,"message":"FieldValue: v","x":[1,{"y":null}],"undo":true,"run":"A"})", "v"},
      {"a key twice: the last counts",
       start + R"("message":"FieldValue: v","undo":false,"undo":true,"run":"B","run":"A"})", "v"},
      {"a key twice, the last of the wrong type",
       start + R"("message":"FieldValue: v","message":true,"undo":true,"run":"A"})", "malformed 1"},
      {"\"undo\" not a boolean", start + R"("message":"FieldValue: v","undo":"true","run":"A"})",
       "malformed 1"},
      {"\"message\" not a string", start + R"("message":7,"undo":true,"run":"A"})", "malformed 1"},
      {"bytes that are not UTF-8",
       start + "\"message\":\"FieldValue: \xE9\",\"undo\":true,\"run\":\"A\"}", "torn 1"},
      {"a raw line break's stand-in, a control byte",
       start + "\"message\":\"FieldValue: a\x01\",\"undo\":true,\"run\":\"A\"}", "torn 1"},
      {"something after the object", start + R"("message":"FieldValue: v","undo":true,"run":"A"}x)",
       "torn 1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::istringstream in(head + row.line + "\n");
    const JournalContents journal = ReadJournal(in);
    ASSERT_EQ(journal.runs.size(), 1u);
    const JournalEntry& entry = journal.runs[0].entries.at(0);
    const std::string damage = journal.malformed_lines
                                   ? "malformed " + std::to_string(journal.malformed_lines)
                               : journal.torn_lines ? "torn " + std::to_string(journal.torn_lines)
                                                    : "";
    EXPECT_EQ(entry.complete ? entry.FieldValue : damage, row.read);
  }
}

// Lines are read into one record in turn: what one line holds must not
// stay for the next, which lacks it.
TEST(JournalReader, ALineKeepsNothingOfTheLineBefore) {
  std::istringstream in(Folder("C", "r1") + Looking("e", "E") + Entry("a", "old", 4) +
                        R"({"time":"t","source":"Tidewell","procedure":"UndoSave",)"
                        R"("message":"FieldValue: old","undo":true,"new":"x","line":"L"})"
                        "\n" +
                        Entry("b"));
  const JournalContents journal = ReadJournal(in);
  ASSERT_EQ(journal.runs.size(), 1u);
  const std::vector<JournalEntry>& entries = journal.runs[0].entries;
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].written, "x");
  EXPECT_EQ(entries[0].line, "L");
  EXPECT_EQ(entries[1].written, std::nullopt);
  EXPECT_EQ(entries[1].line, "");
}

TEST(JournalReader, ReadsSearchSettingsBackFromTheirLine) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"Looking for '555' replacing with '777'; Case sensitive: 0", "555>777:0"},
      {"Looking for '' replacing with ''; Case sensitive: 2", ">:2"},
      {"Looking for 'it's' replacing with 'x'; Case sensitive: 1'; Case sensitive: 1",
       "it's>x'; Case sensitive: 1:1"},
      {"Looking for 'a' replacing with 'b' replacing with 'c'; Case sensitive: 0",
       "a>b' replacing with 'c:0 ambiguous"},
      {"Looking for 'a' replacing with 'b'; Case sensitive: yes", "none"},
      {"Looking for 'a' with 'b'; Case sensitive: 0", "none"},
      {"Checking contact: Looking for 'a' replacing with 'b'; Case sensitive: 0", "none"},
  };
  for (const auto& [message, expected] : rows) {
    const std::optional<SearchLine> got = ParseSearchLine(message);
    EXPECT_EQ(!got ? "none"
                   : got->SearchFor + ">" + got->ReplaceWith + ":" +
                         std::to_string(got->CaseSensitive) + (got->ambiguous ? " ambiguous" : ""),
              expected)
        << message;
  }
}

TEST(JournalReader, FindsTheFolderNameThatStandsTwice) {
  const std::string middle = "Count of items in folder '";
  const std::vector<std::pair<std::string, std::optional<std::string>>> rows = {
      {"Contacts" + middle + "Contacts': 42", "Contacts"},
      {middle + "': 0", ""},
      {"A" + middle + "B': 0" + middle + "A" + middle + "B': 0': 7", "A" + middle + "B': 0"},
      {"Contacts" + middle + "Calendar': 4", std::nullopt},
      {"Contacts" + middle + "Contacts': many", std::nullopt},
  };
  for (const auto& [message, name] : rows) {
    SCOPED_TRACE(message);
    EXPECT_EQ(ParseFolderLine(message), name);
  }
}

// A stream that cannot seek: the reader holds each of its lines whole.
class OneWay : public std::streambuf {
 public:
  explicit OneWay(std::string text) : text_(std::move(text)) {
    setg(text_.data(), text_.data(), text_.data() + text_.size());
  }

 private:
  std::string text_;
};

// With `values`, what the entries hold as well.
std::string Everything(const JournalContents& journal, bool values = true) {
  std::ostringstream out;
  out << journal.malformed_lines << ' ' << journal.torn_lines << ' ' << journal.stray_entries;
  for (const JournalRun& run : journal.runs) {
    out << '\n' << run.id << ' ' << run.start << '-' << run.end << ' ' << run.last_line;
    for (const JournalEntry& e : run.entries) {
      out << '\n' << e.records << e.complete << e.cut_off << ' ' << e.ItemEntryId;
      if (values) {
        out << '|' << e.FieldValue << '|' << e.written.value_or("-") << '|'
            << (e.line_at ? run.read_again(*e.line_at) : e.line) << '|' << e.restored.value_or("-");
      }
    }
  }
  return out.str();
}

// A line past a MiB is parsed as it is read; whatever it holds, the runs read
// must be those read from the whole line.
TEST(JournalReader, ReadsALongLineAsItReadsItWhole) {
  const std::string big(std::size_t{1} << 20, 'v');
  const std::string head = Of("A", Folder("C", "r1") + Looking("e", "E") + Entry("a", "old", 4)) +
                           Of("B", Entry("b", "o", 4));
  const std::string start = R"({"time":"t","source":"Tidewell","procedure":"UndoSave",)";
  const std::string own = start + R"("message":"FieldValue: a\"b\\c\/d\n\r\t\b\f)" + big +
                          "\xC3\xA9\",\"undo\":true,\"new\":\"w\",\"line\":\"L";
  const std::string rows[] = {
      own + R"(","run":"A","n":7})",
      own + R"(","run":"B"})",
      own + R"("})",  // no run: an older line
      own + R"(\u00e9","run":"A"})",
      own + R"(","run":"A", "n":7})",
      own + R"(","run":"A","run":"A"})",
      own + R"(","run":"A"}x)",
      own + "\xE9\",\"run\":\"A\"}",
      own + "\x01\",\"run\":\"A\"}",
      start + R"("message":"FieldValue: )" + big + R"(","run":"A"})",
      // A long line, which a file's reader leaves where it stands.
      start + R"("message":"FieldValue: x","undo":true,"line":"\"\\)" + big + big +
          R"(\/","run":"A"})",
  };
  for (const std::string& row : rows) {
    SCOPED_TRACE(row.substr(row.size() - 24));
    // Whole and followed by a line, and cut by a limit 9 bytes before its end.
    const std::string whole = head + row + "\n" + Of("A", Entry("c"));
    for (const auto& [text, from, to] : {std::tuple<std::string, size_t, size_t>{whole, 0, 0},
                                         {head + row, head.size(), head.size() + row.size() - 9}}) {
      testing::TempDir dir;
      std::ofstream(dir.path() / "j", std::ios::binary) << text;
      for (const char* only : {"", "A"}) {
        OneWay bytes(text.substr(from, (to == 0 ? text.size() : to) - from));
        std::istream in(&bytes);
        const JournalContents read = ReadJournal(in, from, only);
        EXPECT_TRUE(Everything(ReadJournalFile(dir.path() / "j", from, to, only)) ==
                    Everything(read))
            << only << ' ' << from;
        EXPECT_EQ(Everything(ReadJournalFile(dir.path() / "j", from, to, only, false), false),
                  Everything(read, false));
      }
    }
  }
}

// A long line left in the file is read again only while the file holds it
// as it was read.
TEST(JournalReader, ReadsALongLineAgainOnlyAsItWasRead) {
  const std::string line = "\\n" + std::string(std::size_t{2} << 20, 'v');
  // Read from after a run before it, as from the index.
  const std::string before = Of("B", Folder("C") + Looking("x", "y"));
  testing::TempDir dir;
  std::ofstream(dir.path() / "j", std::ios::binary)
      << before + Of("A", Folder("C") + Looking("e", "E") + Entry("a", "old", 4)) +
             R"({"time":"t","source":"Tidewell","procedure":"UndoSave","message":"FieldValue: )"
             R"(o","undo":true,"line":")" +
             line + R"(","run":"A"})" + "\n";
  const JournalContents read = ReadJournalFile(dir.path() / "j", before.size());
  const JournalEntry& entry = read.runs.at(0).entries.at(0);
  ASSERT_TRUE(entry.line_at.has_value());
  EXPECT_EQ(read.runs[0].read_again(*entry.line_at), "\n" + line.substr(2));
  std::fstream file(dir.path() / "j", std::ios::binary | std::ios::in | std::ios::out);
  file.seekp(static_cast<std::streamoff>(entry.line_at->offset + 9)) << 'w';
  file.close();
  EXPECT_THROW(read.runs[0].read_again(*entry.line_at), Failure);
}

}  // namespace
}  // namespace tidewell
