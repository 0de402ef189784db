#include "stores/vdir/durable_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

#include "platform/failure.h"

namespace tidewell::vdir {
namespace {

// Larger files are no contacts or events of a person; reading them whole
// would only cost memory.
constexpr off_t kMaxItemSize = off_t{64} * 1024 * 1024;

std::string ErrnoText(int err) { return std::strerror(err); }

void WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw Failure("The item cannot be written: " + ErrnoText(errno) + ".");
    }
    done += static_cast<size_t>(n);
  }
}

// Removes the temporary file unless the rename consumed it.
class TempFile {
 public:
  TempFile(int dirFd, std::string name, UniqueFd fd)
      : dir_fd_(dirFd), name_(std::move(name)), fd_(std::move(fd)) {}
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    if (!committed_) ::unlinkat(dir_fd_, name_.c_str(), 0);
  }
  int fd() const { return fd_.get(); }
  const std::string& name() const { return name_; }
  void Committed() { committed_ = true; }

 private:
  int dir_fd_;
  std::string name_;
  UniqueFd fd_;
  bool committed_ = false;
};

TempFile CreateTemp(int dirFd, const std::string& name, mode_t mode) {
  static std::atomic<unsigned> counter{0};
  // Names longer than NAME_MAX would fail; the item's name is only a hint.
  std::string base = "." + name.substr(0, 180) + "." + std::to_string(::getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temp = base + std::to_string(counter++) + ".tmp";
    int fd = ::openat(dirFd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      mode & 07777);
    if (fd >= 0) return TempFile(dirFd, temp, UniqueFd(fd));
    if (errno != EEXIST) {
      throw Failure("The item cannot be saved: a temporary file cannot be created (" +
                    ErrnoText(errno) + ").");
    }
  }
  throw Failure("The item cannot be saved: no free name for a temporary file.");
}

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.release();
  }
  return *this;
}

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) ::close(fd_);
}

int UniqueFd::release() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

FileStamp FileStamp::Of(const struct stat& st) {
  FileStamp s;
  s.device = st.st_dev;
  s.inode = st.st_ino;
  s.size = st.st_size;
  s.modified = st.st_mtim;
  s.mode = st.st_mode;
  s.owner = st.st_uid;
  s.group = st.st_gid;
  return s;
}

bool FileStamp::SameFileAs(const FileStamp& other) const {
  return device == other.device && inode == other.inode && size == other.size &&
         modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
}

namespace {

// Reads the rest of `fd` after the `done` bytes already in `bytes`, sizing
// the buffer from fstat: for a file too large for the first read, and for a
// read that fails or finds nothing, where the file's type tells why.
std::string ReadRest(int fd, std::string bytes, size_t done) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) throw Failure(ErrnoText(errno) + ".");
  if (!S_ISREG(st.st_mode)) throw Failure("it is not a regular file.");
  if (st.st_size > kMaxItemSize) throw Failure("it is larger than 64 MiB.");
  // One byte more than the size: a file that has not grown then comes in one
  // read, whose shortness shows its end without a second read.
  bytes.resize(std::max(done, static_cast<size_t>(st.st_size)) + 1);
  for (;;) {
    if (done == bytes.size()) bytes.resize(bytes.size() + 4096);
    const size_t wanted = bytes.size() - done;
    ssize_t n = ::read(fd, bytes.data() + done, wanted);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw Failure(ErrnoText(errno) + ".");
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
    if (done > static_cast<size_t>(kMaxItemSize)) throw Failure("it is larger than 64 MiB.");
    // A regular file gives less than asked only at its end.
    if (static_cast<size_t>(n) < wanted) break;
  }
  bytes.resize(done);
  return bytes;
}

}  // namespace

std::string ReadItemFile(int dirFd, const std::string& name) {
  // O_NONBLOCK: a FIFO put in place of an item must not hang the run.
  UniqueFd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  if (!fd.valid()) {
    if (errno == ELOOP) throw Failure("it is a symbolic link.");
    throw Failure(ErrnoText(errno) + ".");
  }
  // Nearly every item is a few kilobytes and comes whole in one read into a
  // buffer kept for the next: a run reads every file once, and asking each
  // file's size first would cost a system call as dear as the read.
  constexpr size_t kFirstRead = size_t{64} * 1024;
  static thread_local std::unique_ptr<char[]> buffer(new char[kFirstRead]);
  ssize_t n;
  do {
    n = ::read(fd.get(), buffer.get(), kFirstRead);
  } while (n < 0 && errno == EINTR);
  if (n > 0 && static_cast<size_t>(n) < kFirstRead) {
    return std::string(buffer.get(), static_cast<size_t>(n));
  }
  const size_t done = n > 0 ? static_cast<size_t>(n) : 0;
  return ReadRest(fd.get(), std::string(buffer.get(), done), done);
}

FileStamp StampIfUnchanged(int dirFd, const std::string& name, std::string_view bytes) {
  UniqueFd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  struct stat st {};
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0) throw Failure(kChangedByAnotherProgram);
  if (!S_ISREG(st.st_mode)) throw Failure("it is not a regular file.");
  if (static_cast<size_t>(st.st_size) != bytes.size()) throw Failure(kChangedByAnotherProgram);
  // Compared piece by piece: a large item is not held a second time.
  constexpr size_t kPiece = size_t{64} * 1024;
  const std::unique_ptr<char[]> piece(new char[kPiece]);
  size_t done = 0;
  for (;;) {
    const ssize_t n = ::read(fd.get(), piece.get(), kPiece);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw Failure(kChangedByAnotherProgram);
    const auto got = static_cast<size_t>(n);
    // More than was read, also a file grown since its status was asked,
    // is another program's.
    if (got > bytes.size() - done || bytes.compare(done, got, piece.get(), got) != 0) {
      throw Failure(kChangedByAnotherProgram);
    }
    done += got;
    // A regular file gives less than asked only at its end.
    if (got < kPiece) break;
  }
  if (done != bytes.size()) throw Failure(kChangedByAnotherProgram);
  return FileStamp::Of(st);
}

void ReplaceItemFile(int dirFd, const std::string& name, const std::string& bytes,
                     const FileStamp& expected, WriteAheadLog* wal) {
  TempFile temp = CreateTemp(dirFd, name, expected.mode);
  // The umask may have narrowed the mode at creation.
  if (::fchmod(temp.fd(), expected.mode & 07777) != 0) {
    throw Failure("The item cannot be saved: " + ErrnoText(errno) + ".");
  }
  struct stat created {};
  if (::fstat(temp.fd(), &created) == 0 &&
      (created.st_uid != expected.owner || created.st_gid != expected.group)) {
    // Only a privileged process can give the file back to its owner; anyone
    // else saves it as their own, as any editor would.
    if (::fchown(temp.fd(), expected.owner, expected.group) == 0) {
      ::fchmod(temp.fd(), expected.mode & 07777);
    }
  }
  WriteAll(temp.fd(), bytes);
  if (::fsync(temp.fd()) != 0) {
    throw Failure("The item cannot be saved: " + ErrnoText(errno) + ".");
  }

  struct stat current {};
  if (::fstatat(dirFd, name.c_str(), &current, AT_SYMLINK_NOFOLLOW) != 0 ||
      !FileStamp::Of(current).SameFileAs(expected)) {
    throw Failure(kChangedByAnotherProgram);
  }
  if (wal != nullptr) wal->Sync();
  if (::renameat(dirFd, temp.name().c_str(), dirFd, name.c_str()) != 0) {
    throw Failure("The item cannot be saved: " + ErrnoText(errno) + ".");
  }
  temp.Committed();
  if (::fsync(dirFd) != 0) {
    throw Failure("The item was saved, but its folder could not be synced: " + ErrnoText(errno) +
                  ".");
  }
}

}  // namespace tidewell::vdir
