// Content lines of vCard and iCalendar files, as the vdir store reads and
// rewrites them. Internal to the store: see vdir_store.h for the public side.
//
// A line keeps its exact byte range in the file, so a file is rewritten by
// splicing new text over the ranges of changed lines and copying every other
// byte. Values stay in their file form (escaped, quoted-printable, in their
// character set) until a caller decodes them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tidewell::vdir {

enum class Dialect { kVCard21, kVCard3, kVCard4, kICalendar };

struct Param {
  std::string raw;    // as written between ";" and ";" or ":", e.g. `TYPE=work,voice`
  std::string name;   // upper case; empty for a vCard 2.1 bare value such as `WORK`
  std::string value;  // double quotes removed; for a bare value, the whole text
};

struct ContentLine {
  size_t begin = 0;          // first byte of its first physical line
  size_t end = 0;            // one past the terminator of its last physical line
  size_t line_number = 0;    // 1-based physical line number where it starts
  std::string terminator;    // of its last physical line: "\r\n", "\n", "" at the end
  bool is_property = false;  // false: a blank line or stray text, carried as it is
  std::string group;
  std::string name;
  std::string upper_name;
  std::vector<Param> params;
  std::string value;     // unfolded, soft line breaks joined; still encoded and escaped
  std::string charset;   // effective character set of the value as read ("UTF-8" when none)
  std::string pristine;  // Serialize() as read: equal text means "unchanged"

  const Param* FindParam(std::string_view upperName) const;
  Param* FindParam(std::string_view upperName);
};

// Splits a whole file into logical lines. Folded lines (a physical line that
// starts with a blank continues the one before, also across blank lines) and
// quoted-printable soft line breaks are joined. Every byte from `start` on
// belongs to exactly one line's [begin, end) range, or to none only when it
// precedes `start` (a byte-order mark).
std::vector<ContentLine> SplitContentLines(std::string_view bytes, size_t start);

// "group.NAME;param;param:value" without folding or terminator.
std::string Serialize(const ContentLine& line);

// The physical lines of `line` joined by `newline`, each at most 75 octets:
// quoted-printable values break with "=" soft breaks, others fold with
// newline + space. Never splits a UTF-8 sequence or a "=XX" triplet.
// With `softBreaks` false a quoted-printable value stays on one line however
// long: vobject, and so khard, cannot read soft breaks, so a value that was
// written on one line by its phone or client is kept that way.
std::string Fold(const ContentLine& line, const std::string& newline, bool softBreaks = true);

bool IsQuotedPrintable(const ContentLine& line);

// The value as UTF-8, quoted-printable and character set undone, still
// escaped. Throws Failure when the character set is unknown.
std::string DecodedValue(const ContentLine& line);

// Stores `escapedUtf8` as the line's value in the line's own encoding and
// character set. A text the character set cannot hold switches the line to
// UTF-8 (CHARSET=UTF-8 when it had a CHARSET). A vCard 2.1 value with a line
// break becomes quoted-printable, since 2.1 has no other way to hold one.
void EncodeValue(ContentLine& line, const std::string& escapedUtf8, Dialect dialect);

// Gives a parameter a new value, quoting it when it needs quotes or had them.
// RFC 6868 caret escapes are used for vCard 4.0 and iCalendar.
void SetParamValue(Param& param, const std::string& value, Dialect dialect);

// A parameter's value as text: RFC 6868 caret escapes undone for vCard 4.0
// and iCalendar.
std::string ParamText(const Param& param, Dialect dialect);

// TEXT values: "\n" "\\" "\;" "\," (and "\:") undone on read, done on write.
// vCard 2.1 has no such escapes and keeps text as it is.
std::string UnescapeText(std::string_view escaped, Dialect dialect);
std::string EscapeText(std::string_view text, Dialect dialect);
// URIs (URL, TEL): only backslash and line breaks are escaped on write.
std::string EscapeUri(std::string_view text, Dialect dialect);

// Structured values (ADR, ORG, N): the raw components between unescaped ";".
std::vector<std::string> SplitComponents(std::string_view escaped);
std::string UnescapeComponent(std::string_view escaped, Dialect dialect);
std::string EscapeComponent(std::string_view text, Dialect dialect);

// `text` converted between character sets with iconv; nothing when a byte or
// character does not convert. Throws Failure for an unknown character set.
std::optional<std::string> ConvertCharset(std::string_view text, const std::string& from,
                                          const std::string& to);

std::string QuotedPrintableDecode(std::string_view encoded);
std::string QuotedPrintableEncode(std::string_view bytes);

std::string ToUpper(std::string_view text);
std::string ToLower(std::string_view text);
std::string_view Trim(std::string_view text);

}  // namespace tidewell::vdir
