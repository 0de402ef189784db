#include "formats/contact_types.h"

#include "formats/text_forms.h"

namespace tidewell::formats {
namespace {

constexpr std::array<std::string_view, static_cast<size_t>(Word::kCount)> kWords = {
    "work",        "home",
    "fax",         "cell",
    "pager",       "car",
    "textphone",   "ttytdd",
    "x-assistant", "assistant",
    "x-callback",  "callback",
    "main-number", "company",
    "x-radio",     "radio",
    "pref",        "internet",
    "x400",        "voice",
    "msg",         "quoted-printable",
    "base64",      "b",
    "8bit",        "7bit",
    "uri",
};

// Whether `text` lower-cased (ASCII letters only, as ToLower) is `lower`.
bool LowersTo(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lower[i]) return false;
  }
  return true;
}

}  // namespace

void TypeSet::Add(std::string_view type) {
  for (size_t w = 0; w < kWords.size(); ++w) {
    if (LowersTo(type, kWords[w])) {
      words |= Bit(static_cast<Word>(w));
      return;
    }
  }
  other = true;
}

uint32_t LabelTypes(const std::string& label) {
  std::string_view l = label;
  if (l.starts_with("_$!<") && l.ends_with(">!$_")) l = l.substr(4, l.size() - 8);
  std::string key;
  for (char c : ToLower(l)) {
    if (c != ' ' && c != '-' && c != '_') key += c;
  }
  static constexpr std::array<std::pair<std::string_view, uint32_t>, 23> kLabels = {{
      {"work", Bit(Word::kWork)},
      {"home", Bit(Word::kHome)},
      {"mobile", Bit(Word::kCell)},
      {"iphone", Bit(Word::kCell)},
      {"cell", Bit(Word::kCell)},
      {"main", Bit(Word::kMainNumber)},
      {"companymain", Bit(Word::kMainNumber)},
      {"homefax", Bit(Word::kHome) | Bit(Word::kFax)},
      {"workfax", Bit(Word::kWork) | Bit(Word::kFax)},
      {"otherfax", Bit(Word::kFax)},
      {"fax", Bit(Word::kFax)},
      {"pager", Bit(Word::kPager)},
      {"assistant", Bit(Word::kXAssistant)},
      {"assistantphone", Bit(Word::kXAssistant)},
      {"callback", Bit(Word::kXCallback)},
      {"callbackphone", Bit(Word::kXCallback)},
      {"car", Bit(Word::kCar)},
      {"carphone", Bit(Word::kCar)},
      {"radio", Bit(Word::kXRadio)},
      {"radiophone", Bit(Word::kXRadio)},
      {"tty", Bit(Word::kTextphone)},
      {"ttytdd", Bit(Word::kTextphone)},
      {"ttytddphone", Bit(Word::kTextphone)},
  }};
  for (const auto& [name, types] : kLabels) {
    if (name == key) return types;
  }
  return 0;
}

TypeSet TypesOf(const ContentLine& line,
                const std::vector<std::pair<std::string, uint32_t>>& groupTypes) {
  TypeSet types;
  for (const Param& p : line.params) {
    if (p.name == "TYPE") {
      size_t start = 0;
      for (size_t i = 0; i <= p.value.size(); ++i) {
        if (i == p.value.size() || p.value[i] == ',') {
          std::string_view t = Trim(std::string_view(p.value).substr(start, i - start));
          if (!t.empty()) types.Add(t);
          start = i + 1;
        }
      }
    } else if (p.name.empty()) {
      types.Add(Trim(p.value));
    } else if (p.name == "PREF") {
      types.words |= Bit(Word::kPref);
    }
  }
  if (!line.group.empty()) {
    for (const auto& [group, bits] : groupTypes) {
      if (LowersTo(line.group, group)) {
        types.words |= bits;
        break;
      }
    }
  }
  return types;
}

}  // namespace tidewell::formats
