// Reads the item files of a folder ahead of its items, a batch at a time,
// through io_uring: one system call opens, reads and closes a few dozen
// files, where reading them one at a time costs three calls a file, and the
// calls cost more than the reading. Internal to the vdir store.
//
//   ReadAhead ahead(dirFd, names);
//   std::optional<std::string> bytes = ahead.Take(0);  // reads names[0..31]
//   bytes = ahead.Take(1);                             // already read
//
// The files stay open from their first read to their second (as many as the
// open-file limit allows), so that reading a folder twice, once to count its
// components and once for its items, looks each name up once: the lookup
// and the open cost more than the bytes. The second read may therefore see
// the file as it was at the first, not a file renamed over it since; a save
// compares with the file on disk and tells such a change.
//
// Only what one plain read would give is handed out: a .vcf or .ics file
// that came whole in one read shorter than the batch buffer. Anything else
// (a failure, a larger file, what is not a regular file) is left for the
// item to read itself, so that it fails there as it always did. Where
// io_uring is missing (an old kernel, a sandbox that forbids it) nothing is
// read ahead. Bytes read ahead may be a batch older than the item's first
// use; a save tells a change made since by the file's content.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>

#include "stores/vdir/folders.h"

namespace tidewell::vdir {

class ReadAhead {
 public:
  // `dirFd` and `names` must outlive this.
  ReadAhead(int dirFd, const NameList& names);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The bytes of names[index] when they were read ahead, once; nothing when
  // they were not. Asking for a name outside the current batch reads the
  // batch that starts there.
  std::optional<std::string> Take(size_t index);
  // The same bytes, seen in place rather than copied: valid until the next
  // call of either that reads another batch. Leaves them to be taken.
  std::optional<std::string_view> View(size_t index);

  // False where io_uring cannot be used: Take then always gives nothing.
  bool active() const { return ring_ != nullptr && !dead_; }

 private:
  struct Ring;

  void Fill(size_t first);
  // The batch slot of names_[index], reading its batch if need be; nothing
  // when the file was not read ahead or was taken.
  std::optional<unsigned> Slot(size_t index);
  // Where names_[i] stands in its two reads, for the files held open.
  enum class Held : unsigned char { kNotYet, kOpen, kClosed };

  int dir_fd_;
  const NameList& names_;
  std::unique_ptr<Ring> ring_;
  bool dead_ = false;  // the ring failed once and is not used again
  // A search is no use of the files: reading them leaves their access
  // times, which would otherwise cost an inode update (and a journal
  // write) of every file read for the first time since it changed.
  int no_atime_ = O_NOATIME;
  size_t first_ = 0;          // the batch: names_[first_, first_ + results_.size())
  std::vector<int> results_;  // bytes read into each slot's buffer; -1: none, or taken
  // names_[i] for i < held_.size() stays open in the ring's table from its
  // first read to its second.
  std::vector<Held> held_;
};

}  // namespace tidewell::vdir
