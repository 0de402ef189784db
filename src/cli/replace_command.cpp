#include <algorithm>
#include <cstdlib>

#include "app/discovery/server_configs.h"
#include "app/dry_run.h"
#include "app/run_start.h"
#include "cli/command_context.h"
#include "cli/json_lines.h"
#include "fields/field_catalog.h"
#include "fields/frm_look_in_fields.h"

namespace tidewell::cli {

namespace {

void PrintStopped(std::ostream& err, long items) {
  err << "Stopped after " << items << " items; `tidewell undo` takes this run back.\n";
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

// What the command line asks of a run, read and checked before anything is
// read from a store.
struct ReplaceRequest {
  std::optional<std::vector<size_t>> picked;  // --folder's folders, as the picker offers them
  std::optional<std::string> search, replace;
  bool regex = false;
  bool dry_run = false;
  bool verbose = false;
  bool json = false;
};

// Throws UsageError for a run that would look in no folder or no field (the
// page would run over nothing and call it done), or whose search text is no
// pattern of the syntax in use.
ReplaceRequest ReadRequest(Context& c) {
  ReplaceRequest request;
  std::vector<std::string> named_folders;
  for (const Option& o : c.invocation.options) {
    if (o.name == "--folder") named_folders.push_back(o.value);
    if (o.name == "--search") request.search = o.value;
    if (o.name == "--replace") request.replace = o.value;
  }
  if (!named_folders.empty()) request.picked = ResolveFolders(c, named_folders);
  const std::string app = c.env.watched.AppName();
  // A count that is no number is the page's to report, as it always was.
  const std::string count = c.env.settings.GetSetting(app, kSettingsSection, "FolderCount", "0");
  char* end = nullptr;
  const long folders = std::strtol(count.c_str(), &end, 10);
  if (named_folders.empty() && *end == '\0' && folders < 1) throw UsageError(kNoFolderChosen);
  if (!c.Given("--fields") && !FieldSelectionSaved(c)) throw UsageError(kNoFieldChosen);
  // For this run only: the settings are the run's own then (GivesPageSettings).
  if (c.Given("--regex")) SaveRegexSetting(c.env.settings, c.env.watched, true);
  request.regex = RegexSetting(c.env.settings, c.env.watched);
  CheckPattern(c, request.regex);
  request.dry_run = c.Given("--dry-run");
  request.verbose = c.Given("--verbose");
  request.json = c.Given("--json");
  return request;
}

// The page over `listing`, set as the command line asks for this run;
// nullptr when its folders could not be picked (the page reported why).
std::unique_ptr<UC1> RunPage(Context& c, ChangeListing& listing, const ReplaceRequest& request) {
  auto page = std::make_unique<UC1>(listing);
  page->SetHost(listing.host());
  page->Show();
  if (request.search) {
    page->txtSearchFor.SetText(*request.search);
    page->txtReplaceWith.SetText(*request.replace);
    page->chkCaseSensitive.SetValue(c.Given("--case") ? 1 : 0);
  } else if (c.Given("--case")) {
    page->chkCaseSensitive.SetValue(1);
  }
  if (request.picked) {
    c.ui.folders_to_pick = request.picked;
    page->cmdChooseMultiFolder.Press();
    if (c.Reported("Tidewell.ChooseMultiFolderButton")) return nullptr;
  }
  if (GivesPageSettings(c.invocation)) page->Apply();
  return page;
}

// The run's summary on stdout: the page's caption, or with --json its line.
void PrintSummary(Context& c, const UC1& page, const ChangeListing& listing,
                  const ReplaceRequest& request) {
  const std::string& caption = page.lblFolderName.Caption();
  if (request.json) {
    const bool summed = !caption.empty() && !caption.starts_with("Folder: ");
    c.ui.PrintLine(SummaryJson({summed ? (request.dry_run ? PreviewCaption(caption) : caption) : "",
                                request.dry_run, listing.items_changed(), listing.items_searched(),
                                listing.folders_searched()}));
  } else if (!caption.empty()) {
    c.ui.PrintCaptionIfNew();
  }
}

// What follows the summary, on stderr, and the exit status it comes to.
int Outcome(Context& c, const UC1& page, const ChangeListing& listing,
            const ReplaceRequest& request, size_t reportsBefore) {
  if (std::optional<int32_t> saved = page.StoppedRun()) {
    PrintStopped(c.err, *saved);
    return StopSignals::ExitStatus();
  }
  if (c.Reported("Tidewell.cmdConvert")) return kFailed;
  if (!request.dry_run && listing.items_changed() > 0 &&
      std::any_of(c.env.sources.begin(), c.env.sources.end(), [](const StoreSource& source) {
        return SyncedByVdirsyncer(source.root, ProcessEnvironment());
      })) {
    (request.json ? c.err : c.out) << "Run 'vdirsyncer sync' to send the changes to the server.\n";
  }
  if (const size_t failed = ItemFailures(c.env.watched, reportsBefore); failed > 0) {
    c.err << failed << " items could not be changed; see the reports above.\n";
    return kItemsFailed;
  }
  if (StopSignals::Received()) return StopSignals::ExitStatus();
  if (listing.items_changed() == 0) {
    c.err << "Nothing matched '" << page.txtSearchFor.Text() << "' in "
          << Counted(listing.items_searched(), "item", "items") << " of "
          << Counted(listing.folders_searched(), "folder", "folders") << ".\n";
    if (const std::string note = ClassicSyntaxNote(SearchText(c));
        !request.regex && !note.empty()) {
      c.err << note << '\n';
    }
    if (c.Given("--fail-if-none")) return kFailed;
  }
  return kDone;
}

}  // namespace

int Replace(Context& c) {
  const ReplaceRequest request = ReadRequest(c);
  if (!ChooseFieldsForRun(c)) return kFailed;
  StopSignals signals;
  std::unique_ptr<RunSession> run;
  // A preview writes nothing, not even the lock file.
  if (!request.dry_run) {
    try {
      run = StartRun(c);
    } catch (const RunWaitStopped&) {
      return StopSignals::ExitStatus();
    }
  }
  ChangeListing listing(*c.env.components, c.env.host, !request.dry_run,
                        [&](const FieldChange& change) {
                          if (!request.dry_run && !request.verbose) return;
                          c.ui.PrintLine(request.json ? ChangeJson(change) : ChangeLine(change));
                        });
  listing.list_values = request.dry_run || request.verbose;
  // A preview changes nothing: there is nothing to agree to.
  c.ui.assume_yes = c.Given("--yes") || request.dry_run;
  c.ui.count_unsearched = !request.verbose;
  c.ui.preview = request.dry_run;
  c.ui.json = request.json;
  c.ui.stop_requested = [] { return StopSignals::Received(); };
  const std::unique_ptr<UC1> page = RunPage(c, listing, request);
  if (!page) return kFailed;

  NotifyingCounter notifying(*c.env.store);
  if (request.dry_run) {
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
  PrintSummary(c, *page, listing, request);
  c.ui.PrintUnsearchedCount();
  c.ui.folder_label = nullptr;
  c.ui.progress_bar = nullptr;
  c.ui.stop_requested = nullptr;
  if (notifying.count() > 0) c.err << NotifyingEventsLine(notifying.count()) << '\n';
  return Outcome(c, *page, listing, request, reports_before);
}

}  // namespace tidewell::cli
