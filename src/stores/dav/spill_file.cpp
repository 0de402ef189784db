#include "stores/dav/spill_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "platform/failure.h"

namespace tidewell::dav {

std::shared_ptr<SpillFile> SpillFile::Make() {
  const char* dir = std::getenv("TMPDIR");
  for (const std::string& folder : {std::string(dir && *dir ? dir : "/tmp"), std::string("/tmp")}) {
    // O_TMPFILE never gives the bytes a name; where the file system cannot,
    // a name that is removed at once leaves the same file.
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
      std::string path = folder + "/tidewell-items-XXXXXX";
      fd = ::mkostemp(path.data(), O_CLOEXEC);
      if (fd >= 0) ::unlink(path.c_str());
    }
    if (fd >= 0) return std::make_shared<SpillFile>(fd);
  }
  return nullptr;
}

SpillFile::~SpillFile() { ::close(fd_); }

std::optional<Extent> SpillFile::Put(std::string_view bytes) {
  const Extent extent{end_, bytes.size()};
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(end_ + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    done += static_cast<size_t>(n);
  }
  end_ += bytes.size();
  return extent;
}

std::string SpillFile::Get(Extent extent) const {
  std::string bytes(extent.size, '\0');
  size_t done = 0;
  while (done < extent.size) {
    const ssize_t n = ::pread(fd_, bytes.data() + done, extent.size - done,
                              static_cast<off_t>(extent.offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      throw Failure(std::string("The item's bytes kept on disk could not be read back: ") +
                    (n < 0 ? std::strerror(errno) : "the file is shorter") + ".");
    }
    done += static_cast<size_t>(n);
  }
  return bytes;
}

}  // namespace tidewell::dav
