#include "cli/command_context.h"

#include <csignal>

#include "app/dry_run.h"
#include "app/run_start.h"

namespace tidewell::cli {

namespace {

volatile std::sig_atomic_t g_stop_signal = 0;

extern "C" void OnStopSignal(int signal) { g_stop_signal = signal; }

}  // namespace

StopSignals::StopSignals() {
  g_stop_signal = 0;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &old_int_);
  sigaction(SIGTERM, &action, &old_term_);
}

StopSignals::~StopSignals() {
  sigaction(SIGINT, &old_int_, nullptr);
  sigaction(SIGTERM, &old_term_, nullptr);
}

bool StopSignals::Received() { return g_stop_signal != 0; }

int StopSignals::ExitStatus() { return 128 + g_stop_signal; }

std::unique_ptr<RunSession> StartRun(Context& c) {
  RunWait wait;
  if (!c.Given("--no-wait")) wait.waiting = &c.err;
  wait.stop = [] { return StopSignals::Received(); };
  try {
    return tidewell::StartRun(c.env, wait);
  } catch (const RunInProgress& e) {
    throw UsageError(e.what());
  }
}

bool AgreesToNotify(Context& c, size_t events) {
  const bool assume_yes = c.ui.assume_yes;
  c.ui.assume_yes = false;
  const MsgBoxResult answer =
      c.ui.MsgBox(NotifyingEventsQuestion(events), MsgBoxButtons::YesNo, "Marrowby");
  c.ui.assume_yes = assume_yes;
  return answer == MsgBoxResult::Yes;
}

}  // namespace tidewell::cli
