#include "platform/logbook/logbook.h"

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/failure.h"

namespace tidewell {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

class LogbookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/logbook_test.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
    folder_ = root_ / "state" / "Marrowby";
  }
  void TearDown() override { fs::remove_all(root_); }

  static std::vector<std::string> Lines(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  static std::vector<std::string> Keys(const json& record) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : record.items()) keys.push_back(key);
    return keys;
  }

  fs::path root_;
  fs::path folder_;
};

const std::regex kUtcMillis(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)");

TEST_F(LogbookTest, ActivityLinesParseBackToWhatWasWritten) {
  struct Row {
    std::string procedure;
    std::string message;
    int32_t undo;
    bool stored_undo;
  };
  const std::vector<Row> rows = {
      {"cmdReplace_Click", "Looking for 'a' replacing with 'b'; Case sensitive: 0", 0, false},
      {"UndoSave", "FieldValue: line one\nline two\r\nline \"three\"", -1, true},
      {"UndoSave", "FieldValue: {\\rtf1 \\b bold\\b0}\ttab", -1, true},
      {"SearchAndReplaceContacts", "Checking contact: Müller, 株式会社", 0, false},
      {"UndoSave", "FieldValue: ", 1, true},
  };
  Logbook logbook(folder_);
  for (const Row& row : rows) {
    logbook.CreateActivityLogger()->Write("Tidewell", row.procedure, row.message, row.undo);
  }

  const auto lines = Lines(folder_ / "activity.jsonl");
  ASSERT_EQ(lines.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(lines[i]);
    const json record = json::parse(lines[i]);
    EXPECT_EQ(Keys(record),
              (std::vector<std::string>{"time", "source", "procedure", "message", "undo"}));
    EXPECT_TRUE(std::regex_match(record["time"].get<std::string>(), kUtcMillis));
    EXPECT_EQ(record["source"], "Tidewell");
    EXPECT_EQ(record["procedure"], rows[i].procedure);
    EXPECT_EQ(record["message"], rows[i].message);
    EXPECT_EQ(record["undo"], json(rows[i].stored_undo));
  }
  EXPECT_FALSE(fs::exists(folder_ / "errors.jsonl"));
}

TEST_F(LogbookTest, ErrorLinesGoToTheirOwnFileAndTheEcho) {
  Logbook logbook(folder_);
  std::ostringstream echo;
  logbook.EchoErrorsTo(&echo);
  logbook.WriteError("Tidewell.cmdConvert", "Error occurred.  Reason: disk\nfull", false);
  logbook.WriteError("Tidewell.UndoSave", "Error occurred at line 0.  Reason: ", true);

  const auto lines = Lines(folder_ / "errors.jsonl");
  ASSERT_EQ(lines.size(), 2u);
  const json first = json::parse(lines[0]);
  EXPECT_EQ(Keys(first), (std::vector<std::string>{"time", "procedure", "message", "flag"}));
  EXPECT_TRUE(std::regex_match(first["time"].get<std::string>(), kUtcMillis));
  EXPECT_EQ(first["procedure"], "Tidewell.cmdConvert");
  EXPECT_EQ(first["message"], "Error occurred.  Reason: disk\nfull");
  EXPECT_EQ(first["flag"], false);
  EXPECT_EQ(json::parse(lines[1])["flag"], true);
  EXPECT_EQ(echo.str(),
            "Tidewell.cmdConvert: Error occurred.  Reason: disk\nfull\n"
            "Tidewell.UndoSave: Error occurred at line 0.  Reason: \n");
  EXPECT_FALSE(fs::exists(folder_ / "activity.jsonl"));
}

TEST_F(LogbookTest, BytesThatAreNotUtf8StillMakeOneRecord) {
  Logbook logbook(folder_);
  logbook.WriteActivity("Tidewell", "UndoSave", std::string("FieldValue: caf\xE9!"), true);
  const auto lines = Lines(folder_ / "activity.jsonl");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(json::parse(lines[0])["message"], "FieldValue: caf\uFFFD!");
}

TEST_F(LogbookTest, TwoProcessesAppendingAtOnceNeitherInterleaveNorLoseLines) {
  constexpr int kLinesPerProcess = 1500;
  auto run = [&](int writer) {
    Logbook logbook(folder_);
    for (int i = 0; i < kLinesPerProcess; ++i) {
      // Lines up to ~9 KB, well past PIPE_BUF, would tear or interleave if an
      // append took more than one write.
      const std::string padding(static_cast<size_t>((i * 37) % 9000),
                                static_cast<char>('a' + writer));
      logbook.CreateActivityLogger()->Write("Tidewell", std::to_string(writer),
                                            std::to_string(i) + " " + padding, 0);
    }
  };
  std::vector<pid_t> children;
  for (int writer = 0; writer < 2; ++writer) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int code = 0;
      try {
        run(writer);
      } catch (...) {
        code = 1;
      }
      ::_exit(code);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  const auto lines = Lines(folder_ / "activity.jsonl");
  ASSERT_EQ(lines.size(), 2u * kLinesPerProcess);
  std::vector<int> next(2, 0);
  for (const std::string& line : lines) {
    const json record = json::parse(line);
    const int writer = std::stoi(record["procedure"].get<std::string>());
    const std::string message = record["message"];
    const size_t blank = message.find(' ');
    ASSERT_EQ(std::stoi(message.substr(0, blank)), next[writer]) << "writer " << writer;
    ASSERT_EQ(message.find_first_not_of(static_cast<char>('a' + writer), blank + 1),
              std::string::npos);
    ++next[writer];
  }
  EXPECT_EQ(next, std::vector<int>(2, kLinesPerProcess));
}

TEST_F(LogbookTest, SyncReachesTheDiskOnlyAfterNewActivityLines) {
  Logbook logbook(folder_);
  struct Step {
    const char* what;
    int activity_lines;
    int error_lines;
    uint64_t disk_syncs_after;
  };
  const std::vector<Step> steps = {
      {"nothing written yet", 0, 0, 0}, {"one undo record", 1, 0, 1},
      {"nothing new", 0, 0, 1},         {"only a failure report", 0, 1, 1},
      {"five records", 5, 0, 2},        {"nothing new again", 0, 0, 2},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    for (int i = 0; i < step.activity_lines; ++i) {
      logbook.CreateActivityLogger()->Write("Tidewell", "UndoSave", "FieldName: Body", -1);
    }
    for (int i = 0; i < step.error_lines; ++i) logbook.WriteError("Tidewell.x", "m", false);
    logbook.Sync();
    EXPECT_EQ(logbook.DiskSyncs(), step.disk_syncs_after);
  }
}

TEST_F(LogbookTest, AWriteThatCannotBeDoneThrowsWithTheReason) {
  struct Case {
    const char* what;
    std::function<void(const fs::path& folder)> spoil;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {"log file is a folder",
       [](const fs::path& folder) { fs::create_directories(folder / "activity.jsonl"); },
       "Is a directory"},
      {"disk full",
       [](const fs::path& folder) {
         fs::create_directories(folder);
         fs::create_symlink("/dev/full", folder / "activity.jsonl");
       },
       "No space left on device"},
      {"state folder is a file",
       [](const fs::path& folder) {
         fs::create_directories(folder.parent_path());
         std::ofstream(folder) << "x";
       },
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(root_ / "state");
    c.spoil(folder_);
    Logbook logbook(folder_);
    try {
      logbook.CreateActivityLogger()->Write("Tidewell", "UndoSave", "FieldName: Body", -1);
      ADD_FAILURE() << "no failure";
    } catch (const Failure& failure) {
      EXPECT_NE(failure.Description().find(folder_.string()), std::string::npos)
          << failure.Description();
      EXPECT_NE(failure.Description().find(c.reason), std::string::npos) << failure.Description();
    }
    logbook.Sync();
    EXPECT_EQ(logbook.DiskSyncs(), 0u) << "a failed line needs no sync";

    // Once the cause is gone, the next line goes through.
    fs::remove_all(root_ / "state");
    logbook.WriteActivity("Tidewell", "UndoSave", "again", true);
    EXPECT_EQ(Lines(folder_ / "activity.jsonl").size(), 1u);
  }
}

TEST(LogbookFolder, FollowsTheXdgStateHome) {
  struct Row {
    const char* state_home;  // nullptr: unset
    std::string expected;
  };
  const std::vector<Row> rows = {
      {"/var/tmp/state", "/var/tmp/state/Marrowby"},
      {nullptr, "/home/someone/.local/state/Marrowby"},
      {"", "/home/someone/.local/state/Marrowby"},
      {"relative/state", "/home/someone/.local/state/Marrowby"},
  };
  const char* saved_home = std::getenv("HOME");
  const char* saved_state = std::getenv("XDG_STATE_HOME");
  const std::string home = saved_home ? saved_home : "";
  const std::optional<std::string> state =
      saved_state ? std::optional<std::string>(saved_state) : std::nullopt;
  ::setenv("HOME", "/home/someone", 1);
  for (const Row& row : rows) {
    if (row.state_home != nullptr) {
      ::setenv("XDG_STATE_HOME", row.state_home, 1);
    } else {
      ::unsetenv("XDG_STATE_HOME");
    }
    EXPECT_EQ(Logbook::DefaultFolder(), fs::path(row.expected));
  }
  ::setenv("HOME", home.c_str(), 1);
  if (state) {
    ::setenv("XDG_STATE_HOME", state->c_str(), 1);
  } else {
    ::unsetenv("XDG_STATE_HOME");
  }
}

}  // namespace
}  // namespace tidewell
