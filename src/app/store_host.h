// What both hosts (terminal and desktop) put around the page: the stores the
// user named, the logs, the settings and the host object the page talks to.
//
//   HostEnvironment env(ui, {"/home/me/.contacts"});   // or {} for the remembered stores
//   UC1 page(env.components);
//   page.SetHost(env.host);
//   page.Show();
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "adapters/logbook/logbook.h"
#include "adapters/settings/ini_settings_store.h"
#include "app/overlay_settings.h"
#include "app/platform_components.h"
#include "app/run_index.h"
#include "journal/journal_runs.h"
#include "platform/host.h"
#include "platform/mail_store.h"
#include "platform/ui.h"
#include "support/marrowby_support.h"

namespace tidewell {

// The host object over a MailStore. A host that wants to hear of the page's
// dirty mark or its help texts sets the two callbacks.
class StoreHost : public Host {
 public:
  explicit StoreHost(MailStore& store) : store_(store) {}

  std::shared_ptr<Application> OutlookApplication() override { return store_.OutlookApplication(); }
  void OnStatusChange() override;
  FolderLookup& engine() override { return store_.engine(); }
  void SetHotHelp(const std::string& helpText, const std::string& secondText) override;
  void OnFolderNotFound(const std::string& folderName) override {
    if (on_folder_not_found) on_folder_not_found(folderName);
  }

  std::function<void()> on_status_change;
  std::function<void(const std::string&)> on_hot_help;
  std::function<void(const std::string&)> on_folder_not_found;

 private:
  MailStore& store_;
};

// The support component as the hosts hand it to the page: every call goes to
// MarrowbySupport, and the procedures of the failure reports are kept, so a
// host can tell whether a run ended through its failure report.
class WatchedSupport : public SupportComponent {
 public:
  explicit WatchedSupport(SupportComponent& inner) : inner_(inner) {}
  std::string AppName() override { return inner_.AppName(); }
  void ReportError(const std::string& message, bool flag, const std::string& procedure) override;
  void LoadStringSet(StringSet& set, const std::string& name) override {
    inner_.LoadStringSet(set, name);
  }
  std::string LookupText(const StringSet& set, const std::string& key) override {
    return inner_.LookupText(set, key);
  }

  // "Tidewell.cmdConvert", ... in the order reported.
  const std::vector<std::string>& reported() const { return reported_; }

 private:
  SupportComponent& inner_;
  std::vector<std::string> reported_;
};

// The store roots the hosts remember between runs: settings section "Host",
// key "Stores", one absolute path per line.
std::vector<std::string> RememberedStores(SettingsStore& settings, SupportComponent& support);
void RememberStores(SettingsStore& settings, SupportComponent& support,
                    const std::vector<std::string>& roots);

// The password command the user keeps (settings section "Host", key
// "PasswordCommand"), split into words as --password-command is; empty when
// none is set. Throws Failure for a text that cannot be split ("The setting
// PasswordCommand: the ' quote at character 6 is never closed.").
inline constexpr const char* kPasswordCommandKey = "PasswordCommand";
std::vector<std::string> SavedPasswordCommand(SettingsStore& settings, SupportComponent& support);

// Forgets the remembered stores `roots` (each as RememberedStores lists
// it), and whatever is kept for a store between runs; the others stay
// remembered. Returns the roots forgotten, in the order they were
// remembered; a root not remembered is left out.
std::vector<std::string> ForgetStores(SettingsStore& settings, SupportComponent& support,
                                      const std::vector<std::string>& roots);

// ForgetStores on Marrowby.ini: the remembered stores `given` names (each
// as --store takes it), or every one with `all`. Throws Failure naming the
// first given store that is not remembered; nothing is forgotten then.
std::vector<std::string> ForgetRememberedStores(const std::vector<std::string>& given, bool all);

// The journal's retention the user set: settings section "Journal", keys
// "KeepRuns" (default 100, at least 1) and "KeepDays" (default 90; 0 keeps
// by count alone), and the hidden "SegmentBytes" (default 32 MiB, at least 1),
// the size past which activity.jsonl is rotated, which lets a test rotate on
// every run; any other value keeps the default.
Retention JournalRetention(SettingsStore& settings, SupportComponent& support);

// Thrown when no store was given, none is remembered and no config names one.
inline constexpr const char* kNoStoreMessage =
    "No store given, and the configs of vdirsyncer, khard, khal and todoman name none. Name a "
    "folder of address books and calendars with --store DIR.";

// A store of the environment and where it came from: "--store", "remembered",
// or the config files that named it, joined by ", ".
struct StoreSource {
  std::string root;
  std::string named_by;
};

// "No such store: PATH", for a given store that is empty, missing, or not a
// folder the user may list.
std::string NoSuchStoreMessage(const std::string& given);
// "No address books or calendars in PATH.", for a given store that opens
// but holds no folder.
std::string EmptyStoreMessage(const std::string& given);

// Opens the store over `roots`: OpenStore (stores/store_factory.h), or a
// test's own.
using StoreOpener =
    std::function<std::unique_ptr<MailStore>(const std::vector<std::string>& roots, Ui& ui,
                                             WriteAheadLog* wal, const StoreOptions& options)>;

// How much of a run may reach the disk, and how its store is opened.
struct HostOptions {
  // Settings for this run only: every setting written (the page's, the field
  // chooser's, the remembered stores) stays in memory; Marrowby.ini is read.
  bool run_settings_only = false;
  // A preview: also no log or error file is opened or written (reports are
  // only echoed). Implies run_settings_only.
  bool write_nothing = false;
  // --user, --ca-file and --password-command, for a server store. Left
  // empty, the password command is the saved one and the kept logins are
  // those of vdirsyncer's config (app/discovery/server_configs.h).
  StoreOptions store;
  // Empty: OpenStore.
  StoreOpener open_store;
  // false: the given stores are used this time only (stores the configs
  // name, opened in the window, stay found rather than remembered).
  bool remember_given = true;
  // The root a given store names; empty: GivenStoreRoot.
  std::function<std::optional<std::string>(const std::string& given)> given_root;
  // Not null: the settings of this run read through this store rather than
  // Marrowby.ini (a preview of a run whose settings are in memory only); it
  // is never written. Implies run_settings_only.
  SettingsStore* settings_under = nullptr;
};

class HostEnvironment {
 public:
  // `givenStores` (made absolute) are remembered and used; when empty, the
  // remembered ones are used; when none is remembered, the ones the peers'
  // configs name (FindStores in app/discovery/store_configs.h), which
  // are not remembered, so a store added to a config later is found too.
  // Throws Failure(NoSuchStoreMessage) for a given store that is no readable
  // folder, Failure(EmptyStoreMessage) for one that holds no folder, and
  // Failure(kNoStoreMessage) when there are none. A store that
  // cannot be opened (a refused login, a server that does not answer) throws
  // Failure with the store's reason. Given stores are remembered only once
  // their store has opened. `ui` must outlive the environment.
  HostEnvironment(Ui& ui, const std::vector<std::string>& givenStores, HostOptions options = {});

  std::vector<StoreSource> sources;  // in the order of store->StoreIDs()

  Logbook logbook;
  MarrowbySupport support{logbook};
  WatchedSupport watched{support};
  IniSettingsStore saved_settings;
  OverlaySettingsStore run_settings;
  // saved_settings, or run_settings when the options ask for it.
  SettingsStore& settings;
  std::unique_ptr<MailStore> store;  // the one stores/store_factory.h opened
  std::unique_ptr<PlatformComponents> components;
  std::shared_ptr<StoreHost> host;

  // The store that holds the items `run` changed: `store` when it has every
  // store id of the run's entries (each a root: a path or a URL; other ids
  // name no store), whatever the user named, else those stores opened anew
  // (kept until the next call). Throws Failure
  // "This run changed items in STORE, which could not be opened: REASON".
  MailStore& StoreOfRun(const JournalRun& run);

 private:
  Ui& ui_;
  HostOptions options_;
  std::unique_ptr<MailStore> run_store_;
};

}  // namespace tidewell
