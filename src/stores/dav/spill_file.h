// Item bytes a folder's listing keeps on disk rather than in memory, so that
// a folder of any size costs the same memory and is still read from the
// server only once.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tidewell::dav {

// Where one item's bytes lie in a SpillFile.
struct Extent {
  uint64_t offset = 0;
  size_t size = 0;
};

// An unlinked file in $TMPDIR (else /tmp), open to the user alone and gone
// when the last reference closes it, or when the process dies.
class SpillFile {
 public:
  // Nothing when no such file can be made (no writable folder): the caller
  // then fetches the items it could not keep again when it reaches them.
  static std::shared_ptr<SpillFile> Make();
  explicit SpillFile(int fd) : fd_(fd) {}
  ~SpillFile();
  SpillFile(const SpillFile&) = delete;
  SpillFile& operator=(const SpillFile&) = delete;

  // Appends `bytes`; nothing when they could not all be written (a full
  // disk), and the file is then left as it was for the next Put.
  std::optional<Extent> Put(std::string_view bytes);

  // The bytes Put returned `extent` for. Throws Failure when they cannot be
  // read back whole.
  std::string Get(Extent extent) const;

 private:
  int fd_;
  uint64_t end_ = 0;
};

}  // namespace tidewell::dav
