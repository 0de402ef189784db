#include "cli/commands.h"

#include <algorithm>
#include <csignal>
#include <exception>
#include <filesystem>
#include <map>
#include <memory>

#include <signal.h>

#include "cli/command_line.h"
#include "cli/terminal_ui.h"
#include "fields/field_catalog.h"
#include "fields/frm_look_in_fields.h"
#include "page/uc1.h"
#include "platform/failure.h"
#include "platform/logbook/journal_reader.h"
#include "platform/logbook/run_index.h"
#include "platform/logbook/run_session.h"
#include "platform/pattern/classic_pattern_matcher.h"
#include "platform/support/store_host.h"
#include "platform/support/undo.h"

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

void PrintStopped(std::ostream& err, long items) {
  err << "Stopped after " << items << " items; `tidewell undo` takes this run back.\n";
}

struct Context {
  const Invocation& invocation;
  TerminalUi& ui;
  HostEnvironment& env;
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
    c.out << folder->Name() << '\t' << folder->EntryID() << '\t' << folder->StoreID() << '\n';
  }
  return kDone;
}

int Show(Context& c) {
  auto page = c.ShownPage();
  c.out << "SearchFor: " << page->txtSearchFor.Text() << '\n'
        << "ReplaceWith: " << page->txtReplaceWith.Text() << '\n'
        << "CaseSensitive: " << page->chkCaseSensitive.Value() << '\n';
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
  for (const CatalogRow& row : kFieldCatalog) {
    c.out << row.key << ": " << selection.*row.flag << '\n';
    if (row.number == kLastContactRow) {
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

// The positions, among the folders the picker offers, of the folders named
// ENTRYID[@STOREID], in the order given.
std::vector<size_t> ResolveFolders(Context& c, const std::vector<std::string>& specs) {
  auto ns = c.env.store->OutlookApplication()->GetNamespace("MAPI");
  const auto offered = ns->AllFolders();
  std::vector<size_t> picked;
  for (const std::string& spec : specs) {
    const auto at = spec.rfind('@');
    const std::string entry_id = spec.substr(0, at);
    const std::optional<std::string> store_id =
        at == std::string::npos ? std::nullopt : std::optional(spec.substr(at + 1));
    std::vector<size_t> matches;
    for (size_t i = 0; i < offered.size(); ++i) {
      if (offered[i]->EntryID() == entry_id &&
          (!store_id || SameStore(*store_id, offered[i]->StoreID()))) {
        matches.push_back(i);
      }
    }
    if (matches.empty()) {
      throw UsageError("Unknown folder '" + spec + "' (see 'tidewell folders').");
    }
    if (matches.size() > 1) {
      throw UsageError("Folder '" + spec + "' is in several stores; name one as ENTRYID@STOREID.");
    }
    picked.push_back(matches.front());
  }
  return picked;
}

int Set(Context& c) {
  std::vector<std::string> folder_specs;
  for (const Option& o : c.invocation.options) {
    if (o.name == "--folder") folder_specs.push_back(o.value);
  }
  std::optional<std::vector<size_t>> picked;
  if (!folder_specs.empty()) picked = ResolveFolders(c, folder_specs);

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
  return kDone;
}

int Fields(Context& c) {
  for (const Option& o : c.invocation.options) {
    if (o.name != "--tick" && o.name != "--untick") continue;
    const bool known = std::any_of(kFieldCatalog.begin(), kFieldCatalog.end(),
                                   [&](const CatalogRow& row) { return o.value == row.key; });
    if (!known) throw UsageError("Unknown field key '" + o.value + "' (see 'tidewell show').");
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
    if (o.name == "--tick") dialog.chk(o.value).SetValue(1);
    if (o.name == "--untick") dialog.chk(o.value).SetValue(0);
    if (o.name == "--special") dialog.cboSpecialInstructions.SetText(o.value);
  }
  dialog.cmdOk.Press();
  return c.Reported("Tidewell.frmLookInFields") ? kFailed : kDone;
}

// Every command that writes to the journal starts its run here, and only
// here: the run's lock on the state folder, held until the session ends.
// Throws UsageError with --no-wait while another run holds it.
std::unique_ptr<RunSession> StartRun(Context& c) {
  RunWait wait;
  if (!c.Given("--no-wait")) wait.waiting = &c.err;
  wait.stop = [] { return StopSignals::Received(); };
  try {
    return std::make_unique<RunSession>(c.env.logbook, wait,
                                        JournalRetention(c.env.settings, c.env.watched));
  } catch (const RunInProgress& e) {
    throw UsageError(e.what());
  }
}

int Replace(Context& c) {
  const std::string pattern =
      c.env.settings.GetSetting(c.env.watched.AppName(), kSettingsSection, "SearchFor", "");
  if (std::string fault = ClassicPatternMatcher::Check(pattern); !fault.empty()) {
    throw UsageError(fault);
  }
  StopSignals signals;
  std::unique_ptr<RunSession> run;
  try {
    run = StartRun(c);
  } catch (const RunWaitStopped&) {
    return StopSignals::ExitStatus();
  }
  c.ui.assume_yes = c.Given("--yes");
  c.ui.stop_requested = [] { return StopSignals::Received(); };
  auto page = c.ShownPage();
  c.ui.folder_label = &page->lblFolderName;
  c.ui.progress_bar = &page->ProgressBar1;
  page->cmdReplace.Press();
  if (!page->lblFolderName.Caption().empty()) c.ui.PrintCaptionIfNew();
  c.ui.folder_label = nullptr;
  c.ui.progress_bar = nullptr;
  c.ui.stop_requested = nullptr;
  if (std::optional<int32_t> saved = page->StoppedRun()) {
    PrintStopped(c.err, *saved);
    return StopSignals::ExitStatus();
  }
  if (c.Reported("Tidewell.cmdConvert")) return kFailed;
  return StopSignals::Received() ? StopSignals::ExitStatus() : kDone;
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

// A value on one line of tab-separated output.
std::string Escaped(const std::string& value) {
  std::string out;
  for (const char ch : value) {
    if (ch == '\t') {
      out += "\\t";
    } else if (ch == '\n') {
      out += "\\n";
    } else if (ch == '\\') {
      out += "\\\\";
    } else {
      out += ch;
    }
  }
  return out;
}

// Its changes, one line each: folder, item, field, old value, new value.
int ShowRun(Context& c, const RunSummary& summary) {
  const JournalRun run = LoadRun(summary);
  std::map<std::pair<std::string, std::string>, std::string> folders;
  std::map<std::pair<std::string, std::string>, std::string> items;
  for (const JournalEntry& entry : run.entries) {
    if (!entry.complete) continue;
    auto [folder, new_folder] = folders.try_emplace({entry.FolderStoreId, entry.FolderEntryId});
    if (new_folder) {
      folder->second = entry.FolderEntryId;
      try {
        if (auto found = c.env.host->engine().YSGetFolder(entry.FolderEntryId, entry.FolderStoreId))
          folder->second = found->Name();
      } catch (const std::exception&) {
      }
    }
    auto [item, new_item] = items.try_emplace({entry.FolderStoreId, entry.ItemEntryId});
    if (new_item) {
      item->second = entry.ItemEntryId;
      try {
        if (auto found = c.env.store->GetItemFromID(entry.ItemEntryId, entry.FolderStoreId)) {
          const bool contact = found->TypeName() == "ContactItem";
          auto wrapper = c.env.components->CreateSafeItem(
              contact ? kSafeContactItem
                      : (found->TypeName() == "TaskItem" ? kSafeTaskItem : kSafeAppointmentItem));
          wrapper->SetItem(found);
          item->second = contact ? wrapper->FullNameAndCompany() : wrapper->Get("Subject");
        }
      } catch (const std::exception&) {
      }
    }
    const std::string written =
        run.kind == RunKind::kUndo ? entry.restored.value_or("") : entry.written.value_or("");
    c.out << Escaped(folder->second) << '\t' << Escaped(item->second) << '\t'
          << Escaped(entry.FieldName) << '\t' << Escaped(entry.FieldValue) << '\t'
          << Escaped(written) << '\n';
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
    c.out << run->id << '\t' << run->time << '\t' << run->description << '\t' << run->fields
          << " fields in " << run->items << " items";
    if (run->incomplete > 0) c.out << ", " << run->incomplete << " incomplete";
    if (run->undone) c.out << ", undone";
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
  const JournalRun run = LoadRun(summary);
  c.ui.assume_yes = c.Given("--yes");
  if (c.ui.MsgBox(UndoQuestion(run), MsgBoxButtons::YesNo, "Marrowby") != MsgBoxResult::Yes) {
    return StopSignals::Received() ? StopSignals::ExitStatus() : kDone;
  }

  const UndoOutcome outcome =
      UndoJournalRun(run, *c.env.store, *c.env.components, [] { return StopSignals::Received(); });
  c.out << UndoSummary(outcome) << '\n';
  for (const SkippedField& skipped : outcome.skipped) {
    c.out << DescribeSkipped(skipped) << '\n';
  }
  if (outcome.stopped) {
    PrintStopped(c.err, outcome.restored_items);
    return StopSignals::ExitStatus();
  }
  return outcome.skipped.empty() ? kDone : kFailed;
}

int Dispatch(Context& c) {
  const std::string& command = c.invocation.command;
  if (command == "folders") return Folders(c);
  if (command == "show") return Show(c);
  if (command == "set") return Set(c);
  if (command == "fields") return Fields(c);
  if (command == "runs") return Runs(c);
  if (command == "undo") return Undo(c);
  return Replace(c);
}

}  // namespace

int Run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err, bool errIsTerminal) {
  try {
    const Invocation invocation = ParseCommandLine(args);
    if (invocation.help) {
      out << HelpText(invocation.command);
      return kDone;
    }
    TerminalUi ui(in, out, err, errIsTerminal);
    std::unique_ptr<HostEnvironment> env;
    try {
      env = std::make_unique<HostEnvironment>(ui, invocation.stores);
    } catch (const Failure& e) {
      throw UsageError(e.what());
    }
    env->logbook.EchoErrorsTo(&err);
    Context context{invocation, ui, *env, out, err};
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
