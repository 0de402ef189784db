// Contact properties over one vCard of a file (2.1, 3.0 or 4.0).
// Internal to the vdir store.
//
// Every property maps to one content line, found once when the view is made
// (first matching line in file order unless said otherwise): FN, ORG, NOTE,
// X-ACCOUNT, X-EVOLUTION-FILE-AS, the EMAIL lines (the preferred one first),
// URL, the ADR of each kind, and the TEL / X-MS-TEL lines, each classified
// once, in file order, into the first free phone slot of its kind.
//
// Values beyond the slots of their kind are properties too, named after the
// kind's first slot, "#" and their place among the values of the kind: a
// third work phone is "BusinessTelephoneNumber#3", a second mobile
// "MobileTelephoneNumber#2", a fourth e-mail address "Email1Address#4". The
// first slot's name and "#" alone reads as the number of values of the kind
// ("BusinessTelephoneNumber#" -> "3"; "0" for none) and cannot be written.
//
// Changing an ADR component keeps the LABEL of the same kind (and the ADR's
// own LABEL parameter) consistent when that is safe: when the old component
// text occurs exactly once in the label, as a whole run of words, it is
// replaced there too; otherwise the label is left as it is rather than
// guessed at.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fields/field_catalog.h"
#include "formats/document.h"
#include "formats/item_view.h"

namespace tidewell::formats {

class ContactView : public ItemView {
 public:
  // Over the `ordinal`-th (from 1) top-level VCARD of the file. Throws
  // Failure("it holds no vCard.") when the file has none, and
  // Failure("it holds no vCard <n>.") when it has fewer.
  ContactView(Document& document, size_t ordinal);

  bool Knows(const std::string& property) const override;
  // Lines that hold a value of a kind the fields read but that no property
  // stands for: a second FN, ORG, NOTE or URL, a second ADR of a kind.
  std::vector<size_t> Unsearched() const override;
  bool Has(const std::string& property) const override;
  std::string Get(const std::string& property) const override;
  void Set(const std::string& property, const std::string& text) override;
  std::optional<size_t> LineOfProperty(const std::string& property) const override;
  void Touch(std::time_t now) override;
  // A long note is unescaped piece by piece into its document.
  std::string GetAsRtf(const std::string& property) const override;

 private:
  enum class Kind { kText, kUri, kComponent, kParam };
  static constexpr size_t kAbsent = SIZE_MAX;
  struct Slot {
    size_t line = kAbsent;  // kAbsent: the file has nothing for the property
    Kind kind = Kind::kText;
    size_t component = 0;
    const char* param = nullptr;
  };
  // One slot per contact field of the catalog, and one for the full name.
  // FullNameAndCompany is made of two others and has none.
  static constexpr size_t kSlotCount = FieldsOf(FieldKind::Contact).size() + 1;

  // A value beyond the slots of its kind: its line and its place in the kind.
  struct Extra {
    size_t slot;  // the kind's first slot
    size_t place;
  };
  std::optional<Extra> FindExtra(std::string_view property, bool countOnly) const;

  void Bind(size_t slot, size_t line, Kind kind, size_t component = 0, const char* param = nullptr);
  void ClassifyPhone(size_t line);
  // The constructor's steps, over the card's property lines.
  void ReadVersionAndLabels(const std::vector<size_t>& props);
  void BindProperties(const std::vector<size_t>& props);
  void BindEmails(std::vector<size_t> emails);
  void BindHomePages(const std::vector<size_t>& urls);
  void BindAddresses(const std::array<std::optional<size_t>, 3>& adrs,
                     const std::array<std::optional<size_t>, 3>& labels);
  void ListUnsearched(const std::vector<size_t>& props);
  std::string Read(size_t index) const;
  void KeepLabelConsistent(size_t adrLine, const std::string& oldText, const std::string& newText);

  Document& doc_;
  Dialect dialect_ = Dialect::kVCard3;
  // Lower-case group -> the types its first X-ABLabel stands for (bits of
  // the type words in contact_view.cpp).
  std::vector<std::pair<std::string, uint32_t>> group_types_;
  std::array<Slot, kSlotCount> slots_;
  // ADR line -> LABEL line of the same kind, for each kind of address.
  std::array<std::pair<size_t, size_t>, 3> label_of_adr_{
      {{kAbsent, kAbsent}, {kAbsent, kAbsent}, {kAbsent, kAbsent}}};
  std::optional<size_t> rev_;
  // The lines of each kind of phone (at its first slot) and of e-mail (at
  // Email1Address), in the order they take their places.
  std::array<std::vector<size_t>, kSlotCount> values_;
  std::vector<size_t> unsearched_;
};

}  // namespace tidewell::formats
