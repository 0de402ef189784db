// Reading and crash-safe replacing of item files, always relative to an open
// folder descriptor and never through a symlink. Internal to the vdir store.
#pragma once

#include <string>
#include <string_view>

#include <sys/stat.h>
#include <sys/types.h>

#include "platform/activity_logger.h"
#include "platform/failure.h"

namespace tidewell::vdir {

// An owned file descriptor (-1: none).
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd();

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release();

 private:
  int fd_ = -1;
};

// What says "this is still the file we read": device, inode, size and
// modification time; mode and owner are what a replacement must keep.
struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  struct timespec modified {};
  mode_t mode = 0;
  uid_t owner = 0;
  gid_t group = 0;

  static FileStamp Of(const struct stat& st);
  bool SameFileAs(const FileStamp& other) const;
};

// The whole content of the regular file `name` in the folder `dirFd`.
// Throws Failure(reason) when it is missing, a symlink, not a regular file,
// or cannot be read. A file of a few kilobytes costs an open, one read and a
// close: its status is asked only when the read does not end it, so what
// changed it since is told at save time by StampIfUnchanged.
std::string ReadItemFile(int dirFd, const std::string& name);

// The stamp of the file `name` in `dirFd` when it still holds exactly
// `bytes` (what was read of it before), for ReplaceItemFile's check that no
// other program changed it since. Throws Failure(kChangedByAnotherProgram)
// when it holds anything else or is gone, Failure("it is not a regular
// file.") when something else took its place.
FileStamp StampIfUnchanged(int dirFd, const std::string& name, std::string_view bytes);

// Replaces the file `name` in `dirFd` by `bytes` so that a crash at any
// moment leaves it wholly old or wholly new: a temporary file in the same
// folder (O_EXCL, a name starting with "." and ending ".tmp", the original's
// mode and owner) is written and fsynced; the original must still be the file
// described by `expected`, else it fails with "The item was changed by another
// program since it was read."; then `wal` (may be null) is synced, the
// temporary file is renamed over the original and the folder is fsynced.
// The temporary file never outlives a failure that the process survives.
void ReplaceItemFile(int dirFd, const std::string& name, const std::string& bytes,
                     const FileStamp& expected, WriteAheadLog* wal);

}  // namespace tidewell::vdir
