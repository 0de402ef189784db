// Reads and parses a folder's item files on a thread of its own, a few items
// ahead of the run, so that a second core splits the lines of the next files
// while the run searches the current one. Internal to the vdir store.
//
//   ParseAhead ahead(dirFd, names, {0, 1, 2, 5});   // the files, in the order asked
//   std::unique_ptr<Document> first = ahead.Take(0);  // waits for it if need be
//
// Only what the run's own read and parse would give is handed out: a file
// that the read-ahead leaves to its item, or whose parse fails, gives
// nothing, and the item reads and parses it itself, failing there as it
// always did. The parse is the item's (Document's constructor) and touches
// nothing but the bytes. Like read-ahead bytes, a document may be a few
// items older than its item's first use; a save tells a change made since by
// the file's content.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "formats/document.h"
#include "stores/vdir/folders.h"
#include "stores/vdir/read_ahead.h"

namespace tidewell::vdir {

class ParseAhead {
 public:
  // `dirFd` and `names` must outlive this; `files` index `names`, ascending.
  // `ahead`, when given, is the read-ahead to read them with (its buffers
  // reused); it is used on the thread alone from then on.
  ParseAhead(int dirFd, const NameList& names, std::vector<uint32_t> files,
             std::unique_ptr<ReadAhead> ahead = nullptr);
  // Stops the thread and waits for it.
  ~ParseAhead();
  ParseAhead(const ParseAhead&) = delete;
  ParseAhead& operator=(const ParseAhead&) = delete;

  // The document of names[file], once; nothing when it was not parsed ahead,
  // or when a file after it was asked for first.
  std::unique_ptr<Document> Take(uint32_t file);

 private:
  void Work();

  const int dir_fd_;
  const NameList& names_;
  const std::vector<uint32_t> files_;
  std::unique_ptr<ReadAhead> ahead_;
  std::mutex mutex_;
  std::condition_variable changed_;
  // Parsed and not yet taken, in file order; nullptr for a file left to its item.
  std::deque<std::pair<uint32_t, std::unique_ptr<Document>>> ready_;
  bool done_ = false;  // the thread has put its last file in ready_
  bool stop_ = false;
  bool worker_waiting_ = false;  // for room in ready_
  bool taker_waiting_ = false;   // for a file in ready_
  std::thread thread_;           // last: started once the rest is there
};

}  // namespace tidewell::vdir
