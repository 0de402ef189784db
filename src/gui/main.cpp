// tidewell-gui: the desktop host. tidewell-gui [--store DIR]...
//
// Shows the window "Marrowby Options" with the search-and-replace page over
// the stores named, or the stores of the last call (of either host) when
// none is named. Otherwise the window opens on its start view, which offers
// the stores the peers' configs name and any folder.
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <clocale>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/manual_page.h"
#include "app/store_host.h"
#include "app/version.h"
#include "gui/options_window.h"
#include "gui/qt_ui.h"
#include "platform/failure.h"
#include "text/shell_words.h"

namespace {

constexpr const char* kUsage =
    "Usage: tidewell-gui [--store DIR|URL]... [--user NAME] [--password-command CMD]\n"
    "                    [--ca-file PEM]\n"
    "Shows the search-and-replace page over the stores named (folders of address books and\n"
    "calendars, or the URL of a CardDAV/CalDAV server), or over the stores of the last call\n"
    "when none is named. Without those, the window offers the stores the configs of\n"
    "vdirsyncer, khard, khal and todoman name, the servers vdirsyncer's config names, any\n"
    "folder and any server; a folder or server opened there is remembered, a store the\n"
    "configs name is not. A server's password comes from --password-command (else the\n"
    "setting PasswordCommand), else from the\n"
    "vdirsyncer storage whose url the store's URL is or lies under (password.fetch or\n"
    "password), else from the netrc file ($NETRC, else ~/.netrc), else it is asked in a\n"
    "window; it is never an argument.\n"
    "  --store DIR|URL         a store; repeat for more\n"
    "  --user NAME             the login for a server store\n"
    "  --password-command CMD  a command whose first line of output is the password, split\n"
    "                          into words as a shell would, never run through a shell\n"
    "  --ca-file PEM           certificate authorities a server's certificate may be signed by\n"
    "  --version               print the version and the git commit it was built from\n";

// tidewell-gui(1), from the help above; the build writes it with the hidden
// --write-manual FILE.
int WriteManual(const std::string& path) {
  const std::string usage = kUsage;
  const size_t body = usage.find('\n') + 1;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << tidewell::RenderManualPage(
      {"tidewell-gui",
       "the search-and-replace page for contacts, appointments and tasks, in a window",
       {{"SYNOPSIS",
         "tidewell-gui [--store DIR|URL]... [--user NAME] [--password-command CMD] "
         "[--ca-file PEM]\n"
         "tidewell-gui --version\n"},
        {"DESCRIPTION", usage.substr(body)},
        {"SEE ALSO", "tidewell(1)\n"}}});
  out.close();
  if (out) return 0;
  std::cerr << "tidewell-gui: cannot write " << path << ".\n";
  return 1;
}

// What is left once Qt took its own arguments (-platform, -style, ...).
struct Arguments {
  std::vector<std::string> stores;
  tidewell::StoreOptions store;
  std::string fault;  // not empty: the arguments cannot be used
};

Arguments Parse(const QStringList& args) {
  Arguments parsed;
  // --NAME VALUE or --NAME=VALUE into `value`; false when `arg` is no --NAME.
  auto take = [&](qsizetype& i, const std::string& arg, const std::string& name,
                  const std::string& what, auto&& store) {
    if (arg == name && i + 1 < args.size()) {
      store(args[++i].toStdString());
    } else if (arg.starts_with(name + "=")) {
      store(arg.substr(name.size() + 1));
    } else if (arg == name) {
      parsed.fault = name + " needs " + what + ".";
    } else {
      return false;
    }
    return true;
  };
  for (qsizetype i = 1; i < args.size(); ++i) {
    const std::string arg = args[i].toStdString();
    if (take(i, arg, "--store", "a folder",
             [&](std::string v) { parsed.stores.push_back(std::move(v)); }) ||
        take(i, arg, "--user", "a name",
             [&](std::string v) { parsed.store.user = std::move(v); }) ||
        take(i, arg, "--ca-file", "a file",
             [&](std::string v) { parsed.store.ca_file = std::move(v); }) ||
        take(i, arg, "--password-command", "a command", [&](const std::string& v) {
          try {
            parsed.store.password_command = tidewell::SplitShellWords(v);
          } catch (const tidewell::Failure& e) {
            parsed.fault = std::string("--password-command: ") + e.what() + ".";
          }
        })) {
      continue;
    }
    parsed.fault = "Unknown argument: " + arg;
  }
  // Refused here rather than at the first connection, as a TLS failure that
  // hides the reason.
  if (parsed.fault.empty() && !parsed.store.ca_file.empty()) {
    std::ifstream readable(parsed.store.ca_file);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(parsed.store.ca_file, ec) || !readable.good()) {
      parsed.fault = "--ca-file: '" + parsed.store.ca_file + "' is no readable file.";
    }
  }
  return parsed;
}

int Refuse(const std::string& message) {
  std::cerr << "tidewell-gui: " << message << '\n';
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Marrowby"),
                  QString::fromStdString(message), QMessageBox::Ok);
  box.exec();
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Help needs no display: answer it before Qt looks for one.
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "--version") {
      std::cout << "tidewell-gui " << tidewell::VersionLine() << '\n';
      return 0;
    }
    if (arg == "--write-manual" && i + 1 < argc) return WriteManual(argv[i + 1]);
  }
  QApplication app(argc, argv);
  // Dates are shown and read in the user's locale, as the terminal host does.
  std::setlocale(LC_ALL, "");
  QApplication::setApplicationName(QStringLiteral("tidewell-gui"));
  // Docks and task bars match the window to its menu entry by this name and
  // by WM_CLASS, which is the application name (the entry's StartupWMClass).
  QGuiApplication::setDesktopFileName(QStringLiteral(TIDEWELL_APP_ID));
  // The icon theme's copy when installed, else the one built in.
  QApplication::setWindowIcon(QIcon::fromTheme(
      QStringLiteral(TIDEWELL_APP_ID), QIcon(QStringLiteral(":/icons/" TIDEWELL_APP_ID ".svg"))));

  const Arguments args = Parse(QApplication::arguments());
  if (!args.fault.empty()) {
    std::cerr << "tidewell-gui: " << args.fault << '\n' << kUsage;
    return 2;
  }

  tidewell::gui::QtUi ui;
  tidewell::HostOptions options;
  options.store = args.store;
  std::unique_ptr<tidewell::HostEnvironment> env;
  try {
    env = std::make_unique<tidewell::HostEnvironment>(ui, args.stores, options);
  } catch (const std::exception& failure) {
    // Started from a menu with nothing remembered or configured: the window
    // opens anyway and offers a way in. A store named on the command line
    // that cannot be opened is still refused.
    if (!args.stores.empty() || std::string(failure.what()) != tidewell::kNoStoreMessage) {
      return Refuse(failure.what());
    }
  }
  // Stores only the configs name were chosen by no one: the start view
  // offers them, and the ones the user opens are remembered.
  if (env && args.stores.empty() &&
      (env->sources.empty() || env->sources.front().named_by != "remembered")) {
    env.reset();
  }
  // Trapped failures go to errors.jsonl; a terminal that started the window
  // sees them too.
  if (env) env->logbook.EchoErrorsTo(&std::cerr);

  std::unique_ptr<tidewell::gui::OptionsWindow> window =
      env ? std::make_unique<tidewell::gui::OptionsWindow>(*env)
          : std::make_unique<tidewell::gui::OptionsWindow>(ui);
  window->SetStoreOptions(options);
  ui.SetFailureHandler([&window](const std::exception& failure) { window->ShowFailure(failure); });
  window->show();
  const int status = QApplication::exec();
  if (env) env->logbook.EchoErrorsTo(nullptr);
  window.reset();
  return status;
}
