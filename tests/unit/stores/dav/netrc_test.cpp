#include "stores/dav/netrc.h"

#include <gtest/gtest.h>

namespace tidewell::dav {
namespace {

TEST(Netrc, FindsTheEntryForTheHost) {
  const std::string netrc =
      "machine a.example login ann password one\n"
      "machine B.example\n  login bob\n  account x password \"two words\"\n"
      "macdef init\nmachine a.example login eve password macro\n\n"
      "machine c.example login carl password c1 machine c.example login cleo password c2\n"
      "machine q.example login \"q\\\"uote\" password \"back\\\\slash\"\n"
      "default login guest password any\n"
      "machine d.example password nologin\n";
  struct Row {
    std::string host, user;
    std::optional<std::pair<std::string, std::string>> want;
  };
  const std::vector<Row> rows = {
      {"a.example", "", {{"ann", "one"}}},
      {"b.example", "", {{"bob", "two words"}}},  // host case, account, quotes
      {"a.example", "ann", {{"ann", "one"}}},
      {"a.example", "eve", std::nullopt},  // the macro body is no entry
      {"c.example", "cleo", {{"cleo", "c2"}}},
      {"q.example", "", {{"q\"uote", "back\\slash"}}},
      {"d.example", "dora", {{"", "nologin"}}},  // after default, still a machine
      {"elsewhere", "", {{"guest", "any"}}},
      {"elsewhere", "ann", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.host + " " + row.user);
    const auto got = FindNetrcLogin(netrc, row.host, row.user);
    ASSERT_EQ(got.has_value(), row.want.has_value());
    if (got) {
      EXPECT_EQ(got->login, row.want->first);
      EXPECT_EQ(got->password, row.want->second);
    }
  }
}

}  // namespace
}  // namespace tidewell::dav
