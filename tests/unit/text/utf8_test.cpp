#include "text/utf8.h"

#include <string>

#include <gtest/gtest.h>

namespace tidewell {
namespace {

// The validator passes plain bytes a word at a time; a sequence placed at
// every offset of a long plain run must be judged as it is on its own.
TEST(Utf8, JudgesASequenceWhereverItFallsInAPlainRun) {
  struct Row {
    std::string sequence;
    bool valid;
  };
  const Row rows[] = {
      {"\xC3\xA9", true},
      {"\xE2\x82\xAC", true},
      {"\xF0\x9F\x98\x80", true},
      {"\xC3", false},
      {"\xFF", false},
      {"\xC0\xAF", false},          // overlong
      {"\xED\xA0\x80", false},      // a surrogate
      {"\xF4\x90\x80\x80", false},  // past U+10FFFF
      {"\x80", false},
  };
  for (const Row& row : rows) {
    for (size_t at = 0; at <= 70; ++at) {
      for (const size_t after : {size_t{0}, size_t{5}, size_t{40}}) {
        const std::string text = std::string(at, 'a') + row.sequence + std::string(after, 'b');
        EXPECT_EQ(IsValidUtf8(text), row.valid) << at << " " << after;
      }
    }
  }
}

}  // namespace
}  // namespace tidewell
