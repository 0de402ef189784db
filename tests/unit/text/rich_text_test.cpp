#include "text/rich_text.h"

#include <cctype>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/fake_components.h"
#include "text/iconv_code_pages.h"

namespace tidewell {
namespace {

using testing::LiteralMatcher;

TEST(PlainTextFromRtf, ShowsOnlyTheTextAReaderShows) {
  struct Row {
    const char* situation;
    std::string rtf;
    std::string shown;
  };
  const Row rows[] = {
      {"tables and info hidden",
       R"({\rtf1\ansi{\fonttbl{\f0 Arial;}}{\colortbl;\red255\green0\blue0;})"
       R"({\stylesheet{\s0 Normal;}}{\info{\author Ann}}\f0 Hello})",
       "Hello"},
      {"paragraphs, line breaks, tabs", R"({\rtf1 a\par b\line c\tab d})", "a\nb\nc\td"},
      {"control symbols", R"({\rtf1 \\ \{x\} a\~b})", "\\ {x} a\u00A0b"},
      {"hex escape in 1252", R"({\rtf1\ansi\ansicpg1252 caf\'e9 \'80})", "caf\u00E9 \u20AC"},
      {"hex escape in 1251", R"({\rtf1\ansi\ansicpg1251 \'e0\'c1})", "\u0430\u0411"},
      {"unicode with its fallback skipped", R"({\rtf1 caf\u233\'e9 x})", "caf\u00E9 x"},
      {"fallback count of the group", R"({\rtf1{\uc2 \u8364 EUx}\u8364?y})", "\u20ACx\u20ACy"},
      {"no fallback", R"({\rtf1\uc0\u8364 x})", "\u20ACx"},
      {"negative unicode and a surrogate pair", R"({\rtf1 \u-3?\u-10179?\u-8704?})",
       "\uFFFD\U0001F600"},
      {"starred destination and fields",
       R"({\rtf1 a{\*\bkmkstart b}c{\field{\*\fldinst HYPERLINK "x"}{\fldrslt link}}})", "aclink"},
      {"binary picture data", "{\\rtf1 a{\\pict\\bin4 }{\\}}b}", "ab"},
      {"line ends in the source are not text", "{\\rtf1 a\r\nb\\\nc}", "ab\nc"},
      {"not rich text", "plain {text} \\par", "plain {text} \\par"},
      // Double-byte code pages read a lead byte with the byte after it.
      {"two escapes", R"({\rtf1\ansi\ansicpg932 \'82\'a0!})", "\u3042!"},
      {"an escaped lead byte and a trail byte as it is", R"({\rtf1\ansicpg932 \'83A})", "\u30A2"},
      {"both bytes as they are", "{\\rtf1\\ansicpg936 \xC4\xE3}", "\u4F60"},
      {"949", R"({\rtf1\ansicpg949 \'b0\'a1})", "\uAC00"},
      {"950, whose trail byte may be ASCII", R"({\rtf1\ansicpg950 \'a4@x})", "\u4E00x"},
      {"a pair the page does not hold", R"({\rtf1\ansicpg932 \'82\'41b})", "\uFFFDb"},
      {"a lead byte with none after it", R"({\rtf1\ansicpg932 \'82})", "\uFFFD"},
      {"a lead byte before markup", R"({\rtf1\ansicpg932 \'82\par})", "\uFFFD\n"},
      {"no lead byte: as it is", R"({\rtf1\ansicpg932 a\'41})", "aA"},
      {"a single-byte page stays one byte a character", R"({\rtf1\ansicpg1252 \'82\'a0})",
       "\u201A\u00A0"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(PlainTextFromRtf(row.rtf), row.shown) << row.situation;
  }
}

TEST(PlainTextFromRtf, DoubleByteCodePagesDecodeThroughThePagesGiven) {
  EXPECT_EQ(IconvCodePages().ToUtf8(99999, "a"), std::nullopt);
  // The pair's token covers its trail byte, so an edit after it keeps both.
  LiteralMatcher matcher;
  matcher.SetPattern("abc");
  EXPECT_EQ(ReplaceShownText(matcher, R"({\rtf1\ansicpg950 \'a4\'40 abc})", "X"),
            R"({\rtf1\ansicpg950 \'a4\'40 X})");
  // Bytes decode through the pages passed in; a byte that starts no pair is
  // read as 1252.
  const struct : CodePageDecoder {
    std::optional<std::string> ToUtf8(int32_t page, std::string_view) const override {
      if (page == 932) return "D";
      if (page == 1252) return "S";
      return std::nullopt;
    }
  } pages;
  EXPECT_EQ(PlainTextFromRtf(R"({\rtf1\ansicpg932 \'82\'a0\'a0})", pages), "DS");
  EXPECT_EQ(PlainTextFromRtf(R"({\rtf1\ansicpg1251 \'e0})", pages), "\uFFFD");
}

// A text made of what makes rich text hard: markup characters, words that
// are also control words, line breaks and characters beyond ASCII.
std::string RandomText(std::mt19937& rng, size_t pieces) {
  static const std::vector<std::string> kPieces = {"a",      "b",      "par",        "f0", " ",
                                                   "\\",     "{",      "}",          "\n", "\t",
                                                   "\u00E9", "\u20AC", "\U0001F600", "5",  "-"};
  std::string text;
  for (size_t i = 0; i < pieces; ++i) text += kPieces[rng() % kPieces.size()];
  return text;
}

TEST(RtfFromPlainText, RoundTripsEveryText) {
  std::mt19937 rng(7);
  for (int n = 0; n < 300; ++n) {
    const std::string text = RandomText(rng, rng() % 20);
    EXPECT_EQ(PlainTextFromRtf(RtfFromPlainText(text)), text) << RtfFromPlainText(text);
  }
  // CR LF is one line break; a CR alone is a character, kept.
  for (const auto& [text, back] :
       std::vector<std::pair<std::string, std::string>>{{"a\r\nb", "a\nb"},
                                                        {"a\rb", "a\rb"},
                                                        {"\r", "\r"},
                                                        {"a\r\r\nb", "a\r\r\nb"},
                                                        {"\r\n\r", "\n\r"}}) {
    EXPECT_EQ(PlainTextFromRtf(RtfFromPlainText(text)), back) << RtfFromPlainText(text);
  }
  EXPECT_EQ(RtfFromPlainText("a\rb").substr(RtfFromPlainText("").size() - 1), "a\\'0db}");
}

TEST(ReplaceShownText, EditsAndCountsShownTextOnlyAndKeepsMarkup) {
  const struct {
    const char* situation;
    std::string rtf, pattern, replacement, want;
    int32_t count;
  } rows[] = {
      {"font table and font switch untouched", R"({\rtf1{\fonttbl{\f0 Arial;}}\f0 f0 Arial})",
       "f0 Arial", "X", R"({\rtf1{\fonttbl{\f0 Arial;}}\f0 X})", 1},
      {"a hidden destination", R"({\rtf1 f0{\*\x f0}f0})", "f0", "y", R"({\rtf1 y{\*\x f0}y})", 2},
      {"non-ASCII replacement", R"({\rtf1 cafe})", "cafe", "caf\u00E9 \u20AC\U0001F600",
       R"({\rtf1 caf\u233? \u8364?\u-10179?\u-8704?})", 1},
      {"replacement where two fallbacks are skipped", R"({\rtf1\uc2 ab})", "b", "\u00E9",
       R"({\rtf1\uc2 a\u233??})", 1},
      {"markup characters and line breaks in the replacement", R"({\rtf1 x})", "x", "a\\b{c}\nd\te",
       R"({\rtf1 a\\b\{c\}\par d\tab e})", 1},
      {"an escaped character replaced whole", R"({\rtf1 caf\'e9!})", "\u00E9", "e",
       R"({\rtf1 cafe!})", 1},
      {"a paragraph mark inside a match", R"({\rtf1 a\par b})", "a\nb", "X", R"({\rtf1 X})", 1},
      {"a CR ending the replacement and the paragraph after it: one line break",
       R"({\rtf1 a\par b})", "a", "x\r", R"({\rtf1 x\par b})", 1},
      {"a CR alone in the replacement stays a CR", R"({\rtf1 a\par b})", "b", "x\ry",
       R"({\rtf1 a\par x\'0dy})", 1},
      {"and CRs after a CR the document shows: CRs too", R"({\rtf1 \'0da})", "a", "\r\r\n",
       R"({\rtf1 \'0d\'0d\'0d\par })", 1},
      {"a control word left open keeps its blank", R"({\rtf1\b(555)})", "(", "",
       R"({\rtf1\b 555)})", 1},
      {"new text after an open control word", R"({\rtf1\f0(5)})", "(", "7", R"({\rtf1\f0 75)})", 1},
      {"two hex digits kept apart from a \\' that is no escape", R"({\rtf1 \'.z})", ".", "ab",
       R"({\rtf1 \'{}abz})", 1},
      {"and one hex digit from the one after it", R"({\rtf1 \'.d})", ".", "a", R"({\rtf1 \'a{}d})",
       1},
      {"a sign kept alone after an open control word", R"({\rtf1\f-s2})", "s", "7",
       R"({\rtf1\f-{}72})", 1},
      {"a \\' or a sign left open in \\u's fallback", R"({\rtf1\uc2\u1\'1s1\u1\f-s1})", "s1", "7",
       R"({\rtf1\uc2\u1\'1{}7\u1\f-{}7})", 2},
      {"text removed between a group's brace and a \\* or a destination word",
       R"({\rtf1 {\{x\*y}{\{x\fonttbl z}{\{\{x\b w}})", "{x", "",
       R"({\rtf1 {{}\*y}{{}\fonttbl z}{\{\b w}})", 3},
      {"and a line end between them", "{\\rtf1 {\\{x\r\n\\*y}", "{x", "", "{\\rtf1 {\r\n{}\\*y}",
       1},
      {"and a brace after \\bin data that ends in a backslash", R"({\rtf1 \bin1\{x\*y}})", "x", "",
       R"({\rtf1 \bin1\{{}\*y}})", 1},
      {"new text after a \\bin without data", R"({\rtf1\bin-1(5)})", "(", "7",
       R"({\rtf1\bin-1 75)})", 1},
      {"two lone halves of a surrogate pair kept apart", R"({\rtf1 \u-10179?x\u-8704?})", "x", "",
       R"({\rtf1 \u-10179?{}\u-8704?})", 1},
      {"no match: the document byte for byte", R"({\rtf1\f0   a  \par})", "z", "y",
       R"({\rtf1\f0   a  \par})", 0},
      {"not rich text: the text replaced", "a par b", "par", "X", "a X b", 1},
      // Documents whose edit once came out of a list of every token: the edit
      // in one pass over the document must write the same bytes.
      {"a match across bold and a font switch", R"({\rtf1{\fonttbl{\f0 A;}}me{\b et}\f0 ing!})",
       "meeting", "777", R"({\rtf1{\fonttbl{\f0 A;}}777{\b }\f0 !})", 1},
      {"fallbacks of \\uN, two in a group",
       R"({\rtf1 a\u8364?b{\uc2 \u8364\'80\'80c}\uc0\u8364 d})", "\u20ACc", "<\u00E9>",
       R"({\rtf1 a\u8364?b{\uc2 <\u233??>}\uc0\u8364 d})", 1},
      {"a surrogate pair and its fallbacks", R"({\rtf1\uc1 x\u-10179?\u-8704?y})", "\U0001F600y",
       "\u00E9", R"({\rtf1\uc1 x\u233?})", 1},
      {"a double-byte page, escaped and raw",
       "{\\rtf1\\ansi\\ansicpg932 \\'82\\'a0\\'83A\x82\xA0z}", "\u3042\u30A2", "ab",
       "{\\rtf1\\ansi\\ansicpg932 ab\x82\xA0z}", 1},
      {"destinations holding the same text",
       R"({\rtf1{\*\bkmkstart ab}ab{\field{\*\fldinst ab}{\fldrslt ab}}{\pict ab}})", "ab", "{ab}",
       R"({\rtf1{\*\bkmkstart ab}\{ab\}{\field{\*\fldinst ab}{\fldrslt \{ab\}}}{\pict ab}})", 2},
      {"a CR before the paragraph mark", R"({\rtf1 a\'0d\par b})", "a", "x\r",
       R"({\rtf1 x\'0d\'0d\par b})", 1},
      {"a CR replacing the CR before it", R"({\rtf1 a\'0d\par b})", "a\r", "\r",
       R"({\rtf1 \par b})", 1},
      {"adjacent matches before a paragraph", R"({\rtf1 abab\par c})", "ab", "ab\r",
       R"({\rtf1 ab\'0dab\par c})", 2},
      {"line ends in the source", "{\\rtf1 a\r\nb\\\r\nc}", "ab\n", "-", "{\\rtf1 -\r\n\nc}", 1},
      {"a match across \\bin data and a hidden group", R"({\rtf1 x{\bin3 {}y}{\*\q z}y})", "xy",
       "Q", R"({\rtf1 Q{\bin3 {}y}{\*\q z}})", 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.situation);
    LiteralMatcher matcher;
    matcher.SetPattern(row.pattern);
    EXPECT_EQ(ReplaceShownText(matcher, row.rtf, row.replacement), row.want);
    EXPECT_EQ(CountShownMatches(matcher, row.rtf), row.count);
    EXPECT_EQ(ReplaceCountedShownText(matcher, row.rtf, row.replacement), row.want);
  }
}

// The control words, braces and hidden groups of a document, in order: what
// an edit of its shown text must leave alone.
std::vector<std::string> Markup(const std::string& rtf) {
  std::vector<std::string> markup;
  for (size_t i = 0; i < rtf.size();) {
    if (rtf[i] == '{' || rtf[i] == '}') {
      markup.emplace_back(1, rtf[i++]);
    } else if (rtf[i] == '\\' && i + 1 < rtf.size() && std::isalpha(rtf[i + 1])) {
      size_t j = i + 1;
      while (j < rtf.size() && std::isalpha(rtf[j])) ++j;
      const std::string word = rtf.substr(i, j - i);
      while (j < rtf.size() && (std::isdigit(rtf[j]) || rtf[j] == '-')) ++j;
      if (word != "\\par" && word != "\\tab" && word != "\\u") markup.push_back(word);
      i = j;
    } else if (rtf[i] == '\\') {
      i += rtf[i + 1] == '\'' ? 4 : 2;
    } else {
      ++i;
    }
  }
  return markup;
}

// A document of random shown text between random formatting and hidden
// groups.
std::string RandomDocument(std::mt19937& rng) {
  static const std::vector<std::string> kMarkup = {
      "{\\b ", "}", "\\i ", "\\i0 ", "{\\*\\bkmkstart par}", "\\f0 ", "{\\ul "};
  std::string rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial par;}}";
  int open = 0;
  for (int n = rng() % 12; n > 0; --n) {
    if (rng() % 2 == 0) {
      const std::string text = RandomText(rng, 1 + rng() % 4);
      const std::string escaped = RtfFromPlainText(text);
      const size_t body = escaped.find("\\fs20 ") + 6;
      rtf += escaped.substr(body, escaped.size() - body - 1);
    } else {
      const std::string& piece = kMarkup[rng() % kMarkup.size()];
      if (piece == "}" && open == 0) continue;
      if (piece.front() == '{' && piece.back() == ' ') ++open;
      if (piece == "}") --open;
      rtf += piece;
    }
  }
  return rtf + std::string(static_cast<size_t>(open), '}') + "}";
}

TEST(ReplaceShownText, AgreesWithReplacingThePlainText) {
  std::mt19937 rng(11);
  for (int n = 0; n < 2000; ++n) {
    const std::string rtf = RandomDocument(rng);
    const std::string shown = PlainTextFromRtf(rtf);
    if (shown.empty()) continue;
    // Whole characters, as a real matcher would match.
    const auto continues = [&](size_t at) {
      return at < shown.size() && (shown[at] & 0xC0) == 0x80;
    };
    size_t from = rng() % shown.size();
    while (continues(from)) --from;
    size_t to = from + 1 + rng() % 3;
    while (continues(to)) ++to;
    const std::string pattern = shown.substr(from, to - from);
    const std::string replacement = RandomText(rng, rng() % 3);

    LiteralMatcher reference;
    reference.SetText(shown);
    reference.SetPattern(pattern);
    reference.SetReplace(replacement);

    LiteralMatcher matcher;
    matcher.SetPattern(pattern);
    const std::string edited = ReplaceShownText(matcher, rtf, replacement);
    ASSERT_EQ(PlainTextFromRtf(edited), reference.Text())
        << "document " << rtf << "\npattern " << pattern << "\nedited " << edited;
    ASSERT_EQ(Markup(edited), Markup(rtf)) << rtf << "\n" << edited;
  }
}

// Comparing the edit as it is written answers as comparing the edit made
// whole would, for documents short and past the pieces it is written in, and
// for documents that differ from it anywhere or only in length.
TEST(ShownTextEdit, GivesADocumentExactlyWhenTheEditIsIt) {
  std::mt19937 rng(5);
  std::vector<std::tuple<std::string, std::string, std::string>> rows = {
      {"{\\rtf1 " + std::string(70000, 'a') + "\\par b}", "b", "c"},
      {"no rich text", "text", "TEXT"},
      {"{\\rtf1 no match}", "z", "y"}};
  std::string long_body = "{\\rtf1\\uc1 ";
  while (long_body.size() < (size_t{300} << 10)) long_body += "a meeting{\\b  me}eting\\par\r\n";
  rows.emplace_back(long_body + "}", "meeting", "\u00E9\n");
  for (int n = 0; n < 500; ++n) {
    const std::string rtf = RandomDocument(rng);
    const std::string shown = PlainTextFromRtf(rtf);
    if (shown.empty()) continue;
    rows.emplace_back(rtf, shown.substr(rng() % shown.size(), 1), RandomText(rng, rng() % 3));
  }
  for (const auto& [rtf, pattern, replacement] : rows) {
    LiteralMatcher matcher;
    matcher.SetPattern(pattern);
    const std::string edited = ReplaceShownText(matcher, rtf, replacement);
    const ShownTextEdit edit(matcher, rtf, replacement);
    ASSERT_EQ(edit.Result(), edited) << rtf;
    std::string changed = edited;
    changed[rng() % changed.size()] ^= 1;
    for (const std::string& other :
         {edited, edited + "}", edited.substr(0, edited.size() - 1), changed, rtf, std::string()}) {
      ASSERT_EQ(edit.Gives(other), other == edited) << rtf << "\n" << other;
    }
  }
}

}  // namespace
}  // namespace tidewell
