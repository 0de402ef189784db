#include "app/dry_run.h"

#include <algorithm>
#include <string_view>

#include "app/forwarding_components.h"
#include "app/store_host.h"
#include "fields/frm_look_in_fields.h"
#include "page/uc1.h"

namespace tidewell {

namespace {

// The user asked for the preview: the page's confirmation is answered, its
// other boxes kept for the caller, and nothing opens a window.
class PreviewUi : public Ui {
 public:
  PreviewUi(DryRunOutcome& outcome, const std::function<bool()>& stop, const DryRunSetup& setup)
      : outcome_(outcome), stop_(stop), setup_(setup) {}

  MsgBoxResult MsgBox(const std::string& prompt, MsgBoxButtons buttons,
                      const std::string&) override {
    if (buttons == MsgBoxButtons::YesNo) return MsgBoxResult::Yes;
    outcome_.messages.push_back(prompt);
    return MsgBoxResult::Ok;
  }
  void ShowFieldChooser(frmLookInFields& dialog) override { dialog.cmdCancel_Click(); }
  std::optional<size_t> PickFolder(const std::vector<FolderChoice>&) override {
    return std::nullopt;
  }
  std::optional<std::vector<size_t>> PickFolders(const std::vector<FolderChoice>&,
                                                 const std::vector<size_t>&,
                                                 const std::string&) override {
    return std::nullopt;
  }
  void Repaint(const std::string&) override {}
  void Note(const std::string& text) override { outcome_.notes.push_back(text); }
  void CurrentItem(const std::string& name) override { current_item = name; }
  bool StopRequested() override { return stop_ && stop_(); }
  std::optional<Credentials> AskCredentials(const std::string& where,
                                            const std::string& user) override {
    if (!setup_.ask_credentials) return std::nullopt;
    return setup_.ask_credentials(where, user);
  }

  std::string current_item;

 private:
  DryRunOutcome& outcome_;
  const std::function<bool()>& stop_;
  const DryRunSetup& setup_;
};

// Keeps each report with the item open when it was made.
class NotingSupport : public SupportComponent {
 public:
  NotingSupport(SupportComponent& inner, const PreviewUi& ui, DryRunOutcome& outcome)
      : inner_(inner), ui_(ui), outcome_(outcome) {}
  std::string AppName() override { return inner_.AppName(); }
  void ReportError(const std::string& message, bool flag, const std::string& procedure) override {
    outcome_.failures.push_back({ui_.current_item, procedure, message});
    inner_.ReportError(message, flag, procedure);
  }
  void LoadStringSet(StringSet& set, const std::string& name) override {
    inner_.LoadStringSet(set, name);
  }
  std::string LookupText(const StringSet& set, const std::string& key) override {
    return inner_.LookupText(set, key);
  }

 private:
  SupportComponent& inner_;
  const PreviewUi& ui_;
  DryRunOutcome& outcome_;
};

class NotingComponents : public ForwardingComponents {
 public:
  NotingComponents(Components& inner, SupportComponent& support)
      : ForwardingComponents(inner), support_(support) {}
  SupportComponent& Support() override { return support_; }

 private:
  SupportComponent& support_;
};

}  // namespace

std::string PreviewCaption(const std::string& caption) {
  constexpr std::string_view kDone = "Updated ";
  if (!caption.starts_with(kDone)) return caption;
  return "Would update " + caption.substr(kDone.size());
}

std::string NotifyingEventsLine(size_t events) {
  return std::to_string(events) + (events == 1 ? " changed event has" : " changed events have") +
         " attendees; the server may e-mail them the change.";
}

std::string NotifyingEventsQuestion(size_t events) {
  return std::to_string(events) + (events == 1 ? " event has" : " events have") +
         " attendees; the server may e-mail them the change. Change these events too?";
}

void NotifyingCounter::Attach(ChangeListing& listing) {
  if (!store_.SchedulesImplicitly()) return;
  listing.on_item_saved = [this](const std::string& entryId, const std::string& storeId) {
    const std::pair<std::string, std::string> item{entryId, storeId};
    if (std::find(seen_.begin(), seen_.end(), item) != seen_.end()) return;
    seen_.push_back(item);
    if (store_.MayNotifyOthers(entryId, storeId)) ++count_;
  };
}

DryRunOutcome DryRunReplace(const std::vector<std::string>& roots,
                            const std::function<bool()>& stop, const DryRunSetup& setup) {
  DryRunOutcome outcome;
  PreviewUi ui(outcome, stop, setup);
  HostOptions options = setup.host;
  // The roots are the open store's own already.
  options.given_root = [](const std::string& root) { return std::optional(root); };
  options.write_nothing = true;
  HostEnvironment env(ui, roots, options);
  ChangeListing listing(
      *env.components, env.host, /*save=*/false,
      [&outcome](const FieldChange& change) { outcome.changes.push_back(change); });
  NotifyingCounter notifying(*env.store);
  notifying.Attach(listing);
  NotingSupport support(env.watched, ui, outcome);
  NotingComponents components(listing, support);
  UC1 page(components);
  page.SetHost(listing.host());
  page.Show();
  page.cmdReplace.Press();
  outcome.summary = PreviewCaption(page.lblFolderName.Caption());
  page.Terminate();
  outcome.notifying_events = notifying.count();
  return outcome;
}

}  // namespace tidewell
