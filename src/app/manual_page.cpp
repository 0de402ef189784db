#include "app/manual_page.h"

#include <sstream>

namespace tidewell {
namespace {

std::string Escape(const std::string& line) {
  std::string out;
  // A line that starts with a dot or an apostrophe would be a request.
  if (line.starts_with(".") || line.starts_with("'")) out = "\\&";
  for (char ch : line) {
    if (ch == '\\') {
      out += "\\e";
    } else if (ch == '-') {
      out += "\\-";  // a minus, not a hyphen: copied options must work
    } else {
      out += ch;
    }
  }
  return out;
}

}  // namespace

std::string RenderManualPage(const ManualPage& page) {
  std::string upper;
  for (char ch : page.name) upper += (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 32) : ch;
  std::string out = ".TH " + upper + " 1 \"\" \"Tidewell\" \"User Commands\"\n";
  out += ".SH NAME\n" + Escape(page.name) + " \\- " + Escape(page.summary) + "\n";
  for (const ManualSection& section : page.sections) {
    out += ".SH " + section.title + "\n.nf\n";
    std::istringstream lines(section.text);
    for (std::string line; std::getline(lines, line);) out += Escape(line) + "\n";
    out += ".fi\n";
  }
  return out;
}

}  // namespace tidewell
