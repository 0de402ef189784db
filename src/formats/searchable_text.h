// A contact's bytes as one text a search can be tried on before any field is
// decoded: when a literal search text does not occur in it, it occurs in no
// field of the contact either, and the fields need not be read one by one.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tidewell::formats {

// `bytes` unfolded as the parser joins lines (folds, and quoted-printable
// soft breaks), each value that names an ENCODING, a CHARSET,
// QUOTED-PRINTABLE or BASE64 decoded as its fields read it (its line breaks
// as carriage returns, so that each line stays one): nothing when a value
// does not decode, the text is not UTF-8 or holds a binary byte (a control
// character but tab, line breaks, form feed and escape; DEL). A field of a
// contact is then a run of this text, except where an escape ("\," "\n" "^'"
// ...) or a join of parts put a character of kNotInSearchableRuns
// (platform/outlook.h) into it.
std::optional<std::string> SearchableContactText(std::string_view bytes);

}  // namespace tidewell::formats
