// UTF-8, strictly: no overlong forms, no surrogates, nothing past U+10FFFF.
// Item texts are UTF-8 throughout; bytes that are not (an old 2.1 card, a
// broken body) must be told apart rather than guessed at.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tidewell {

// The code point at text[i], advancing i past it; nothing (and i unchanged)
// when text[i] does not start a well-formed sequence.
std::optional<char32_t> NextCodePoint(std::string_view text, size_t& i);

void AppendUtf8(std::string& out, char32_t cp);

bool IsValidUtf8(std::string_view text);

}  // namespace tidewell
