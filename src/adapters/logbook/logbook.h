// The activity log and the error log: two JSON Lines files in one folder,
// shared by every process of the user (the desktop and the terminal host).
//
//   Logbook logbook;                        // $XDG_STATE_HOME/Marrowby
//   logbook.CreateActivityLogger()->Write("Tidewell", "UndoSave", "FieldName: Body", -1);
//   logbook.Sync();                         // the undo record is on disk now
//   logbook.WriteError("Tidewell.cmdConvert", "Error occurred.  Reason: ...", false);
//
// activity.jsonl holds one object per line:
//   {"time":"2026-12-05T17:25:24.123Z","source":"Tidewell","procedure":"UndoSave",
//    "message":"FieldName: Body","undo":true,"run":"20261205T172524.120Z-4711"}
// errors.jsonl holds {"time", "procedure", "message", "flag", "run"}. "run" is
// the id of the run that wrote the line (SetRun; MakeRunId gives its
// form); lines written outside a run get an id of their own, made once per
// logbook. A FieldValue undo record also carries "new" (and "line" when the
// store gives one), and an undo's header "undoes" (WriteActivityWith), placed
// before "run". Each activity line ends with "n", its place in its run,
// counted from 1 over the lines written whole, so a reader can tell a record
// lost (journal_runs.h). Times are UTC
// with milliseconds. A message with line breaks or quotes stays one line (JSON
// escapes them); bytes that are not UTF-8 are stored as U+FFFD.
//
// Lines go out whole in write(2)s on an O_APPEND descriptor, so lines of two
// processes appending at once never interleave and none is lost. Within a
// run (which holds the journal's lock: no other process appends) the lines
// that are no undo records are held back and written together, up to 64 KiB
// or 100 ms of them: a run logs a line for every item it checks, and a
// write(2) each cost more than the line. An undo record goes out at once
// with whatever is held before it, and so do held lines at Sync, at SetRun
// and at CloseFiles; only a line of more than about a MiB takes several
// writes (WriteActivityParts). The files are opened on first use and stay
// open; a failed open is tried again at the next line. Meant for one thread,
// like the page it serves.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "platform/activity_logger.h"

namespace tidewell {

// A fresh run id: the UTC time the run began, to the millisecond, and the
// pid, "YYYYMMDDTHHMMSS.mmmZ-PID". Ids sort by time as text, and two runs
// never share one: two processes differ in pid, and one process never hands
// out the same time twice.
std::string MakeRunId();

class Logbook : public WriteAheadLog {
 public:
  // $XDG_STATE_HOME/Marrowby, or ~/.local/state/Marrowby when the variable is
  // unset or empty (or not absolute, which the XDG rules say to ignore).
  static std::filesystem::path DefaultFolder();

  // Touches nothing on disk: the folder is created with the first line.
  explicit Logbook(std::filesystem::path folder = DefaultFolder());
  ~Logbook() override;
  Logbook(const Logbook&) = delete;
  Logbook& operator=(const Logbook&) = delete;

  const std::filesystem::path& Folder() const { return folder_; }
  const std::filesystem::path& ActivityPath() const { return activity_path_; }
  const std::filesystem::path& ErrorsPath() const { return errors_path_; }

  // A light handle that writes to this logbook, which must outlive it. `undo`
  // is stored as true for any non-zero value (the page passes -1).
  std::unique_ptr<ActivityLogger> CreateActivityLogger();

  // Appends one line to activity.jsonl. Throws Failure naming the file and the
  // system's reason ("No space left on device", "Permission denied", ...).
  void WriteActivity(const std::string& source, const std::string& procedure,
                     const std::string& message, bool undo);
  // The same with one more string member `key` before "run", and a second,
  // `key2`, after it when that is not "".
  void WriteActivityWith(const std::string& source, const std::string& procedure,
                         const std::string& message, bool undo, const std::string& key,
                         const std::string& value, const std::string& key2 = "",
                         const std::string& value2 = "");
  // WriteActivityWith with the message given as `head` then `tail`, written
  // from where the caller holds them. A line past about a MiB (an undo record
  // of a large field) goes out in several writes, never built whole: during
  // a run the run lock keeps every other writer out, so they cannot
  // interleave; the bytes on file are those of one write.
  void WriteActivityParts(std::string_view source, std::string_view procedure,
                          std::string_view head, std::string_view tail, bool undo,
                          std::string_view key, std::string_view value, std::string_view key2 = {},
                          std::string_view value2 = {});

  // The id every line carries from now on; "" goes back to the logbook's own
  // id for lines outside a run. A new run starts with no lost line on record.
  // Writes the lines held back first; a failure to is reported as WriteError
  // reports (echoed, and in errors.jsonl when it can take it), as the run
  // that wrote them is over, unless the run lost a line before (which it
  // was told of then).
  void SetRun(std::string id);
  // The id the next line carries (made on first use outside a run).
  const std::string& Run();

  // Appends one line to errors.jsonl, after echoing "<procedure>: <message>"
  // to the echo stream when there is one, so a report reaches the terminal
  // even when the file cannot take it. Throws Failure like WriteActivity.
  void WriteError(const std::string& procedure, const std::string& message, bool flag);

  // Where WriteError echoes its reports; nullptr (the default) echoes nothing.
  // The stream must outlive the logbook or be unset first.
  // `heading`, when set, gives a line printed before each echoed report ("" for
  // none): the terminal host names the item a report is about there.
  void EchoErrorsTo(std::ostream* echo, std::function<std::string()> heading = {}) {
    echo_ = echo;
    echo_heading_ = std::move(heading);
  }

  // From now on no file is opened, created or written: lines are dropped and
  // reports only echoed. For a preview that must leave the disk as it was.
  void WriteNothing() { writes_nothing_ = true; }

  // fdatasync of activity.jsonl when a line was added since the last Sync;
  // otherwise nothing. Throws JournalNotWritten when the data cannot be made
  // durable, and at every call once a line of activity.jsonl could not be
  // written (or its file opened), until the next SetRun: a record lost
  // mid-run cannot be told from the others, so no later save may rely on it.
  void Sync() override;

  // Closes both files, after writing the lines held back; the next line
  // opens them anew (after a rotation moved them away). Never throws: held
  // lines that cannot be written count as lost (see Sync).
  void CloseFiles();

  // How many times Sync reached the disk: lets tests see that an idle Sync
  // costs nothing.
  uint64_t DiskSyncs() const { return disk_syncs_; }

 private:
  int Descriptor(int& fd, const std::filesystem::path& path);
  // Writes `bytes` whole; on failure throws, with `*sent` the bytes that
  // went out before it when `sent` is given.
  void Append(int& fd, const std::filesystem::path& path, std::string_view bytes,
              size_t* sent = nullptr);
  // Adds an activity line numbered `lines + held_lines_ + 1` ("n"), holding
  // it back or writing it and what is held (see above).
  void AppendActivity(std::string line, bool undo);
  // Writes the lines held back; throws as Append does.
  void Flush();

  std::filesystem::path folder_;
  // Joined once: every line written names its file, and building the path
  // anew cost as much as formatting the line.
  std::filesystem::path activity_path_;
  std::filesystem::path errors_path_;
  int activity_fd_ = -1;
  int errors_fd_ = -1;
  bool unsynced_ = false;
  std::string lost_;  // the system's reason a line of activity.jsonl was lost
  uint64_t disk_syncs_ = 0;
  std::ostream* echo_ = nullptr;
  bool writes_nothing_ = false;
  std::function<std::string()> echo_heading_;
  std::string run_;
  std::string own_run_;
  // Lines written whole so far under run_ and under own_run_ ("n").
  uint64_t run_lines_ = 0;
  uint64_t own_lines_ = 0;
  std::string held_;  // whole activity lines of the run not yet written
  uint64_t held_lines_ = 0;
  std::chrono::steady_clock::time_point held_since_;
};

}  // namespace tidewell
