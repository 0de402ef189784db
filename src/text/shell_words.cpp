#include "text/shell_words.h"

#include "platform/failure.h"

namespace tidewell {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

Failure NeverClosed(char quote, size_t at) {
  return Failure(std::string("the ") + quote + " quote at character " + std::to_string(at + 1) +
                 " is never closed");
}

}  // namespace

std::vector<std::string> SplitShellWords(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;  // '' makes a word though it adds no character
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (IsBlank(c)) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
      continue;
    }
    if (c == '\\') {
      if (i + 1 == line.size()) throw Failure("it ends with a backslash that escapes nothing");
      // A backslash before a newline joins the lines and adds nothing.
      if (line[++i] != '\n') {
        word += line[i];
        inWord = true;
      }
      continue;
    }
    inWord = true;
    if (c == '\'') {
      const size_t close = line.find('\'', i + 1);
      if (close == std::string_view::npos) throw NeverClosed(c, i);
      word.append(line.substr(i + 1, close - i - 1));
      i = close;
    } else if (c == '"') {
      const size_t open = i;
      for (++i; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
          const char next = line[i + 1];
          if (next == '\n') {
            ++i;
            continue;
          }
          if (next == '$' || next == '`' || next == '"' || next == '\\') ++i;
        }
        word += line[i];
      }
      if (i == line.size()) throw NeverClosed(c, open);
    } else {
      word += c;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

std::string JoinShellWords(const std::vector<std::string>& words) {
  std::string joined;
  for (const std::string& word : words) {
    if (!joined.empty()) joined += ' ';
    const bool plain =
        !word.empty() && word.find_first_of(" \t\n'\"\\$`*?[]{}()<>|&;#~") == std::string::npos;
    if (plain) {
      joined += word;
      continue;
    }
    joined += '\'';
    for (char c : word) joined += c == '\'' ? std::string("'\\''") : std::string(1, c);
    joined += '\'';
  }
  return joined;
}

}  // namespace tidewell
