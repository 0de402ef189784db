// Failures of Tidewell and of the components it drives.
//
// Every failure in the system is one exception type carrying the description
// that a failure report shows ("Error occurred.  Reason: <description>").
// Procedures with a trap catch `Failure` (and std::exception, whose what()
// becomes the description); nothing escapes to a host as a crash.
#pragma once

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tidewell {

class Failure : public std::runtime_error {
 public:
  explicit Failure(const std::string& description) : std::runtime_error(description) {}

  // The text a failure report copies after "Reason: ". May be empty.
  std::string Description() const { return what(); }
};

// A failure that comes from the text being worked on rather than from what
// the run asks: a pattern that compiles but fails on this text ("The pattern
// is too complex for this text.", the matching library's own error), a phone
// number whose ")" stands two places or more before its "(". Another text may
// not fail, so whoever knows which field the text came from names it.
class TextFailure : public Failure {
 public:
  using Failure::Failure;
};

// Why a store refuses to save an item: its file or its server copy is no
// longer what the item was read from, and writing would lose that change.
inline constexpr const char* kChangedByAnotherProgram =
    "The item was changed by another program since it was read.";

// Why a store's GetDefaultFolder refuses: only the contacts folder is a
// default folder in a store of folders.
inline Failure NoDefaultFolder(int32_t folderType) {
  return Failure("The store has no default folder of type " + std::to_string(folderType) + ".");
}

// The description of any exception caught by a trap: a Failure's own text,
// the what() of a standard exception.
inline std::string DescriptionOf(const std::exception& e) { return e.what(); }

// The bytes of `text` that hold its first `characters` UTF-8 characters (a
// character is a lead byte and the continuation bytes after it), so a cut
// there never splits one.
inline size_t CharacterPrefix(std::string_view text, size_t characters) {
  size_t seen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && seen++ == characters) return i;
  }
  return text.size();
}

// How many characters of a value a report or an error-log line quotes: a
// runaway value (a name of a megabyte) must not fill a terminal or the log.
inline constexpr size_t kQuotedCharacters = 80;

// A value as a report quotes it (a contact's name and company, a folder's
// name): its first 80 characters and "…" when it is longer, else itself.
inline std::string Bounded(std::string_view value) {
  const size_t end = CharacterPrefix(value, kQuotedCharacters);
  if (end == value.size()) return std::string(value);
  return std::string(value.substr(0, end)) + "\u2026";
}

// File content as a failure description quotes it: control characters
// escaped ("\r", "\n", "\t", "\x1B"), and cut after 80 characters with
// "…" like Bounded, so that a runaway value (a file with lone CR line ends
// reads as one line) cannot fill a terminal or the error log.
inline std::string Excerpt(std::string_view text) {
  const size_t end = CharacterPrefix(text, kQuotedCharacters);
  std::string out;
  for (size_t i = 0; i < end; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return end == text.size() ? out : out + "\u2026";
}

}  // namespace tidewell
