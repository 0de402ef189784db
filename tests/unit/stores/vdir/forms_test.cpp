// Content lines (unfolding what real programs write, folding what the store
// writes) and the text forms of dates, durations and whole numbers.
#include <array>
#include <clocale>
#include <cstdlib>
#include <map>
#include <random>
#include <tuple>

#include <gtest/gtest.h>

#include "formats/content_line.h"
#include "formats/document.h"
#include "formats/text_forms.h"
#include "text/utf8.h"
#include "vdir_fixture.h"

namespace tidewell::formats {
namespace {

TEST(ContentLines, UnfoldingJoinsWhatProgramsSplitAndCoversEveryByte) {
  struct Row {
    std::string file;
    std::vector<std::string> lines;  // "group|NAME|param;param|value" of each property
  };
  for (const Row& row :
       std::vector<Row>{{"NOTE:ab\r\n c\r\n\td\r\nFN:x", {"|NOTE||abcd", "|FN||x"}},
                        {"FN:x\r\r\nN:y\r\r\n", {"|FN||x", "|N||y"}},
                        {"PHOTO:AB\n\n CD\nFN:x\n", {"|PHOTO||ABCD", "|FN||x"}},
                        {"item1.EMAIL;X-DISPLAY-NAME=\"Doe; J: Jr\";TYPE=work,pref:a@b\n",
                         {"item1|EMAIL|X-DISPLAY-NAME=Doe; J: Jr;TYPE=work,pref|a@b"}},
                        {"TEL;WORK;FAX:1\n", {"|TEL|=WORK;=FAX|1"}},
                        // A soft break takes the next line as it is; "=" ending plain text is none.
                        {"NOTE;ENCODING=QUOTED-PRINTABLE:a=0D=0A=\r\n b=\r\nc\r\nFN:x\r\n",
                         {"|NOTE|ENCODING=QUOTED-PRINTABLE|a=0D=0A bc", "|FN||x"}},
                        {"X-A:a=\nX-B:b\n", {"|X-A||a=", "|X-B||b"}},
                        {".NOTE:a\n b\n", {"|NOTE||ab"}},
                        {"BEGIN:VCARD\nno colon here\n", {"|BEGIN||VCARD"}}}) {
    SCOPED_TRACE(row.file);
    std::vector<std::string> seen;
    size_t covered = 0;
    for (const ContentLine& l : SplitContentLines(row.file, 0)) {
      EXPECT_EQ(l.begin, covered) << "a gap before line " << l.line_number;
      covered = l.end;
      if (!l.is_property) continue;
      std::string params;
      for (const Param& p : l.params)
        params += (params.empty() ? "" : ";") + p.name + "=" + p.value;
      seen.push_back(l.group + "|" + l.upper_name + "|" + params + "|" + l.value);
      // As read, whether read again from the folds or kept, is as parsed;
      // any change to the value shows.
      EXPECT_TRUE(SerializesAsRead(l, row.file)) << l.line_number;
      EXPECT_EQ(TextAsRead(l, row.file), Serialize(l));
      EXPECT_FALSE(ReadAs(l, row.file, Serialize(l) + "x"));
      ContentLine changed = l;
      changed.value.back() ^= 1;
      EXPECT_FALSE(SerializesAsRead(changed, row.file)) << l.line_number;
      changed.value = l.value + "x";
      EXPECT_FALSE(SerializesAsRead(changed, row.file)) << l.line_number;
    }
    EXPECT_EQ(covered, row.file.size());
    EXPECT_EQ(seen, row.lines);
  }
}

// Folding at 75 octets gives back the same value, keeps UTF-8 sequences and
// "=XX" triplets whole, and never starts a soft-broken line with a blank.
TEST(ContentLines, FoldedLinesUnfoldToTheSameValue) {
  std::mt19937 random(7);
  const std::vector<std::string> pieces = {
      "a", " ", "\xC3\xBC", "\xE2\x82\xAC", "\\,", ";", "=", "\xF0\x9F\x98\x80", "\t"};
  for (int round = 0; round < 300; ++round) {
    std::string text;
    for (size_t length = random() % 400; text.size() < length;) {
      text += pieces[random() % pieces.size()];
    }
    const bool qp = round % 2 == 1;
    FoldForm form;
    form.soft = qp;
    form.newline = round % 3 == 0 ? "\n" : "\r\n";
    ContentLine line = SplitContentLines(
        qp ? "NOTE;ENCODING=QUOTED-PRINTABLE:" + QuotedPrintableEncodeLike(text, "")
           : "NOTE:" + text,
        0)[0];
    const std::string folded = Fold(line, form) + form.newline;
    std::vector<ContentLine> again = SplitContentLines(folded, 0);
    ASSERT_EQ(again.size(), 1u) << folded;
    EXPECT_EQ(again[0].value, line.value);
    if (qp) {
      EXPECT_EQ(QuotedPrintableDecode(again[0].value), text);
    }
    for (size_t start = 0, nl; (nl = folded.find(form.newline, start)) != std::string::npos;
         start = nl + form.newline.size()) {
      const std::string physical = folded.substr(start, nl - start);
      EXPECT_LE(physical.size(), 75u);
      EXPECT_TRUE(IsValidUtf8(physical)) << physical;
      if (qp && start > 0) {
        EXPECT_NE(physical[0], ' ') << folded;
      }
    }
  }
}

// A changed line read from regular folds is refolded in their form,
// whatever its length, and a same-length one at the same places.
TEST(ContentLines, ARefoldedLineKeepsTheFormOfItsFolds) {
  const auto repeat = [](const std::string& piece, size_t times) {
    std::string out;
    while (times-- > 0) out += piece;
    return out;
  };
  for (const auto& [value, width, lead, newline] :
       std::vector<std::tuple<std::string, size_t, char, std::string>>{
           {std::string(300, 'a'), 75, ' ', "\r\n"},
           {repeat("ab\xC3\xBC", 200), 60, '\t', "\n"},
           {repeat("x\xE2\x82\xAC", 150), 75, ' ', "\r\n"}}) {
    FoldForm form;
    form.width = width;
    form.lead = lead;
    form.newline = newline;
    const std::string was = Fold(SplitContentLines("NOTE:" + value, 0)[0], form);
    std::vector<ContentLine> lines = SplitContentLines(was + newline, 0);
    ASSERT_EQ(lines.size(), 1u);
    for (const std::string& now :
         {value + "tail", value.substr(0, value.size() / 2), "Z" + value.substr(1)}) {
      lines[0].value = now;
      EXPECT_EQ(Refold(lines[0], was, "\r\n"), Fold(lines[0], form)) << width;
    }
  }
  // Folds that split characters, as some programs write, stay where they
  // are for a text as long that they split alike.
  const auto split_at_75 = [](const std::string& line) {
    std::string out = line.substr(0, 75);
    for (size_t at = 75; at < line.size(); at += 74) out += "\r\n " + line.substr(at, 74);
    return out;
  };
  const std::string was = split_at_75("NOTE:x" + repeat("\xC3\xBC", 150));
  std::vector<ContentLine> lines = SplitContentLines(was + "\r\n", 0);
  lines[0].value = "x\xC3\xB6" + lines[0].value.substr(3);
  EXPECT_EQ(Refold(lines[0], was, "\r\n"), split_at_75("NOTE:" + lines[0].value));
}

// An undo writes a line as it was once read only where that text still
// reads as the line now does, alone: not where it would run on or end in a
// line break.
TEST(ContentLines, AnUndoWritesTheLineAsReadWhereItReadsAlike) {
  for (const auto& [line, value, physical, restored] :
       std::vector<std::tuple<std::string, std::string, std::string, bool>>{
           {"NOTE:abc", "abcdef", "NOTE:ab\r\n c\r\n\tdef", true},
           {"NOTE:abc", "abcdeg", "NOTE:ab\r\n c\r\n\tdef", false},
           {"NOTE:abc", "abcdef", "NOTE:ab\r\n cdef\r\n", false},
           {"item1.NOTE;LANGUAGE=en:x", "abcdef", "item1.NOTE;LANG\r\n UAGE=en:ab\r\n cdef", true},
           {"NOTE;LANGUAGE=en:x", "abcdef", "NOTE;LANGUAGE=de:ab\r\n cdef", false},
           {"NOTE:x", "abcdef", "NOTE:abc\r\n\r\n def", true},
           {"NOTE;ENCODING=QUOTED-PRINTABLE:x", "ab=3D",
            "NOTE;ENCODING=QUOTED-PRINTABLE:ab=", false},
           {"NOTE;ENCODING=QUOTED-PRINTABLE:x", "ab", "NOTE;ENCODING=QUOTED-PRINTABLE:a=\r\nb",
            true}}) {
    const std::string head = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    Document document(head + line + "\r\nEND:VCARD\r\n");
    document.lines()[2].value = value;
    document.RestoreAs(2, physical);
    EXPECT_EQ(document.Render() == head + physical + "\r\nEND:VCARD\r\n", restored) << physical;
  }
}

// A long restored line becomes the saved file in place, with the lines
// around it, changed or not, as Render writes them.
TEST(ContentLines, TakeRenderedIsRenderAroundALongRestoredLine) {
  const std::string value(100000, 'a');
  const std::string folded = Fold(SplitContentLines("NOTE:" + value, 0)[0], FoldForm{});
  for (const auto& [physical, edit_around] : std::vector<std::pair<std::string, bool>>{
           {folded, false}, {folded, true}, {"NOTE:" + value, true}, {"NOTE:b" + folded, true}}) {
    Document document("BEGIN:VCARD\r\nFN:A\r\nNOTE:x\r\nUID:1\r\nEND:VCARD\r\n");
    document.lines()[2].value = value;
    if (edit_around) {
      document.lines()[1].value = "B";
      document.lines()[3].value = "2";
    }
    document.RestoreAs(2, physical);
    const std::string rendered = document.Render();
    EXPECT_EQ(document.TakeRendered(), rendered) << physical.size();
  }
}

// Locales are made with localedef into a temporary LOCPATH; one that cannot be made is skipped.
TEST(TextForms, DatesShowInTheLocaleWithFourDigitYearsAndParseBack) {
  testing::TempDir dir;
  setenv("LOCPATH", dir.path().c_str(), 1);
  std::string missing;
  for (const auto& [input, date_time, date] :
       std::vector<std::array<std::string, 3>>{{"C", "2024-03-01 14:05:09", "2024-03-01"},
                                               {"de_DE", "01.03.2024 14:05:09", "01.03.2024"},
                                               {"en_US", "03/01/2024 02:05:09 PM", "03/01/2024"},
                                               {"en_GB", "01/03/2024 14:05:09", "01/03/2024"}}) {
    const std::string locale = input == "C" ? input : input + ".UTF-8";
    [[maybe_unused]] const int made =
        std::system(("localedef -i " + input + " -f UTF-8 " + (dir.path() / locale).string() +
                     " >/dev/null 2>&1")
                        .c_str());
    if (std::setlocale(LC_TIME, locale.c_str()) == nullptr) {
      missing += " " + locale;
      continue;
    }
    SCOPED_TRACE(locale);
    const IcalTime timed{{2024, 3, 1, 14, 5, 9}, TimeForm::kFloating};
    const IcalTime day{{2024, 3, 1, 0, 0, 0}, TimeForm::kDate};
    EXPECT_EQ(DisplayTime(timed), date_time);
    EXPECT_EQ(DisplayTime(day), date);
    EXPECT_EQ(ParseDisplayedTime(date_time, TimeForm::kFloating).clock, timed.clock);
    EXPECT_EQ(ParseDisplayedTime(date, TimeForm::kDate).clock, day.clock);
    EXPECT_EQ(ParseDisplayedTime(date, TimeForm::kZoned).clock, day.clock);
    EXPECT_THROW(ParseDisplayedTime("2024-13-45", TimeForm::kFloating), Failure);
  }
  std::setlocale(LC_TIME, "C");
  unsetenv("LOCPATH");
  if (!missing.empty()) GTEST_SKIP() << "cannot be made here (localedef, locales):" << missing;
}

TEST(TextForms, IcalendarValuesKeepTheirForm) {
  struct Row {
    std::string value;
    bool tzid;
    std::optional<TimeForm> form;  // nothing: not a date
  };
  for (const Row& row : std::vector<Row>{{"20240301", false, TimeForm::kDate},
                                         {" 20240301T093000Z", false, TimeForm::kUtc},
                                         {"20240301T093000", true, TimeForm::kZoned},
                                         {"20240301T093000", false, TimeForm::kFloating},
                                         {"20240230", false, std::nullopt},
                                         {"20240301T250000", false, std::nullopt},
                                         {"2024-03-01", false, std::nullopt},
                                         {"20240301T0930", false, std::nullopt}}) {
    std::optional<IcalTime> t = ParseIcalValue(row.value, row.tzid);
    ASSERT_EQ(t.has_value(), row.form.has_value()) << row.value;
    if (!t) continue;
    EXPECT_EQ(t->form, *row.form) << row.value;
    EXPECT_EQ(FormatIcalValue(*t), row.value.substr(row.value.find_first_not_of(' ')));
  }
}

TEST(TextForms, DurationsAndWholeNumbers) {
  for (const auto& [text, seconds] : std::map<std::string, int64_t>{{"PT1H0M0S", 3600},
                                                                    {"PT90M", 5400},
                                                                    {"P1W", 604800},
                                                                    {"-P1DT2H", -93600},
                                                                    {"+PT15S", 15}}) {
    EXPECT_EQ(ParseDuration(text), seconds) << text;
  }
  for (const char* text : {"P", "PT", "P1H", "1H", "PT1X", "P999999999999W"}) {
    EXPECT_EQ(ParseDuration(text), std::nullopt) << text;
  }
  for (int64_t s : {0LL, 59LL, 3600LL, 5400LL, 86400LL, 93784LL, -93600LL}) {
    EXPECT_EQ(ParseDuration(FormatDuration(s, false)), s) << FormatDuration(s, false);
  }
  EXPECT_EQ(FormatDuration(172800, true), "P2D");
  EXPECT_EQ(ParseWholeNumber(" -7 "), -7);
  EXPECT_EQ(ParseWholeNumber("-2147483648"), INT32_MIN);
  for (const char* text : {"2147483648", "", "-", "1.5", "1 000"}) {
    EXPECT_EQ(ParseWholeNumber(text), std::nullopt) << "'" << text << "'";
  }
}

}  // namespace
}  // namespace tidewell::formats
