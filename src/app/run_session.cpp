#include "app/run_session.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tidewell {

namespace {

constexpr const char* kLockName = "activity.lock";

[[noreturn]] void Fail(const char* action, const std::filesystem::path& path, int error) {
  throw Failure(std::string("Cannot ") + action + " '" + path.string() +
                "': " + std::strerror(error));
}

// The pid the holder wrote; 0 while it has not written it yet.
long HolderPid(int fd) {
  char text[32] = {};
  const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
  if (got <= 0) return 0;
  return std::strtol(text, nullptr, 10);
}

// A kill or a full disk can leave a last line without its break; the next
// line written would be glued onto it and both lost.
void EndTornLine(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return;
    Fail("open", path, errno);
  }
  struct stat st {};
  char last = '\n';
  if (::fstat(fd, &st) == 0 && st.st_size > 0) {
    if (::pread(fd, &last, 1, st.st_size - 1) != 1) last = '\n';
  }
  const int error = last != '\n' && ::write(fd, "\n", 1) != 1 ? errno : 0;
  ::close(fd);
  if (error != 0) Fail("write to", path, error);
}

}  // namespace

RunInProgress::RunInProgress(long pid)
    : Failure("Another Tidewell run (pid " + std::to_string(pid) + ") is in progress."),
      pid_(pid) {}

RunSession::RunSession(Logbook& logbook, const RunWait& wait, const Retention& retention)
    : logbook_(logbook) {
  const std::filesystem::path& folder = logbook.Folder();
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) Fail("create", folder, error.value());
  const std::filesystem::path lock = folder / kLockName;
  lock_fd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lock_fd_ < 0) Fail("open", lock, errno);

  bool told = false;
  while (::flock(lock_fd_, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) {
      const int failed = errno;
      ::close(lock_fd_);
      Fail("lock", lock, failed);
    }
    // The holder writes its pid just after it took the lock.
    long pid = HolderPid(lock_fd_);
    for (int tries = 0; pid == 0 && tries < 20; ++tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      pid = HolderPid(lock_fd_);
    }
    if (wait.waiting == nullptr) {
      ::close(lock_fd_);
      throw RunInProgress(pid);
    }
    if (!told) {
      *wait.waiting << "Waiting for another Tidewell run (pid " << pid << ") to finish..."
                    << std::endl;
      told = true;
    }
    if (wait.stop && wait.stop()) {
      ::close(lock_fd_);
      throw RunWaitStopped();
    }
    // Polled rather than blocking in flock, so a stop request is heard.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }

  char pid[24];
  const int length = std::snprintf(pid, sizeof pid, "%-20ld\n", static_cast<long>(::getpid()));
  // Fixed width and no truncation: a waiter never reads a half-written pid.
  [[maybe_unused]] const ssize_t written = ::pwrite(lock_fd_, pid, static_cast<size_t>(length), 0);

  try {
    EndTornLine(logbook.ActivityPath());
    EndTornLine(logbook.ErrorsPath());
  } catch (...) {
    ::close(lock_fd_);
    throw;
  }
  // The index and the rotation only spare the readers work: a run goes on
  // without them (a full disk), and the next one catches up.
  try {
    runs_ = MaintainJournal(logbook, retention);
  } catch (const std::exception&) {
    runs_ = ListRuns(logbook);
  }
  logbook.CloseFiles();
  std::error_code size_error;
  const auto size = std::filesystem::file_size(logbook.ActivityPath(), size_error);
  start_ = size_error ? 0 : static_cast<uint64_t>(size);
  id_ = MakeRunId();
  logbook_.SetRun(id_);
}

RunSession::~RunSession() {
  logbook_.SetRun("");
  try {
    IndexRun(logbook_, id_, start_);
  } catch (const std::exception&) {
  }
  // Closing the descriptor lets the next run in.
  ::close(lock_fd_);
}

}  // namespace tidewell
