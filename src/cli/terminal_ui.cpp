#include "cli/terminal_ui.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <string_view>

#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include "app/dry_run.h"
#include "cli/json_lines.h"
#include "fields/frm_look_in_fields.h"

namespace tidewell::cli {

namespace {

volatile std::sig_atomic_t g_prompt_interrupted = 0;

extern "C" void OnPromptInterrupt(int) { g_prompt_interrupted = 1; }

// The terminal, open for one question; closed and its echo restored however
// the question ends.
class Terminal {
 public:
  explicit Terminal(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY)) {}
  ~Terminal() {
    EchoOn();
    if (fd_ >= 0) ::close(fd_);
  }
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  bool Open() const { return fd_ >= 0 && isatty(fd_) != 0; }

  void Write(const std::string& text) const {
    for (size_t done = 0; done < text.size();) {
      const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR && g_prompt_interrupted == 0) continue;
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  }

  // One line without its end; nothing at the end of input or on Ctrl-C.
  std::optional<std::string> ReadLine() const {
    std::string line;
    char ch = 0;
    while (true) {
      const ssize_t n = ::read(fd_, &ch, 1);
      if (n < 0 && errno == EINTR && g_prompt_interrupted == 0) continue;
      if (n <= 0) return std::nullopt;
      if (ch == '\n') return line;
      line += ch;
    }
  }

  bool EchoOff() {
    if (tcgetattr(fd_, &saved_) != 0) return false;
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    echo_off_ = tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
    return echo_off_;
  }
  void EchoOn() {
    if (!echo_off_) return;
    tcsetattr(fd_, TCSAFLUSH, &saved_);
    echo_off_ = false;
  }

 private:
  int fd_;
  termios saved_{};
  bool echo_off_ = false;
};

// While asked, Ctrl-C ends the question (no SA_RESTART: the read returns);
// afterwards the handler that was there before hears of it.
class PromptSignals {
 public:
  PromptSignals() {
    g_prompt_interrupted = 0;
    struct sigaction action {};
    action.sa_handler = OnPromptInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &old_);
  }
  ~PromptSignals() {
    sigaction(SIGINT, &old_, nullptr);
    if (g_prompt_interrupted != 0) raise(SIGINT);
  }
  PromptSignals(const PromptSignals&) = delete;
  PromptSignals& operator=(const PromptSignals&) = delete;

 private:
  struct sigaction old_ {};
};

}  // namespace

std::optional<Credentials> TerminalUi::AskCredentials(const std::string& where,
                                                      const std::string& user) {
  return Ask(where, user, "");
}

std::optional<Credentials> TerminalUi::AskPassword(const std::string& where,
                                                   const std::string& user,
                                                   const std::string& prompt) {
  return Ask(where, user, prompt.empty() ? "Password" : prompt);
}

std::optional<Credentials> TerminalUi::Ask(const std::string& where, const std::string& user,
                                           const std::string& prompt) {
  EndProgressLine();
  // Declared first: the terminal's echo is back before SIGINT is passed on.
  PromptSignals signals;
  Terminal tty(tty_path);
  if (!tty.Open()) return std::nullopt;
  Credentials given{user, ""};
  if (given.user.empty()) {
    tty.Write("User for " + where + ": ");
    std::optional<std::string> line = tty.ReadLine();
    if (!line || line->empty()) return std::nullopt;
    given.user = *line;
  }
  // Echo goes off before the prompt shows: what is typed after it is never
  // shown, and what was typed before it is dropped.
  if (!tty.EchoOff()) return std::nullopt;
  tty.Write(prompt.empty() ? "Password for " + given.user + " at " + where + ": " : prompt + ": ");
  std::optional<std::string> password = tty.ReadLine();
  tty.EchoOn();
  if (!password) {
    tty.Write("\n");
    return std::nullopt;
  }
  given.password = *password;
  given_[where] = given;
  return given;
}

std::optional<Credentials> TerminalUi::GivenCredentials(const std::string& where) const {
  const auto found = given_.find(where);
  if (found == given_.end()) return std::nullopt;
  return found->second;
}

MsgBoxResult TerminalUi::MsgBox(const std::string& prompt, MsgBoxButtons buttons,
                                const std::string&) {
  EndProgressLine();
  if (buttons == MsgBoxButtons::OkOnly) {
    err_ << prompt << "\n";
    return MsgBoxResult::Ok;
  }
  if (assume_yes) return MsgBoxResult::Yes;
  err_ << prompt << " [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(in_, answer)) {
    err_ << "\n";
    unanswered = true;
    declined = true;
    return MsgBoxResult::No;
  }
  if (!answer.empty() && (answer[0] == 'y' || answer[0] == 'Y')) return MsgBoxResult::Yes;
  declined = true;
  return MsgBoxResult::No;
}

void TerminalUi::ShowFieldChooser(frmLookInFields& dialog) { dialog.cmdCancel_Click(); }

std::optional<size_t> TerminalUi::PickFolder(const std::vector<FolderChoice>&) {
  return std::nullopt;
}

std::optional<std::vector<size_t>> TerminalUi::PickFolders(const std::vector<FolderChoice>&,
                                                           const std::vector<size_t>&,
                                                           const std::string&) {
  return folders_to_pick;
}

void TerminalUi::Repaint(const std::string& controlName) {
  if (controlName == "lblFolderName") {
    EndProgressLine();
    if (folder_label != nullptr && json) {
      static constexpr std::string_view kFolder = "Folder: ";
      const std::string& caption = folder_label->Caption();
      out_ << FolderJson(caption.starts_with(kFolder) ? caption.substr(kFolder.size()) : caption)
           << std::endl;
      last_caption_ = caption;
    } else if (folder_label != nullptr) {
      out_ << Worded(folder_label->Caption()) << std::endl;
      last_caption_ = folder_label->Caption();
    }
  } else if (controlName == "ProgressBar1" && err_is_terminal_ && progress_bar != nullptr &&
             progress_bar->Visible()) {
    const int32_t span = progress_bar->Max() - progress_bar->Min() + 1;
    const int32_t done = progress_bar->Value() - progress_bar->Min() + 1;
    constexpr int kWidth = 30;
    const int filled = span > 0 ? static_cast<int>(int64_t{kWidth} * done / span) : kWidth;
    err_ << "\r[" << std::string(static_cast<size_t>(filled), '#')
         << std::string(static_cast<size_t>(kWidth - filled), ' ') << "] " << done << "/" << span
         << std::flush;
    progress_drawn_ = true;
  }
}

void TerminalUi::Note(const std::string& text) {
  static constexpr std::string_view kUnsearched = "Not searched: ";
  const size_t values = text.rfind(": ");
  if (!count_unsearched || !text.starts_with(kUnsearched) || values < kUnsearched.size()) {
    EndProgressLine();
    err_ << text << '\n';
    return;
  }
  // "Not searched: ENTRY: URL on line 9, DESCRIPTION of an alarm on line 17."
  std::string_view rest = std::string_view(text).substr(values + 2);
  if (rest.ends_with('.')) rest.remove_suffix(1);
  while (!rest.empty()) {
    const size_t comma = std::min(rest.find(", "), rest.size());
    const std::string_view part = rest.substr(0, comma);
    const std::string name(part.substr(0, std::min(part.find(" on line "), part.size())));
    auto counted = std::find_if(unsearched_.begin(), unsearched_.end(),
                                [&](const auto& entry) { return entry.first == name; });
    if (counted == unsearched_.end()) {
      unsearched_.emplace_back(name, 1);
    } else {
      ++counted->second;
    }
    rest.remove_prefix(std::min(comma + 2, rest.size()));
  }
}

void TerminalUi::PrintUnsearchedCount() {
  if (unsearched_.empty()) return;
  static constexpr std::string_view kOfAlarm = " of an alarm";
  std::string line;
  for (const auto& [name, count] : unsearched_) {
    std::string property = name;
    const bool alarm = property.ends_with(kOfAlarm);
    if (alarm) property.resize(property.size() - kOfAlarm.size());
    line += (line.empty() ? "" : ", ") + std::to_string(count) + " " + property +
            (count == 1 ? " value" : " values") +
            (alarm ? (count == 1 ? " of an alarm" : " of alarms") : "");
  }
  EndProgressLine();
  err_ << "Not searched: " << line << "; --verbose lists them\n";
  unsearched_.clear();
}

void TerminalUi::PrintCaptionIfNew() {
  EndProgressLine();
  if (folder_label == nullptr || folder_label->Caption() == last_caption_) return;
  out_ << Worded(folder_label->Caption()) << std::endl;
  last_caption_ = folder_label->Caption();
}

void TerminalUi::PrintLine(const std::string& line) {
  EndProgressLine();
  out_ << line << '\n';
}

std::string TerminalUi::Worded(const std::string& caption) const {
  return preview ? PreviewCaption(caption) : caption;
}

void TerminalUi::EndProgressLine() {
  if (!progress_drawn_) return;
  err_ << "\n";
  progress_drawn_ = false;
}

}  // namespace tidewell::cli
