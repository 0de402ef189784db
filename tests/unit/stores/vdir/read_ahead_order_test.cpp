#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "stores/vdir/read_ahead.h"
#include "support/temp_files.h"

namespace tidewell::testing {
namespace {

// The batches are read on other threads, ahead of the one in use: in any
// order the names are asked in, each comes with its own file's bytes, through
// the first read, the second (from the file held open) and a third (opened
// again), and a read-ahead cut off leaves no thread behind.
TEST(ReadAheadOrder, EveryNameGetsItsOwnBytesInAnyOrder) {
  TempDir dir;
  constexpr size_t kFiles = 300;  // some ten batches
  std::vector<std::string> bytes;
  std::vector<size_t> onwards, strided;
  for (size_t i = 0; i < kFiles; ++i) {
    // Sizes that differ from file to file show a buffer of another file; some
    // leave a slot pages to give back before its next read.
    bytes.push_back("FN:" + std::to_string(i) + "\n" + std::string(i * 137 % 12000, 'a' + i % 26));
    WriteFile(dir.path() / ("f" + std::to_string(1000 + i) + ".vcf"), bytes.back());
    onwards.push_back(i);
    strided.push_back(i % 7 * 43 + i / 7);  // a batch's names spread over the pass
  }
  const int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const vdir::NameList names = vdir::ItemNames(fd);
  ASSERT_EQ(names.size(), kFiles);
  // Back into the batch before, far ahead, within reach.
  const std::vector<size_t> jumps = {40, 10, 250, 70, 71, 140, 299, 0, 100, 33};
  struct Row {
    const char* name;
    std::vector<std::vector<size_t>> passes;  // the first views, as the count does
    size_t stop_after;                        // of the last pass
  };
  const std::vector<Row> rows = {
      {"count, items and once more", {onwards, onwards, onwards}, kFiles},
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
      for (size_t n = 0; n < (last ? row.stop_after : row.passes[pass].size()); ++n) {
        const size_t i = row.passes[pass][n];
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
