#include "stores/vdir/parse_ahead.h"

#include <exception>
#include <optional>
#include <string>

namespace tidewell::vdir {
namespace {

// How far the thread may run ahead: a quarter of a read-ahead batch of
// parsed files, a few hundred KiB for the usual contact. Once there it waits
// until the run has taken half of them. Each side wakes the other only when
// it waits.
constexpr size_t kWindow = 8;
constexpr size_t kRefillAt = kWindow / 2;

}  // namespace

ParseAhead::ParseAhead(int dirFd, const NameList& names, std::vector<uint32_t> files,
                       std::unique_ptr<ReadAhead> ahead)
    : dir_fd_(dirFd),
      names_(names),
      files_(std::move(files)),
      ahead_(std::move(ahead)),
      thread_([this] { Work(); }) {}

ParseAhead::~ParseAhead() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void ParseAhead::Work() {
  try {
    if (!ahead_) ahead_ = std::make_unique<ReadAhead>(dir_fd_, names_);
    for (const uint32_t file : files_) {
      {
        std::unique_lock lock(mutex_);
        if (ready_.size() >= kWindow) {
          worker_waiting_ = true;
          changed_.wait(lock, [&] { return stop_ || ready_.size() <= kRefillAt; });
          worker_waiting_ = false;
        }
        if (stop_) break;
      }
      std::unique_ptr<Document> document;
      if (std::optional<std::string> bytes = ahead_->Take(file)) {
        try {
          document = std::make_unique<Document>(std::move(*bytes));
        } catch (const std::exception&) {
          // Its item reads it again and fails with the same words.
        }
      }
      bool wake = false;
      {
        std::lock_guard lock(mutex_);
        ready_.emplace_back(file, std::move(document));
        wake = taker_waiting_;
      }
      if (wake) changed_.notify_all();
    }
  } catch (const std::exception&) {
    // Out of memory or a thread that could not read: the items read for themselves.
  }
  {
    std::lock_guard lock(mutex_);
    done_ = true;
  }
  changed_.notify_all();
}

std::unique_ptr<Document> ParseAhead::Take(uint32_t file) {
  std::unique_lock lock(mutex_);
  while (true) {
    if (ready_.empty() && !done_) {
      taker_waiting_ = true;
      changed_.wait(lock, [&] { return done_ || !ready_.empty(); });
      taker_waiting_ = false;
    }
    if (ready_.empty()) return nullptr;
    if (ready_.front().first > file) return nullptr;
    std::pair<uint32_t, std::unique_ptr<Document>> front = std::move(ready_.front());
    ready_.pop_front();
    if (worker_waiting_ && ready_.size() <= kRefillAt) changed_.notify_all();
    if (front.first == file) return std::move(front.second);
  }
}

}  // namespace tidewell::vdir
