// Man pages in roff, made from the help text a program prints, so that a
// program's --help and its man page are one text.
//
//   RenderManualPage({"tidewell", "search and replace in ...", {{"SYNOPSIS", "tidewell ..."}}});
//
// Each section's text is set as it is printed (no filling, no
// hyphenation), line for line; roff's special characters are escaped, so a
// help text that holds "\1" or starts a line with "." shows as written.
#pragma once

#include <string>
#include <vector>

namespace tidewell {

struct ManualSection {
  std::string title;  // "DESCRIPTION"
  std::string text;   // lines as the help prints them
};

struct ManualPage {
  std::string name;     // "tidewell": the page is NAME(1)
  std::string summary;  // the NAME line's text after the dash
  std::vector<ManualSection> sections;
};

std::string RenderManualPage(const ManualPage& page);

}  // namespace tidewell
