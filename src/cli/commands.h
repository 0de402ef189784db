// The terminal host's commands. Each drives the same page, field chooser and
// platform as the desktop host, without widgets.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "app/store_host.h"

namespace tidewell::cli {

// Exit statuses.
inline constexpr int kDone = 0;
inline constexpr int kFailed = 1;       // the run (or command) ended through a failure report;
                                        // undo: a field was skipped
inline constexpr int kUsage = 2;        // usage or bad input, with a one-line reason
inline constexpr int kItemsFailed = 3;  // replace finished, but items failed in their procedure

// Runs one command line (without the program name). Never throws.
int Run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err, bool errIsTerminal);

// The same over the stores `open` makes instead of OpenStore (a test's),
// asking logins on `ttyPath` rather than /dev/tty.
int Run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err, bool errIsTerminal, const StoreOpener& open, const std::string& ttyPath);

}  // namespace tidewell::cli
