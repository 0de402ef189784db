// Settings for one run only: reads fall through to the saved settings, writes
// stay in memory and are seen by later reads of this overlay alone.
//
//   IniSettingsStore saved;
//   OverlaySettingsStore run(saved);
//   run.SaveSetting("Marrowby", "Tidewell", "SearchFor", "555");  // Marrowby.ini untouched
//   run.GetSetting("Marrowby", "Tidewell", "SearchFor", "");      // "555"
//   run.GetSetting("Marrowby", "Tidewell", "ReplaceWith", "");    // as saved
#pragma once

#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/settings_store.h"

namespace tidewell {

class OverlaySettingsStore : public SettingsStore {
 public:
  // `saved` is only ever read, and must outlive the overlay.
  explicit OverlaySettingsStore(SettingsStore& saved) : saved_(saved) {}

  // The value written to the overlay, else the saved one (which may throw
  // Failure as the saved store does).
  std::string GetSetting(const std::string& appName, const std::string& section,
                         const std::string& key, const std::string& defaultValue) override;
  // The saved store's keys and those written to the overlay; nothing when the
  // saved store cannot list its keys.
  std::optional<std::vector<std::string>> Keys(const std::string& appName,
                                               const std::string& section) override;
  // Never throws and never reaches the saved store.
  void SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                   const std::string& value) override;

 private:
  SettingsStore& saved_;
  std::map<std::tuple<std::string, std::string, std::string>, std::string> written_;
};

}  // namespace tidewell
