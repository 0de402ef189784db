#include "app/overlay_settings.h"

#include <algorithm>

namespace tidewell {

std::string OverlaySettingsStore::GetSetting(const std::string& appName, const std::string& section,
                                             const std::string& key,
                                             const std::string& defaultValue) {
  if (auto it = written_.find({appName, section, key}); it != written_.end()) return it->second;
  return saved_.GetSetting(appName, section, key, defaultValue);
}

std::optional<std::vector<std::string>> OverlaySettingsStore::Keys(const std::string& appName,
                                                                   const std::string& section) {
  std::optional<std::vector<std::string>> keys = saved_.Keys(appName, section);
  if (!keys) return keys;
  for (const auto& [where, value] : written_) {
    const auto& [app, sect, key] = where;
    if (app == appName && sect == section &&
        std::find(keys->begin(), keys->end(), key) == keys->end()) {
      keys->push_back(key);
    }
  }
  return keys;
}

void OverlaySettingsStore::SaveSetting(const std::string& appName, const std::string& section,
                                       const std::string& key, const std::string& value) {
  written_[{appName, section, key}] = value;
}

}  // namespace tidewell
