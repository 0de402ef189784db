#include "platform/logbook/journal_reader.h"

#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace tidewell {
namespace {

// Journal lines as the logbook writes them; `at` stands in for the time.
std::string Line(const std::string& procedure, const std::string& message, bool undo = false,
                 const std::string& at = "t", const std::string& source = "Tidewell") {
  nlohmann::ordered_json record;
  record["time"] = at;
  record["source"] = source;
  record["procedure"] = procedure;
  record["message"] = message;
  record["undo"] = undo;
  return record.dump() + "\n";
}

std::string Folder(const std::string& name, const std::string& at = "t") {
  return Line("cmdReplace_Click", name + "Count of items in folder '" + name + "': 3", false, at);
}

std::string Looking(const std::string& search, const std::string& replace, int caseFlag = 0) {
  return Line("cmdReplace_Click", "Looking for '" + search + "' replacing with '" + replace +
                                      "'; Case sensitive: " + std::to_string(caseFlag));
}

// Records `first` to `end` - 1 of the five records of one entry.
std::string Entry(const std::string& item, const std::string& value = "old", int end = 5,
                  int first = 0) {
  const std::string messages[] = {"FolderStoreId: /s", "FolderEntryId: contacts",
                                  "ItemEntryId: " + item, "FieldName: Account",
                                  "FieldValue: " + value};
  std::string lines;
  for (int i = first; i < end; ++i) lines += Line("UndoSave", messages[i], true, "e" + item);
  return lines;
}

std::string UndoHeader(const std::string& undone) {
  return Line("UndoRun", "Undo of the run of " + undone, false, "u");
}

std::string Restored(const std::string& value) {
  return Line("UndoRun", "Restored value: " + value);
}

// One word per run: kind and search, time, folders, complete/all entries,
// then the damage counters.
std::string Summary(const JournalContents& journal) {
  std::ostringstream out;
  for (const JournalRun& run : journal.runs) {
    if (run.kind == RunKind::kUndo) {
      out << "undo(" << run.undone << ")";
    } else {
      out << run.SearchFor << ">" << run.ReplaceWith << ":" << run.CaseSensitive;
    }
    out << "@" << run.time << "[";
    for (const std::string& folder : run.folders) out << folder << ",";
    out << "]" << run.CompleteEntries() << "/" << run.entries.size() << " ";
  }
  out << "malformed " << journal.malformed_lines << (journal.torn_last_line ? " torn" : "")
      << " stray " << journal.stray_entries;
  return out.str();
}

JournalContents Read(const std::string& text) {
  std::istringstream in(text);
  return ReadJournal(in);
}

TEST(JournalReader, GroupsRecordsIntoEntriesAndEntriesIntoRuns) {
  struct Row {
    const char* what;
    std::string journal;
    std::string summary;
  };
  const std::string cut = Entry("c/x.vcf");
  const std::vector<Row> rows = {
      {"empty", "", "malformed 0 stray 0"},
      {"one folder", Folder("Contacts", "r1") + Looking("e", "E", 1) + Entry("a") + Entry("b"),
       "e>E:1@r1[Contacts,]2/2 malformed 0 stray 0"},
      {"a run over three folders, one of them with nothing changed",
       Folder("Contacts", "r1") + Looking("e", "E") + Entry("a") + Folder("Calendar", "r2") +
           Looking("e", "E") + Folder("Tasks", "r3") + Looking("e", "E") + Entry("c"),
       "e>E:0@r1[Contacts,Calendar,Tasks,]2/2 malformed 0 stray 0"},
      {"two identical runs back to back over one folder",
       Folder("Contacts", "r1") + Looking("e", "E") + Entry("a") + Folder("Contacts", "r2") +
           Looking("e", "E") + Entry("a", "old2"),
       "e>E:0@r1[Contacts,]1/1 e>E:0@r2[Contacts,]1/1 malformed 0 stray 0"},
      {"another search text, replacement or case flag begins a run",
       Folder("C", "r1") + Looking("e", "E") + Folder("D", "r2") + Looking("e", "F") +
           Folder("E", "r3") + Looking("e", "F", 1) + Folder("F", "r4") + Looking("f", "F", 1),
       "e>E:0@r1[C,]0/0 e>F:0@r2[D,]0/0 e>F:1@r3[E,]0/0 f>F:1@r4[F,]0/0 malformed 0 stray 0"},
      {"identical runs over different folders read as one",
       Folder("Contacts", "r1") + Looking("e", "E") + Entry("a") + Folder("Tasks", "r2") +
           Looking("e", "E") + Entry("b"),
       "e>E:0@r1[Contacts,Tasks,]2/2 malformed 0 stray 0"},
      {"an entry cut short by a failing logger",
       Folder("C", "r1") + Looking("e", "E") + Entry("a", "old", 2) + Entry("b") +
           Entry("c", "old", 4) + Line("SearchAndReplaceContacts", "Checking contact: x"),
       "e>E:0@r1[C,]1/3 malformed 0 stray 0"},
      {"entries before any run line",
       Entry("a") + Folder("C", "r1") + Looking("e", "E") + Entry("b"),
       "e>E:0@r1[C,]1/1 malformed 0 stray 1"},
      {"an undo run is a run of its own; an entry without its restored value is incomplete",
       Folder("C", "r1") + Looking("e", "E") + Entry("a") + Entry("b") + UndoHeader("r1") +
           Entry("b", "new") + Restored("old") + Entry("a", "new") + Folder("C", "r2") +
           Looking("e", "E"),
       "e>E:0@r1[C,]2/2 undo(r1)@u[]1/2 e>E:0@r2[C,]0/0 malformed 0 stray 0"},
      {"lines that are no records, and a record out of its place",
       Folder("C", "r1") + Looking("e", "E") + "not json\n" + "[1,2]\n" +
           R"({"time":"t","source":"Tidewell","procedure":"UndoSave","message":"x"})" + "\n" +
           Entry("a", "old", 3) + Line("UndoSave", "FieldValue: v", true) + Entry("b"),
       "e>E:0@r1[C,]1/2 malformed 4 stray 0"},
      {"a last line cut by a crash",
       Folder("C", "r1") + Looking("e", "E") + Entry("a") + cut.substr(0, cut.size() - 20),
       "e>E:0@r1[C,]1/2 malformed 0 torn stray 0"},
      {"a whole last record whose line break is missing",
       Folder("C", "r1") + Looking("e", "E") + cut.substr(0, cut.size() - 1),
       "e>E:0@r1[C,]1/1 malformed 0 stray 0"},
      {"lines of other sources are left out, even inside an entry",
       Folder("C", "r1") + Looking("e", "E") + Entry("a", "old", 2) +
           Line("UndoSave", "ItemEntryId: x", true, "t", "Other") + Entry("a", "old", 5, 2),
       "e>E:0@r1[C,]1/1 malformed 0 stray 0"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(Summary(Read(row.journal)), row.summary);
  }
}

TEST(JournalReader, ReadsSearchSettingsBackFromTheirLine) {
  struct Row {
    std::string message;
    std::optional<SearchLine> expected;
  };
  const std::vector<Row> rows = {
      {"Looking for '555' replacing with '777'; Case sensitive: 0", SearchLine{"555", "777", 0}},
      {"Looking for '' replacing with ''; Case sensitive: 2", SearchLine{"", "", 2}},
      {"Looking for 'it's' replacing with 'x'; Case sensitive: 1'; Case sensitive: 1",
       SearchLine{"it's", "x'; Case sensitive: 1", 1}},
      {"Looking for 'a' replacing with 'b' replacing with 'c'; Case sensitive: 0",
       SearchLine{"a", "b' replacing with 'c", 0, true}},
      {"Looking for 'a' replacing with 'b'; Case sensitive: yes", std::nullopt},
      {"Looking for 'a' with 'b'; Case sensitive: 0", std::nullopt},
      {"Checking contact: Looking for 'a' replacing with 'b'; Case sensitive: 0", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    const std::optional<SearchLine> got = ParseSearchLine(row.message);
    ASSERT_EQ(got.has_value(), row.expected.has_value());
    if (!got) continue;
    EXPECT_EQ(got->SearchFor, row.expected->SearchFor);
    EXPECT_EQ(got->ReplaceWith, row.expected->ReplaceWith);
    EXPECT_EQ(got->CaseSensitive, row.expected->CaseSensitive);
    EXPECT_EQ(got->ambiguous, row.expected->ambiguous);
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

}  // namespace
}  // namespace tidewell
