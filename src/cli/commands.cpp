#include "cli/commands.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <memory>

#include "cli/command_line.h"
#include "cli/terminal_ui.h"
#include "fields/field_catalog.h"
#include "fields/frm_look_in_fields.h"
#include "page/uc1.h"
#include "platform/failure.h"
#include "platform/logbook/journal_reader.h"
#include "platform/pattern/classic_pattern_matcher.h"
#include "platform/support/store_host.h"
#include "platform/support/undo.h"

namespace tidewell::cli {

namespace {

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

int Replace(Context& c) {
  const std::string pattern =
      c.env.settings.GetSetting(c.env.watched.AppName(), kSettingsSection, "SearchFor", "");
  if (std::string fault = ClassicPatternMatcher::Check(pattern); !fault.empty()) {
    throw UsageError(fault);
  }
  c.ui.assume_yes = c.Given("--yes");
  auto page = c.ShownPage();
  c.ui.folder_label = &page->lblFolderName;
  c.ui.progress_bar = &page->ProgressBar1;
  page->cmdReplace.Press();
  if (!page->lblFolderName.Caption().empty()) c.ui.PrintCaptionIfNew();
  c.ui.folder_label = nullptr;
  c.ui.progress_bar = nullptr;
  return c.Reported("Tidewell.cmdConvert") ? kFailed : kDone;
}

// Reads the journal, telling stderr what damage was stepped over, so that
// stdout stays one line per run for scripts.
JournalContents ReadJournalOf(Context& c) {
  const std::filesystem::path path = c.env.logbook.ActivityPath();
  JournalContents journal = ReadJournalFile(path);
  if (journal.malformed_lines > 0) {
    c.err << "tidewell: " << path.string() << ": skipped " << journal.malformed_lines
          << " lines that are no journal records.\n";
  }
  if (journal.torn_last_line) {
    c.err << "tidewell: " << path.string() << ": its last line was cut off; it is left out.\n";
  }
  if (journal.stray_entries > 0) {
    c.err << "tidewell: " << path.string() << ": " << journal.stray_entries
          << " undo entries come before any run; they are left out.\n";
  }
  return journal;
}

int Runs(Context& c) {
  const JournalContents journal = ReadJournalOf(c);
  for (size_t number = 1; number <= journal.runs.size(); ++number) {
    const JournalRun& run = journal.runs[journal.runs.size() - number];
    c.out << number << '\t' << run.time << '\t' << run.Description() << '\t'
          << run.CompleteEntries() << " fields in " << run.ChangedItems() << " items";
    if (const size_t incomplete = run.entries.size() - run.CompleteEntries(); incomplete > 0) {
      c.out << ", " << incomplete << " incomplete";
    }
    c.out << '\n';
  }
  return kDone;
}

// The run `name` names: its number in 'tidewell runs' (1 the newest), or its
// time, whole or its start.
const JournalRun& ChooseRun(const JournalContents& journal,
                            const std::optional<std::string>& name) {
  const auto& runs = journal.runs;
  if (runs.empty()) throw UsageError(kNoRunToUndo);
  if (!name) return runs.back();
  const UsageError unknown("Unknown run '" + *name + "' (see 'tidewell runs').");
  if (std::all_of(name->begin(), name->end(), [](char ch) { return ch >= '0' && ch <= '9'; })) {
    if (name->empty() || name->size() > 9) throw unknown;
    const size_t number = std::stoul(*name);
    if (number < 1 || number > runs.size()) throw unknown;
    return runs[runs.size() - number];
  }
  std::vector<const JournalRun*> named;
  for (const JournalRun& run : runs) {
    if (run.time == *name) named.push_back(&run);
  }
  if (named.empty()) {
    for (const JournalRun& run : runs) {
      if (run.time.starts_with(*name)) named.push_back(&run);
    }
  }
  if (named.empty()) throw unknown;
  if (named.size() > 1) {
    throw UsageError("'" + *name + "' names " + std::to_string(named.size()) +
                     " runs; name one by its number (see 'tidewell runs').");
  }
  return *named.front();
}

int Undo(Context& c) {
  const JournalContents journal = ReadJournalOf(c);
  const auto& arguments = c.invocation.arguments;
  const JournalRun& run =
      ChooseRun(journal, arguments.empty() ? std::nullopt : std::optional(arguments.front()));
  c.ui.assume_yes = c.Given("--yes");
  if (c.ui.MsgBox(UndoQuestion(run), MsgBoxButtons::YesNo, "Marrowby") != MsgBoxResult::Yes)
    return kDone;

  const UndoOutcome outcome = UndoJournalRun(run, *c.env.store, *c.env.components);
  c.out << UndoSummary(outcome) << '\n';
  for (const SkippedField& skipped : outcome.skipped) {
    c.out << DescribeSkipped(skipped) << '\n';
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
    env->logbook.EchoErrorsTo(&err, [&ui] { return ui.ItemHeading(); });
    env->host->on_folder_not_found = [&err](const std::string& name) {
      err << "Folder '" << name << "' was not found; skipped.\n";
    };
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
