#include <array>
#include <vector>

#include "formats/content_line.h"

namespace tidewell::formats {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool IsHexDigit(char c) { return HexValue(c) >= 0; }

}  // namespace

std::string QuotedPrintableDecode(std::string_view encoded) {
  std::string out;
  out.reserve(encoded.size());
  for (size_t i = 0; i < encoded.size(); ++i) {
    if (encoded[i] == '=' && i + 2 < encoded.size() && HexValue(encoded[i + 1]) >= 0 &&
        HexValue(encoded[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(encoded[i + 1]) * 16 + HexValue(encoded[i + 2]));
      i += 2;
    } else {
      out += encoded[i];
    }
  }
  return out;
}

std::string QuotedPrintableEncodeLike(std::string_view bytes, std::string_view old) {
  // Per byte, how old wrote each occurrence: 'l' as itself, 'e' as "=XX".
  std::array<std::string, 256> spelt;
  bool lower = false;
  bool upper = false;
  for (size_t i = 0; i < old.size(); ++i) {
    if (old[i] == '=' && i + 2 < old.size() && IsHexDigit(old[i + 1]) && IsHexDigit(old[i + 2])) {
      spelt[static_cast<unsigned char>(HexValue(old[i + 1]) * 16 + HexValue(old[i + 2]))] += 'e';
      for (char h : old.substr(i + 1, 2)) {
        lower = lower || (h >= 'a' && h <= 'f');
        upper = upper || (h >= 'A' && h <= 'F');
      }
      i += 2;
    } else {
      spelt[static_cast<unsigned char>(old[i])] += 'l';
    }
  }
  const char* hex = lower && !upper ? "0123456789abcdef" : "0123456789ABCDEF";

  // The text before the first and after the last changed byte is copied as
  // old spelt it, so a replace re-encodes only the span it changed. The last
  // byte of the value and a bare "=" before the changed span go by the rules
  // below, which know what follows them now.
  std::string was;
  std::vector<size_t> at;  // where each byte of `was` is spelt in old
  was.reserve(old.size());
  at.reserve(old.size() + 1);
  for (size_t i = 0; i < old.size(); ++i) {
    at.push_back(i);
    if (old[i] == '=' && i + 2 < old.size() && IsHexDigit(old[i + 1]) && IsHexDigit(old[i + 2])) {
      was += static_cast<char>(HexValue(old[i + 1]) * 16 + HexValue(old[i + 2]));
      i += 2;
    } else {
      was += old[i];
    }
  }
  at.push_back(old.size());
  size_t prefix = 0;
  while (prefix < bytes.size() && prefix < was.size() && bytes[prefix] == was[prefix]) ++prefix;
  size_t suffix = 0;
  while (suffix < bytes.size() - prefix && suffix < was.size() - prefix &&
         bytes[bytes.size() - 1 - suffix] == was[was.size() - 1 - suffix]) {
    ++suffix;
  }
  if (suffix == 0 && prefix == bytes.size() && prefix > 0) --prefix;
  while (prefix > 0 && was[prefix - 1] == '=' && at[prefix] - at[prefix - 1] == 1) --prefix;

  std::array<size_t, 256> seen{};
  for (size_t i = 0; i < prefix; ++i) ++seen[static_cast<unsigned char>(bytes[i])];
  std::string out(old.substr(0, at[prefix]));
  out.reserve(bytes.size() * 3 / 2);
  for (size_t i = prefix; i < bytes.size() - suffix; ++i) {
    auto c = static_cast<unsigned char>(bytes[i]);
    const bool last = i + 1 == bytes.size();
    const std::string& s = spelt[c];
    const bool printable = c >= 33 && c <= 126 && c != '=';
    const bool blank = c == ' ' || c == '\t';
    char spelling =
        s.empty() ? (printable || blank ? 'l' : 'e') : s[std::min(seen[c], s.size() - 1)];
    ++seen[c];
    bool literal = spelling == 'l';
    if (blank) {
      literal = literal && !last;
    } else if (c == '=') {
      literal = literal && !last && !IsHexDigit(bytes[i + 1]);
    } else if (c < 0x80 && !printable) {
      literal = false;
    }
    if (literal) {
      out += static_cast<char>(c);
    } else {
      out += '=';
      out += hex[c >> 4];
      out += hex[c & 0x0F];
    }
  }
  out.append(old, at[was.size() - suffix]);
  return out;
}
}  // namespace tidewell::formats
