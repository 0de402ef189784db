#include "app/store_host.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>

#include "app/discovery/server_configs.h"
#include "app/discovery/store_configs.h"
#include "platform/failure.h"
#include "stores/dav/collection_cache.h"
#include "stores/store_factory.h"
#include "text/shell_words.h"

namespace tidewell {

namespace {
constexpr const char* kHostSection = "Host";
constexpr const char* kStoresKey = "Stores";
}  // namespace

void StoreHost::OnStatusChange() {
  if (on_status_change) on_status_change();
}

void StoreHost::SetHotHelp(const std::string& helpText, const std::string&) {
  if (on_hot_help) on_hot_help(helpText);
}

void WatchedSupport::ReportError(const std::string& message, bool flag,
                                 const std::string& procedure) {
  reported_.push_back(procedure);
  inner_.ReportError(message, flag, procedure);
}

std::vector<std::string> RememberedStores(SettingsStore& settings, SupportComponent& support) {
  std::vector<std::string> roots;
  std::istringstream lines(settings.GetSetting(support.AppName(), kHostSection, kStoresKey, ""));
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty()) roots.push_back(line);
  }
  return roots;
}

void RememberStores(SettingsStore& settings, SupportComponent& support,
                    const std::vector<std::string>& roots) {
  std::string joined;
  for (const std::string& root : roots) joined += root + "\n";
  settings.SaveSetting(support.AppName(), kHostSection, kStoresKey, joined);
}

std::vector<std::string> ForgetStores(SettingsStore& settings, SupportComponent& support,
                                      const std::vector<std::string>& roots) {
  std::vector<std::string> kept;
  std::vector<std::string> forgotten;
  for (const std::string& root : RememberedStores(settings, support)) {
    const bool forget = std::find(roots.begin(), roots.end(), root) != roots.end();
    (forget ? forgotten : kept).push_back(root);
  }
  if (!forgotten.empty()) RememberStores(settings, support, kept);
  // A forgotten server store must not come back through its copies.
  for (const std::string& root : forgotten) dav::ForgetStoreCache(root);
  return forgotten;
}

std::vector<std::string> ForgetRememberedStores(const std::vector<std::string>& given, bool all) {
  Logbook logbook;
  MarrowbySupport support(logbook);
  IniSettingsStore settings;
  const std::vector<std::string> remembered = RememberedStores(settings, support);
  std::vector<std::string> roots = all ? remembered : std::vector<std::string>{};
  for (const std::string& store : given) {
    const std::optional<std::string> root = GivenStoreRoot(store);
    std::error_code ec;
    const std::string canonical = std::filesystem::weakly_canonical(store, ec).string();
    const auto found = std::find_if(remembered.begin(), remembered.end(), [&](const auto& r) {
      return r == store || (root && r == *root) || (!ec && r == canonical);
    });
    if (found == remembered.end()) {
      throw Failure("'" + store + "' is no remembered store (see 'tidewell stores').");
    }
    roots.push_back(*found);
  }
  if (all) dav::ForgetAllStoreCaches();
  return ForgetStores(settings, support, roots);
}

Retention JournalRetention(SettingsStore& settings, SupportComponent& support) {
  Retention retention;
  auto number = [&](const char* key, long fallback, long least) {
    const std::string text = settings.GetSetting(support.AppName(), "Journal", key, "");
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && value >= least ? value : fallback;
  };
  retention.keep_runs = static_cast<size_t>(number("KeepRuns", 100, 1));
  retention.keep_days = static_cast<int>(number("KeepDays", 90, 0));
  retention.segment_bytes =
      static_cast<uint64_t>(number("SegmentBytes", static_cast<long>(retention.segment_bytes), 1));
  return retention;
}

std::vector<std::string> SavedPasswordCommand(SettingsStore& settings, SupportComponent& support) {
  const std::string text =
      settings.GetSetting(support.AppName(), kHostSection, kPasswordCommandKey, "");
  try {
    return SplitShellWords(text);
  } catch (const Failure& e) {
    throw Failure(std::string("The setting ") + kPasswordCommandKey + ": " + e.what() + ".");
  }
}

std::string NoSuchStoreMessage(const std::string& given) { return "No such store: " + given; }

std::string EmptyStoreMessage(const std::string& given) {
  return "No address books or calendars in " + given + ".";
}

HostEnvironment::HostEnvironment(Ui& ui, const std::vector<std::string>& givenStores,
                                 HostOptions options)
    : run_settings(options.settings_under != nullptr ? *options.settings_under : saved_settings),
      settings(options.run_settings_only || options.write_nothing ||
                       options.settings_under != nullptr
                   ? static_cast<SettingsStore&>(run_settings)
                   : saved_settings),
      ui_(ui),
      options_(options) {
  if (options.write_nothing) logbook.WriteNothing();
  std::vector<std::string> roots;
  if (givenStores.empty()) {
    for (const std::string& root : RememberedStores(settings, support)) {
      sources.push_back({root, "remembered"});
    }
    if (sources.empty()) {
      for (const FoundStore& found : FindStores(ProcessEnvironment())) {
        std::string named_by;
        for (const std::string& config : found.named_by) {
          named_by += (named_by.empty() ? "" : ", ") + config;
        }
        sources.push_back({found.path, named_by});
      }
    }
  } else {
    for (const std::string& given : givenStores) {
      std::optional<std::string> root =
          options.given_root ? options.given_root(given) : GivenStoreRoot(given);
      if (!root) throw Failure(NoSuchStoreMessage(given));
      sources.push_back({*root, "--store"});
    }
  }
  for (const StoreSource& source : sources) roots.push_back(source.root);
  if (roots.empty()) throw Failure(kNoStoreMessage);
  if (options.store.password_command.empty()) {
    options.store.password_command = SavedPasswordCommand(settings, support);
  }
  if (options.store.kept_logins.empty()) {
    options.store.kept_logins = KeptLogins(FindServers(ProcessEnvironment()));
  }
  try {
    store = options.open_store ? options.open_store(roots, ui, &logbook, options.store)
                               : OpenStore(roots, ui, &logbook, options.store);
  } catch (const Failure&) {
    throw;
  } catch (const std::exception& e) {
    // Whatever kind of store refused, the hosts tell it the same way.
    throw Failure(e.what());
  }
  // A store that shows no folder was most likely named by mistake: it is
  // refused rather than remembered and run over as if it were one.
  if (!givenStores.empty()) {
    std::vector<std::string> holding;
    for (const auto& folder : store->OutlookApplication()->GetNamespace("MAPI")->AllFolders()) {
      holding.push_back(folder->StoreID());
    }
    const std::vector<std::string>& ids = store->StoreIDs();
    for (size_t i = 0; i < givenStores.size() && i < ids.size(); ++i) {
      if (std::find(holding.begin(), holding.end(), ids[i]) == holding.end()) {
        throw Failure(EmptyStoreMessage(givenStores[i]));
      }
    }
  }
  // A store that did not open is not offered again next time.
  if (!givenStores.empty() && options.remember_given) RememberStores(settings, support, roots);
  if (options.write_nothing) store->WriteNothing();
  components = std::make_unique<PlatformComponents>(ui, settings, logbook, watched);
  host = std::make_shared<StoreHost>(*store);
}

}  // namespace tidewell

namespace tidewell {

MailStore& HostEnvironment::StoreOfRun(const JournalRun& run) {
  std::vector<std::string> ids;
  for (const JournalEntry& entry : run.entries) {
    // A folder's store id is its store's root, a path or a URL. Anything else
    // ("Not Found" from a page whose folder named no store) names no store,
    // and the open store searches all of its own for the item.
    const std::string& id = entry.FolderStoreId;
    if (entry.records < 1 || !(id.starts_with('/') || id.find("://") != std::string::npos)) {
      continue;
    }
    if (std::find(ids.begin(), ids.end(), entry.FolderStoreId) == ids.end()) {
      ids.push_back(entry.FolderStoreId);
    }
  }
  const std::vector<std::string>& open = store->StoreIDs();
  if (std::all_of(ids.begin(), ids.end(), [&open](const std::string& id) {
        return std::find(open.begin(), open.end(), id) != open.end();
      })) {
    return *store;
  }
  const auto opened = [this](const std::vector<std::string>& roots) {
    for (const std::string& root : roots) {
      // A vdir store shows a missing folder as an empty one, which would
      // make every item of the run "gone".
      if (!(options_.given_root ? options_.given_root(root) : GivenStoreRoot(root))) {
        throw Failure(NoSuchStoreMessage(root));
      }
    }
    return options_.open_store ? options_.open_store(roots, ui_, &logbook, options_.store)
                               : OpenStore(roots, ui_, &logbook, options_.store);
  };
  const auto reason = [](const std::exception& e) { return std::string(e.what()); };
  try {
    run_store_ = opened(ids);
    return *run_store_;
  } catch (const std::exception& all) {
    // Name the store that failed when one alone does.
    for (const std::string& id : ids) {
      try {
        opened({id});
      } catch (const std::exception& one) {
        throw Failure("This run changed items in " + id +
                      ", which could not be opened: " + reason(one));
      }
    }
    std::string joined;
    for (const std::string& id : ids) joined += (joined.empty() ? "" : ", ") + id;
    throw Failure("This run changed items in " + joined +
                  ", which could not be opened: " + reason(all));
  }
}

}  // namespace tidewell
