#include "app/run_start.h"

#include <vector>

namespace tidewell {

std::unique_ptr<RunSession> StartRun(HostEnvironment& env, const RunWait& wait) {
  return std::make_unique<RunSession>(env.logbook, wait,
                                      JournalRetention(env.settings, env.watched));
}

void SettleNotifying(MailStore& store, const std::function<size_t()>& count,
                     const std::function<bool(size_t events)>& agrees) {
  if (!store.SchedulesImplicitly()) return;
  const size_t events = count();
  if (events > 0 && !agrees(events)) store.LeaveNotifyingItemsAlone();
}

DryRunOutcome PreviewRun(HostEnvironment& env, const HostOptions& options, bool runSettings,
                         const std::function<bool()>& stop, const AskLogin& ask) {
  std::vector<std::string> roots;
  for (const StoreSource& source : env.sources) roots.push_back(source.root);
  DryRunSetup setup;
  setup.host.store = options.store;
  setup.host.open_store = options.open_store;
  if (runSettings) setup.host.settings_under = &env.settings;
  setup.ask_credentials = ask;
  return DryRunReplace(roots, stop, setup);
}

}  // namespace tidewell
