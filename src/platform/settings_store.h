// The per-user settings store: texts addressed by application name, section
// and key, kept between runs.
#pragma once

#include <string>

namespace tidewell {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // The stored text, or `defaultValue` when the key is absent. Throws Failure
  // when the store cannot be read.
  virtual std::string GetSetting(const std::string& appName, const std::string& section,
                                 const std::string& key, const std::string& defaultValue) = 0;
  // Creates or overwrites the key; durable on return. Nothing deletes a key.
  virtual void SaveSetting(const std::string& appName, const std::string& section,
                           const std::string& key, const std::string& value) = 0;
};

}  // namespace tidewell
