#include "platform/support/overlay_settings.h"

namespace tidewell {

std::string OverlaySettingsStore::GetSetting(const std::string& appName, const std::string& section,
                                             const std::string& key,
                                             const std::string& defaultValue) {
  if (auto it = written_.find({appName, section, key}); it != written_.end()) return it->second;
  return saved_.GetSetting(appName, section, key, defaultValue);
}

void OverlaySettingsStore::SaveSetting(const std::string& appName, const std::string& section,
                                       const std::string& key, const std::string& value) {
  written_[{appName, section, key}] = value;
}

}  // namespace tidewell
