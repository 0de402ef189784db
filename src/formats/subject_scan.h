// A contact's subject read off its bytes, for the items a run logs and then
// rules out whole (see searchable_text.h): they need no full parse.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tidewell::formats {

// The "Subject" ContactView gives for the only vCard of `bytes` (its first
// FN, unescaped; "" without one), where `unfolded` is
// SearchableContactText(bytes). Nothing whenever the scan cannot vouch that
// a parse of `bytes` succeeds, gives that subject and finds no value that no
// field reads (ContactView::Unsearched): a byte-order mark, a binary byte, a
// line that is not a content line, text outside the vCard, a nested
// component, a second vCard, a second FN, ORG, NOTE, X-ACCOUNT or
// X-EVOLUTION-FILE-AS, a second URL or one of no field's kind, a second ADR
// of a kind, a grouped URL or ADR (its kind may come from an X-ABLabel).
std::optional<std::string> ScanContactSubject(std::string_view bytes, std::string_view unfolded);

}  // namespace tidewell::formats
