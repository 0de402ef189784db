#include "adapters/settings/ini_settings_store.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "adapters/settings/ini_file.h"
#include "adapters/settings/settings_lock.h"
#include "platform/failure.h"

namespace tidewell {

namespace {

namespace fs = std::filesystem;

constexpr const char* kOrganization = "Marrowby";

Failure CannotBeWritten(const std::string& path) {
  return Failure("The settings file '" + path + "' cannot be written.");
}

Failure NotASettingsFile(const std::string& path) {
  return Failure("The settings file '" + path + "' is not a settings file.");
}

// The file's bytes, "" when it is not there (nor its folder).
std::string ReadBytes(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 && (errno == ENOENT || errno == ENOTDIR)) return "";
  struct stat info = {};
  if (fd < 0 || ::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    if (fd >= 0) ::close(fd);
    throw CannotBeWritten(path);
  }
  std::string bytes;
  char buffer[16384];
  ssize_t got = 0;
  while ((got = ::read(fd, buffer, sizeof buffer)) > 0) bytes.append(buffer, size_t(got));
  ::close(fd);
  if (got < 0) throw CannotBeWritten(path);
  return bytes;
}

uint64_t Nanoseconds(const struct timespec& time) {
  return static_cast<uint64_t>(time.tv_sec) * 1000000000u + static_cast<uint64_t>(time.tv_nsec);
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += size_t(wrote);
  }
  return true;
}

// Written beside the file and renamed over it, so that a crash leaves the
// old file or the new one. An existing file's permissions carry over; a new
// one gets 0666 less the umask.
void Replace(const std::string& path, const std::string& bytes) {
  struct stat old = {};
  const bool existed = ::stat(path.c_str(), &old) == 0;
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temporary = path + '.' + std::to_string(::getpid()) + '.' + std::to_string(attempt);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) throw CannotBeWritten(path);
  const bool written = (!existed || ::fchmod(fd, old.st_mode & 07777) == 0) &&
                       WriteAll(fd, bytes) && ::fsync(fd) == 0;
  if (::close(fd) != 0 || !written || ::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    throw CannotBeWritten(path);
  }
  const int folder =
      ::open(fs::path(path).parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
}

}  // namespace

std::string IniSettingsStore::FilePath(const std::string& appName) {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  fs::path home;
  if (config != nullptr && *config != '\0') {
    home = config;
    if (home.is_relative()) home = fs::current_path() / home;
  } else {
    const char* user = std::getenv("HOME");
    home = fs::path(user != nullptr && *user != '\0' ? user : "/") / ".config";
  }
  std::string clean = (home / kOrganization / (appName + ".ini")).lexically_normal().string();
  if (clean.size() > 1 && clean.back() == '/') clean.pop_back();
  return clean;
}

const ini::Parsed& IniSettingsStore::Load(const std::string& path) {
  struct stat info = {};
  const bool present = ::stat(path.c_str(), &info) == 0;
  // Only a file that is there, or surely not there, is known again; any
  // other answer is left to the read, which tells what is wrong.
  const bool known = present || errno == ENOENT || errno == ENOTDIR;
  Read now{static_cast<uint64_t>(info.st_dev),
           static_cast<uint64_t>(info.st_ino),
           static_cast<uint64_t>(info.st_size),
           Nanoseconds(info.st_ctim),
           Nanoseconds(info.st_mtim),
           present,
           known,
           {}};
  Read& read = read_[path];
  const bool same =
      read.loaded && known && read.present == present &&
      (!present || (read.device == now.device && read.inode == now.inode && read.size == now.size &&
                    read.changed == now.changed && read.modified == now.modified));
  if (!same) {
    now.parsed = ini::Parse(ReadBytes(path));
    read = std::move(now);
  }
  if (read.parsed.broken_header) throw NotASettingsFile(path);
  return read.parsed;
}

std::string IniSettingsStore::GetSetting(const std::string& appName, const std::string& section,
                                         const std::string& key, const std::string& defaultValue) {
  const ini::Parsed& parsed = Load(FilePath(appName));
  const auto found = parsed.entries.find(ini::FullKey(section, key));
  if (found == parsed.entries.end()) return defaultValue;
  return ini::ValueText(found->second).value_or(defaultValue);
}

std::optional<std::vector<std::string>> IniSettingsStore::Keys(const std::string& appName,
                                                               const std::string& section) {
  return ini::ChildKeys(Load(FilePath(appName)).entries, section);
}

void IniSettingsStore::SaveSetting(const std::string& appName, const std::string& section,
                                   const std::string& key, const std::string& value) {
  const std::string path = FilePath(appName);
  const std::u16string full_key = ini::FullKey(section, key);
  if (full_key.empty()) return;  // QSettings ignores an empty key too
  // QSettings checks first that the file can be opened for writing, or
  // that its folder can be made.
  std::error_code error;
  if (fs::exists(path, error)) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) throw CannotBeWritten(path);
    ::close(fd);
  } else if (fs::create_directories(fs::path(path).parent_path(), error), error) {
    throw CannotBeWritten(path);
  }
  SettingsLock lock(path + ".lock");
  if (!lock.Lock()) throw CannotBeWritten(path);
  ini::Parsed parsed = ini::Parse(ReadBytes(path));
  if (parsed.broken_header || parsed.stray_line) throw NotASettingsFile(path);
  parsed.entries[full_key] = ini::TextValue(value);
  Replace(path, ini::Write(parsed.entries));
}

}  // namespace tidewell
