#include "stores/vdir/read_ahead.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "support/temp_files.h"

namespace tidewell::testing {
namespace {

namespace fs = std::filesystem;
using vdir::ReadAhead;

// What a batch hands out is exactly what one plain read would give; the rest
// is left for the item, whose own read tells why it fails.
TEST(ReadAhead, GivesOnlyWholeItemFilesOnceAndLeavesTheRestToTheItem) {
  TempDir dir;
  struct Row {
    std::string name;
    std::string bytes;
    bool handed_out;
  };
  std::vector<Row> rows = {
      {"a.vcf", "BEGIN:VCARD\r\nFN:a\r\nEND:VCARD\r\n", true},
      {"b.ICS", "BEGIN:VCALENDAR\nEND:VCALENDAR\n", true},
      {"c.eml", "Subject: mail is never read\n", false},
      {"d.vcf", std::string(65535, 'n'), true},
      {"e.vcf", std::string(65536, 'n'), false},  // may go on: the item asks its size
      {"f.vcf", std::string(200000, 'n'), false},
      {"g.vcf", "", false},  // an empty file, or what is no file at all
      {"h.vcf", "replaced by a folder after the listing", false},
      {"i.vcf", "replaced by a FIFO after the listing", false},
      {"j.vcf", "removed after the listing", false},
  };
  // More than a batch, so that the second batch is read when asked for.
  for (int i = 0; i < 40; ++i) {
    rows.push_back({"k" + std::to_string(100 + i) + ".vcf", "FN:" + std::to_string(i), true});
  }
  for (const Row& row : rows) WriteFile(dir.path() / row.name, row.bytes);
  const int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const vdir::NameList names = vdir::ItemNames(fd);
  ASSERT_EQ(names.size(), rows.size());
  fs::remove(dir.path() / "h.vcf");
  fs::create_directory(dir.path() / "h.vcf");
  fs::remove(dir.path() / "i.vcf");
  ASSERT_EQ(::mkfifo((dir.path() / "i.vcf").c_str(), 0600), 0);
  fs::remove(dir.path() / "j.vcf");

  struct rlimit before {};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &before), 0);
  {
    ReadAhead ahead(fd, names);
    // The files are held open in the ring, not by the process's limit.
    struct rlimit after {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &after), 0);
    EXPECT_EQ(after.rlim_cur, before.rlim_cur);
    if (!ahead.active()) GTEST_SKIP() << "io_uring cannot be used here: nothing is read ahead";
    // Out of order: the second batch first, then the first from its start.
    for (size_t i : {size_t{45}, size_t{0}}) {
      // Seen in place as often as asked, until taken once.
      EXPECT_EQ(ahead.View(i), rows[i].bytes) << i;
      EXPECT_EQ(ahead.View(i), rows[i].bytes) << i;
      EXPECT_EQ(ahead.Take(i), rows[i].bytes) << i;
      EXPECT_EQ(ahead.View(i), std::nullopt) << i;
    }
    for (size_t i = 0; i < rows.size(); ++i) {
      SCOPED_TRACE(rows[i].name);
      ASSERT_EQ(names[i], rows[i].name);
      const std::optional<std::string> taken = ahead.Take(i);
      // The first was taken from this batch; the 46th comes again with the batch read anew,
      // from the file held open since its first read.
      if (i == 0 || !rows[i].handed_out) {
        EXPECT_EQ(taken, std::nullopt);
      } else {
        EXPECT_EQ(taken, rows[i].bytes);
      }
    }
  }
  ::close(fd);
}

}  // namespace
}  // namespace tidewell::testing
