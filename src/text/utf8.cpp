#include "text/utf8.h"

#include <cstdint>
#include <cstring>

namespace tidewell {

std::optional<char32_t> NextCodePoint(std::string_view text, size_t& i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  size_t length = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return std::nullopt;
  }
  if (i + length > text.size()) return std::nullopt;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return std::nullopt;
    value = (value << 6) | (byte(i + k) & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return std::nullopt;
  }
  i += length;
  return value;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool IsValidUtf8(std::string_view text) {
  const char* const data = text.data();
  const size_t size = text.size();
  for (size_t i = 0; i < size;) {
    // Item files are mostly ASCII: 32 bytes without a high bit pass at once,
    // then 8 at a time.
    while (i + 32 <= size) {
      uint64_t words[4];
      std::memcpy(words, data + i, sizeof words);
      if (((words[0] | words[1] | words[2] | words[3]) & 0x8080808080808080ULL) != 0) break;
      i += 32;
    }
    while (i + 8 <= size) {
      uint64_t word = 0;
      std::memcpy(&word, data + i, sizeof word);
      if ((word & 0x8080808080808080ULL) != 0) break;
      i += 8;
    }
    // A run of plain bytes up to the next high one.
    while (i < size && static_cast<unsigned char>(data[i]) < 0x80) ++i;
    if (i < size && !NextCodePoint(text, i)) return false;
  }
  return true;
}

}  // namespace tidewell
