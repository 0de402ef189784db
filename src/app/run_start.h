// The steps a host takes before a run that writes to the journal (a replace
// or an undo), the same in both hosts; what only a host can do (ask the user,
// show a wait cursor) comes in as a callback.
//
//   std::unique_ptr<RunSession> session = StartRun(env, RunWait{&std::cerr});
//   SettleNotifying(*env.store,
//                   [&] { return PreviewRun(env, options, true, {}, ask).notifying_events; },
//                   [&](size_t events) { return AskUser(NotifyingEventsQuestion(events)); });
//   ... the run ...
//   // the session's end lets the next run in
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/dry_run.h"
#include "app/run_session.h"
#include "app/store_host.h"

namespace tidewell {

// Takes the run's lock on the state folder, held until the session ends, and
// trims the journal to the retention the settings keep. Throws RunInProgress
// while another run holds the lock and `wait` does not wait, RunWaitStopped
// when `wait.stop` ends the wait, Failure when the state folder cannot be
// written.
std::unique_ptr<RunSession> StartRun(HostEnvironment& env, const RunWait& wait);

// On a store that e-mails the attendees of the events it stores, asks once
// before a run changes such events: `count` says how many the run would
// change (it may read every item, so it is called on such a store only), and
// when there are some and `agrees(count)` says no, the store is told to
// leave them alone. On any other store nothing is counted or asked.
void SettleNotifying(MailStore& store, const std::function<size_t()>& count,
                     const std::function<bool(size_t events)>& agrees);

// A login asked for a store that wants one: the one given before for
// `where`, else asked; nothing when none is given.
using AskLogin =
    std::function<std::optional<Credentials>(const std::string& where, const std::string& user)>;

// A preview of a replace over the stores `env` uses, opened as the host
// opened them (`options`): over the settings of the run the host is about to
// make when `runSettings` (they may be the run's own), else over those saved.
// `stop` as for DryRunReplace.
DryRunOutcome PreviewRun(HostEnvironment& env, const HostOptions& options, bool runSettings,
                         const std::function<bool()>& stop, const AskLogin& ask);

}  // namespace tidewell
