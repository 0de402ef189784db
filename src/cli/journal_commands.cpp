#include <filesystem>
#include <utility>

#include "app/run_index.h"
#include "app/run_report.h"
#include "app/run_start.h"
#include "cli/command_context.h"
#include "cli/json_lines.h"
#include "journal/journal_runs.h"
#include "undo/undo.h"

namespace tidewell::cli {

namespace {

void PrintUndoStopped(std::ostream& err, long items) {
  err << "Stopped after " << items << " items; `tidewell undo` finishes this undo.\n";
}

// Tells stderr what damage reading the journal stepped over, so that stdout
// stays one line per run for scripts.
const RunList& Reported(Context& c, const RunList& list) {
  const std::filesystem::path path = c.env.logbook.ActivityPath();
  if (list.malformed_lines > 0) {
    c.err << "tidewell: " << path.string() << ": skipped " << list.malformed_lines
          << " lines that are no journal records.\n";
  }
  if (list.torn_lines > 0) {
    c.err << "tidewell: " << path.string() << ": " << list.torn_lines
          << (list.torn_lines == 1 ? " line was" : " lines were")
          << " cut off (a kill or a full disk); left out.\n";
  }
  if (list.stray_entries > 0) {
    c.err << "tidewell: " << path.string() << ": " << list.stray_entries
          << " undo entries belong to no run; they are left out.\n";
  }
  return list;
}

// The run `name` names: its id, or for runs logged before ids its time.
const RunSummary& ChooseRun(const RunList& list, const std::optional<std::string>& name) {
  if (!name) {
    if (const RunSummary* newest = list.NewestToUndo()) return *newest;
    throw UsageError(kNoRunToUndo);
  }
  if (const RunSummary* run = list.Find(*name)) return *run;
  throw UsageError("Unknown run '" + *name + "' (see 'tidewell runs').");
}

// Its changes, one line each, as a preview lists them.
int ShowRun(Context& c, const RunSummary& summary) {
  const JournalRun run = LoadRun(summary);
  for (const FieldChange& change : RunChanges(run, c.env)) {
    c.out << (c.Given("--json") ? ChangeJson(change) : ChangeLine(change)) << '\n';
  }
  if (run.unreadable > 0) {
    c.err << "tidewell: " << DescribeUnreadable(run.unreadable) << '\n';
    return kItemsFailed;
  }
  return kDone;
}

}  // namespace

int Runs(Context& c) {
  const RunList list = ListRuns(c.env.logbook);
  Reported(c, list);
  for (const Option& o : c.invocation.options) {
    if (o.name == "--show") return ShowRun(c, ChooseRun(list, o.value));
  }
  for (auto run = list.runs.rbegin(); run != list.runs.rend(); ++run) {
    if (c.Given("--json")) {
      c.out << RunJson(*run) << '\n';
      continue;
    }
    c.out << run->id << '\t' << LocalTime(run->time) << '\t' << run->description << '\t'
          << run->fields << " fields in " << run->items << " items";
    if (const std::string state = RunState(*run); !state.empty()) c.out << ", " << state;
    c.out << '\n';
  }
  return kDone;
}

int Undo(Context& c) {
  StopSignals signals;
  std::unique_ptr<RunSession> session;
  try {
    session = StartRun(c);
  } catch (const RunWaitStopped&) {
    return StopSignals::ExitStatus();
  }
  const RunList& list = Reported(c, session->Runs());
  const auto& arguments = c.invocation.arguments;
  const RunSummary& summary =
      ChooseRun(list, arguments.empty() ? std::nullopt : std::optional(arguments.front()));
  JournalRun run = LoadRunToUndo(list, summary);
  // The run's own stores, whatever --store named.
  MailStore& store = c.env.StoreOfRun(run);
  c.ui.assume_yes = c.Given("--yes");
  c.ui.unanswered = false;
  if (c.ui.MsgBox(UndoQuestion(run), MsgBoxButtons::YesNo, "Marrowby") != MsgBoxResult::Yes) {
    if (StopSignals::Received()) return StopSignals::ExitStatus();
    if (c.ui.unanswered) throw UsageError(kNoAnswer);
    c.err << kNothingChanged << '\n';
    return kFailed;
  }
  // Undoing an event's change is a change the server may e-mail too.
  if (!c.Given("--notify-attendees")) {
    SettleNotifying(
        store, [&] { return NotifyingItems(run, store); },
        [&c](size_t events) { return AgreesToNotify(c, events); });
    if (StopSignals::Received()) return StopSignals::ExitStatus();
  }

  const UndoOutcome outcome = UndoJournalRun(std::move(run), store, *c.env.components,
                                             [] { return StopSignals::Received(); });
  c.out << UndoSummary(outcome) << '\n';
  for (const SkippedField& skipped : outcome.skipped) {
    c.out << DescribeSkipped(skipped) << '\n';
  }
  if (outcome.unreadable > 0) c.out << DescribeUnreadable(outcome.unreadable) << '\n';
  if (outcome.stopped) {
    PrintUndoStopped(c.err, outcome.restored_items);
    return StopSignals::ExitStatus();
  }
  if (outcome.unreadable > 0) return kItemsFailed;
  return outcome.skipped.empty() ? kDone : kFailed;
}

}  // namespace tidewell::cli
