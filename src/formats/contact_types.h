// The type words of a vCard line (TYPE values, vCard 2.1 bare values,
// PREF, an Apple-style group label) that tell what kind of address or
// number it holds.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/content_line.h"

namespace tidewell::formats {

// The lower-case type words a line's kind is read from, in the order of
// kWords; each is one bit.
enum class Word : uint8_t {
  kWork,
  kHome,
  kFax,
  kCell,
  kPager,
  kCar,
  kTextphone,
  kTtyTdd,
  kXAssistant,
  kAssistant,
  kXCallback,
  kCallback,
  kMainNumber,
  kCompany,
  kXRadio,
  kRadio,
  kPref,
  kInternet,
  kX400,
  kVoice,
  kMsg,
  kQuotedPrintable,
  kBase64,
  kB,
  k8Bit,
  k7Bit,
  kUri,
  kCount,
};

constexpr uint32_t Bit(Word w) { return uint32_t{1} << static_cast<unsigned>(w); }

// Types that say nothing about what kind of address or number a line holds.
constexpr uint32_t kNeutral = Bit(Word::kPref) | Bit(Word::kInternet) | Bit(Word::kX400) |
                              Bit(Word::kVoice) | Bit(Word::kMsg) | Bit(Word::kQuotedPrintable) |
                              Bit(Word::kBase64) | Bit(Word::kB) | Bit(Word::k8Bit) |
                              Bit(Word::k7Bit) | Bit(Word::kUri);

// Lower-case types of a line: TYPE values, vCard 2.1 bare values, "pref" for
// a PREF parameter, and what its group's X-ABLabel stands for. Only the words
// a line is classified by are told apart; every other type is just "other",
// which is all the test for neutral types needs.
struct TypeSet {
  uint32_t words = 0;
  bool other = false;

  void Add(std::string_view type);
  bool contains(Word w) const { return (words & Bit(w)) != 0; }
  bool OnlyNeutral() const { return !other && (words & ~kNeutral) == 0; }
};

// The types an Apple-style group label stands for, e.g. "_$!<HomeFAX>!$_".
uint32_t LabelTypes(const std::string& label);

// The types of `line`, its group's X-ABLabel read through `groupTypes`
// (lower-case group, LabelTypes of its label).
TypeSet TypesOf(const ContentLine& line,
                const std::vector<std::pair<std::string, uint32_t>>& groupTypes);

}  // namespace tidewell::formats
