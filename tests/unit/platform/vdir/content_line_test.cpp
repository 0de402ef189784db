// Content lines: unfolding what real programs write, and folding what the
// store writes so that it unfolds to the same value.
#include "platform/vdir/content_line.h"

#include <random>

#include <gtest/gtest.h>

#include "engine/utf8.h"

namespace tidewell::vdir {
namespace {

struct UnfoldCase {
  std::string name;
  std::string file;
  std::vector<std::string> lines;  // "group|NAME|param;param|value" of each property
};

class Unfolding : public ::testing::TestWithParam<UnfoldCase> {};

TEST_P(Unfolding, JoinsWhatProgramsSplitAndCoversEveryByte) {
  const UnfoldCase& c = GetParam();
  std::vector<ContentLine> lines = SplitContentLines(c.file, 0);
  std::vector<std::string> seen;
  size_t covered = 0;
  for (const ContentLine& l : lines) {
    EXPECT_EQ(l.begin, covered) << "a gap before line " << l.line_number;
    covered = l.end;
    if (!l.is_property) continue;
    std::string params;
    for (const Param& p : l.params) params += (params.empty() ? "" : ";") + p.name + "=" + p.value;
    seen.push_back(l.group + "|" + l.upper_name + "|" + params + "|" + l.value);
  }
  EXPECT_EQ(covered, c.file.size());
  EXPECT_EQ(seen, c.lines);
}

INSTANTIATE_TEST_SUITE_P(
    ContentLines, Unfolding,
    ::testing::Values(
        UnfoldCase{
            "space_and_tab_folds", "NOTE:ab\r\n c\r\n\td\r\nFN:x", {"|NOTE||abcd", "|FN||x"}},
        UnfoldCase{"doubled_carriage_returns", "FN:x\r\r\nN:y\r\r\n", {"|FN||x", "|N||y"}},
        UnfoldCase{
            "fold_after_a_blank_line", "PHOTO:AB\n\n CD\nFN:x\n", {"|PHOTO||ABCD", "|FN||x"}},
        UnfoldCase{"quoted_parameters_hold_separators",
                   "item1.EMAIL;X-DISPLAY-NAME=\"Doe; J: Jr\";TYPE=work,pref:a@b\n",
                   {"item1|EMAIL|X-DISPLAY-NAME=Doe; J: Jr;TYPE=work,pref|a@b"}},
        UnfoldCase{"bare_vcard21_types", "TEL;WORK;FAX:1\n", {"|TEL|=WORK;=FAX|1"}},
        UnfoldCase{"soft_breaks_take_the_next_line_as_it_is",
                   "NOTE;ENCODING=QUOTED-PRINTABLE:a=0D=0A=\r\n b=\r\nc\r\nFN:x\r\n",
                   {"|NOTE|ENCODING=QUOTED-PRINTABLE|a=0D=0A bc", "|FN||x"}},
        UnfoldCase{"equals_at_the_end_of_plain_text_is_no_soft_break",
                   "X-A:a=\nX-B:b\n",
                   {"|X-A||a=", "|X-B||b"}},
        UnfoldCase{
            "text_that_is_no_content_line", "BEGIN:VCARD\nno colon here\n", {"|BEGIN||VCARD"}}),
    [](const auto& row) { return row.param.name; });

// Generated values: folding at 75 octets must give back the same value, keep
// UTF-8 sequences and "=XX" triplets whole, and never start a soft-broken
// line with a blank.
TEST(ContentLines, FoldedLinesUnfoldToTheSameValue) {
  std::mt19937 random(7);
  const std::vector<std::string> pieces = {
      "a", " ", "\xC3\xBC", "\xE2\x82\xAC", "\\,", ";", "=", "\xF0\x9F\x98\x80", "\t"};
  for (int round = 0; round < 300; ++round) {
    std::string text;
    size_t length = random() % 400;
    while (text.size() < length) text += pieces[random() % pieces.size()];
    bool qp = round % 2 == 1;
    std::string newline = round % 3 == 0 ? "\n" : "\r\n";
    std::string source =
        qp ? "NOTE;ENCODING=QUOTED-PRINTABLE:" + QuotedPrintableEncodeLike(text, "")
           : "NOTE:" + text;
    ContentLine line = SplitContentLines(source, 0).at(0);
    FoldForm form;
    form.soft = qp;
    form.newline = newline;
    std::string folded = Fold(line, form) + newline;
    std::vector<ContentLine> again = SplitContentLines(folded, 0);
    ASSERT_EQ(again.size(), 1u) << folded;
    EXPECT_EQ(again[0].value, line.value);
    if (qp) {
      EXPECT_EQ(QuotedPrintableDecode(again[0].value), text);
    }
    size_t start = 0;
    for (size_t nl = folded.find(newline); nl != std::string::npos;
         nl = folded.find(newline, start)) {
      std::string physical = folded.substr(start, nl - start);
      EXPECT_LE(physical.size(), 75u);
      EXPECT_TRUE(IsValidUtf8(physical)) << physical;
      if (qp && start > 0) {
        EXPECT_NE(physical[0], ' ') << folded;
      }
      start = nl + newline.size();
    }
  }
}

}  // namespace
}  // namespace tidewell::vdir
