// The INI dialect of Qt's QSettings (IniFormat), read and written without Qt,
// so that the terminal program and a program on QSettings share one file:
// either one reads what the other wrote, and a save by one rewrites the
// other's keys as QSettings itself would.
//
//   ini::Entries entries = ini::Parse(bytes).entries;
//   entries[ini::FullKey("Tidewell", "SearchFor")] = ini::TextValue("a; b");
//   std::string file = ini::Write(entries);   // [Tidewell]\nSearchFor="a; b"\n
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tidewell::ini {

// A value as QSettings keeps it between reading and writing: one text, or a
// list (a line with unquoted commas). Texts are in the stored form: "@@x"
// for a text "@x", "@Invalid()" for no value, "@ByteArray(...)" as is.
struct Value {
  bool list = false;
  std::vector<std::u16string> items;
  bool operator==(const Value&) const = default;
};

// Full keys ("Section/key", "key" for [General]) in UTF-16, ordered by code
// unit as QSettings orders them when it writes.
using Entries = std::map<std::u16string, Value>;

struct Parsed {
  Entries entries;
  // A "[" line without "]": QSettings' FormatError on opening the file.
  bool broken_header = false;
  // A line with no "=" that is no comment: QSettings drops it on its next
  // save and reports FormatError then.
  bool stray_line = false;
};

// Reads a file's bytes (a UTF-8 byte order mark is skipped). Later keys
// replace earlier ones; comments and blank lines are not kept.
Parsed Parse(std::string_view data);

// The file QSettings writes for these entries: "[General]" first for keys
// outside any section, sections and keys sorted, a blank line between
// sections, "\n" line ends. Empty for no entries.
std::string Write(const Entries& entries);

// The key QSettings files `key` of `section` under: empty steps and the
// slashes at the ends dropped ("a//b/" is "a/b").
std::u16string FullKey(std::string_view section, std::string_view key);

// The keys directly under `section` (none of them holding "/"), sorted.
std::vector<std::string> ChildKeys(const Entries& entries, std::string_view section);

// The stored form of a text QSettings is given (invalid UTF-8 is read as
// U+FFFD, as QString::fromStdString reads it).
Value TextValue(std::string_view utf8);

// What QVariant::toString() gives for the value QSettings reads back: the
// text, "" for a list or a value of another type (@Rect(...), @Variant(...)),
// nothing for "@Invalid()".
std::optional<std::string> ValueText(const Value& value);

std::u16string ToUtf16(std::string_view utf8);
std::string ToUtf8(std::u16string_view utf16);

}  // namespace tidewell::ini
