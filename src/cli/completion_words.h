// The words the shell completions offer that only the tool knows:
// `tidewell [--store DIR]... complete folders|fields|runs`.
#pragma once

#include <ostream>

#include "app/store_host.h"
#include "cli/command_line.h"

namespace tidewell::cli {

// Prints one word a line, a tab, then what it names: the entry id of each
// folder of the stores (its name), each field's key (its caption), or each
// run's id (its 'Looking for' line), newest first. Asks nothing, writes
// nothing, remembers no store; a store that cannot be opened offers no
// folder. Returns the exit status.
int CompleteWords(const Invocation& invocation, std::ostream& out, const StoreOpener& open);

}  // namespace tidewell::cli
