// A contact run with its searchable text and without it must change the same
// fields: skipping the field matching may never skip a match.
#include <memory>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "adapters/pattern/classic_pattern_matcher.h"
#include "engine/replace_engine.h"
#include "formats/component_item.h"
#include "support/fake_components.h"

namespace tidewell::testing {
namespace {

class MemoryContact : public formats::ComponentItem {
 public:
  MemoryContact(std::string bytes, Ui* ui)
      : ComponentItem(Kind::kContact, 1, 1, "ContactItem",
                      std::make_shared<formats::ComponentShare>(), ui),
        bytes_(std::move(bytes)) {}
  std::string EntryId() const override { return "i1"; }

 protected:
  std::string Where() const override { return "memory"; }
  std::string ReadResource() override { return bytes_; }
  void WriteResource(const std::string&, const std::string&) override {}

 private:
  std::string bytes_;
};

// Hands the engine the item's searchable text, which FakeSafeItem never does.
class Searchable : public FakeSafeItem {
 public:
  explicit Searchable(std::shared_ptr<OutlookItem> item)
      : FakeSafeItem(kSafeContactItem), item_(item) {
    SetItem(std::move(item));
  }
  std::optional<std::string> SearchableText() override { return item_->SearchableText(); }

 private:
  std::shared_ptr<OutlookItem> item_;
};

// Whether the item had a searchable text, and the undo records of a run over
// it with the fast path or without it.
std::pair<bool, Texts> RunOnce(const std::string& lines, const std::string& search, bool cased,
                               bool fast) {
  FakeComponents components;
  Journal journal{components};
  ClassicPatternMatcher matcher;
  FieldSelection selection;
  selection.flags.fill(1);
  ReplaceEngine engine{matcher, selection, journal};
  auto item = std::make_shared<MemoryContact>("BEGIN:VCARD\r\n" + lines + "END:VCARD\r\n",
                                              &components.ui());
  std::unique_ptr<FakeSafeItem> wrapper = std::make_unique<Searchable>(item);
  if (!fast) (wrapper = std::make_unique<FakeSafeItem>(kSafeContactItem))->SetItem(item);
  engine.SearchAndReplaceContacts("s", "f", *wrapper, search, "#", cased ? 1 : 0);
  return {item->SearchableText().has_value(), components.UndoMessages()};
}

TEST(SearchableText, SkippingFieldsNeverSkipsAMatch) {
  const std::string v3 = "VERSION:3.0\r\n", v21 = "VERSION:2.1\r\n";
  const struct {
    std::string lines, search;
    bool cased, matches, searchable;
  } rows[] = {
      {v3 + "NOTE:Große Straße\r\n", "STRASSE", false, false, true},  // simple folding
      {v3 + "NOTE:GROẞE\r\n", "große", false, true, true},
      {v3 + "NOTE:Kelvin\r\n", "\u212Aelvin", false, true, true},  // KELVIN SIGN
      {v3 + "NOTE:Istanbul İZMİR\r\n", "ıstanbul", false, false, true},
      {v3 + "NOTE:ÀÉÎ\r\n", "àéî", true, false, true},
      {v3 + "NOTE:one\\ntwo\r\n", "ntwo", false, false, true},
      {v21 + "NOTE:one\\ntwo\r\n", "ntwo", false, true, true},  // 2.1 has no escapes
      {v3 + "ORG:Smith\\, Jones;Sales\r\n", "Smith, Jones", false, true, true},
      {"VERSION:4.0\r\nEMAIL;X-DISPLAY-NAME=\"A ^'Lee^'\":a@b.example\r\n", "Lee", false, true,
       true},
      {v3 + "NOTE;ENCODING=QUOTED-PRINTABLE:M=C3=BCller=\r\n str=C3=A4=\r\nsse\r\n", "MÜLLER",
       false, true, true},
      {v21 + "NOTE;QUOTED-PRINTABLE;CHARSET=UTF-8:M=C3=BCller\r\n", "müller", false, true, true},
      {v21 + "NOTE;QUOTED-PRINTABLE:M=FCller =\r\n Str=\r\n=E4sse\r\n", "müller  sträs", false,
       true, true},  // Windows-1252 where it is no UTF-8; a soft break takes the blank
      {v21 + "FN;ENCODING=QUOTED-PRINTABLE:Ann=0D=0ALee\r\nNOTE:AnnLee\r\n", "AnnLee", false, true,
       true},
      {v3 + "NOTE;ENCODING=b:TcO8bGxlcg==\r\n", "müller", false, false, true},
      {v3 + "NOTE;\r\n CHARSET=ISO-8859-1:Müller\r\n", "mÃ", false, true, true},
      {v3 + "NOTE;CHARSET=X-NONE:Müller\r\n", "müller", false, false, false},
      {v21 + "NOTE:M\xFCller\r\n", "müller", false, true, false},  // Windows-1252
      {v3 + "TEL:1\r\nTEL:2\r\nTEL:3\r\nTEL:4\r\nTEL:5\r\nTEL:6\r\nTEL:7\r\nTEL:8\r\nTEL:(555) "
            "9\r\n",
       "555", false, true, true},  // a value beyond the catalog's slots
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.lines + " / " + row.search);
    const auto [searchable, undo] = RunOnce(row.lines, row.search, row.cased, true);
    EXPECT_EQ(searchable, row.searchable);
    EXPECT_EQ(undo.empty(), !row.matches);
    EXPECT_EQ(undo, RunOnce(row.lines, row.search, row.cased, false).second);
  }
  // A fold at every byte of the value, inside the search text and inside a character.
  const std::string line = "NOTE:Frau Müller";
  for (size_t at = 5; at < line.size(); ++at) {
    const std::string lines = v3 + line.substr(0, at) + "\r\n " + line.substr(at) + "\r\n";
    SCOPED_TRACE(lines);
    const auto [searchable, undo] = RunOnce(lines, "MÜLLER", false, true);
    EXPECT_TRUE(searchable);
    EXPECT_FALSE(undo.empty());
  }
}

}  // namespace
}  // namespace tidewell::testing
