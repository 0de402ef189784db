// "Did you mean ...?" for a word the tool does not know: a command, an
// option, a field or a folder.
//
//   WithSuggestion("Unknown command 'replce' (see 'tidewell --help').", "replce", names)
//   // "Unknown command 'replce' (see 'tidewell --help'). Did you mean 'replace'?"
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/outlook.h"

namespace tidewell::cli {

// `message`, then "Did you mean 'A'?" (or "'A' or 'B'", at most three) naming
// the candidates closest to `word` when they are close: a few letters
// typed wrong, left out, added or swapped, or the start of a longer name.
// Case, blanks and leading dashes are ignored; a candidate is named as given.
std::string WithSuggestion(const std::string& message, const std::string& word,
                           const std::vector<std::string>& candidates);

// Every name a field goes by (key, property, caption), in catalog order.
std::vector<std::string> FieldNames();

// The entry ids and names of `folders`.
std::vector<std::string> FolderNames(const std::vector<std::unique_ptr<MAPIFolder>>& folders);

}  // namespace tidewell::cli
