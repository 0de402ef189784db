#include "stores/vdir/read_ahead.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <liburing.h>

namespace tidewell::vdir {
namespace {

constexpr unsigned kBatch = 32;
// What ReadItemFile takes in its first read: a file this size or larger is
// left to it, which asks the file's size.
constexpr unsigned kBufferSize = 64 * 1024;

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

}  // namespace

struct ReadAhead::Ring {
  io_uring ring{};
  bool live = false;
  std::unique_ptr<char[]> buffers{new char[size_t{kBatch} * kBufferSize]};

  char* buffer(unsigned slot) { return buffers.get() + size_t{slot} * kBufferSize; }

  Ring() {
    if (io_uring_queue_init(4 * kBatch, &ring, 0) != 0) return;
    live = true;
    // Direct descriptors: the files opened in a batch live only in the
    // ring's own table, one slot each, never in the process's.
    int empty[kBatch];
    for (int& fd : empty) fd = -1;
    if (io_uring_register_files(&ring, empty, kBatch) != 0) {
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

ReadAhead::ReadAhead(int dirFd, const NameList& names) : dir_fd_(dirFd), names_(names) {
  auto ring = std::make_unique<Ring>();
  if (ring->live) ring_ = std::move(ring);
}

ReadAhead::~ReadAhead() = default;

std::optional<unsigned> ReadAhead::Slot(size_t index) {
  if (!active() || index >= names_.size()) return std::nullopt;
  if (index < first_ || index >= first_ + results_.size()) Fill(index);
  if (index < first_ || index - first_ >= results_.size()) return std::nullopt;
  const auto slot = static_cast<unsigned>(index - first_);
  if (results_[slot] < 0) return std::nullopt;
  return slot;
}

std::optional<std::string> ReadAhead::Take(size_t index) {
  const std::optional<unsigned> slot = Slot(index);
  if (!slot) return std::nullopt;
  const size_t size = static_cast<size_t>(std::exchange(results_[*slot], -1));
  return std::string(ring_->buffer(*slot), size);
}

std::optional<std::string_view> ReadAhead::View(size_t index) {
  const std::optional<unsigned> slot = Slot(index);
  if (!slot) return std::nullopt;
  return std::string_view(ring_->buffer(*slot), static_cast<size_t>(results_[*slot]));
}

void ReadAhead::Fill(size_t first) {
  first_ = first;
  results_.assign(std::min<size_t>(kBatch, names_.size() - first), -1);
  io_uring& ring = ring_->ring;
  std::vector<int> read(results_.size(), -1);
  unsigned expected = 0;
  for (unsigned slot = 0; slot < results_.size(); ++slot) {
    const std::string_view name = names_[first + slot];
    if (!IsItemFile(name)) continue;
    // Each step is hard-linked to the one before, so a failed open or read
    // still reaches the close (which then finds nothing to close at worst),
    // and every slot ends the batch empty. O_NONBLOCK: a FIFO must not hang
    // the batch. The names end in a NUL in their list.
    io_uring_sqe* open = io_uring_get_sqe(&ring);
    io_uring_prep_openat_direct(open, dir_fd_, name.data(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK, 0,
                                slot);
    open->flags |= IOSQE_IO_HARDLINK;
    io_uring_sqe_set_data64(open, Tag(kOpen, slot));
    io_uring_sqe* rd = io_uring_get_sqe(&ring);
    io_uring_prep_read(rd, static_cast<int>(slot), ring_->buffer(slot), kBufferSize, 0);
    rd->flags |= IOSQE_FIXED_FILE | IOSQE_IO_HARDLINK;
    io_uring_sqe_set_data64(rd, Tag(kRead, slot));
    io_uring_sqe* close = io_uring_get_sqe(&ring);
    io_uring_prep_close_direct(close, slot);
    io_uring_sqe_set_data64(close, Tag(kClose, slot));
    expected += 3;
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
    if ((tag & 3) == kRead) read[slot] = cqe->res;
    // A kernel without direct opens (before 5.15) refuses every one.
    if ((tag & 3) == kOpen && cqe->res == -EINVAL) trusted = false;
    io_uring_cqe_seen(&ring, cqe);
    ++seen;
  }
  if (!trusted) {
    // Read nothing ahead from now on; the ring and its buffers stay until
    // this is destroyed, in case the kernel still holds a request.
    dead_ = true;
    results_.clear();
    return;
  }
  for (unsigned slot = 0; slot < results_.size(); ++slot) {
    // A regular file gives less than asked only at its end, so a shorter
    // read holds it whole; an empty one is left for the item, which tells an
    // empty file from what is not a file.
    if (read[slot] > 0 && static_cast<unsigned>(read[slot]) < kBufferSize) {
      results_[slot] = read[slot];
    }
  }
}

}  // namespace tidewell::vdir
