#include "adapters/settings/settings_lock.h"

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tidewell {

namespace {

constexpr auto kStaleAfter = std::chrono::seconds(30);

std::string Trimmed(std::string text) {
  const char* blanks = " \t\n\r\f\v";
  text.erase(text.find_last_not_of(blanks) + 1);
  text.erase(0, text.find_first_not_of(blanks));
  return text;
}

std::string FileText(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string MachineId() {
  std::string id = Trimmed(FileText("/etc/machine-id"));
  return id.empty() ? Trimmed(FileText("/var/lib/dbus/machine-id")) : id;
}

std::string BootId() { return Trimmed(FileText("/proc/sys/kernel/random/boot_id")); }

std::string HostName() {
  char name[256] = {};
  return ::gethostname(name, sizeof name - 1) == 0 ? name : "";
}

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The file name of the process's program, "/ERROR/" when it cannot be read.
std::string ProcessName(long long pid) {
  const std::string link = "/proc/" + std::to_string(pid) + "/exe";
  char target[4096];
  const ssize_t length = ::readlink(link.c_str(), target, sizeof target);
  if (length <= 0) return "/ERROR/";
  std::string path(target, size_t(length));
  constexpr std::string_view kDeleted = " (deleted)";
  if (path.ends_with(kDeleted)) path.resize(path.size() - kDeleted.size());
  return BaseName(path);
}

// flock for the local file system, a POSIX lock for a network one; taken on
// a stale lock file before it is removed, so one held by a live QLockFile
// stays.
bool NativeLock(int fd) {
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return false;
  struct flock whole = {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  return ::fcntl(fd, F_SETLK, &whole) == 0;
}

bool IsApparentlyStale(const std::string& path) {
  std::istringstream lines(FileText(path.c_str()));
  std::string pid_line, app, host, host_id, boot_id;
  std::getline(lines, pid_line);
  std::getline(lines, app);
  std::getline(lines, host);
  std::getline(lines, host_id);
  std::getline(lines, boot_id);
  char* end = nullptr;
  const long long pid = std::strtoll(pid_line.c_str(), &end, 10);
  if (!pid_line.empty() && *end == '\0' && pid > 0) {
    bool same_host = host.empty() || host == HostName();
    if (!host_id.empty()) {
      const std::string ours = MachineId();
      if (!ours.empty()) same_host = ours == host_id;
    }
    if (same_host) {
      if (!boot_id.empty() && boot_id != BootId()) return true;
      if (::kill(pid_t(pid), 0) == -1 && errno == ESRCH) return true;
      if (ProcessName(pid) != BaseName(app)) return true;  // the id went to another program
    }
  }
  struct stat info = {};
  if (::stat(path.c_str(), &info) != 0) return false;
  const auto modified = std::chrono::system_clock::from_time_t(info.st_mtim.tv_sec);
  const auto age = std::chrono::system_clock::now() - modified;
  return age > kStaleAfter || age < -kStaleAfter;
}

bool RemoveStaleLock(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool removed = NativeLock(fd) && ::unlink(path.c_str()) == 0;
  ::close(fd);
  return removed;
}

enum class Attempt { kLocked, kBusy, kRefused };

// One try, removing a stale lock first when `remove_stale` allows it.
Attempt TryLock(const std::string& path, int& fd, bool remove_stale) {
  for (;;) {
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) break;
    if (errno != EEXIST) return Attempt::kRefused;
    if (!remove_stale || !IsApparentlyStale(path)) return Attempt::kBusy;
    // Two processes must not remove it at once: one could remove the
    // other's new lock.
    const std::string rmlock = path + ".rmlock";
    int rm_fd = -1;
    if (TryLock(rmlock, rm_fd, false) != Attempt::kLocked) return Attempt::kBusy;
    const bool removed = IsApparentlyStale(path) && RemoveStaleLock(path);
    ::close(rm_fd);
    ::unlink(rmlock.c_str());
    if (!removed) return Attempt::kBusy;
  }
  NativeLock(fd);  // as QLockFile: a lock it cannot take does not stop it
  const std::string contents = std::to_string(::getpid()) + '\n' + ProcessName(::getpid()) + '\n' +
                               HostName() + '\n' + MachineId() + '\n' + BootId() + '\n';
  if (::write(fd, contents.data(), contents.size()) != ssize_t(contents.size())) {
    ::close(fd);
    ::unlink(path.c_str());
    fd = -1;
    return Attempt::kRefused;
  }
  ::fdatasync(fd);
  return Attempt::kLocked;
}

}  // namespace

bool SettingsLock::Lock() {
  auto pause = std::chrono::milliseconds(100);
  for (;;) {
    switch (TryLock(path_, fd_, true)) {
      case Attempt::kLocked:
        return true;
      case Attempt::kRefused:
        return false;
      case Attempt::kBusy:
        break;
    }
    std::this_thread::sleep_for(pause);
    if (pause < std::chrono::seconds(5)) pause *= 2;
  }
}

SettingsLock::~SettingsLock() {
  if (fd_ < 0) return;
  ::close(fd_);
  ::unlink(path_.c_str());
}

}  // namespace tidewell
