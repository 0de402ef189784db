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

namespace tidewell::formats {

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
  // Joined from its physical lines by folds alone: its text as read is read
  // again from the file's bytes, so a value of tens of MB is held once.
  bool folded = false;
  std::string group;
  std::string name;
  std::string upper_name;
  std::vector<Param> params;
  std::string value;  // unfolded, soft line breaks joined; still encoded and escaped
  // Effective character set of the value as read: its CHARSET, else "UTF-8"
  // when the value is valid UTF-8, else "WINDOWS-1252".
  std::string charset;
  // Without a CHARSET in a vCard 2.1 file, the set a new value is written in:
  // the file's ("UTF-8" when every such value is valid UTF-8, else
  // "WINDOWS-1252"). Empty elsewhere: a value goes in `charset`.
  std::string write_charset;
  // Serialize() as read, kept only where it can be read neither from the
  // line's own bytes nor from its folds (a quoted-printable soft break, a
  // dropped "." of an empty group).
  std::optional<std::string> pristine;

  const Param* FindParam(std::string_view upperName) const;
  Param* FindParam(std::string_view upperName);
};

// Splits a whole file into logical lines. Folded lines (a physical line that
// starts with a blank continues the one before, also across blank lines) and
// quoted-printable soft line breaks are joined. Every byte from `start` on
// belongs to exactly one line's [begin, end) range, or to none only when it
// precedes `start` (a byte-order mark).
std::vector<ContentLine> SplitContentLines(std::string_view bytes, size_t start);

// Where the "=" between a parameter's name and its value stands in `raw`
// (one parameter as written, without its ";"): an "=" inside a quoted value
// does not count. npos for a bare value ("HOME", vCard 2.1's shorthand).
size_t ParamEquals(std::string_view raw);

// Whether Serialize(line) is the line as it was read from `bytes` (the text
// it was split from), that is, whether it is unchanged. Builds no copy of it.
bool SerializesAsRead(const ContentLine& line, std::string_view bytes);
// Whether the line as it was read from `bytes` serializes as `text`.
bool ReadAs(const ContentLine& line, std::string_view bytes, std::string_view text);
// Serialize() of `line` as it was read from `bytes`: a copy, for the rare
// comparison of two lines as read.
std::string TextAsRead(const ContentLine& line, std::string_view bytes);

// "group.NAME;param;param:value" without folding or terminator.
std::string Serialize(const ContentLine& line);
// Serialize(line) up to and with the ":" before the value.
std::string SerializedHead(const ContentLine& line);
// Serialize(line) == text, without building it: a value may be tens of MB.
bool SerializesAs(const ContentLine& line, std::string_view text);

// How a line is broken into physical lines.
struct FoldForm {
  size_t width = 75;            // octets per physical line, its lead or "=" included
  char lead = ' ';              // starts a continuation line (a blank or a tab)
  bool soft = false;            // quoted-printable "=" soft breaks instead of leads
  bool at_line_breaks = false;  // soft breaks after each encoded line break only, any width
  std::string newline = "\r\n";
};

// The physical lines of `line` in `form`, joined by form.newline without a
// final one. Never splits a UTF-8 sequence, never ends a folded line with
// "=" on a quoted-printable line, and never splits a "=XX" triplet or starts
// a soft-broken line with a blank (a reader that unfolds before it decodes
// would take it for a fold); a line with no such place left stays long.
std::string Fold(const ContentLine& line, const FoldForm& form);

// `line` as physical lines in the form of `was`, the bytes it was read from
// (its physical lines without the last terminator), so that writing a value
// and then the old one back gives back `was` byte for byte:
// - A text as long as before keeps every break where it was, with the same
//   bytes (newline, lead, blank lines), when that still reads back as the
//   same text, so irregular folding (at words, at ";") survives.
// - A line read as one physical line stays one when it was longer than 75
//   octets or quoted-printable (vobject, and so khard, cannot read soft
//   breaks, so a value a phone wrote on one line is kept that way); other
//   lines fold at 75 octets with a space and `newline` when they grow past it.
// - Otherwise it refolds in the form `was` shows: its newline and lead, soft
//   breaks after each encoded line break when that gives back `was`, else
//   the width of 75 octets or of its longest physical line but the last,
//   whichever gives back `was`, else the width of its longest physical line.
// Without `folds` (vCard 2.1, whose readers keep the blank a fold starts
// with, where later ones drop it) no break with a lead is made or kept:
// only quoted-printable soft breaks, else one physical line.
std::string Refold(const ContentLine& line, std::string_view was, const std::string& newline,
                   bool folds = true);
// Refold(), appended to `out`: a long line is not built twice.
void RefoldTo(std::string& out, const ContentLine& line, std::string_view was,
              const std::string& newline, bool folds = true);

bool IsQuotedPrintable(const ContentLine& line);

// Whether `a` and `b` hold the same property: name, group, the parameters
// other than CHARSET and ENCODING (by value, not spelling), and the same
// text in each component of the value, whatever its escapes, encoding and
// character set, or the same time, duration or number however spelt. False
// when a value cannot be decoded.
bool ReadsAlike(const ContentLine& a, const ContentLine& b, Dialect dialect);

// Bytes of a file as plain ASCII text, to keep in the journal: "%" and every
// byte from 0x80 on written as "%XX". Lines in any character set survive it.
std::string LineToken(std::string_view bytes);
// The bytes of a LineToken; nothing for a text that is not one. Their
// string has `room` bytes to spare.
std::optional<std::string> LineOfToken(std::string_view token, size_t room = 0);
// The same, made in the token's own string, which grows only when it has
// less than `room` to spare.
std::optional<std::string> LineOfToken(std::string&& token, size_t room = 0);

// The value as UTF-8, quoted-printable and character set undone, still
// escaped. Throws Failure when the character set is unknown.
std::string DecodedValue(const ContentLine& line);
// DecodedValue without a copy where the value needs no decoding: a view of
// line.value, else of `decoded`, which then holds the decoded copy. Valid
// until the line or `decoded` changes.
std::string_view DecodedValueView(const ContentLine& line, std::string& decoded);

// Stores `escapedUtf8` as the line's value in the line's own encoding and
// character set. A text the character set cannot hold, or a character set
// that is not known, switches the line to UTF-8 (its CHARSET set to UTF-8 when it had a
// CHARSET, else adding CHARSET=UTF-8). A vCard 2.1 value with a line
// break becomes quoted-printable, since 2.1 has no other way to hold one.
// A quoted-printable value is spelt like the one it replaces (see
// QuotedPrintableEncodeLike).
void EncodeValue(ContentLine& line, std::string escapedUtf8, Dialect dialect);

// Gives a parameter a new value, quoting it when it needs quotes or had them.
// RFC 6868 caret escapes are used for vCard 4.0 and iCalendar.
void SetParamValue(Param& param, const std::string& value, Dialect dialect);

// A parameter's value as text: RFC 6868 caret escapes undone for vCard 4.0
// and iCalendar.
std::string ParamText(const Param& param, Dialect dialect);

// TEXT values: "\n" "\N" "\\" "\;" "\," and "\:" undone on read; any other
// backslash is read as itself, so `\"` reads as a backslash and a quote.
// vCard 2.1 has no such escapes and keeps text as it is.
std::string UnescapeText(std::string_view escaped, Dialect dialect);

// What a written value is: free text, a URI (URL, TEL), or one component of
// a structured value (ADR, ORG, N), where ";" separates components.
enum class ValueKind { kText, kUri, kComponent };

// `text` escaped for a value of `kind` that replaces `old` (the escaped value
// or component it overwrites), in old's spelling: the n-th "\", ",", ";",
// ":" or line break of `text` is spelt the way old spelt its n-th one (a
// later one the way old spelt its last), so a bare comma stays bare, "\:"
// stays "\:", "\N" stays "\N" and `\"` stays `\"`. What old never held is
// spelt strictly: "\\" and "\n"; "\;" and "\," in text and components; ":"
// bare, and "," and ";" bare in URIs. A bare spelling is kept only where this
// store reads it back as the same text: never for ";" in a component, for
// "\" only before a character that makes no escape with it, and for a line
// break only where old held one bare (a quoted-printable value, which
// encodes it). vCard 2.1 escapes nothing but ";" in components.
std::string EscapeLike(std::string_view text, std::string_view old, ValueKind kind,
                       Dialect dialect);

// Structured values (ADR, ORG, N): the raw components between unescaped ";".
std::vector<std::string> SplitComponents(std::string_view escaped);
// SplitComponents(escaped)[n] without the copies; nothing past the last one.
std::optional<std::string_view> NthComponent(std::string_view escaped, size_t n);
std::string UnescapeComponent(std::string_view escaped, Dialect dialect);

std::string QuotedPrintableDecode(std::string_view encoded);
// `bytes` quoted-printable, spelt like `old` (the encoded value they
// replace). What comes before the first and after the last byte that
// differs from old's text is written as old wrote it; in between, the n-th
// occurrence of a byte is written as itself or as "=XX" the way old wrote
// its n-th occurrence of that byte (a later one the way old wrote its last),
// with old's case of hex digits ("=3d" stays lower case). Bytes old never
// held are encoded when they are not printable ASCII. Line breaks, control
// characters and a blank ending the value are always encoded, and "=" is,
// unless old wrote it bare and it cannot be taken for a "=XX" or a soft
// break.
std::string QuotedPrintableEncodeLike(std::string_view bytes, std::string_view old);

std::string ToUpper(std::string_view text);
std::string ToLower(std::string_view text);
// ASCII letters only, as ToUpper and ToLower.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
std::string_view Trim(std::string_view text);

// The text up to the first ":" outside double quotes: name and parameters.
std::string_view Head(std::string_view text);
// Whether the name and parameters of a physical line's text ask for quoted-printable.
bool HeadSaysQuotedPrintable(std::string_view text);

}  // namespace tidewell::formats
