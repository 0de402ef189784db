#include "adapters/pattern/classic_syntax.h"

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/failure.h"
#include "text/utf8.h"

namespace tidewell::classic {
namespace {

[[noreturn]] void Invalid(const std::string& fault) {
  throw Failure("Invalid pattern: " + fault + ".");
}

std::string At(size_t position) { return " at position " + std::to_string(position); }

std::vector<char32_t> Decode(const std::string& pattern) {
  std::vector<char32_t> chars;
  chars.reserve(pattern.size());
  for (size_t i = 0; i < pattern.size();) {
    const std::optional<char32_t> c = NextCodePoint(pattern, i);
    if (!c) Invalid("the text" + At(chars.size() + 1) + " is not valid UTF-8");
    chars.push_back(*c);
  }
  return chars;
}

std::string Quote(const std::vector<char32_t>& chars, size_t from, size_t to) {
  std::string out = "'";
  for (size_t i = from; i < to; ++i) AppendUtf8(out, chars[i]);
  return out + "'";
}

char32_t Control(char32_t c) {
  switch (c) {
    case 'a':
      return 0x07;
    case 'b':
      return 0x08;
    case 'f':
      return 0x0C;
    case 'n':
      return 0x0A;
    case 'r':
      return 0x0D;
    case 't':
      return 0x09;
    case 'v':
      return 0x0B;
    default:
      return c;
  }
}

void AppendPcreChar(std::string& out, char32_t c) {
  const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  if (plain) {
    out += static_cast<char>(c);
    return;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  do {
    hex.insert(hex.begin(), kHex[c & 0xF]);
    c >>= 4;
  } while (c != 0);
  out += "\\x{" + hex + "}";
}

class Parser {
 public:
  explicit Parser(const std::string& pattern) : chars_(Decode(pattern)) {}

  Translation Run() {
    // What stands before a repeat: a character, '.', a list or a closed tag
    // (kAtom) can be repeated; at the start, after '^' or after '{' there is
    // nothing, and the repeat stands for itself, as in "+1"; a repeat after a
    // repeat ("a**", "a+?") is refused rather than guessed at.
    enum class Before { kNothing, kAtom, kRepeat } before = Before::kNothing;
    std::vector<size_t> open_tags;
    result_.is_literal = !chars_.empty();
    for (size_t i = 0; i < chars_.size(); ++i) {
      const char32_t c = chars_[i];
      result_.origins.emplace_back(result_.pcre.size(), i + 1);
      const bool last = i + 1 == chars_.size();
      if ((c == '^' && i == 0) || (c == '$' && last)) {
        result_.pcre += c == '^' ? "\\A" : "\\z";
        result_.is_literal = false;
        before = Before::kNothing;
      } else if ((c == '?' || c == '*' || c == '+') && before != Before::kNothing) {
        if (before == Before::kRepeat) {
          Invalid(Quote(chars_, i, i + 1) + At(i + 1) + " follows another repeat");
        }
        result_.pcre += static_cast<char>(c);
        result_.is_literal = false;
        before = Before::kRepeat;
      } else if (c == '{') {
        open_tags.push_back(i);
        result_.pcre += '(';
        result_.is_literal = false;
        before = Before::kNothing;
      } else if (c == '}') {
        if (open_tags.empty()) Invalid("'}'" + At(i + 1) + " has no matching '{'");
        open_tags.pop_back();
        result_.pcre += ')';
        before = Before::kAtom;
      } else if (c == '[') {
        i = List(i);
        result_.is_literal = false;
        before = Before::kAtom;
      } else if (c == '.') {
        result_.pcre += '.';
        result_.is_literal = false;
        before = Before::kAtom;
      } else {
        char32_t literal = c;
        if (c == '\\') literal = Escaped(i);
        AppendPcreChar(result_.pcre, literal);
        AppendUtf8(result_.literal, literal);
        before = Before::kAtom;
      }
    }
    if (!open_tags.empty()) Invalid("'{'" + At(open_tags.back() + 1) + " is never closed");
    if (!result_.is_literal) result_.literal.clear();
    return std::move(result_);
  }

 private:
  // The character that the backslash at `i` stands for; moves `i` onto the
  // escaped character.
  char32_t Escaped(size_t& i) {
    if (i + 1 == chars_.size()) Invalid("'\\'" + At(i + 1) + " has nothing to escape");
    return Control(chars_[++i]);
  }

  // Writes the list that opens at `open` and returns the index of its ']'.
  // A ']' right after '[' or '[^' is a member, as in POSIX lists; '-' is a
  // range between two members and a member anywhere else.
  size_t List(size_t open) {
    size_t i = open + 1;
    std::string& out = result_.pcre;
    out += '[';
    if (i < chars_.size() && chars_[i] == '^') {
      out += '^';
      ++i;
    }
    for (bool first = true;; first = false) {
      if (i >= chars_.size()) Invalid("'['" + At(open + 1) + " is never closed");
      if (chars_[i] == ']' && !first) break;
      const size_t start = i;
      const char32_t low = chars_[i] == '\\' ? Escaped(i) : chars_[i];
      ++i;
      AppendPcreChar(out, low);
      if (i + 1 < chars_.size() && chars_[i] == '-' && chars_[i + 1] != ']') {
        ++i;
        const char32_t high = chars_[i] == '\\' ? Escaped(i) : chars_[i];
        ++i;
        if (high < low) {
          Invalid("range " + Quote(chars_, start, i) + At(start + 1) + " is reversed");
        }
        out += '-';
        AppendPcreChar(out, high);
      }
    }
    out += ']';
    return i;
  }

  std::vector<char32_t> chars_;
  Translation result_;
};

}  // namespace

size_t Translation::OriginOf(size_t pcre_offset) const {
  size_t position = 1;
  for (const auto& [offset, origin] : origins) {
    if (offset > pcre_offset) break;
    position = origin;
  }
  return position;
}

Translation Translate(const std::string& pattern) { return Parser(pattern).Run(); }

std::vector<ReplacementPart> ParseReplacement(const std::string& replacement, bool dollars) {
  std::vector<ReplacementPart> parts;
  std::string literal;
  for (size_t i = 0; i < replacement.size(); ++i) {
    const char next = i + 1 < replacement.size() ? replacement[i + 1] : '\0';
    const bool tag_sign = replacement[i] == '\\' || (dollars && replacement[i] == '$');
    if (tag_sign && next >= '0' && next <= '9') {
      if (!literal.empty()) parts.push_back({std::move(literal), -1});
      literal.clear();
      parts.push_back({"", next - '0'});
      ++i;
    } else if (replacement[i] == '\\' && next == '\\') {
      literal += '\\';
      ++i;
    } else if (dollars && replacement[i] == '$' && next == '$') {
      literal += '$';
      ++i;
    } else {
      literal += replacement[i];
    }
  }
  if (!literal.empty()) parts.push_back({std::move(literal), -1});
  return parts;
}

namespace {

// The index just past the count "{n}" or "{n,m}" that opens at `open`, or
// `open` when none does.
size_t CountEnd(const std::vector<char32_t>& chars, size_t open) {
  size_t i = open + 1;
  const auto digits = [&] {
    const size_t from = i;
    while (i < chars.size() && chars[i] >= '0' && chars[i] <= '9') ++i;
    return i > from;
  };
  if (!digits()) return open;
  if (i < chars.size() && chars[i] == ',') {
    ++i;
    digits();
  }
  return i < chars.size() && chars[i] == '}' ? i + 1 : open;
}

bool ClassLetter(char32_t c) {
  return c == 'd' || c == 'D' || c == 'w' || c == 'W' || c == 's' || c == 'S';
}

}  // namespace

std::string RegexConstruct(const std::string& pattern) {
  std::vector<char32_t> chars;
  try {
    chars = Decode(pattern);
  } catch (const Failure&) {
    return "";
  }
  const auto letter = [](char32_t c) {
    std::string text = "\\";
    AppendUtf8(text, c);
    return text + " means the letter " + text.substr(1);
  };
  // What stands before a '+', as the parser sees it: nothing (then '+' is
  // literal), one literal character, or a '.', list or tag.
  enum class Before { kNothing, kChar, kOther } before = Before::kNothing;
  char32_t previous = 0;
  for (size_t i = 0; i < chars.size(); ++i) {
    const char32_t c = chars[i];
    if (c == '\\' && i + 1 < chars.size()) {
      if (ClassLetter(chars[i + 1])) return letter(chars[i + 1]);
      previous = Control(chars[++i]);
      before = Before::kChar;
    } else if (c == '[') {
      size_t j = i + 1;
      if (j < chars.size() && chars[j] == '^') ++j;
      for (bool first = true; j < chars.size() && (first || chars[j] != ']'); first = false, ++j) {
        if (chars[j] != '\\' || j + 1 == chars.size()) continue;
        if (ClassLetter(chars[j + 1])) return letter(chars[j + 1]);
        ++j;
      }
      i = j;
      before = Before::kOther;
    } else if (c == '|') {
      return "| means a literal |";
    } else if (c == '(' && i + 1 < chars.size() && chars[i + 1] == '?') {
      return "(? means a ( that may be left out";
    } else if (c == '{' && CountEnd(chars, i) != i) {
      const size_t end = CountEnd(chars, i);
      std::string count;
      for (size_t j = i; j < end; ++j) AppendUtf8(count, chars[j]);
      return count + " means a tag that matches the text " + count.substr(1, count.size() - 2);
    } else if (c == '+') {
      if (before == Before::kNothing) return "+ means a literal +";
      if (before == Before::kOther) return "+ means one or more of the '.', list or tag before it";
      std::string quoted;
      AppendUtf8(quoted, previous);
      return "+ means one or more of the '" + quoted + "' before it";
    } else if ((c == '^' && i == 0) || c == '{') {
      before = Before::kNothing;
    } else if ((c == '?' || c == '*') && before != Before::kNothing) {
      before = Before::kOther;
    } else if (c == '.' || c == '}') {
      before = Before::kOther;
    } else {
      previous = c;
      before = Before::kChar;
    }
  }
  return "";
}

}  // namespace tidewell::classic
