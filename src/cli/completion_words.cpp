#include "cli/completion_words.h"

#include <set>
#include <sstream>

#include "app/run_index.h"
#include "cli/terminal_ui.h"
#include "fields/field_catalog.h"

namespace tidewell::cli {
namespace {

// A completion runs while the user types: no question on the terminal, no
// file written, and a store that fails is only a folder less to offer.
void PrintFolders(const Invocation& invocation, std::ostream& out, const StoreOpener& open) {
  std::istringstream no_answers;
  std::ostringstream ignored;
  TerminalUi ui(no_answers, ignored, ignored, false);
  ui.tty_path.clear();
  HostOptions options;
  options.store = {invocation.user, invocation.ca_file, {}};
  options.open_store = open;
  options.write_nothing = true;
  options.remember_given = false;
  try {
    HostEnvironment env(ui, invocation.stores, options);
    std::set<std::string> printed;
    for (const auto& folder : env.store->OutlookApplication()->GetNamespace("MAPI")->AllFolders()) {
      if (printed.insert(folder->EntryID()).second) {
        out << folder->EntryID() << '\t' << folder->Name() << '\n';
      }
    }
  } catch (const std::exception&) {
  }
}

void PrintRuns(std::ostream& out) {
  try {
    const RunList list = ListRuns(Logbook());
    for (auto run = list.runs.rbegin(); run != list.runs.rend(); ++run) {
      out << run->id << '\t' << run->description << '\n';
    }
  } catch (const std::exception&) {
  }
}

}  // namespace

int CompleteWords(const Invocation& invocation, std::ostream& out, const StoreOpener& open) {
  const std::string& what = invocation.arguments.front();
  if (what == "folders") PrintFolders(invocation, out, open);
  if (what == "runs") PrintRuns(out);
  if (what == "fields") {
    for (const CatalogRow& row : kFieldCatalog) out << row.key << '\t' << row.caption << '\n';
  }
  return 0;
}

}  // namespace tidewell::cli
