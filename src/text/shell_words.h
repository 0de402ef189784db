// A command line split into words the way a POSIX shell splits it, without
// anything a shell would expand: no variables, globs or command substitution.
//
//   SplitShellWords("pass show 'dav/my server'")  // {"pass", "show", "dav/my server"}
//   SplitShellWords(R"(printf "%s\n" a\ b)")      // {"printf", "%s\\n", "a b"}
//
// Blanks (space, tab, newline) separate words. Inside '...' every character
// is itself; inside "..." a backslash escapes only $ ` " \ and a newline;
// outside quotes a backslash escapes any character, and a backslash before a
// newline joins the lines. Quoted parts and the text around them make one
// word: a'b c'd is "ab cd"; '' is an empty word.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tidewell {

// The words of `line`. Throws Failure for a quote that is never closed
// ("the ' quote at character 6 is never closed") and for a line that ends
// with a lone backslash ("it ends with a backslash that escapes nothing").
std::vector<std::string> SplitShellWords(std::string_view line);

// The words joined back so that SplitShellWords gives them again: a word
// with blanks, quotes or backslashes in single quotes ("a b" -> 'a b').
std::string JoinShellWords(const std::vector<std::string>& words);

}  // namespace tidewell
