// One run (a replace, an undo) as the journal sees it: the only writer of the
// state folder's logs for its whole length.
//
//   RunSession run(logbook, RunWait{&std::cerr});   // waits for another run
//   run.Id();                                       // "20261206T194417.884Z-4711"
//   ... the run writes its lines; each carries the id ...
//   // the destructor indexes the run and lets the next run in
//
// The lock is flock(2) on activity.lock beside activity.jsonl, which also
// holds the pid of its holder (for the waiting message only: the kernel drops
// the lock of a process that died, so a stale file never blocks). Taking it
// also ends a torn last line of activity.jsonl and errors.jsonl (a kill or a
// full disk mid-line) with a line break, so the run's first line never glues
// onto it. Then, still before the run's first line, the index of runs is
// brought up to date and the history rotated and trimmed (run_index.h); the
// run's own summary joins the index when the session ends.
//
// Run ids are MakeRunId's (logbook.h).
#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "adapters/logbook/logbook.h"
#include "app/run_index.h"
#include "platform/failure.h"

namespace tidewell {

// Another process holds the lock and the run was told not to wait:
// "Another Tidewell run (pid N) is in progress."
class RunInProgress : public Failure {
 public:
  explicit RunInProgress(long pid);
  long pid() const { return pid_; }

 private:
  long pid_;
};

// Thrown when `stop` said yes while waiting for the lock.
class RunWaitStopped : public Failure {
 public:
  RunWaitStopped() : Failure("Stopped while waiting for another Tidewell run.") {}
};

struct RunWait {
  // Where "Waiting for another Tidewell run (pid N) to finish..." goes, once;
  // nullptr: do not wait, throw RunInProgress instead.
  std::ostream* waiting = nullptr;
  // Asked while waiting; true throws RunWaitStopped.
  std::function<bool()> stop;
};

class RunSession {
 public:
  // Takes the lock (see above), names the run and sets its id on `logbook`,
  // which must outlive the session. Throws RunInProgress, RunWaitStopped, or
  // Failure when the state folder cannot be written.
  RunSession(Logbook& logbook, const RunWait& wait, const Retention& retention = {});
  ~RunSession();
  RunSession(const RunSession&) = delete;
  RunSession& operator=(const RunSession&) = delete;

  const std::string& Id() const { return id_; }
  // The journal's runs as they stood when the lock was taken.
  const RunList& Runs() const { return runs_; }

 private:
  Logbook& logbook_;
  int lock_fd_ = -1;
  std::string id_;
  uint64_t start_ = 0;
  RunList runs_;  // where the run's lines begin in activity.jsonl
};

}  // namespace tidewell
