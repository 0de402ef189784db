#include "stores/vdir/read_ahead.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <liburing.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

namespace tidewell::vdir {
namespace {

constexpr unsigned kBatch = 32;
// What ReadItemFile takes in its first read: a file this size or larger is
// left to it, which asks the file's size.
constexpr unsigned kBufferSize = 64 * 1024;
// Two rings, one a core; two batches in hand, the one in use and the next,
// read through the other ring. A third, so that both rings read while the
// count scans a batch, made a run that finds nothing no faster on an idle
// machine (0.93 and 0.92 of the time read on one thread) and cost 0.5
// MiB more at its peak.
constexpr size_t kRings = 2;
constexpr size_t kSets = 2;
// What a slot keeps of the pages a read wrote in it. Each slot sees hundreds
// of files over a folder, and would otherwise keep as many pages as the
// largest of them took: 5 a slot on a typical address book, 2 MiB over the
// sets, where most files fit in one page.
constexpr unsigned kKept = 4 * 1024;

enum Step : uint64_t { kOpen, kRead, kClose };

uint64_t Tag(Step step, unsigned slot) { return static_cast<uint64_t>(slot) << 2 | step; }

bool IsItemFile(std::string_view name) {
  auto ends_with = [&](std::string_view suffix) {
    if (name.size() < suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
      char c = name[name.size() - suffix.size() + i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      if (c != suffix[i]) return false;
    }
    return true;
  };
  return ends_with(".vcf") || ends_with(".ics");
}

// Registers a table of the batch's slots and up to `files` more, and returns
// how many more: 0 with a table of the batch's slots alone, nothing when
// the kernel takes no table at all. The kernel bounds a table by the soft
// open-file limit, which exists for select(2) and its 1,024 descriptors: it
// is raised to the hard limit for the registration only, so that children
// started later inherit it unchanged.
std::optional<size_t> RegisterTable(io_uring& ring, size_t files) {
  // The kernel's own bound on a table, and a margin.
  constexpr rlim_t kTableMax = rlim_t{1} << 20;
  struct rlimit limit {};
  if (files > 0 && ::getrlimit(RLIMIT_NOFILE, &limit) == 0) {
    const rlim_t room = std::min(limit.rlim_max, kTableMax);
    const size_t held = room > kBatch + 64 ? std::min<size_t>(files, room - kBatch - 64) : 0;
    struct rlimit raised = limit;
    raised.rlim_cur = std::max<rlim_t>(limit.rlim_cur, std::min<rlim_t>(room, kBatch + held));
    const bool changed = raised.rlim_cur != limit.rlim_cur;
    if (held > 0 && (!changed || ::setrlimit(RLIMIT_NOFILE, &raised) == 0)) {
      const int registered =
          io_uring_register_files_sparse(&ring, static_cast<unsigned>(kBatch + held));
      if (changed) ::setrlimit(RLIMIT_NOFILE, &limit);
      if (registered == 0) return held;
    }
  }
  int empty[kBatch];
  for (int& fd : empty) fd = -1;
  if (io_uring_register_files(&ring, empty, kBatch) != 0) return std::nullopt;
  return 0;
}

}  // namespace

struct ReadAhead::Ring {
  io_uring ring{};
  bool live = false;
  size_t held = 0;                // table slots past the batch's, one a file of the folder
  std::condition_variable asked;  // for the ring's reader: a set was asked of it, or stop_

  explicit Ring(size_t files) {
    if (io_uring_queue_init(4 * kBatch, &ring, 0) != 0) return;
    live = true;
    // Direct descriptors: the files opened live only in the ring's own
    // table, one slot each, never in the process's.
    const std::optional<size_t> table = RegisterTable(ring, files);
    if (table) {
      held = *table;
    } else {
      io_uring_queue_exit(&ring);
      live = false;
    }
  }
  ~Ring() {
    if (live) io_uring_queue_exit(&ring);
  }
  Ring(const Ring&) = delete;
  Ring& operator=(const Ring&) = delete;
};

struct ReadAhead::Set {
  enum class State : unsigned char { kIdle, kAsked, kReading, kRead };
  State state = State::kIdle;
  size_t batch = 0;
  std::vector<int> results;  // bytes read into each slot's buffer; -1: none, or taken
  std::unique_ptr<char[]> buffers{new char[size_t{kBatch} * kBufferSize]};
  std::array<unsigned, kBatch> written{};  // bytes of each slot's pages in use since given back

  // Room for a batch from the start: a reader allocates nothing, so that
  // it cannot fail but through its ring.
  Set() { results.reserve(kBatch); }

  char* buffer(unsigned slot) { return buffers.get() + size_t{slot} * kBufferSize; }

  // Gives back the pages past kKept that a large file left in a slot: only
  // the whole pages inside the slot, whatever the buffer's alignment. A
  // failure leaves them in use, which costs memory and nothing else.
  void GiveBackLargeSlots() {
    static const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    for (unsigned slot = 0; slot < kBatch; ++slot) {
      if (written[slot] <= kKept) continue;
      const auto at = reinterpret_cast<uintptr_t>(buffer(slot));
      const uintptr_t from = (at + kKept + page - 1) & ~(page - 1);
      const uintptr_t to = (at + written[slot]) & ~(page - 1);
      if (from < to) madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
      written[slot] = kKept;
    }
  }
};

ReadAhead::ReadAhead(int dirFd, const NameList& names)
    : dir_fd_(dirFd), names_(names), batches_((names.size() + kBatch - 1) / kBatch) {
  size_t held = names.size();
  for (size_t r = 0; r < kRings; ++r) {
    auto ring = std::make_unique<Ring>(names.size());
    if (!ring->live) {
      rings_.clear();
      return;
    }
    held = std::min(held, ring->held);
    rings_.push_back(std::move(ring));
  }
  held_.assign(held, Held::kNotYet);
  for (size_t s = 0; s < kSets; ++s) sets_.push_back(std::make_unique<Set>());
}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
    for (const std::unique_ptr<Ring>& ring : rings_) ring->asked.notify_one();
  }
  // A reader finishes the batch it reads: the kernel may hold its requests.
  for (std::thread& worker : workers_) worker.join();
}

void ReadAhead::StartWorkers() {
  started_ = true;
  // The readers take no signal: SIGINT and SIGTERM stay the main thread's.
  sigset_t all, old;
  sigfillset(&all);
  if (pthread_sigmask(SIG_SETMASK, &all, &old) != 0) return;
  try {
    for (size_t r = 0; r < rings_.size(); ++r) workers_.emplace_back(&ReadAhead::Work, this, r);
  } catch (const std::system_error&) {
    // Without a reader for every ring, none: the batches are read when
    // asked for.
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
      for (const std::unique_ptr<Ring>& ring : rings_) ring->asked.notify_one();
    }
    for (std::thread& worker : workers_) worker.join();
    workers_.clear();
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void ReadAhead::Work(size_t ring) {
  std::unique_lock lock(mutex_);
  for (;;) {
    Set* next = nullptr;
    rings_[ring]->asked.wait(lock, [&] {
      if (stop_) return true;
      // The earliest batch asked of this ring: the one in use waits on it.
      for (const std::unique_ptr<Set>& set : sets_) {
        if (set->state == Set::State::kAsked && set->batch % rings_.size() == ring &&
            (next == nullptr || set->batch < next->batch)) {
          next = set.get();
        }
      }
      return next != nullptr;
    });
    if (stop_) return;
    next->state = Set::State::kReading;
    lock.unlock();
    Fill(*rings_[ring], *next);
    lock.lock();
    next->state = Set::State::kRead;
    done_.notify_all();
  }
}

void ReadAhead::Acquire(size_t batch) {
  if (!started_) StartWorkers();
  Set& wanted = *sets_[batch % sets_.size()];
  if (workers_.empty()) {
    current_ = batch;
    wanted.batch = batch;
    Fill(*rings_[batch % rings_.size()], wanted);
    return;
  }
  std::unique_lock lock(mutex_);
  const auto ask = [&](size_t b) {
    if (b >= batches_) return;
    Set& set = *sets_[b % sets_.size()];
    set.batch = b;
    set.state = Set::State::kAsked;
    rings_[b % rings_.size()]->asked.notify_one();
  };
  if (current_ && batch > *current_ && batch < *current_ + sets_.size()) {
    // Onwards: the batches passed make room for as many more ahead, and
    // those between were asked for when they came into reach, after any
    // earlier use of theirs. A batch passed over may still be in a reader's
    // hands: its set is given another once the reader is done with it.
    done_.wait(lock, [&] {
      for (size_t passed = *current_ + 1; passed < batch; ++passed) {
        if (sets_[passed % sets_.size()]->state == Set::State::kReading) return false;
      }
      return true;
    });
    for (size_t passed = *current_; passed < batch; ++passed) {
      sets_[passed % sets_.size()]->state = Set::State::kIdle;
      ask(passed + sets_.size());
    }
  } else {
    // Elsewhere: what is read ahead is read again from there.
    done_.wait(lock, [&] {
      return std::none_of(sets_.begin(), sets_.end(), [](const std::unique_ptr<Set>& set) {
        return set->state == Set::State::kReading;
      });
    });
    for (const std::unique_ptr<Set>& set : sets_) set->state = Set::State::kIdle;
    for (size_t b = batch; b < batch + sets_.size(); ++b) ask(b);
  }
  current_ = batch;
  done_.wait(lock, [&] { return wanted.state == Set::State::kRead; });
}

std::optional<unsigned> ReadAhead::Slot(size_t index) {
  if (!active() || index >= names_.size()) return std::nullopt;
  const size_t batch = index / kBatch;
  if (current_ != batch) Acquire(batch);
  const Set& set = *sets_[batch % sets_.size()];
  const auto slot = static_cast<unsigned>(index - batch * kBatch);
  if (slot >= set.results.size() || set.results[slot] < 0) return std::nullopt;
  return slot;
}

std::optional<std::string> ReadAhead::Take(size_t index) {
  const std::optional<unsigned> slot = Slot(index);
  if (!slot) return std::nullopt;
  Set& set = *sets_[*current_ % sets_.size()];
  const size_t size = static_cast<size_t>(std::exchange(set.results[*slot], -1));
  return std::string(set.buffer(*slot), size);
}

std::optional<std::string_view> ReadAhead::View(size_t index) {
  const std::optional<unsigned> slot = Slot(index);
  if (!slot) return std::nullopt;
  Set& set = *sets_[*current_ % sets_.size()];
  return std::string_view(set.buffer(*slot), static_cast<size_t>(set.results[*slot]));
}

void ReadAhead::Fill(Ring& reader, Set& set) {
  const size_t first = set.batch * kBatch;
  set.results.assign(std::min<size_t>(kBatch, names_.size() - first), -1);
  // Once a ring failed, no other reads either.
  if (dead_) return;
  set.GiveBackLargeSlots();
  io_uring& ring = reader.ring;
  std::array<int, kBatch> read;
  read.fill(-1);
  const int no_atime = no_atime_;
  unsigned expected = 0;
  for (unsigned slot = 0; slot < set.results.size(); ++slot) {
    const std::string_view name = names_[first + slot];
    if (!IsItemFile(name)) continue;
    // A held file has a table slot of its own; the others share the batch's.
    const size_t file = first + slot;
    const bool held = file < held_.size() && held_[file] != Held::kClosed;
    const auto table = static_cast<unsigned>(held ? kBatch + file : slot);
    // Each step is hard-linked to the one before, so a failed open or read
    // still reaches the close (which then finds nothing to close at worst),
    // and every slot ends the batch empty. O_NONBLOCK: a FIFO must not hang
    // the batch. The names end in a NUL in their list.
    if (!held || held_[file] == Held::kNotYet) {
      io_uring_sqe* open = io_uring_get_sqe(&ring);
      io_uring_prep_openat_direct(open, dir_fd_, name.data(),
                                  O_RDONLY | O_NOFOLLOW | O_NONBLOCK | no_atime, 0, table);
      open->flags |= IOSQE_IO_HARDLINK;
      io_uring_sqe_set_data64(open, Tag(kOpen, slot));
      ++expected;
    }
    io_uring_sqe* rd = io_uring_get_sqe(&ring);
    io_uring_prep_read(rd, static_cast<int>(table), set.buffer(slot), kBufferSize, 0);
    rd->flags |= IOSQE_FIXED_FILE;
    io_uring_sqe_set_data64(rd, Tag(kRead, slot));
    ++expected;
    if (held && held_[file] == Held::kNotYet) {
      // Left open for the second read; a failed open leaves the slot empty,
      // and that read fails alike.
      held_[file] = Held::kOpen;
      continue;
    }
    if (held) held_[file] = Held::kClosed;
    rd->flags |= IOSQE_IO_HARDLINK;
    io_uring_sqe* close = io_uring_get_sqe(&ring);
    io_uring_prep_close_direct(close, table);
    io_uring_sqe_set_data64(close, Tag(kClose, slot));
    ++expected;
  }
  if (expected == 0) return;
  int submitted;
  do {
    submitted = io_uring_submit(&ring);
  } while (submitted == -EINTR);
  bool trusted = static_cast<unsigned>(submitted) == expected;
  for (unsigned seen = 0; submitted > 0 && seen < static_cast<unsigned>(submitted);) {
    io_uring_cqe* cqe = nullptr;
    const int waited = io_uring_wait_cqe(&ring, &cqe);
    if (waited == -EINTR) continue;
    if (waited < 0) {
      trusted = false;
      break;
    }
    const uint64_t tag = io_uring_cqe_get_data64(cqe);
    const auto slot = static_cast<unsigned>(tag >> 2);
    if ((tag & 3) == kRead) {
      read[slot] = cqe->res;
      if (cqe->res > 0) {
        set.written[slot] = std::max(set.written[slot], static_cast<unsigned>(cqe->res));
      }
    }
    // A kernel without direct opens (before 5.15) refuses every one.
    if ((tag & 3) == kOpen && cqe->res == -EINVAL) trusted = false;
    // O_NOATIME is the owner's: the files of another are opened without it
    // from now on, and those of this batch (and of one read beside it) are
    // read by their items.
    if ((tag & 3) == kOpen && cqe->res == -EPERM) no_atime_ = 0;
    io_uring_cqe_seen(&ring, cqe);
    ++seen;
  }
  if (!trusted) {
    // Read nothing ahead from now on; the rings and the buffers stay until
    // this is destroyed, in case the kernel still holds a request.
    dead_ = true;
    set.results.clear();
    return;
  }
  for (unsigned slot = 0; slot < set.results.size(); ++slot) {
    // A regular file gives less than asked only at its end, so a shorter
    // read holds it whole; an empty one is left for the item, which tells an
    // empty file from what is not a file.
    if (read[slot] > 0 && static_cast<unsigned>(read[slot]) < kBufferSize) {
      set.results[slot] = read[slot];
    }
  }
}

}  // namespace tidewell::vdir
