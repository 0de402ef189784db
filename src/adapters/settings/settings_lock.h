// The lock QSettings takes around a save, so that a program on QSettings and
// this one never save the same file at once: QLockFile's "<file>.lock",
// made with O_EXCL and holding the process id, the program's name, the host
// name, the machine id and the boot id, one a line. A lock whose process is
// gone (or that is older than 30 seconds) is stale and is removed under
// "<file>.lock.rmlock", as QLockFile removes it.
//
//   SettingsLock lock(path + ".lock");
//   if (!lock.Lock()) ...;   // the folder cannot be written
//   ... reread, merge, replace the file ...
//   // the destructor removes the lock file
#pragma once

#include <string>

namespace tidewell {

class SettingsLock {
 public:
  explicit SettingsLock(std::string path) : path_(std::move(path)) {}
  ~SettingsLock();
  SettingsLock(const SettingsLock&) = delete;
  SettingsLock& operator=(const SettingsLock&) = delete;

  // Waits while another process holds the lock (100 ms, then twice as long
  // each time, up to 5 s between tries). False when the lock file cannot be
  // made for another reason than its being there.
  bool Lock();

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace tidewell
