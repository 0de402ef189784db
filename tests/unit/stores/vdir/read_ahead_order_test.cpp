#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "stores/vdir/read_ahead.h"
#include "support/temp_files.h"

namespace tidewell::testing {
namespace {

// The batches are read on other threads, several ahead of the one in use:
// whatever the order the names are asked in, each comes with its own file's
// bytes, through the first read, the second (from the file held open) and a
// third (opened again), and a read-ahead cut off by the end leaves no thread
// behind.
TEST(ReadAheadOrder, EveryNameGetsItsOwnBytesInAnyOrder) {
  TempDir dir;
  constexpr size_t kFiles = 300;  // some ten batches
  std::vector<std::string> bytes;
  for (size_t i = 0; i < kFiles; ++i) {
    // Sizes that differ from file to file, so that a buffer of another file,
    // or one left over from an earlier batch, shows.
    bytes.push_back("FN:" + std::to_string(i) + "\n" + std::string(i * 37 % 5000, 'a' + i % 26));
    WriteFile(dir.path() / ("f" + std::to_string(1000 + i) + ".vcf"), bytes.back());
  }
  const int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const vdir::NameList names = vdir::ItemNames(fd);
  ASSERT_EQ(names.size(), kFiles);

  std::vector<size_t> onwards(kFiles);
  for (size_t i = 0; i < kFiles; ++i) onwards[i] = i;
  const std::vector<size_t> backwards(onwards.rbegin(), onwards.rend());
  std::vector<size_t> jumps;  // back into the batch before, far ahead, within reach
  for (size_t i : {40, 10, 250, 70, 71, 140, 299, 0, 100, 33}) jumps.push_back(i);
  std::vector<size_t> strided;  // a batch's names spread over the whole pass
  for (size_t start = 0; start < 7; ++start) {
    for (size_t i = start; i < kFiles; i += 7) strided.push_back(i);
  }
  struct Row {
    const char* name;
    std::vector<std::vector<size_t>> passes;
    size_t stop_after;  // of the last pass
  };
  const std::vector<Row> rows = {
      {"count, items and once more", {onwards, onwards, onwards}, kFiles},
      {"backwards, then onwards", {backwards, onwards}, kFiles},
      {"jumps, then onwards", {jumps, onwards}, kFiles},
      {"strided", {strided, strided}, kFiles},
      {"cut off while reading ahead", {onwards, onwards}, 5},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    vdir::ReadAhead ahead(fd, names);
    if (!ahead.active()) {
      GTEST_SKIP() << "io_uring cannot be used here: nothing is read ahead";
    }
    for (size_t pass = 0; pass < row.passes.size(); ++pass) {
      const bool last = pass + 1 == row.passes.size();
      const std::vector<size_t>& order = row.passes[pass];
      for (size_t n = 0; n < (last ? row.stop_after : order.size()); ++n) {
        const size_t i = order[n];
        // The first pass views each file, as the count does; the items take it.
        if (pass == 0) {
          ASSERT_EQ(ahead.View(i), bytes[i]) << "file " << i;
        } else {
          ASSERT_EQ(ahead.Take(i), bytes[i]) << "pass " << pass << ", file " << i;
        }
      }
    }
  }
  ::close(fd);
}

}  // namespace
}  // namespace tidewell::testing
