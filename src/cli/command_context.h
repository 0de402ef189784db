// What the terminal host's commands share: the invocation and environment
// they run in (Context), the stop signals of a run, and the steps several
// commands take. Each command is one function, for Dispatch to call.
#pragma once

#include <algorithm>
#include <csignal>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <signal.h>

#include "app/run_index.h"
#include "app/run_session.h"
#include "app/store_host.h"
#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/terminal_ui.h"
#include "fields/field_catalog.h"
#include "page/uc1.h"

namespace tidewell::cli {

inline constexpr const char* kNoFolderChosen =
    "No folder is chosen: name one with --folder (see 'tidewell folders').";
inline constexpr const char* kNoFieldChosen =
    "No field is chosen yet: pass --fields, or save a selection with 'tidewell fields'.";
inline constexpr const char* kNoFieldSaved =
    "No field selection is saved yet: a run looks in the fields --fields names, or in those "
    "saved with 'tidewell fields'.";
inline constexpr const char* kNoAnswer =
    "No answer to the question (standard input is closed); pass --yes.";
inline constexpr const char* kNothingChanged = "Nothing was changed.";

// While a run lasts, SIGINT and SIGTERM ask it to stop after the item in
// hand rather than kill it mid-save. No SA_RESTART: a confirmation waiting on
// the terminal is answered No by the interruption.
class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  static bool Received();
  // 130 for SIGINT, 143 for SIGTERM.
  static int ExitStatus();

 private:
  struct sigaction old_int_ {};
  struct sigaction old_term_ {};
};

// One command as it runs: what the command line asked, and the terminal,
// stores and settings it runs over.
struct Context {
  const Invocation& invocation;
  TerminalUi& ui;
  HostEnvironment& env;
  const HostOptions& host_options;
  std::ostream& out;
  std::ostream& err;

  bool Given(const std::string& option) const {
    const auto& options = invocation.options;
    return std::any_of(options.begin(), options.end(),
                       [&](const Option& o) { return o.name == option; });
  }

  bool Reported(const std::string& procedure) const {
    const auto& reported = env.watched.reported();
    return std::find(reported.begin(), reported.end(), procedure) != reported.end();
  }

  std::unique_ptr<UC1> ShownPage() const {
    auto page = std::make_unique<UC1>(*env.components);
    page->SetHost(env.host);
    page->Show();
    return page;
  }
};

// The commands, each named as on the command line.
int Folders(Context& c);
int Stores(Context& c);
int Show(Context& c);
int Set(Context& c);
int Fields(Context& c);
int Replace(Context& c);
int Runs(Context& c);
int Undo(Context& c);

// The servers vdirsyncer's config names, one line each; never a password.
void ListServers(std::ostream& out, bool json);

// Whether `stores` is asked to forget stores rather than list them.
bool Forgets(const Invocation& invocation);

// `stores --forget DIR` / `--forget-all`: settings only, no store is opened
// (a remembered server would ask for its login).
int ForgetStores(const Invocation& invocation, std::ostream& out);

// Whether a field selection was ever saved: without one the page's run
// looks in no field at all.
bool FieldSelectionSaved(Context& c);

// The rows the names given stand for, in catalog order; throws UsageError
// naming the first name no field has.
std::vector<const CatalogRow*> NamedFields(const std::vector<std::string>& names,
                                           const std::string& where);

// The positions, among the folders the picker offers, of the folders named
// ENTRYID[@STOREID] or by their name, in the order given; "all" for every
// one, unless a folder is named so.
std::vector<size_t> ResolveFolders(Context& c, const std::vector<std::string>& names);

// The search text a run or `set` ends with: the given one, else the saved.
std::string SearchText(Context& c);

// Throws UsageError when the search text is no pattern of the syntax in use.
void CheckPattern(Context& c, bool regex);

// Whether the command line sets the page for this run (texts, case, syntax,
// folders or fields), over the saved settings.
bool GivesPageSettings(const Invocation& invocation);

// The words of --fields, each checked, before anything is read.
std::vector<std::string> FieldWords(const std::string& list);

// What a command line asks that can be refused before anything is read or
// written: an invalid search pattern, replace's page options that do not fit.
// Without --regex the syntax is the saved one, not known yet: a pattern
// either syntax takes waits for the check that knows it.
void CheckBeforeStart(const Invocation& invocation);

// Every command that writes to the journal starts its run here, and only
// here: the run's lock on the state folder, held until the session ends.
// Throws UsageError with --no-wait while another run holds it.
std::unique_ptr<RunSession> StartRun(Context& c);

// --yes answers the run's own question only: mail to other people is no thing
// to agree to by a flag given for something else.
bool AgreesToNotify(Context& c, size_t events);

}  // namespace tidewell::cli
