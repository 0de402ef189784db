#include "formats/contact_view.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#include "fields/field_catalog.h"
#include "formats/contact_types.h"
#include "formats/text_forms.h"
#include "platform/failure.h"

namespace tidewell::formats {
namespace {

enum Phone {
  kAssistant,
  kBusiness,
  kBusiness2,
  kBusinessFax,
  kCallback,
  kCar,
  kCompanyMain,
  kHome,
  kHome2,
  kHomeFax,
  kMobile,
  kOther,
  kOtherFax,
  kPager,
  kPrimary,
  kRadio,
  kTtyTdd,
  kPhoneCount
};

// One slot per contact row of the catalog, at the row's place among them,
// then one for the full name, which no row searches but every run logs.
constexpr std::span<const CatalogRow> kContactRows = FieldsOf(FieldKind::Contact);
constexpr size_t kSubject = kContactRows.size();
// Made of the full name and the company; no slot of its own.
constexpr size_t kFullNameAndCompany = kSubject + 1;

// The slot of a property, found while compiling: a name no row has does not
// build.
consteval size_t SlotOf(std::string_view property) {
  for (size_t i = 0; i < kContactRows.size(); ++i) {
    if (property == kContactRows[i].property) return i;
  }
  if (property == "Subject") return kSubject;
  throw "no contact field has this property";
}

// Where each kind of line puts its values.
constexpr size_t kCompanyName = SlotOf("CompanyName");
constexpr size_t kAccount = SlotOf("Account");
constexpr size_t kBody = SlotOf("Body");
constexpr size_t kFileAs = SlotOf("FileAs");
constexpr size_t kBusinessHomePage = SlotOf("BusinessHomePage");
constexpr size_t kOfficeLocation = SlotOf("OfficeLocation");
constexpr std::array<size_t, 3> kEmailAddresses = {SlotOf("Email1Address"), SlotOf("Email2Address"),
                                                   SlotOf("Email3Address")};
constexpr std::array<size_t, 3> kEmailNames = {
    SlotOf("Email1DisplayName"), SlotOf("Email2DisplayName"), SlotOf("Email3DisplayName")};
// Street, City, State and PostalCode (components 2 to 5 of an ADR) of the
// work, home and other address.
constexpr std::array<std::array<size_t, 4>, 3> kAddressParts = {{
    {SlotOf("BusinessAddressStreet"), SlotOf("BusinessAddressCity"), SlotOf("BusinessAddressState"),
     SlotOf("BusinessAddressPostalCode")},
    {SlotOf("HomeAddressStreet"), SlotOf("HomeAddressCity"), SlotOf("HomeAddressState"),
     SlotOf("HomeAddressPostalCode")},
    {SlotOf("OtherAddressStreet"), SlotOf("OtherAddressCity"), SlotOf("OtherAddressState"),
     SlotOf("OtherAddressPostalCode")},
}};
constexpr std::array<size_t, kPhoneCount> kPhoneSlots = {
    SlotOf("AssistantTelephoneNumber"),
    SlotOf("BusinessTelephoneNumber"),
    SlotOf("Business2TelephoneNumber"),
    SlotOf("BusinessFaxNumber"),
    SlotOf("CallbackTelephoneNumber"),
    SlotOf("CarTelephoneNumber"),
    SlotOf("CompanyMainTelephoneNumber"),
    SlotOf("HomeTelephoneNumber"),
    SlotOf("Home2TelephoneNumber"),
    SlotOf("HomeFaxNumber"),
    SlotOf("MobileTelephoneNumber"),
    SlotOf("OtherTelephoneNumber"),
    SlotOf("OtherFaxNumber"),
    SlotOf("PagerNumber"),
    SlotOf("PrimaryTelephoneNumber"),
    SlotOf("RadioTelephoneNumber"),
    SlotOf("TTYTDDTelephoneNumber"),
};

size_t PhoneSlot(Phone p) { return kPhoneSlots[static_cast<size_t>(p)]; }

struct NamedSlot {
  std::string_view name;
  size_t slot;  // or kFullNameAndCompany
};

// The property names by length. A run asks Knows and then Get for some sixty
// names of every contact, so a name is compared only with the few of its
// length.
constexpr auto kNamedSlots = [] {
  std::array<NamedSlot, kFullNameAndCompany + 1> all{};
  for (size_t i = 0; i < kContactRows.size(); ++i) all[i] = {kContactRows[i].property, i};
  all[kSubject] = {"Subject", kSubject};
  all[kFullNameAndCompany] = {"FullNameAndCompany", kFullNameAndCompany};
  std::sort(all.begin(), all.end(),
            [](const NamedSlot& a, const NamedSlot& b) { return a.name.size() < b.name.size(); });
  return all;
}();
constexpr size_t kLongestName = kNamedSlots.back().name.size();

// For each length n, where the names of length n begin in kNamedSlots; the
// entry after it is where they end.
constexpr auto kFirstOfLength = [] {
  std::array<uint8_t, kLongestName + 2> first{};
  for (size_t n = 0; n < first.size(); ++n) {
    size_t i = 0;
    while (i < kNamedSlots.size() && kNamedSlots[i].name.size() < n) ++i;
    first[n] = static_cast<uint8_t>(i);
  }
  return first;
}();

std::optional<size_t> FindProperty(std::string_view name) {
  if (name.size() > kLongestName) return std::nullopt;
  for (size_t i = kFirstOfLength[name.size()]; i < kFirstOfLength[name.size() + 1]; ++i) {
    // Checking the last byte first spares most candidates a call to memcmp.
    const std::string_view candidate = kNamedSlots[i].name;
    if (candidate.back() == name.back() && candidate == name) return kNamedSlots[i].slot;
  }
  return std::nullopt;
}

// The slots a number of these types may take, best first.
struct PhoneCandidates {
  std::array<Phone, 2> phones;
  size_t count;
};

PhoneCandidates CandidatesOf(const TypeSet& t) {
  auto has = [&](Word a) { return t.contains(a); };
  auto either = [&](Word a, Word b) { return t.contains(a) || t.contains(b); };
  bool work = has(Word::kWork);
  bool home = has(Word::kHome);
  if (has(Word::kFax)) return {{work ? kBusinessFax : home ? kHomeFax : kOtherFax}, 1};
  if (has(Word::kCell)) return {{kMobile}, 1};
  if (has(Word::kPager)) return {{kPager}, 1};
  if (has(Word::kCar)) return {{kCar}, 1};
  if (either(Word::kTextphone, Word::kTtyTdd)) return {{kTtyTdd}, 1};
  if (either(Word::kXAssistant, Word::kAssistant)) return {{kAssistant}, 1};
  if (either(Word::kXCallback, Word::kCallback)) return {{kCallback}, 1};
  if (either(Word::kMainNumber, Word::kCompany)) return {{kCompanyMain}, 1};
  if (either(Word::kXRadio, Word::kRadio)) return {{kRadio}, 1};
  if (work) return {{kBusiness, kBusiness2}, 2};
  if (home) return {{kHome, kHome2}, 2};
  if (has(Word::kPref)) return {{kPrimary}, 1};
  return {{kOther}, 1};
}

bool IsWordByte(char c) {
  auto u = static_cast<unsigned char>(c);
  return u >= 0x80 || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The next occurrence of `needle` in `hay` at or after `from` that is not
// part of a longer word.
size_t FindWholeRun(const std::string& hay, const std::string& needle, size_t from) {
  for (size_t pos = hay.find(needle, from); pos != std::string::npos;
       pos = hay.find(needle, pos + 1)) {
    bool startOk = pos == 0 || !IsWordByte(hay[pos - 1]) || !IsWordByte(needle.front());
    size_t after = pos + needle.size();
    bool endOk = after == hay.size() || !IsWordByte(hay[after]) || !IsWordByte(needle.back());
    if (startOk && endOk) return pos;
  }
  return std::string::npos;
}

std::optional<std::string> ReplaceOnlyRun(const std::string& label, const std::string& oldText,
                                          const std::string& newText) {
  size_t first = FindWholeRun(label, oldText, 0);
  if (first == std::string::npos) return std::nullopt;
  if (FindWholeRun(label, oldText, first + 1) != std::string::npos) return std::nullopt;
  std::string out = label;
  out.replace(first, oldText.size(), newText);
  return out;
}

bool EndsInLoneBackslash(const std::string& component) {
  size_t backslashes = 0;
  while (backslashes < component.size() && component[component.size() - 1 - backslashes] == '\\') {
    ++backslashes;
  }
  return backslashes % 2 == 1;
}

std::string JoinComponents(const std::vector<std::string>& parts) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += ';';
    out += parts[i];
  }
  return out;
}

// vCard 2.1 notes written by Windows programs break lines with CRLF; a new
// text keeps that style.
std::string LineBreaksLike(std::string_view old, const std::string& text) {
  if (old.find("\r\n") == std::string::npos) return text;
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

}  // namespace

ContactView::ContactView(Document& document, size_t ordinal) : doc_(document) {
  static_assert(kSlotCount == kSubject + 1);
  std::optional<size_t> card;
  size_t seen = 0;
  for (size_t c : doc_.top_level()) {
    if (doc_.components()[c].name == "VCARD" && ++seen == ordinal) {
      card = c;
      break;
    }
  }
  if (!card && seen == 0) throw Failure("it holds no vCard.");
  if (!card) throw Failure("it holds no vCard " + std::to_string(ordinal) + ".");
  const std::vector<size_t>& props = doc_.components()[*card].properties;
  ReadVersionAndLabels(props);
  BindProperties(props);
  ListUnsearched(props);
}

void ContactView::ReadVersionAndLabels(const std::vector<size_t>& props) {
  const std::vector<ContentLine>& lines = doc_.lines();
  for (size_t i : props) {
    if (std::string_view(lines[i].upper_name) == "VERSION") {
      std::string_view v = Trim(lines[i].value);
      dialect_ = v == "2.1" ? Dialect::kVCard21 : v == "4.0" ? Dialect::kVCard4 : Dialect::kVCard3;
      break;
    }
  }
  for (size_t i : props) {
    const ContentLine& l = lines[i];
    if (std::string_view(l.upper_name) == "X-ABLABEL" && !l.group.empty()) {
      std::string group = ToLower(l.group);
      uint32_t types = LabelTypes(UnescapeText(DecodedValue(l), dialect_));
      if (std::none_of(group_types_.begin(), group_types_.end(),
                       [&](const auto& known) { return known.first == group; })) {
        group_types_.emplace_back(std::move(group), types);
      }
    }
  }
}

void ContactView::BindProperties(const std::vector<size_t>& props) {
  const std::vector<ContentLine>& lines = doc_.lines();
  std::vector<size_t> emails;
  std::vector<size_t> urls;
  std::array<std::optional<size_t>, 3> adrs;
  std::array<std::optional<size_t>, 3> labels;
  auto addressKind = [&](const ContentLine& l) {
    TypeSet types = TypesOf(l, group_types_);
    return types.contains(Word::kWork) ? 0 : types.contains(Word::kHome) ? 1 : 2;
  };
  for (size_t i : props) {
    // A view: each line is tested against a dozen names.
    const std::string_view n = lines[i].upper_name;
    if (n == "FN") {
      Bind(kSubject, i, Kind::kText);
    } else if (n == "ORG") {
      Bind(kCompanyName, i, Kind::kComponent, 0);
    } else if (n == "X-ACCOUNT") {
      Bind(kAccount, i, Kind::kText);
    } else if (n == "NOTE") {
      Bind(kBody, i, Kind::kText);
    } else if (n == "X-EVOLUTION-FILE-AS") {
      Bind(kFileAs, i, Kind::kText);
    } else if (n == "EMAIL") {
      emails.push_back(i);
    } else if (n == "URL") {
      urls.push_back(i);
    } else if (n == "ADR") {
      auto& slot = adrs[addressKind(lines[i])];
      if (!slot) slot = i;
    } else if (n == "LABEL") {
      auto& slot = labels[addressKind(lines[i])];
      if (!slot) slot = i;
    } else if (n == "TEL" || n == "X-MS-TEL") {
      ClassifyPhone(i);
    } else if (n == "REV" && !rev_) {
      rev_ = i;
    }
  }
  BindEmails(std::move(emails));
  BindHomePages(urls);
  BindAddresses(adrs, labels);
}

// The PREF address first; the first three are the three email slots.
void ContactView::BindEmails(std::vector<size_t> emails) {
  const std::vector<ContentLine>& lines = doc_.lines();
  for (size_t k = 0; k < emails.size(); ++k) {
    if (TypesOf(lines[emails[k]], group_types_).contains(Word::kPref)) {
      std::rotate(emails.begin(), emails.begin() + static_cast<std::ptrdiff_t>(k),
                  emails.begin() + static_cast<std::ptrdiff_t>(k) + 1);
      break;
    }
  }
  values_[kEmailAddresses[0]] = emails;
  for (size_t k = 0; k < emails.size() && k < 3; ++k) {
    Bind(kEmailAddresses[k], emails[k], Kind::kText);
    if (lines[emails[k]].FindParam("X-DISPLAY-NAME")) {
      Bind(kEmailNames[k], emails[k], Kind::kParam, 0, "X-DISPLAY-NAME");
    }
  }
}

void ContactView::BindHomePages(const std::vector<size_t>& urls) {
  const std::vector<ContentLine>& lines = doc_.lines();
  for (size_t u : urls) {
    if (TypesOf(lines[u], group_types_).contains(Word::kWork)) {
      Bind(kBusinessHomePage, u, Kind::kUri);
    }
  }
  for (size_t u : urls) {
    if (TypesOf(lines[u], group_types_).OnlyNeutral()) Bind(kBusinessHomePage, u, Kind::kUri);
  }
}

// By kind: work, home, other.
void ContactView::BindAddresses(const std::array<std::optional<size_t>, 3>& adrs,
                                const std::array<std::optional<size_t>, 3>& labels) {
  for (size_t kind = 0; kind < 3; ++kind) {
    if (!adrs[kind]) continue;
    for (size_t part = 0; part < 4; ++part) {
      Bind(kAddressParts[kind][part], *adrs[kind], Kind::kComponent, part + 2);
    }
    if (kind == 0) Bind(kOfficeLocation, *adrs[kind], Kind::kComponent, 1);
    if (labels[kind]) label_of_adr_[kind] = {*adrs[kind], *labels[kind]};
  }
}

void ContactView::ListUnsearched(const std::vector<size_t>& props) {
  const std::vector<ContentLine>& lines = doc_.lines();
  for (size_t i : props) {
    const std::string_view n = lines[i].upper_name;
    if (n != "FN" && n != "ORG" && n != "NOTE" && n != "X-ACCOUNT" && n != "X-EVOLUTION-FILE-AS" &&
        n != "URL" && n != "ADR") {
      continue;
    }
    if (std::none_of(slots_.begin(), slots_.end(),
                     [&](const Slot& slot) { return slot.line == i; })) {
      unsearched_.push_back(i);
    }
  }
}

std::vector<size_t> ContactView::Unsearched() const { return unsearched_; }

namespace {

// How many slots the kind whose first slot is `slot` has; 0 for a slot that
// heads no kind of many values.
size_t SlotsOfKind(size_t slot) {
  return slot < kContactRows.size() ? static_cast<size_t>(kContactRows[slot].kind_rows) : 0;
}

}  // namespace

std::optional<ContactView::Extra> ContactView::FindExtra(std::string_view property,
                                                         bool countOnly) const {
  const size_t hash = property.find('#');
  if (hash == std::string_view::npos) return std::nullopt;
  const std::optional<size_t> slot = FindProperty(property.substr(0, hash));
  if (!slot || SlotsOfKind(*slot) == 0) return std::nullopt;
  const std::string_view digits = property.substr(hash + 1);
  if (digits.empty()) {
    return countOnly ? std::optional<Extra>(Extra{*slot, 0}) : std::nullopt;
  }
  if (countOnly || digits.size() > 6 || digits.front() == '0' ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  const size_t place = std::stoul(std::string(digits));
  if (place <= SlotsOfKind(*slot)) return std::nullopt;
  return Extra{*slot, place};
}

void ContactView::Bind(size_t slot, size_t line, Kind kind, size_t component, const char* param) {
  if (slots_[slot].line == kAbsent) slots_[slot] = Slot{line, kind, component, param};
}

void ContactView::ClassifyPhone(size_t line) {
  const PhoneCandidates candidates = CandidatesOf(TypesOf(doc_.lines()[line], group_types_));
  // A number that finds the slots of its kind taken stays of its kind, as a
  // value beyond them (see FindExtra), rather than take another kind's slot.
  values_[PhoneSlot(candidates.phones[0])].push_back(line);
  for (size_t c = 0; c < candidates.count; ++c) {
    if (slots_[PhoneSlot(candidates.phones[c])].line == kAbsent) {
      Bind(PhoneSlot(candidates.phones[c]), line, Kind::kUri);
      return;
    }
  }
}

bool ContactView::Knows(const std::string& property) const {
  return FindProperty(property).has_value() || FindExtra(property, false) ||
         FindExtra(property, true);
}

bool ContactView::Has(const std::string& property) const {
  std::optional<size_t> p = FindProperty(property);
  if (!p) {
    if (FindExtra(property, true)) return true;
    const std::optional<Extra> extra = FindExtra(property, false);
    return extra && extra->place <= values_[extra->slot].size();
  }
  return slots_[*p == kFullNameAndCompany ? size_t{kSubject} : *p].line != kAbsent;
}

std::string ContactView::Get(const std::string& property) const {
  std::optional<size_t> p = FindProperty(property);
  if (!p) {
    if (std::optional<Extra> count = FindExtra(property, true)) {
      return std::to_string(values_[count->slot].size());
    }
    if (!Has(property)) return "";
    const std::optional<Extra> extra = FindExtra(property, false);
    return UnescapeText(DecodedValue(doc_.lines()[values_[extra->slot][extra->place - 1]]),
                        dialect_);
  }
  if (*p == kFullNameAndCompany) {
    if (slots_[kSubject].line == kAbsent) return "";
    std::string company = Read(kCompanyName);
    return company.empty() ? Read(kSubject) : Read(kSubject) + ", " + company;
  }
  return Read(*p);
}

std::string ContactView::GetAsRtf(const std::string& property) const {
  // Below this a note is unescaped whole, as Get does.
  constexpr size_t kPiece = size_t{1} << 20;
  const std::optional<size_t> p = FindProperty(property);
  if (!p || slots_[*p].line == kAbsent || slots_[*p].kind != Kind::kText) {
    return ItemView::GetAsRtf(property);
  }
  std::string decoded;
  const std::string_view escaped = DecodedValueView(doc_.lines()[slots_[*p].line], decoded);
  if (escaped.size() <= kPiece) return ItemView::GetAsRtf(property);
  return RtfFromPlainPieces([&](const std::function<void(std::string_view)>& take) {
    size_t begin = 0;
    while (begin < escaped.size()) {
      // A piece ends after a printable ASCII byte other than a backslash:
      // no escape, UTF-8 character or CR LF is cut in two.
      size_t end = std::min(begin + kPiece, escaped.size());
      while (end < escaped.size()) {
        const char last = escaped[end - 1];
        if (last >= 0x20 && last < 0x7F && last != '\\') break;
        ++end;
      }
      take(UnescapeText(escaped.substr(begin, end - begin), dialect_));
      begin = end;
    }
  });
}

std::string ContactView::Read(size_t index) const {
  const Slot& slot = slots_[index];
  if (slot.line == kAbsent) return "";
  const ContentLine& line = doc_.lines()[slot.line];
  switch (slot.kind) {
    case Kind::kText:
    case Kind::kUri: {
      // A UTF-8 value is unescaped where it stands: a note of tens of MB is
      // not copied once more on its way.
      std::string decoded;
      return UnescapeText(DecodedValueView(line, decoded), dialect_);
    }
    case Kind::kComponent: {
      const std::string decoded = DecodedValue(line);
      const std::optional<std::string_view> part = NthComponent(decoded, slot.component);
      return part ? UnescapeComponent(*part, dialect_) : "";
    }
    case Kind::kParam:
      return ParamText(*line.FindParam(slot.param), dialect_);
  }
  return "";
}

void ContactView::Set(const std::string& property, const std::string& text) {
  if (property == "FullNameAndCompany") {
    throw Failure("FullNameAndCompany cannot be changed; it is made of Subject and CompanyName.");
  }
  if (FindExtra(property, true)) {
    throw Failure(property + " cannot be changed; it counts values.");
  }
  if (const std::optional<Extra> extra = FindExtra(property, false)) {
    if (extra->place > values_[extra->slot].size()) {
      throw std::out_of_range("The contact has no " + property + ".");
    }
    ContentLine& line = doc_.lines()[values_[extra->slot][extra->place - 1]];
    const ValueKind kind = extra->slot == kEmailAddresses[0] ? ValueKind::kText : ValueKind::kUri;
    EncodeValue(line, EscapeLike(text, DecodedValue(line), kind, dialect_), dialect_);
    return;
  }
  const std::optional<size_t> index = FindProperty(property);
  if (!index || slots_[*index].line == kAbsent) {
    throw std::out_of_range("The contact has no " + property + ".");
  }
  const Slot& slot = slots_[*index];
  ContentLine& line = doc_.lines()[slot.line];
  switch (slot.kind) {
    case Kind::kText: {
      // The old value lives only while the new one is escaped like it: for
      // a note of tens of MB, every copy held into EncodeValue counts, and a
      // UTF-8 value is read where it stands.
      std::string escaped;
      {
        std::string decoded;
        const std::string_view old = DecodedValueView(line, decoded);
        escaped = dialect_ == Dialect::kVCard21
                      ? EscapeLike(LineBreaksLike(old, text), old, ValueKind::kText, dialect_)
                      : EscapeLike(text, old, ValueKind::kText, dialect_);
      }
      EncodeValue(line, std::move(escaped), dialect_);
      break;
    }
    case Kind::kUri:
      EncodeValue(line, EscapeLike(text, DecodedValue(line), ValueKind::kUri, dialect_), dialect_);
      break;
    case Kind::kComponent: {
      std::string old = Read(*index);
      std::vector<std::string> parts = SplitComponents(DecodedValue(line));
      if (parts.size() <= slot.component) {
        // A component the value lacks already reads as nothing.
        if (text.empty()) return;
        // The last component may end in a lone backslash, read as itself;
        // with a ";" after it, it would escape that ";", so it is doubled.
        // vCard 2.1 has no escaped backslash, so there it stays lone and the
        // check below refuses the write.
        if (dialect_ != Dialect::kVCard21 && EndsInLoneBackslash(parts.back())) {
          parts.back() += '\\';
        }
        parts.resize(slot.component + 1);
      }
      parts[slot.component] =
          EscapeLike(text, parts[slot.component], ValueKind::kComponent, dialect_);
      const std::string value = JoinComponents(parts);
      // In vCard 2.1 a backslash before a ";" between components, whether it
      // ends a component or stands before a ";" of the text, pairs with that
      // ";", and nothing can escape the backslash: writing it would merge or
      // split components, so the line is left as it is.
      if (dialect_ == Dialect::kVCard21 && SplitComponents(value) != parts) {
        throw Failure(property + " cannot take '" + Excerpt(text) +
                      "': in a vCard 2.1 file a backslash before a ';' between the parts of " +
                      Excerpt(line.name) + " cannot be written.");
      }
      EncodeValue(line, value, dialect_);
      if (line.upper_name == "ADR") KeepLabelConsistent(slot.line, old, text);
      break;
    }
    case Kind::kParam:
      SetParamValue(*line.FindParam(slot.param), text, dialect_);
      break;
  }
}

void ContactView::KeepLabelConsistent(size_t adrLine, const std::string& oldText,
                                      const std::string& newText) {
  if (oldText.empty() || oldText == newText) return;
  auto it = std::find_if(label_of_adr_.begin(), label_of_adr_.end(),
                         [&](const auto& adrAndLabel) { return adrAndLabel.first == adrLine; });
  if (it != label_of_adr_.end()) {
    ContentLine& label = doc_.lines()[it->second];
    std::string escaped = DecodedValue(label);
    std::string text = UnescapeText(escaped, dialect_);
    if (std::optional<std::string> updated = ReplaceOnlyRun(text, oldText, newText)) {
      EncodeValue(label, EscapeLike(*updated, escaped, ValueKind::kText, dialect_), dialect_);
    }
  }
  if (Param* param = doc_.lines()[adrLine].FindParam("LABEL")) {
    if (std::optional<std::string> updated =
            ReplaceOnlyRun(ParamText(*param, dialect_), oldText, newText)) {
      SetParamValue(*param, *updated, dialect_);
    }
  }
}

std::optional<size_t> ContactView::LineOfProperty(const std::string& property) const {
  if (const std::optional<size_t> p = FindProperty(property)) {
    if (*p == kFullNameAndCompany || slots_[*p].line == kAbsent) return std::nullopt;
    return slots_[*p].line;
  }
  const std::optional<Extra> extra = FindExtra(property, false);
  if (!extra || extra->place > values_[extra->slot].size()) return std::nullopt;
  return values_[extra->slot][extra->place - 1];
}

void ContactView::Touch(std::time_t now) {
  if (!rev_) return;
  ContentLine& rev = doc_.lines()[*rev_];
  bool extended = rev.value.find('-') != std::string::npos;
  EncodeValue(rev, UtcStamp(now, extended), dialect_);
}

}  // namespace tidewell::formats
