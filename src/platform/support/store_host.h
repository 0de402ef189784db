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

#include "platform/host.h"
#include "platform/logbook/logbook.h"
#include "platform/logbook/run_index.h"
#include "platform/settings/qsettings_store.h"
#include "platform/support/marrowby_support.h"
#include "platform/support/platform_components.h"
#include "platform/vdir/vdir_store.h"

namespace tidewell {

// The host object over a VdirStore. A host that wants to hear of the page's
// dirty mark or its help texts sets the two callbacks.
class StoreHost : public Host {
 public:
  explicit StoreHost(VdirStore& store) : store_(store) {}

  std::shared_ptr<Application> OutlookApplication() override { return store_.OutlookApplication(); }
  void OnStatusChange() override;
  Engine& engine() override { return store_.engine(); }
  void SetHotHelp(const std::string& helpText, const std::string& secondText) override;

  std::function<void()> on_status_change;
  std::function<void(const std::string&)> on_hot_help;

 private:
  VdirStore& store_;
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

// The journal's retention the user set: settings section "Journal", keys
// "KeepRuns" (default 100, at least 1) and "KeepDays" (default 90; 0 keeps
// by count alone); any other value keeps the default.
Retention JournalRetention(SettingsStore& settings, SupportComponent& support);

// Thrown when no store was given and none is remembered.
inline constexpr const char* kNoStoreMessage =
    "No store given. Name a folder of address books and calendars with --store DIR.";

class HostEnvironment {
 public:
  // `givenStores` (made absolute) are remembered and used; when empty, the
  // remembered ones are used. Throws Failure(kNoStoreMessage) when there are
  // none. `ui` must outlive the environment.
  HostEnvironment(Ui& ui, const std::vector<std::string>& givenStores);

  Logbook logbook;
  MarrowbySupport support{logbook};
  WatchedSupport watched{support};
  QSettingsStore settings;
  std::unique_ptr<VdirStore> store;
  std::unique_ptr<PlatformComponents> components;
  std::shared_ptr<StoreHost> host;
};

}  // namespace tidewell
