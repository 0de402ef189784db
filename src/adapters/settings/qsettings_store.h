// The per-user settings store on QSettings: INI files under
// $XDG_CONFIG_HOME/Marrowby/<appName>.ini, one group per section.
//
// Each call opens the file anew, so a value written by another process (the
// terminal host, the desktop host) is seen at the next read; writes go
// through QSettings' lock-and-merge, so two processes writing different keys
// lose none.
#pragma once

#include "platform/settings_store.h"

namespace tidewell {

class QSettingsStore : public SettingsStore {
 public:
  std::string GetSetting(const std::string& appName, const std::string& section,
                         const std::string& key, const std::string& defaultValue) override;
  std::optional<std::vector<std::string>> Keys(const std::string& appName,
                                               const std::string& section) override;
  // Throws Failure when the file cannot be written (a read-only folder, a
  // file that is not INI).
  void SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                   const std::string& value) override;
};

}  // namespace tidewell
