// The terminal host over a store that stands for a server: what reaches the
// store from the command line, the attendees question, logins on a terminal.
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include "cli/commands.h"
#include "cli/terminal_ui.h"
#include "platform/failure.h"
#include "stores/vdir/vdir_store.h"
#include "support/scheduling_store.h"
#include "support/temp_files.h"

namespace tidewell::cli {
namespace {

namespace fs = std::filesystem;
using testing::SchedulingLog;

// A copy of the sample store, and the config and state folders of its own.
class ServerRun : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy(fs::path(TIDEWELL_SOURCE_DIR) / "samples" / "store", root_,
             fs::copy_options::recursive);
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "HOME"}) {
      fs::create_directories(dir_.path() / variable);
      setenv(variable, (dir_.path() / variable).c_str(), 1);
    }
    testing::WriteFile(dir_.path() / "ca.pem", "-----BEGIN CERTIFICATE-----\n");
  }

  // Runs `line`, ROOT standing for the store; a store refuses to open while `refusal_` is set.
  int Run(const std::string& line, const std::string& input = "") {
    std::vector<std::string> args;
    std::istringstream words(line), in(input);
    for (std::string word; words >> word;) args.push_back(word == "ROOT" ? root_.string() : word);
    std::ostringstream out, err;
    const auto open = [this](const std::vector<std::string>& roots, Ui& ui, WriteAheadLog* wal,
                             const StoreOptions& options) -> std::unique_ptr<MailStore> {
      log_->opened_with.push_back(options);
      if (!refusal_.empty()) throw Failure(refusal_);
      return std::make_unique<testing::SchedulingStore>(std::make_unique<VdirStore>(roots, ui, wal),
                                                        log_);
    };
    const int status = cli::Run(args, in, out, err, false, open, (dir_.path() / "no-tty").string());
    out_ = out.str();
    err_ = err.str();
    return status;
  }

  testing::TempDir dir_;
  const fs::path root_ = dir_.path() / "store";
  std::shared_ptr<SchedulingLog> log_ = std::make_shared<SchedulingLog>();
  std::string refusal_, out_, err_;
};

TEST_F(ServerRun, UserAndCaFileReachEveryStoreOpened) {
  log_->schedules = true;
  log_->notifying = {"a2c6e0f4", "5b7d9f1a"};
  const std::string ca = (dir_.path() / "ca.pem").string();
  ASSERT_EQ(Run("--store ROOT --user ann --ca-file " + ca +
                " replace --yes --notify-attendees --folder calendar --fields appointments "
                "--search Newark --replace Newark-on-Sea"),
            0)
      << err_;
  ASSERT_FALSE(log_->opened_with.empty());
  for (const StoreOptions& options : log_->opened_with) {
    EXPECT_EQ(options.user, "ann");
    EXPECT_EQ(options.ca_file, ca);
  }
  const std::string none = (dir_.path() / "none.pem").string();
  EXPECT_EQ(Run("--store ROOT --ca-file " + none + " folders"), 2);
  EXPECT_EQ(err_, "tidewell: --ca-file: '" + none + "' is no readable file.\n");
  EXPECT_EQ(Run("--store ROOT --ca-file " + dir_.path().string() + " folders"), 2);
}

// A store that does not open ends the command with its reason (exit 2) and
// is not remembered for the next one.
TEST_F(ServerRun, AStoreThatDoesNotOpenIsNotRemembered) {
  refusal_ = "Refusing to send a password over plain HTTP to dav.example.invalid; use https.";
  EXPECT_EQ(Run("--store ROOT folders"), 2);
  EXPECT_EQ(err_, "tidewell: " + refusal_ + "\n");
  refusal_.clear();
  EXPECT_EQ(Run("stores"), 2);
  EXPECT_EQ(err_, std::string("tidewell: ") + kNoStoreMessage + "\n");
  ASSERT_EQ(Run("--store ROOT folders"), 0) << err_;
  ASSERT_EQ(Run("stores"), 0) << err_;
  EXPECT_EQ(out_, fs::canonical(root_).string() + "\tremembered\n");
}

TEST_F(ServerRun, TheAttendeesQuestionIsAskedOnceAndOnlyItsOwnAnswerCounts) {
  const std::string question =
      "2 events have attendees; the server may e-mail them the change. Change these events too? "
      "[y/N] ";
  const std::string note =
      "2 changed events have attendees; the server may e-mail them the change.\n";
  struct Row {
    const char* name;
    bool schedules;
    const char* options;
    const char* input;
    std::string err;  // from the line that first names attendees to the end
    int left_alone;
  };
  const Row rows[] = {
      {"--yes does not answer it; no answer is No", true, "--yes", "", question + "\n", 1},
      {"declined", true, "--yes", "n\n", question, 1},
      {"accepted", true, "--yes", "y\n", question, 0},
      {"--notify-attendees answers it", true, "--yes --notify-attendees", "", "", 0},
      {"a server that does not schedule", false, "--yes", "", "", 0},
      {"a preview only counts", true, "--yes --dry-run", "", note, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    log_ = std::make_shared<SchedulingLog>();
    log_->schedules = row.schedules;
    log_->notifying = {"a2c6e0f4", "5b7d9f1a", "1A7C3E59"};  // the last is not changed
    EXPECT_EQ(Run(std::string("--store ROOT replace --folder calendar --fields appointments ") +
                      row.options + " --search Newark --replace Newark-on-Sea",
                  row.input),
              0)
        << err_;
    const size_t at = err_.find("attendees");
    EXPECT_EQ(at == std::string::npos ? "" : err_.substr(err_.rfind('\n', at) + 1), row.err);
    EXPECT_EQ(log_->left_alone, row.left_alone);
  }
}

// An undo changes the events again: it asks the same, and declined, lists
// the events it leaves as they are.
TEST_F(ServerRun, AnUndoAsksTheSameQuestionAndDeclinedSkipsThoseEvents) {
  log_->schedules = true;
  log_->notifying = {"a2c6e0f4", "5b7d9f1a"};
  ASSERT_EQ(Run("--store ROOT replace --yes --notify-attendees --folder calendar --fields "
                "appointments --search Newark --replace Newark-on-Sea"),
            0)
      << err_;
  ASSERT_EQ(Run("--store ROOT runs"), 0) << err_;
  const std::string run = out_.substr(0, out_.find('\t'));

  EXPECT_EQ(Run("--store ROOT undo --yes"), 1);
  EXPECT_EQ(err_.substr(err_.find("2 events")),
            "2 events have attendees; the server may e-mail them the change. Change these "
            "events too? [y/N] \n");
  const std::string a = "calendar/a2c6e0f4-8b13-4d79-9e5a-3f7b1d5c9e28.ics: ";
  const std::string b = "calendar/5b7d9f1a-3c2e-4e60-8a4b-d6f0b2e8c519.ics: ";
  const std::string why = std::string(kNotifiesAttendees) + "\n";
  EXPECT_EQ(out_, "Restored 0 fields in 0 items; skipped 3.\nBody of " + a + why + "Location of " +
                      a + why + "Location of " + b + why);

  EXPECT_EQ(Run("--store ROOT undo " + run + " --yes --notify-attendees"), 0) << out_ << err_;
  EXPECT_EQ(out_, "Restored 3 fields in 2 items; skipped 0.\n");
  EXPECT_EQ(err_.find("attendees"), std::string::npos) << err_;
}

// A terminal of the test's own: what the prompt writes, and answers to it.
class PseudoTerminal {
 public:
  PseudoTerminal() : master_(posix_openpt(O_RDWR | O_NOCTTY)) {
    grantpt(master_);
    unlockpt(master_);
    path_ = ptsname(master_);
    // Held open so that the terminal keeps its settings between opens.
    slave_ = open(path_.c_str(), O_RDWR | O_NOCTTY);
  }
  ~PseudoTerminal() {
    close(slave_);
    close(master_);
  }
  const std::string& path() const { return path_; }
  bool Echoes() const {
    termios settings{};
    tcgetattr(slave_, &settings);
    return (settings.c_lflag & ECHO) != 0;
  }
  // Everything written to the terminal so far, and what it echoed; waits up to
  // `wait_ms` for each piece while `until` has not shown.
  const std::string& Seen(const std::string& until = "", int wait_ms = 100) {
    for (pollfd ready{master_, POLLIN, 0};
         until.empty() || seen_.find(until) == std::string::npos;) {
      char buffer[256];
      const ssize_t n = poll(&ready, 1, wait_ms) > 0 ? read(master_, buffer, sizeof buffer) : 0;
      if (n <= 0) break;
      seen_.append(buffer, static_cast<size_t>(n));
    }
    return seen_;
  }
  void Answer(const std::string& prompt, const std::string& answer) {
    if (Seen(prompt, 5000).find(prompt) == std::string::npos)
      return ADD_FAILURE() << "no prompt " << prompt;
    EXPECT_EQ(write(master_, answer.data(), answer.size()), ssize_t(answer.size()));
  }

 private:
  int master_, slave_;
  std::string path_, seen_;
};

TEST(TerminalLogin, AsksOnTheTerminalWithoutEchoingThePassword) {
  struct Row {
    const char* user;
    std::vector<std::pair<std::string, std::string>> dialogue;  // prompt, answer
    std::optional<std::string> user_given;
    const char* prompt = nullptr;  // a config's text to ask the password with
  };
  const std::string where = "https://dav.example.org";
  const Row rows[] = {
      {"",
       {{"User for " + where + ": ", "ann\n"}, {"Password for ann at " + where + ": ", "s3cret\n"}},
       "ann"},
      {"bob", {{"Password for bob at " + where + ": ", "s3cret\n"}}, "bob"},
      {"", {{"User for " + where + ": ", "\n"}}, std::nullopt},
      {"ann", {}, std::nullopt},  // no terminal at all
      {"",
       {{"User for " + where + ": ", "ann\n"}, {"Password for dav: ", "s3cret\n"}},
       "ann",
       "Password for dav"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.user);
    PseudoTerminal tty;
    std::istringstream in;
    std::ostringstream out, err;
    TerminalUi ui(in, out, err, false);
    ui.tty_path = row.dialogue.empty() ? "/nonexistent/tty" : tty.path();
    std::thread typist([&] {
      for (const auto& [prompt, answer] : row.dialogue) tty.Answer(prompt, answer);
    });
    const std::optional<Credentials> given = row.prompt
                                                 ? ui.AskPassword(where, row.user, row.prompt)
                                                 : ui.AskCredentials(where, row.user);
    typist.join();
    EXPECT_EQ(given ? std::optional(given->user) : std::nullopt, row.user_given);
    const std::optional<Credentials> kept = ui.GivenCredentials(where);
    EXPECT_EQ((given ? given->password : "none") + "/" + (kept ? kept->password : "none"),
              row.user_given ? "s3cret/s3cret" : "none/none");
    EXPECT_EQ(tty.Seen().find("s3cret"), std::string::npos);
    EXPECT_TRUE(tty.Echoes());
    EXPECT_EQ(out.str() + err.str(), "");
  }
}

}  // namespace
}  // namespace tidewell::cli
