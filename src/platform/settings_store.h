// The per-user settings store: texts addressed by application name, section
// and key, kept between runs.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tidewell {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // The stored text, or `defaultValue` when the key is absent. Throws Failure
  // when the store cannot be read.
  virtual std::string GetSetting(const std::string& appName, const std::string& section,
                                 const std::string& key, const std::string& defaultValue) = 0;
  // Every key of the section, in no set order; nothing when the store cannot
  // list its keys, and the caller then asks for each key it may want. Lets a
  // reader of numbered keys visit the ones stored, whatever number a count
  // key claims. Throws Failure when the store cannot be read.
  virtual std::optional<std::vector<std::string>> Keys(const std::string& /*appName*/,
                                                       const std::string& /*section*/) {
    return std::nullopt;
  }
  // Creates or overwrites the key; durable on return. Nothing deletes a key.
  virtual void SaveSetting(const std::string& appName, const std::string& section,
                           const std::string& key, const std::string& value) = 0;
};

}  // namespace tidewell
