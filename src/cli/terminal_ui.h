// The Ui of the terminal host: message boxes are printed and answered from
// the command line or the terminal, the folder pickers answer what the
// command named, and the progress bar is drawn on stderr when it is a
// terminal.
#pragma once

#include <functional>
#include <istream>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "controls/controls.h"
#include "platform/ui.h"

namespace tidewell::cli {

class TerminalUi : public Ui {
 public:
  TerminalUi(std::istream& in, std::ostream& out, std::ostream& err, bool errIsTerminal)
      : in_(in), out_(out), err_(err), err_is_terminal_(errIsTerminal) {}

  // Yes/No boxes: answered Yes when `assume_yes`, else the prompt goes to
  // stderr and a line starting with "y" or "Y" on stdin answers Yes. Input
  // at its end answers No and sets `unanswered`; every No sets `declined`.
  // OK boxes: the prompt goes to stderr.
  MsgBoxResult MsgBox(const std::string& prompt, MsgBoxButtons buttons,
                      const std::string& title) override;
  // The terminal host never opens the field chooser from the page: it drives
  // the dialog's model itself, so a page that asks for it gets it closed.
  void ShowFieldChooser(frmLookInFields& dialog) override;
  std::optional<size_t> PickFolder(const std::vector<FolderChoice>& folders) override;
  std::optional<std::vector<size_t>> PickFolders(const std::vector<FolderChoice>& folders,
                                                 const std::vector<size_t>& checked,
                                                 const std::string& caption) override;
  // "lblFolderName": its caption goes to stdout, one line each time the page
  // shows it (with `json`, as a "folder" line). "ProgressBar1": drawn on
  // stderr when stderr is a terminal.
  void Repaint(const std::string& controlName) override;
  bool StopRequested() override { return stop_requested && stop_requested(); }

  // On the controlling terminal (`tty_path`), never stdin or stdout:
  // "User for WHERE: " when `user` is empty, then "Password for USER at
  // WHERE: " read with echo off. Echo comes back on every path out, Ctrl-C
  // too (which then reaches the process's own SIGINT handling). Nothing when
  // there is no terminal, an empty line is given for the user, or input ends.
  // The answer is kept in memory for GivenCredentials.
  std::optional<Credentials> AskCredentials(const std::string& where,
                                            const std::string& user) override;
  // The same, the password asked with "PROMPT: ".
  std::optional<Credentials> AskPassword(const std::string& where, const std::string& user,
                                         const std::string& prompt) override;
  // The login last given for `where` in this process; nothing before one was.
  std::optional<Credentials> GivenCredentials(const std::string& where) const;

  // Notes go to stderr, one line each; but with `count_unsearched` the
  // "Not searched: ..." notes are only counted, by property, for
  // PrintUnsearchedCount.
  void Note(const std::string& text) override;
  // "Not searched: 600 DESCRIPTION values of alarms, 22 URL values; --verbose
  // lists them" on stderr, once, when notes were counted.
  void PrintUnsearchedCount();
  void CurrentItem(const std::string& name) override { current_item_ = name; }
  // "Item <name>:" for the item a run has open, "" when none is.
  std::string ItemHeading() const {
    return current_item_.empty() ? "" : "Item " + current_item_ + ":";
  }

  // Prints the folder label's caption unless it is the one printed last: the
  // page repaints each "Folder: " caption but sets its summary silently.
  void PrintCaptionIfNew();

  // One line on stdout, after ending the progress bar's line.
  void PrintLine(const std::string& line);

  bool assume_yes = false;
  bool unanswered = false;
  bool declined = false;  // a Yes/No box answered No, or not at all
  bool count_unsearched = false;
  // A preview: the run's summary "Updated N items ..." is printed as
  // "Would update N items ...".
  bool preview = false;
  bool json = false;                     // --json: stdout holds JSON Lines only
  std::function<bool()> stop_requested;  // unset: never stop
  std::optional<std::vector<size_t>> folders_to_pick;
  const Label* folder_label = nullptr;
  const ProgressBar* progress_bar = nullptr;
  std::string tty_path = "/dev/tty";

 private:
  void EndProgressLine();
  std::string Worded(const std::string& caption) const;
  // `prompt` "" asks "Password for USER at WHERE: ".
  std::optional<Credentials> Ask(const std::string& where, const std::string& user,
                                 const std::string& prompt);

  std::istream& in_;
  std::ostream& out_;
  std::ostream& err_;
  bool err_is_terminal_;
  bool progress_drawn_ = false;
  std::optional<std::string> last_caption_;
  std::string current_item_;
  std::map<std::string, Credentials> given_;
  // What no field stands for, by "NAME" or "NAME of an alarm", in the order
  // first met.
  std::vector<std::pair<std::string, size_t>> unsearched_;
};

}  // namespace tidewell::cli
