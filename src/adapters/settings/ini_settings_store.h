// The per-user settings store: the INI file QSettings keeps for
// QSettings(IniFormat, UserScope, "Marrowby", appName), read and written
// without Qt, so that the terminal program needs no Qt and the desktop
// program (on this store or on QSettings) shares the same file.
//
// Each call looks at the file and reads it anew when it changed (another
// inode, size or change time: every save replaces it by a rename), so a
// value written by another process is seen at the next read, and a run that
// reads a hundred settings parses the file once. A save takes QSettings' lock, rereads the file,
// sets its one key and replaces the file by a rename, so two processes writing different keys lose
// none. QSettings' fallback files (the organization's Marrowby.ini, /etc/xdg) are not read.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "adapters/settings/ini_file.h"
#include "platform/settings_store.h"

namespace tidewell {

class IniSettingsStore : public SettingsStore {
 public:
  // Throws Failure "The settings file '<path>' is not a settings file." for a
  // "[" line without "]", and "... cannot be written." for a file that is
  // there but cannot be read, as QSettings reports them.
  std::string GetSetting(const std::string& appName, const std::string& section,
                         const std::string& key, const std::string& defaultValue) override;
  // The section's keys, sorted.
  std::optional<std::vector<std::string>> Keys(const std::string& appName,
                                               const std::string& section) override;
  // Throws Failure "The settings file '<path>' cannot be written." when the
  // file or its folder cannot be written, and "... is not a settings file."
  // for a file with lines QSettings cannot read (a "[" without "]", a line
  // with no "=" that is no comment), which is then left as it is: QSettings
  // would write it anyway without those lines.
  void SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                   const std::string& value) override;

  // $XDG_CONFIG_HOME/Marrowby/<appName>.ini, or ~/.config/... when
  // XDG_CONFIG_HOME is unset or empty ("/" for an empty HOME); a relative
  // XDG_CONFIG_HOME is taken from the current folder, as Qt 6.4 takes it.
  // Without "." and ".." steps or doubled slashes.
  static std::string FilePath(const std::string& appName);

 private:
  // The file as last read, and what told it from another.
  struct Read {
    uint64_t device = 0, inode = 0, size = 0, changed = 0, modified = 0;
    bool present = false;
    bool loaded = false;
    ini::Parsed parsed;
  };
  const ini::Parsed& Load(const std::string& path);

  std::map<std::string, Read> read_;  // by path
};

}  // namespace tidewell
