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
// read ahead. Bytes read ahead may be a few batches older than the item's
// first use; a save tells a change made since by the file's content.
//
// Two threads read the batches, each through a ring of its own (a file is
// always read through the same ring, which holds it open), one batch ahead
// of the one in use: a batch is read on the other core while the one before
// it is counted or searched. The threads touch nothing but their rings,
// the buffers and the list of names.
// Where no thread can be started the batches are read when asked for.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
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
  bool active() const { return !rings_.empty() && !dead_; }

 private:
  struct Ring;
  struct Set;

  // Makes batch `batch` the one in use, waiting for its read, and asks for
  // those after it.
  void Acquire(size_t batch);
  // Reads `set`'s batch through `ring`; on a thread, the ring's own.
  void Fill(Ring& ring, Set& set);
  void Work(size_t ring);
  void StartWorkers();
  // The batch slot of names_[index], reading its batch if need be; nothing
  // when the file was not read ahead or was taken.
  std::optional<unsigned> Slot(size_t index);
  // Where names_[i] stands in its two reads, for the files held open.
  enum class Held : unsigned char { kNotYet, kOpen, kClosed };

  int dir_fd_;
  const NameList& names_;
  size_t batches_;
  std::vector<std::unique_ptr<Ring>> rings_;  // batch b goes through rings_[b % size]
  std::vector<std::unique_ptr<Set>> sets_;    // batch b is read into sets_[b % size]
  std::atomic<bool> dead_ = false;            // a ring failed once and none is used again
  // A search is no use of the files: reading them leaves their access
  // times, which would otherwise cost an inode update (and a journal
  // write) of every file read for the first time since it changed.
  std::atomic<int> no_atime_ = O_NOATIME;
  std::optional<size_t> current_;  // the batch in use
  // names_[i] for i < held_.size() stays open in its ring's table from its
  // first read to its second. Each element is touched by its ring's reader
  // alone.
  std::vector<Held> held_;

  std::mutex mutex_;              // guards the sets' states and stop_
  std::condition_variable done_;  // a set was read
  bool stop_ = false;
  bool started_ = false;
  std::vector<std::thread> workers_;  // one a ring; none: read when asked for
};

}  // namespace tidewell::vdir
