#include "stores/vdir/parse_ahead.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include "support/temp_files.h"

namespace tidewell::testing {
namespace {

// A document handed out is the one the item would parse; a file that does
// not parse, and one asked for after a later one, are left to the item.
TEST(ParseAhead, GivesTheItemsOwnParseInOrderAndLeavesTheRestToTheItem) {
  TempDir dir;
  const std::string card = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:A\r\nEND:VCARD\r\n";
  const std::vector<std::pair<std::string, std::string>> files = {
      {"a.vcf", card},
      {"b.vcf", "BEGIN:VCARD\r\nFN:\x01\r\nEND:VCARD\r\n"},
      {"c.vcf", card},
      {"d.vcf", card + "X"}};
  for (const auto& [name, bytes] : files) WriteFile(dir.path() / name, bytes);
  const int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const vdir::NameList names = vdir::ItemNames(fd);
  if (!vdir::ReadAhead(fd, names).active()) GTEST_SKIP() << "io_uring cannot be used here";
  {
    vdir::ParseAhead ahead(fd, names, {0, 1, 2, 3});
    const std::unique_ptr<vdir::Document> a = ahead.Take(0);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->bytes(), card);
    EXPECT_EQ(a->lines().size(), vdir::Document(card).lines().size());
    EXPECT_EQ(ahead.Take(1), nullptr);
    const std::unique_ptr<vdir::Document> d = ahead.Take(3);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->bytes(), card + "X");
    EXPECT_EQ(ahead.Take(2), nullptr);
  }
  ::close(fd);
}

}  // namespace
}  // namespace tidewell::testing
