#include "cli/commands.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>

#include <signal.h>

#include "adapters/logbook/journal_reader.h"
#include "adapters/logbook/run_index.h"
#include "adapters/logbook/run_session.h"
#include "app/change_listing.h"
#include "app/discovery/server_configs.h"
#include "app/dry_run.h"
#include "app/run_report.h"
#include "app/run_start.h"
#include "app/store_host.h"
#include "app/version.h"
#include "cli/command_line.h"
#include "cli/json_lines.h"
#include "cli/manuals.h"
#include "cli/terminal_ui.h"
#include "fields/field_catalog.h"
#include "fields/frm_look_in_fields.h"
#include "page/uc1.h"
#include "platform/failure.h"
#include "text/shell_words.h"
#include "undo/undo.h"

namespace tidewell::cli {

namespace {

volatile std::sig_atomic_t g_stop_signal = 0;

extern "C" void OnStopSignal(int signal) { g_stop_signal = signal; }

// While a run lasts, SIGINT and SIGTERM ask it to stop after the item in
// hand rather than kill it mid-save. No SA_RESTART: a confirmation waiting on
// the terminal is answered No by the interruption.
class StopSignals {
 public:
  StopSignals() {
    g_stop_signal = 0;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &old_int_);
    sigaction(SIGTERM, &action, &old_term_);
  }
  ~StopSignals() {
    sigaction(SIGINT, &old_int_, nullptr);
    sigaction(SIGTERM, &old_term_, nullptr);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  static bool Received() { return g_stop_signal != 0; }
  // 130 for SIGINT, 143 for SIGTERM.
  static int ExitStatus() { return 128 + g_stop_signal; }

 private:
  struct sigaction old_int_ {};
  struct sigaction old_term_ {};
};

constexpr const char* kNoFolderChosen =
    "No folder is chosen: name one with --folder (see 'tidewell folders').";
constexpr const char* kNoFieldChosen =
    "No field is chosen yet: pass --fields, or save a selection with 'tidewell fields'.";
constexpr const char* kNoFieldSaved =
    "No field selection is saved yet: a run looks in the fields --fields names, or in those "
    "saved with 'tidewell fields'.";
constexpr const char* kNoAnswer =
    "No answer to the question (standard input is closed); pass --yes.";
constexpr const char* kNothingChanged = "Nothing was changed.";

void PrintStopped(std::ostream& err, long items) {
  err << "Stopped after " << items << " items; `tidewell undo` takes this run back.\n";
}

void PrintUndoStopped(std::ostream& err, long items) {
  err << "Stopped after " << items << " items; `tidewell undo` finishes this undo.\n";
}

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

int Folders(Context& c) {
  auto ns = c.env.store->OutlookApplication()->GetNamespace("MAPI");
  for (const auto& folder : ns->AllFolders()) {
    if (c.Given("--json")) {
      c.out << FolderJson(folder->Name(), folder->EntryID(), folder->StoreID()) << '\n';
    } else {
      c.out << folder->Name() << '\t' << folder->EntryID() << '\t' << folder->StoreID() << '\n';
    }
  }
  return kDone;
}

// The servers vdirsyncer's config names, one line each; never a password.
void ListServers(std::ostream& out, bool json) {
  for (const FoundServer& server : FindServers(ProcessEnvironment())) {
    const std::string user = DescribeUser(server.login);
    if (json) {
      out << ServerJson(server.login.url, server.config, user, DescribePassword(server.login))
          << '\n';
      continue;
    }
    out << server.login.url << '\t' << server.config
        << "\tuser: " << (user.empty() ? "the netrc file's, else asked" : user)
        << "\tpassword: " << DescribePassword(server.login) << '\n';
  }
}

int Stores(Context& c) {
  for (const StoreSource& source : c.env.sources) {
    if (c.Given("--json")) {
      c.out << StoreJson(source.root, source.named_by) << '\n';
    } else {
      c.out << source.root << '\t' << source.named_by << '\n';
    }
  }
  ListServers(c.out, c.Given("--json"));
  return kDone;
}

// Whether a field selection was ever saved: without one the page's run
// looks in no field at all.
bool FieldSelectionSaved(Context& c) {
  const std::string app = c.env.watched.AppName();
  constexpr const char* kAbsent = "\x01";
  return std::any_of(kFieldCatalog.begin(), kFieldCatalog.end(), [&](const CatalogRow& row) {
    return c.env.settings.GetSetting(app, kSettingsSection, row.key, kAbsent) != kAbsent;
  });
}

// The rows the names given stand for, in catalog order; throws UsageError
// naming the first name no field has.
std::vector<const CatalogRow*> NamedFields(const std::vector<std::string>& names,
                                           const std::string& where) {
  std::vector<const CatalogRow*> rows;
  for (const std::string& name : names) {
    const std::vector<const CatalogRow*> named = FieldsNamed(name);
    if (named.empty()) {
      throw UsageError("Unknown field '" + name + "'" + where + " (see 'tidewell fields --list').");
    }
    for (const CatalogRow* row : named) {
      if (std::find(rows.begin(), rows.end(), row) == rows.end()) rows.push_back(row);
    }
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

int Show(Context& c) {
  if (!c.invocation.arguments.empty()) {
    FieldSelection selection;
    LoadFieldSelection(selection, c.env.settings, c.env.watched);
    for (const CatalogRow* row : NamedFields(c.invocation.arguments, "")) {
      c.out << row->key << ": " << selection[*row] << '\n';
    }
    return kDone;
  }
  auto page = c.ShownPage();
  c.out << "SearchFor: " << page->txtSearchFor.Text() << '\n'
        << "ReplaceWith: " << page->txtReplaceWith.Text() << '\n'
        << "CaseSensitive: " << page->chkCaseSensitive.Value() << '\n'
        << kRegexKey << ": " << RegexSetting(c.env.settings, c.env.watched) << '\n';
  const FolderList folders = page->Folders().value_or(FolderList{});
  c.out << "FolderCount: " << folders.size() << '\n';
  for (size_t n = 1; n <= folders.size(); ++n) {
    const FolderRecord& folder = folders[n - 1];
    c.out << "FolderName" << n << ": " << folder.Name() << '\n'
          << "FolderEntryId" << n << ": " << folder.EntryID() << '\n'
          << "FolderStoreId" << n << ": " << folder.StoreID() << '\n';
  }
  FieldSelection selection;
  LoadFieldSelection(selection, c.env.settings, c.env.watched);
  if (!FieldSelectionSaved(c)) c.err << kNoFieldSaved << '\n';
  for (const CatalogRow& row : kFieldCatalog) {
    c.out << row.key << ": " << selection[row] << '\n';
    if (Number(row) == kLastContactRow) {
      c.out << kSpecialInstructionsKey << ": " << selection.SpecialInstructions << '\n';
    }
  }
  return kDone;
}

bool SameStore(const std::string& given, const std::string& storeId) {
  if (given == storeId) return true;
  std::error_code ec;
  const auto canonical = std::filesystem::weakly_canonical(given, ec);
  return !ec && canonical.string() == storeId;
}

std::string Lowered(std::string text) {
  for (char& ch : text) {
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  }
  return text;
}

// The one folder whose name is `name`, case ignored. Throws UsageError
// naming the ids when several have it: a run must not guess.
std::vector<size_t> FoldersNamed(const std::vector<std::unique_ptr<MAPIFolder>>& offered,
                                 const std::string& name) {
  std::vector<size_t> named;
  for (size_t i = 0; i < offered.size(); ++i) {
    if (Lowered(offered[i]->Name()) == Lowered(name)) named.push_back(i);
  }
  if (named.size() > 1) {
    std::string ids;
    for (size_t i : named) {
      ids +=
          (ids.empty() ? "'" : ", '") + offered[i]->EntryID() + "@" + offered[i]->StoreID() + "'";
    }
    throw UsageError(std::to_string(named.size()) + " folders are named '" + name + "': " + ids +
                     "; name one as ENTRYID@STOREID (see 'tidewell folders').");
  }
  return named;
}

// The folder's directory: its store's root, and its entry id below it.
std::string FolderPath(MAPIFolder& folder) {
  const std::string entry_id = folder.EntryID();
  return entry_id == "." ? folder.StoreID() : folder.StoreID() + "/" + entry_id;
}

// The folders whose directory is `entryId` below some folder: the id one
// store root gives a folder ("contacts/default") is a path the folder's
// directory ends in under another ("default" below .../contacts). With a
// store id, the directory `entryId` below it.
std::vector<size_t> FoldersAtPath(const std::vector<std::unique_ptr<MAPIFolder>>& offered,
                                  std::string entryId, const std::optional<std::string>& storeId) {
  std::vector<size_t> found;
  while (entryId.size() > 1 && entryId.ends_with('/')) entryId.pop_back();
  if (entryId.empty() || entryId.starts_with('/')) return found;
  std::string wanted = "/" + entryId;
  if (storeId) {
    std::error_code ec;
    const auto canonical = std::filesystem::weakly_canonical(*storeId, ec);
    wanted = (ec ? *storeId : canonical.string()) + wanted;
  }
  for (size_t i = 0; i < offered.size(); ++i) {
    const std::string path = FolderPath(*offered[i]);
    if (storeId ? path == wanted : path.ends_with(wanted)) found.push_back(i);
  }
  return found;
}

// The positions, among the folders the picker offers, of the folders named
// ENTRYID[@STOREID] or by their name, in the order given; "all" for every
// one, unless a folder is named so.
std::vector<size_t> ResolveFolders(Context& c, const std::vector<std::string>& names) {
  auto ns = c.env.store->OutlookApplication()->GetNamespace("MAPI");
  const auto offered = ns->AllFolders();
  std::vector<size_t> picked;
  for (const std::string& name : names) {
    if (name == "all" && std::none_of(offered.begin(), offered.end(), [](const auto& folder) {
          return folder->EntryID() == "all" || Lowered(folder->Name()) == "all";
        })) {
      for (size_t i = 0; i < offered.size(); ++i) picked.push_back(i);
      continue;
    }
    const auto at = name.rfind('@');
    const std::string entry_id = name.substr(0, at);
    const std::optional<std::string> store_id =
        at == std::string::npos ? std::nullopt : std::optional(name.substr(at + 1));
    std::vector<size_t> matches;
    for (size_t i = 0; i < offered.size(); ++i) {
      if (offered[i]->EntryID() == entry_id &&
          (!store_id || SameStore(*store_id, offered[i]->StoreID()))) {
        matches.push_back(i);
      }
    }
    if (matches.empty()) matches = FoldersAtPath(offered, entry_id, store_id);
    if (matches.empty()) matches = FoldersNamed(offered, name);
    if (matches.empty()) {
      throw UsageError("Unknown folder '" + name + "' (see 'tidewell folders').");
    }
    if (matches.size() > 1) {
      throw UsageError("Folder '" + name + "' is in several stores; name one as ENTRYID@STOREID.");
    }
    picked.push_back(matches.front());
  }
  return picked;
}

// The search text a run or `set` ends with: the given one, else the saved.
std::string SearchText(Context& c) {
  std::optional<std::string> search;
  for (const Option& o : c.invocation.options) {
    if (o.name == "--search") search = o.value;
  }
  return search ? *search
                : c.env.settings.GetSetting(c.env.watched.AppName(), kSettingsSection, "SearchFor",
                                            "");
}

// Throws UsageError when the search text is no pattern of the syntax in use.
void CheckPattern(Context& c, bool regex) {
  if (std::string fault = NewPatternMatcher(regex)->Check(SearchText(c)); !fault.empty()) {
    throw UsageError(fault);
  }
}

int Set(Context& c) {
  std::vector<std::string> named_folders;
  std::optional<bool> regex;
  for (const Option& o : c.invocation.options) {
    if (o.name == "--folder") named_folders.push_back(o.value);
    if (o.name == "--regex") regex = o.value == "1";
  }
  CheckPattern(c, regex.value_or(RegexSetting(c.env.settings, c.env.watched)));
  std::optional<std::vector<size_t>> picked;
  if (!named_folders.empty()) picked = ResolveFolders(c, named_folders);

  auto page = c.ShownPage();
  for (const Option& o : c.invocation.options) {
    if (o.name == "--search") page->txtSearchFor.SetText(o.value);
    if (o.name == "--replace") page->txtReplaceWith.SetText(o.value);
    if (o.name == "--case") page->chkCaseSensitive.SetValue(o.value == "1" ? 1 : 0);
  }
  if (picked) {
    c.ui.folders_to_pick = picked;
    page->cmdChooseMultiFolder.Press();
    if (c.Reported("Tidewell.ChooseMultiFolderButton")) return kFailed;
  }
  page->Apply();
  if (regex) SaveRegexSetting(c.env.settings, c.env.watched, *regex);
  return kDone;
}

// One field a line: kind, key, property, caption.
int ListFields(Context& c) {
  for (const CatalogRow& row : kFieldCatalog) {
    c.out << KindName(row.kind) << '\t' << row.key << '\t' << row.property << '\t' << row.caption
          << '\n';
  }
  return kDone;
}

int Fields(Context& c) {
  if (c.Given("--list")) return ListFields(c);
  for (const Option& o : c.invocation.options) {
    if (o.name == "--tick" || o.name == "--untick") NamedFields({o.value}, "");
  }

  frmLookInFields dialog(c.env.settings, c.env.watched);
  dialog.Form_Load();
  if (!dialog.IsOpen()) return kFailed;
  for (const Option& o : c.invocation.options) {
    if (o.name == "--select-all") dialog.cmdContactSelectAllFields.Press();
    if (o.name == "--clear-all") dialog.cmdContactClearAllFields.Press();
    if (o.name == "--phone") dialog.cmdContactPhoneNumbers.Press();
    if (o.name == "--zip") dialog.cmdContactZipPostalCodes.Press();
    if (o.name == "--email") dialog.cmdContactEmailAddresses.Press();
    if (o.name == "--appointments") {
      (o.value == "all" ? dialog.cmdAppointmentSelectAllFields
                        : dialog.cmdAppointmentClearAllFields)
          .Press();
    }
    if (o.name == "--tasks") {
      (o.value == "all" ? dialog.cmdTaskSelectAllFields : dialog.cmdTaskClearAllFields).Press();
    }
    if (o.name == "--tick" || o.name == "--untick") {
      for (const CatalogRow* row : NamedFields({o.value}, "")) {
        dialog.chk(row->key).SetValue(o.name == "--tick" ? 1 : 0);
      }
    }
    if (o.name == "--special") dialog.cboSpecialInstructions.SetText(o.value);
  }
  dialog.cmdOk.Press();
  return c.Reported("Tidewell.frmLookInFields") ? kFailed : kDone;
}

bool GivesPageSettings(const Invocation& invocation) {
  return std::any_of(invocation.options.begin(), invocation.options.end(), [](const Option& o) {
    return o.name == "--search" || o.name == "--replace" || o.name == "--case" ||
           o.name == "--regex" || o.name == "--folder" || o.name == "--fields" ||
           o.name == "--area-codes-only";
  });
}

// The words of --fields, each checked, before anything is read.
std::vector<std::string> FieldWords(const std::string& list) {
  std::vector<std::string> words;
  size_t from = 0;
  while (true) {
    const size_t comma = list.find(',', from);
    words.push_back(list.substr(from, comma - from));
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  for (const std::string& word : words) {
    const bool preset = word == "all" || word == "phone" || word == "zip" || word == "email" ||
                        word == "appointments" || word == "tasks";
    if (!preset) NamedFields({word}, " in --fields");
  }
  return words;
}

// What a command line asks that can be refused before anything is read or
// written: an invalid search pattern, replace's page options that do not fit.
// Without --regex the syntax is the saved one, not known yet: a pattern
// either syntax takes waits for the check that knows it.
void CheckBeforeStart(const Invocation& invocation) {
  if (invocation.command != "set" && invocation.command != "replace") return;
  std::optional<bool> regex;
  for (const Option& o : invocation.options) {
    if (o.name == "--regex") regex = o.value.empty() || o.value == "1";
  }
  int texts = 0;
  for (const Option& o : invocation.options) {
    if (o.name == "--search") {
      ++texts;
      std::string fault = NewPatternMatcher(regex.value_or(false))->Check(o.value);
      if (!regex && !fault.empty() && NewPatternMatcher(true)->Check(o.value).empty()) fault = "";
      if (!fault.empty()) throw UsageError(fault);
    }
    if (o.name == "--replace") ++texts;
    if (o.name == "--fields") FieldWords(o.value);
  }
  if (invocation.command == "replace" && texts != 0 && texts != 2) {
    throw UsageError("--search and --replace go together, once each.");
  }
}

// The field chooser over the run's settings: --fields ticks its list from
// nothing, --area-codes-only sets the special instruction.
bool ChooseFieldsForRun(Context& c) {
  const bool area_codes = c.Given("--area-codes-only");
  if (!c.Given("--fields") && !area_codes) return true;
  frmLookInFields dialog(c.env.settings, c.env.watched);
  dialog.Form_Load();
  if (!dialog.IsOpen()) return false;
  for (const Option& o : c.invocation.options) {
    if (o.name != "--fields") continue;
    for (const CatalogRow& row : kFieldCatalog) dialog.chk(row.key).SetValue(0);
    for (const std::string& word : FieldWords(o.value)) {
      if (word == "all") {
        for (const CatalogRow& row : kFieldCatalog) dialog.chk(row.key).SetValue(1);
      } else if (word == "phone") {
        dialog.cmdContactPhoneNumbers.Press();
      } else if (word == "zip") {
        dialog.cmdContactZipPostalCodes.Press();
      } else if (word == "email") {
        dialog.cmdContactEmailAddresses.Press();
      } else if (word == "appointments") {
        dialog.cmdAppointmentSelectAllFields.Press();
      } else if (word == "tasks") {
        dialog.cmdTaskSelectAllFields.Press();
      } else {
        for (const CatalogRow* row : NamedFields({word}, "")) dialog.chk(row->key).SetValue(1);
      }
    }
    dialog.cboSpecialInstructions.SetText(kSpecialInstructionsDefault);
  }
  if (area_codes) dialog.cboSpecialInstructions.SetText(kOnlyAreaCodes);
  dialog.cmdOk.Press();
  return !c.Reported("Tidewell.frmLookInFields");
}

// How many items failed inside their item procedure, by the reports made
// since `from`.
size_t ItemFailures(const WatchedSupport& watched, size_t from) {
  static const std::vector<std::string> procedures = {"Tidewell.SearchAndReplaceContacts",
                                                      "Tidewell.SearchAndReplaceAppointments",
                                                      "Tidewell.SearchAndReplaceTasks"};
  const auto& reported = watched.reported();
  return static_cast<size_t>(std::count_if(reported.begin() + static_cast<std::ptrdiff_t>(from),
                                           reported.end(), [](const std::string& procedure) {
                                             return std::find(procedures.begin(), procedures.end(),
                                                              procedure) != procedures.end();
                                           }));
}

// Every command that writes to the journal starts its run here, and only
// here: the run's lock on the state folder, held until the session ends.
// Throws UsageError with --no-wait while another run holds it.
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

// --yes answers the run's own question only: mail to other people is no thing
// to agree to by a flag given for something else.
bool AgreesToNotify(Context& c, size_t events) {
  const bool assume_yes = c.ui.assume_yes;
  c.ui.assume_yes = false;
  const MsgBoxResult answer =
      c.ui.MsgBox(NotifyingEventsQuestion(events), MsgBoxButtons::YesNo, "Marrowby");
  c.ui.assume_yes = assume_yes;
  return answer == MsgBoxResult::Yes;
}

// On a server that e-mails the attendees of the events it stores, the events
// with attendees the run would change are counted by a preview of it first;
// they are changed only when --notify-attendees says so or the user answers
// Yes.
void SettleNotifyingEvents(Context& c) {
  if (c.Given("--notify-attendees")) return;
  const auto ask = [&c](const std::string& where, const std::string& user) {
    if (auto given = c.ui.GivenCredentials(where)) return given;
    return c.ui.AskCredentials(where, user);
  };
  SettleNotifying(
      *c.env.store,
      [&] {
        return PreviewRun(
                   c.env, c.host_options, true, [] { return StopSignals::Received(); }, ask)
            .notifying_events;
      },
      [&c](size_t events) { return AgreesToNotify(c, events); });
}

std::string Counted(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

int Replace(Context& c) {
  std::vector<std::string> named_folders;
  std::optional<std::string> search, replace;
  for (const Option& o : c.invocation.options) {
    if (o.name == "--folder") named_folders.push_back(o.value);
    if (o.name == "--search") search = o.value;
    if (o.name == "--replace") replace = o.value;
  }
  std::optional<std::vector<size_t>> picked;
  if (!named_folders.empty()) picked = ResolveFolders(c, named_folders);
  // The page would run over nothing and call it done; a terminal run says
  // what is missing instead.
  const std::string app = c.env.watched.AppName();
  // A count that is no number is the page's to report, as it always was.
  const std::string count = c.env.settings.GetSetting(app, kSettingsSection, "FolderCount", "0");
  char* end = nullptr;
  const long folders = std::strtol(count.c_str(), &end, 10);
  if (named_folders.empty() && *end == '\0' && folders < 1) throw UsageError(kNoFolderChosen);
  if (!c.Given("--fields") && !FieldSelectionSaved(c)) throw UsageError(kNoFieldChosen);
  // For this run only: the settings are the run's own then (GivesPageSettings).
  if (c.Given("--regex")) SaveRegexSetting(c.env.settings, c.env.watched, true);
  const bool regex = RegexSetting(c.env.settings, c.env.watched);
  CheckPattern(c, regex);
  if (!ChooseFieldsForRun(c)) return kFailed;

  const bool dry_run = c.Given("--dry-run");
  const bool verbose = c.Given("--verbose");
  const bool json = c.Given("--json");
  StopSignals signals;
  std::unique_ptr<RunSession> run;
  // A preview writes nothing, not even the lock file.
  if (!dry_run) {
    try {
      run = StartRun(c);
    } catch (const RunWaitStopped&) {
      return StopSignals::ExitStatus();
    }
  }
  ChangeListing listing(*c.env.components, c.env.host, !dry_run,
                        [&, list = dry_run || verbose](const FieldChange& change) {
                          if (list) {
                            c.ui.PrintLine(json ? ChangeJson(change) : ChangeLine(change));
                          }
                        });
  // A preview changes nothing: there is nothing to agree to.
  c.ui.assume_yes = c.Given("--yes") || dry_run;
  c.ui.count_unsearched = !verbose;
  c.ui.preview = dry_run;
  c.ui.json = json;
  c.ui.stop_requested = [] { return StopSignals::Received(); };
  auto page = std::make_unique<UC1>(listing);
  page->SetHost(listing.host());
  page->Show();
  if (search) {
    page->txtSearchFor.SetText(*search);
    page->txtReplaceWith.SetText(*replace);
    page->chkCaseSensitive.SetValue(c.Given("--case") ? 1 : 0);
  } else if (c.Given("--case")) {
    page->chkCaseSensitive.SetValue(1);
  }
  if (picked) {
    c.ui.folders_to_pick = picked;
    page->cmdChooseMultiFolder.Press();
    if (c.Reported("Tidewell.ChooseMultiFolderButton")) return kFailed;
  }
  if (GivesPageSettings(c.invocation)) page->Apply();

  NotifyingCounter notifying(*c.env.store);
  if (dry_run) {
    notifying.Attach(listing);
  } else {
    SettleNotifyingEvents(c);
    if (StopSignals::Received()) return StopSignals::ExitStatus();
  }

  const size_t reports_before = c.env.watched.reported().size();
  c.ui.folder_label = &page->lblFolderName;
  c.ui.progress_bar = &page->ProgressBar1;
  c.ui.unanswered = false;
  c.ui.declined = false;
  page->cmdReplace.Press();
  if (c.ui.declined || c.ui.unanswered) {
    if (StopSignals::Received()) return StopSignals::ExitStatus();
    if (c.ui.unanswered) throw UsageError(kNoAnswer);
    c.err << kNothingChanged << '\n';
    return kFailed;
  }
  if (json) {
    const std::string& caption = page->lblFolderName.Caption();
    c.ui.PrintLine(SummaryJson({caption.empty() || caption.starts_with("Folder: ")
                                    ? ""
                                    : (dry_run ? PreviewCaption(caption) : caption),
                                dry_run, listing.items_changed(), listing.items_searched(),
                                listing.folders_searched()}));
  } else if (!page->lblFolderName.Caption().empty()) {
    c.ui.PrintCaptionIfNew();
  }
  c.ui.PrintUnsearchedCount();
  c.ui.folder_label = nullptr;
  c.ui.progress_bar = nullptr;
  c.ui.stop_requested = nullptr;
  if (notifying.count() > 0) c.err << NotifyingEventsLine(notifying.count()) << '\n';
  if (std::optional<int32_t> saved = page->StoppedRun()) {
    PrintStopped(c.err, *saved);
    return StopSignals::ExitStatus();
  }
  if (c.Reported("Tidewell.cmdConvert")) return kFailed;
  if (!dry_run && listing.items_changed() > 0 &&
      std::any_of(c.env.sources.begin(), c.env.sources.end(), [](const StoreSource& source) {
        return SyncedByVdirsyncer(source.root, ProcessEnvironment());
      })) {
    (json ? c.err : c.out) << "Run 'vdirsyncer sync' to send the changes to the server.\n";
  }
  if (const size_t failed = ItemFailures(c.env.watched, reports_before); failed > 0) {
    c.err << failed << " items could not be changed; see the reports above.\n";
    return kItemsFailed;
  }
  if (StopSignals::Received()) return StopSignals::ExitStatus();
  if (listing.items_changed() == 0) {
    c.err << "Nothing matched '" << page->txtSearchFor.Text() << "' in "
          << Counted(listing.items_searched(), "item", "items") << " of "
          << Counted(listing.folders_searched(), "folder", "folders") << ".\n";
    if (const std::string note = ClassicSyntaxNote(SearchText(c)); !regex && !note.empty()) {
      c.err << note << '\n';
    }
    if (c.Given("--fail-if-none")) return kFailed;
  }
  return kDone;
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
  const JournalRun run = LoadRunToUndo(list, summary);
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

  const UndoOutcome outcome =
      UndoJournalRun(run, store, *c.env.components, [] { return StopSignals::Received(); });
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

bool Forgets(const Invocation& invocation) {
  return std::any_of(invocation.options.begin(), invocation.options.end(), [](const Option& o) {
    return o.name == "--forget" || o.name == "--forget-all";
  });
}

// `stores --forget DIR` / `--forget-all`: settings only, no store is opened
// (a remembered server would ask for its login).
int ForgetStores(const Invocation& invocation, std::ostream& out) {
  std::vector<std::string> given;
  bool all = false;
  for (const Option& o : invocation.options) {
    if (o.name == "--forget") given.push_back(o.value);
    if (o.name == "--forget-all") all = true;
  }
  std::vector<std::string> forgotten;
  try {
    forgotten = ForgetRememberedStores(given, all);
  } catch (const Failure& e) {
    throw UsageError(e.what());
  }
  for (const std::string& root : forgotten) out << "Forgot " << root << '\n';
  if (forgotten.empty()) out << "No store is remembered.\n";
  return kDone;
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
