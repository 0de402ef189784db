#include "platform/vdir/contact_view.h"

#include <algorithm>
#include <array>
#include <set>
#include <unordered_set>
#include <vector>

#include "platform/failure.h"
#include "platform/vdir/text_forms.h"

namespace tidewell::vdir {
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

constexpr std::array<const char*, kPhoneCount> kPhoneProperties = {"AssistantTelephoneNumber",
                                                                   "BusinessTelephoneNumber",
                                                                   "Business2TelephoneNumber",
                                                                   "BusinessFaxNumber",
                                                                   "CallbackTelephoneNumber",
                                                                   "CarTelephoneNumber",
                                                                   "CompanyMainTelephoneNumber",
                                                                   "HomeTelephoneNumber",
                                                                   "Home2TelephoneNumber",
                                                                   "HomeFaxNumber",
                                                                   "MobileTelephoneNumber",
                                                                   "OtherTelephoneNumber",
                                                                   "OtherFaxNumber",
                                                                   "PagerNumber",
                                                                   "PrimaryTelephoneNumber",
                                                                   "RadioTelephoneNumber",
                                                                   "TTYTDDTelephoneNumber"};

constexpr std::array<const char*, 3> kAddressKinds = {"Business", "Home", "Other"};

// Hashed: a run asks for some sixty properties of every contact.
const std::unordered_set<std::string>& KnownProperties() {
  static const std::unordered_set<std::string> names = [] {
    std::unordered_set<std::string> n = {
        "Subject", "FullNameAndCompany", "Account", "CompanyName",
        "Body",    "BusinessHomePage",   "FileAs",  "OfficeLocation"};
    for (int k = 1; k <= 3; ++k) {
      n.insert("Email" + std::to_string(k) + "Address");
      n.insert("Email" + std::to_string(k) + "DisplayName");
    }
    for (const char* kind : kAddressKinds) {
      for (const char* part : {"Street", "City", "State", "PostalCode"}) {
        n.insert(std::string(kind) + "Address" + part);
      }
    }
    n.insert(kPhoneProperties.begin(), kPhoneProperties.end());
    return n;
  }();
  return names;
}

// The types an Apple-style group label stands for, e.g. "_$!<HomeFAX>!$_".
std::vector<std::string> LabelTypes(const std::string& label) {
  std::string l = label;
  if (l.starts_with("_$!<") && l.ends_with(">!$_")) l = l.substr(4, l.size() - 8);
  std::string key;
  for (char c : ToLower(l)) {
    if (c != ' ' && c != '-' && c != '_') key += c;
  }
  static const std::map<std::string, std::vector<std::string>> kLabels = {
      {"work", {"work"}},
      {"home", {"home"}},
      {"mobile", {"cell"}},
      {"iphone", {"cell"}},
      {"cell", {"cell"}},
      {"main", {"main-number"}},
      {"companymain", {"main-number"}},
      {"homefax", {"home", "fax"}},
      {"workfax", {"work", "fax"}},
      {"otherfax", {"fax"}},
      {"fax", {"fax"}},
      {"pager", {"pager"}},
      {"assistant", {"x-assistant"}},
      {"assistantphone", {"x-assistant"}},
      {"callback", {"x-callback"}},
      {"callbackphone", {"x-callback"}},
      {"car", {"car"}},
      {"carphone", {"car"}},
      {"radio", {"x-radio"}},
      {"radiophone", {"x-radio"}},
      {"tty", {"textphone"}},
      {"ttytdd", {"textphone"}},
      {"ttytddphone", {"textphone"}},
  };
  auto it = kLabels.find(key);
  return it == kLabels.end() ? std::vector<std::string>{} : it->second;
}

// Lower-case types of a line: TYPE values, vCard 2.1 bare values, "pref" for
// a PREF parameter, and what its group's X-ABLabel stands for.
// Ordered, and searched by the literals it is asked about without building a
// string for each.
using TypeSet = std::set<std::string, std::less<>>;

TypeSet TypesOf(const ContentLine& line, const std::map<std::string, std::string>& groupLabels) {
  TypeSet types;
  for (const Param& p : line.params) {
    if (p.name == "TYPE") {
      size_t start = 0;
      for (size_t i = 0; i <= p.value.size(); ++i) {
        if (i == p.value.size() || p.value[i] == ',') {
          std::string t = ToLower(Trim(std::string_view(p.value).substr(start, i - start)));
          if (!t.empty()) types.insert(t);
          start = i + 1;
        }
      }
    } else if (p.name.empty()) {
      types.insert(ToLower(Trim(p.value)));
    } else if (p.name == "PREF") {
      types.insert("pref");
    }
  }
  if (!line.group.empty()) {
    auto it = groupLabels.find(ToLower(line.group));
    if (it != groupLabels.end()) {
      for (const std::string& t : LabelTypes(it->second)) types.insert(t);
    }
  }
  return types;
}

// Types that say nothing about what kind of address or number a line holds.
bool IsNeutralType(const std::string& type) {
  static const std::set<std::string, std::less<>> kNeutral = {
      "pref",   "internet", "x400", "voice", "msg", "quoted-printable",
      "base64", "b",        "8bit", "7bit",  "uri"};
  return kNeutral.contains(type);
}

std::vector<Phone> PhoneCandidates(const TypeSet& t) {
  auto has = [&](const char* a, const char* b = nullptr) {
    return t.contains(a) || (b != nullptr && t.contains(b));
  };
  bool work = has("work");
  bool home = has("home");
  if (has("fax")) return {work ? kBusinessFax : home ? kHomeFax : kOtherFax};
  if (has("cell")) return {kMobile};
  if (has("pager")) return {kPager};
  if (has("car")) return {kCar};
  if (has("textphone", "ttytdd")) return {kTtyTdd};
  if (has("x-assistant", "assistant")) return {kAssistant};
  if (has("x-callback", "callback")) return {kCallback};
  if (has("main-number", "company")) return {kCompanyMain};
  if (has("x-radio", "radio")) return {kRadio};
  if (work) return {kBusiness, kBusiness2};
  if (home) return {kHome, kHome2};
  if (has("pref")) return {kPrimary};
  return {kOther};
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
std::string LineBreaksLike(const std::string& old, const std::string& text) {
  if (old.find("\r\n") == std::string::npos) return text;
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

}  // namespace

ContactView::ContactView(Document& document) : doc_(document) {
  std::optional<size_t> card;
  for (size_t c : doc_.top_level()) {
    if (doc_.components()[c].name == "VCARD") {
      card = c;
      break;
    }
  }
  if (!card) throw Failure("it holds no vCard.");
  const std::vector<size_t>& props = doc_.components()[*card].properties;
  std::vector<ContentLine>& lines = doc_.lines();

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
      group_labels_.emplace(ToLower(l.group), UnescapeText(DecodedValue(l), dialect_));
    }
  }

  std::vector<size_t> emails;
  std::vector<size_t> urls;
  std::array<std::optional<size_t>, 3> adrs;
  std::array<std::optional<size_t>, 3> labels;
  auto addressKind = [&](const ContentLine& l) {
    TypeSet types = TypesOf(l, group_labels_);
    return types.contains("work") ? 0 : types.contains("home") ? 1 : 2;
  };
  for (size_t i : props) {
    // A view: each line is tested against a dozen names.
    const std::string_view n = lines[i].upper_name;
    if (n == "FN") {
      Bind("Subject", i, Kind::kText);
    } else if (n == "ORG") {
      Bind("CompanyName", i, Kind::kComponent, 0);
    } else if (n == "X-ACCOUNT") {
      Bind("Account", i, Kind::kText);
    } else if (n == "NOTE") {
      Bind("Body", i, Kind::kText);
    } else if (n == "X-EVOLUTION-FILE-AS") {
      Bind("FileAs", i, Kind::kText);
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

  for (size_t k = 0; k < emails.size(); ++k) {
    if (TypesOf(lines[emails[k]], group_labels_).contains("pref")) {
      std::rotate(emails.begin(), emails.begin() + static_cast<std::ptrdiff_t>(k),
                  emails.begin() + static_cast<std::ptrdiff_t>(k) + 1);
      break;
    }
  }
  for (size_t k = 0; k < emails.size() && k < 3; ++k) {
    std::string n = std::to_string(k + 1);
    Bind("Email" + n + "Address", emails[k], Kind::kText);
    if (lines[emails[k]].FindParam("X-DISPLAY-NAME")) {
      Bind("Email" + n + "DisplayName", emails[k], Kind::kParam, 0, "X-DISPLAY-NAME");
    }
  }

  for (size_t u : urls) {
    if (TypesOf(lines[u], group_labels_).contains("work")) Bind("BusinessHomePage", u, Kind::kUri);
  }
  for (size_t u : urls) {
    TypeSet types = TypesOf(lines[u], group_labels_);
    if (std::all_of(types.begin(), types.end(), IsNeutralType)) {
      Bind("BusinessHomePage", u, Kind::kUri);
    }
  }

  for (size_t kind = 0; kind < 3; ++kind) {
    if (!adrs[kind]) continue;
    std::string prefix = std::string(kAddressKinds[kind]) + "Address";
    Bind(prefix + "Street", *adrs[kind], Kind::kComponent, 2);
    Bind(prefix + "City", *adrs[kind], Kind::kComponent, 3);
    Bind(prefix + "State", *adrs[kind], Kind::kComponent, 4);
    Bind(prefix + "PostalCode", *adrs[kind], Kind::kComponent, 5);
    if (kind == 0) Bind("OfficeLocation", *adrs[kind], Kind::kComponent, 1);
    if (labels[kind]) label_of_adr_[*adrs[kind]] = *labels[kind];
  }
}

void ContactView::Bind(const std::string& property, size_t line, Kind kind, size_t component,
                       const std::string& param) {
  slots_.try_emplace(property, Slot{line, kind, component, param});
}

void ContactView::ClassifyPhone(size_t line) {
  std::vector<Phone> candidates = PhoneCandidates(TypesOf(doc_.lines()[line], group_labels_));
  // A number that finds its own slots taken is still a number: it goes on as
  // the other phone rather than vanish from every search.
  candidates.push_back(kOther);
  for (Phone p : candidates) {
    if (!slots_.contains(kPhoneProperties[p])) {
      Bind(kPhoneProperties[p], line, Kind::kUri);
      return;
    }
  }
}

bool ContactView::Knows(const std::string& property) const {
  return KnownProperties().contains(property);
}

bool ContactView::Has(const std::string& property) const {
  return property == "FullNameAndCompany" ? slots_.contains("Subject") : slots_.contains(property);
}

std::string ContactView::Get(const std::string& property) const {
  if (property == "FullNameAndCompany") {
    if (!Has("Subject")) return "";
    std::string company = Get("CompanyName");
    return company.empty() ? Get("Subject") : Get("Subject") + ", " + company;
  }
  auto it = slots_.find(property);
  if (it == slots_.end()) return "";
  const Slot& slot = it->second;
  const ContentLine& line = doc_.lines()[slot.line];
  switch (slot.kind) {
    case Kind::kText:
    case Kind::kUri:
      return UnescapeText(DecodedValue(line), dialect_);
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
  const Slot& slot = slots_.at(property);
  ContentLine& line = doc_.lines()[slot.line];
  switch (slot.kind) {
    case Kind::kText: {
      std::string old = DecodedValue(line);
      std::string value = dialect_ == Dialect::kVCard21 ? LineBreaksLike(old, text) : text;
      EncodeValue(line, EscapeLike(value, old, ValueKind::kText, dialect_), dialect_);
      break;
    }
    case Kind::kUri:
      EncodeValue(line, EscapeLike(text, DecodedValue(line), ValueKind::kUri, dialect_), dialect_);
      break;
    case Kind::kComponent: {
      std::string old = Get(property);
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
        throw Failure(property + " cannot take '" + text +
                      "': in a vCard 2.1 file a backslash before a ';' between the parts of " +
                      line.name + " cannot be written.");
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
  auto it = label_of_adr_.find(adrLine);
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

void ContactView::Touch(std::time_t now) {
  if (!rev_) return;
  ContentLine& rev = doc_.lines()[*rev_];
  bool extended = rev.value.find('-') != std::string::npos;
  EncodeValue(rev, UtcStamp(now, extended), dialect_);
}

}  // namespace tidewell::vdir
