#include "cli/commands.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/discovery/server_configs.h"
#include "app/version.h"
#include "cli/command_context.h"
#include "cli/completion_words.h"
#include "cli/manuals.h"
#include "platform/failure.h"
#include "text/shell_words.h"

namespace tidewell::cli {

namespace {

int Dispatch(Context& c) {
  const std::string& command = c.invocation.command;
  if (command == "folders") return Folders(c);
  if (command == "stores") return Stores(c);
  if (command == "show") return Show(c);
  if (command == "set") return Set(c);
  if (command == "fields") return Fields(c);
  if (command == "runs") return Runs(c);
  if (command == "undo") return Undo(c);
  return Replace(c);
}

// A --ca-file that cannot be read would otherwise fail only at the first
// connection, as a TLS failure that hides the reason.
void CheckCaFile(const std::string& path) {
  if (path.empty()) return;
  std::error_code ec;
  const bool file = std::filesystem::is_regular_file(path, ec);
  if (!file || !std::ifstream(path).good()) {
    throw UsageError("--ca-file: '" + path + "' is no readable file.");
  }
}

std::vector<std::string> PasswordCommand(const Invocation& invocation) {
  try {
    return SplitShellWords(invocation.password_command);
  } catch (const Failure& e) {
    throw UsageError(std::string("--password-command: ") + e.what() + ".");
  }
}

}  // namespace

int Run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err, bool errIsTerminal) {
  return Run(args, in, out, err, errIsTerminal, {}, "/dev/tty");
}

int Run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err, bool errIsTerminal, const StoreOpener& open,
        const std::string& ttyPath) {
  try {
    const Invocation invocation = ParseCommandLine(args);
    if (invocation.version) {
      out << "tidewell " << VersionLine() << '\n';
      return kDone;
    }
    if (!invocation.manuals_dir.empty()) {
      WriteManuals(invocation.manuals_dir);
      return kDone;
    }
    if (invocation.help) {
      out << HelpText(invocation.command);
      return kDone;
    }
    if (invocation.command == "complete") return CompleteWords(invocation, out, open);
    CheckBeforeStart(invocation);
    CheckCaFile(invocation.ca_file);
    if (invocation.command == "stores" && Forgets(invocation)) return ForgetStores(invocation, out);
    TerminalUi ui(in, out, err, errIsTerminal);
    ui.tty_path = ttyPath;
    HostOptions options;
    options.store = {invocation.user, invocation.ca_file, PasswordCommand(invocation)};
    options.store.no_cache = invocation.no_cache;
    options.open_store = open;
    if (invocation.command == "replace") {
      options.run_settings_only = GivesPageSettings(invocation);
      options.write_nothing = std::any_of(invocation.options.begin(), invocation.options.end(),
                                          [](const Option& o) { return o.name == "--dry-run"; });
    }
    std::unique_ptr<HostEnvironment> env;
    try {
      env = std::make_unique<HostEnvironment>(ui, invocation.stores, options);
    } catch (const Failure& e) {
      // With no store at all, the servers a config names are still worth listing.
      if (invocation.command == "stores" && e.what() == std::string(kNoStoreMessage) &&
          !FindServers(ProcessEnvironment()).empty()) {
        ListServers(out, std::any_of(invocation.options.begin(), invocation.options.end(),
                                     [](const Option& o) { return o.name == "--json"; }));
        return kDone;
      }
      throw UsageError(e.what());
    }
    env->logbook.EchoErrorsTo(&err, [&ui] { return ui.ItemHeading(); });
    env->host->on_folder_not_found = [&err](const std::string& name) {
      err << "Folder '" << name << "' was not found; skipped.\n";
    };
    Context context{invocation, ui, *env, options, out, err};
    const int status = Dispatch(context);
    env->logbook.EchoErrorsTo(nullptr);
    return status;
  } catch (const UsageError& e) {
    err << "tidewell: " << e.what() << '\n';
    return kUsage;
  } catch (const std::exception& e) {
    err << "tidewell: " << e.what() << '\n';
    return kFailed;
  }
}

}  // namespace tidewell::cli
