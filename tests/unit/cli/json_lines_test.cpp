// What a script relies on in the --json lines: every line is one valid JSON
// object whatever the texts hold, and what is unknown reads as null.
#include "cli/json_lines.h"

#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace tidewell::cli {
namespace {

TEST(JsonLines, OddTextsStayOneLineAndUnknownsAreNull) {
  FieldChange change{"Contacts",       "Ann \"A\" Lee", "Body",
                     "line\none\ttab", "bad \xff byte", "/store\tcontacts/ann.vcf"};
  const std::string line = ChangeJson(change);
  EXPECT_EQ(line.find('\n'), std::string::npos);
  const auto json = nlohmann::json::parse(line);
  EXPECT_EQ(json["type"], "change");
  EXPECT_EQ(json["store_id"], "/store");
  EXPECT_EQ(json["entry_id"], "contacts/ann.vcf");
  EXPECT_TRUE(json["path"].is_null());
  EXPECT_EQ(json["name"], "Ann \"A\" Lee");
  EXPECT_EQ(json["old"], "line\none\ttab");
  EXPECT_EQ(json["new"], "bad \xEF\xBF\xBD byte");
  EXPECT_TRUE(
      nlohmann::json::parse(ServerJson("https://dav", "config", "", "asked"))["user"].is_null());
}

TEST(JsonLines, LocalTimeKeepsWhatIsNoJournalTime) {
  for (const std::string text : {"", "yesterday", "2026-12-07T15:30:00",
                                 "2026-12-07T15:30:00+01:00", "2026-12-07T15:30:00.5Zx"}) {
    EXPECT_EQ(LocalTime(text), text);
  }
}

}  // namespace
}  // namespace tidewell::cli
