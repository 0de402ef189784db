#include "formats/subject_scan.h"

#include <array>
#include <vector>

#include "formats/contact_types.h"
#include "formats/content_line.h"

namespace tidewell::formats {
namespace {

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.';
}

// One logical line read as the parser reads it, as views of its text.
struct Line {
  std::string_view group;
  std::string_view name;
  std::vector<std::string_view> params;  // each as written between ";" and ";" or ":"
  std::string_view value;
};

// False for text the parser does not take for a property.
bool ReadLine(std::string_view text, Line& line) {
  size_t i = 0;
  while (i < text.size() && text[i] != ';' && text[i] != ':') {
    if (!IsNameChar(text[i])) return false;
    ++i;
  }
  if (i == 0 || i == text.size()) return false;
  std::string_view full = text.substr(0, i);
  line.params.clear();
  while (text[i] == ';') {
    const size_t start = ++i;
    bool quoted = false;
    while (i < text.size() && (quoted || (text[i] != ';' && text[i] != ':'))) {
      if (text[i] == '"') quoted = !quoted;
      ++i;
    }
    if (i == text.size()) return false;
    line.params.push_back(text.substr(start, i - start));
  }
  const size_t dot = full.rfind('.');
  line.group = dot == std::string_view::npos ? std::string_view() : full.substr(0, dot);
  line.name = dot == std::string_view::npos ? full : full.substr(dot + 1);
  line.value = text.substr(i + 1);
  return !line.name.empty();
}

// The types of an ungrouped line, as TypesOf reads its parameters.
TypeSet TypesOfParams(const std::vector<std::string_view>& params) {
  TypeSet types;
  for (std::string_view raw : params) {
    const size_t eq = ParamEquals(raw);
    std::string value;
    for (char c : eq == std::string_view::npos ? raw : raw.substr(eq + 1)) {
      if (c != '"') value += c;
    }
    if (eq == std::string_view::npos) {
      types.Add(Trim(value));
      continue;
    }
    const std::string_view name = Trim(raw.substr(0, eq));
    if (EqualsIgnoringCase(name, "PREF")) {
      types.words |= Bit(Word::kPref);
    } else if (EqualsIgnoringCase(name, "TYPE")) {
      size_t start = 0;
      for (size_t i = 0; i <= value.size(); ++i) {
        if (i == value.size() || value[i] == ',') {
          const std::string_view t = Trim(std::string_view(value).substr(start, i - start));
          if (!t.empty()) types.Add(t);
          start = i + 1;
        }
      }
    }
  }
  return types;
}

// EqualsIgnoringCase for an upper-case `upper`, inline: each line is tried
// against a dozen names, nearly all of another length.
bool Is(std::string_view text, std::string_view upper) {
  if (text.size() != upper.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) != upper[i]) return false;
  }
  return true;
}

bool IsComponentMarker(std::string_view value, std::string_view upper) {
  return Is(Trim(value), upper);
}

}  // namespace

std::optional<std::string> ScanContactSubject(std::string_view bytes, std::string_view unfolded) {
  // SearchableContactText vouches for the bytes holding no binary byte; its
  // values are decoded as the fields read them, but for line breaks.
  if (bytes.starts_with("\xEF\xBB\xBF")) return std::nullopt;
  enum class State { kBefore, kInCard, kAfter } state = State::kBefore;
  // The values the card may hold once for every property to stand for them.
  static constexpr std::array<std::string_view, 5> kSingle = {"FN", "ORG", "NOTE", "X-ACCOUNT",
                                                              "X-EVOLUTION-FILE-AS"};
  std::array<bool, kSingle.size()> seen{};
  std::array<bool, 3> address_kinds{};  // work, home, other
  bool url = false;
  std::optional<std::string_view> version;
  std::string_view fn;
  Line line;
  for (size_t pos = 0; pos < unfolded.size();) {
    size_t nl = unfolded.find('\n', pos);
    if (nl == std::string_view::npos) nl = unfolded.size();
    const std::string_view text = unfolded.substr(pos, nl - pos);
    pos = nl + 1;
    if (text.empty()) continue;
    if (state == State::kAfter || !ReadLine(text, line)) return std::nullopt;
    const bool begin = Is(line.name, "BEGIN");
    const bool end = Is(line.name, "END");
    // Read undecoded by the parser: the text holds them decoded.
    if ((begin || end || Is(line.name, "VERSION")) && !line.params.empty()) return std::nullopt;
    if (state == State::kBefore) {
      if (!begin || !IsComponentMarker(line.value, "VCARD")) return std::nullopt;
      state = State::kInCard;
      continue;
    }
    if (begin) return std::nullopt;
    if (end) {
      if (!IsComponentMarker(line.value, "VCARD")) return std::nullopt;
      state = State::kAfter;
      continue;
    }
    if (!version && Is(line.name, "VERSION")) version = Trim(line.value);
    for (size_t k = 0; k < kSingle.size(); ++k) {
      if (!Is(line.name, kSingle[k])) continue;
      if (seen[k]) return std::nullopt;
      seen[k] = true;
      if (k == 0) fn = line.value;
      // A carriage return may stand for a decoded line break.
      if (k == 0 && fn.find('\r') != std::string_view::npos) return std::nullopt;
    }
    const bool is_url = Is(line.name, "URL");
    if (is_url || Is(line.name, "ADR")) {
      if (!line.group.empty()) return std::nullopt;
      const TypeSet types = TypesOfParams(line.params);
      if (is_url) {
        // The home page takes a work URL, else a neutral one.
        if (url || !(types.contains(Word::kWork) || types.OnlyNeutral())) return std::nullopt;
        url = true;
      } else {
        const size_t kind = types.contains(Word::kWork) ? 0 : types.contains(Word::kHome) ? 1 : 2;
        if (address_kinds[kind]) return std::nullopt;
        address_kinds[kind] = true;
      }
    }
  }
  if (state != State::kAfter) return std::nullopt;
  const Dialect dialect = version == "2.1"   ? Dialect::kVCard21
                          : version == "4.0" ? Dialect::kVCard4
                                             : Dialect::kVCard3;
  return UnescapeText(fn, dialect);
}

}  // namespace tidewell::formats
