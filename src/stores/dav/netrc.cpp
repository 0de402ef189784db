#include "stores/dav/netrc.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace tidewell::dav {

namespace {

bool SameHost(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

// Splits the file into tokens, dropping macro bodies as it goes: a macro's
// text is not tokens, and a password-looking word in it must not be read as
// one.
class Tokens {
 public:
  explicit Tokens(std::string_view text) : text_(text) {}

  std::optional<std::string> Next() {
    while (pos_ < text_.size() && IsSpace(text_[pos_])) ++pos_;
    if (pos_ >= text_.size()) return std::nullopt;
    std::string token;
    if (text_[pos_] == '"') {
      ++pos_;
      while (pos_ < text_.size() && text_[pos_] != '"') {
        if (text_[pos_] == '\\' && pos_ + 1 < text_.size()) ++pos_;
        token += text_[pos_++];
      }
      ++pos_;  // the closing quote
      return token;
    }
    while (pos_ < text_.size() && !IsSpace(text_[pos_])) token += text_[pos_++];
    return token;
  }

  // Skips the rest of the `macdef` line and the macro up to an empty line.
  void SkipMacro() {
    size_t end = text_.find('\n', pos_);
    while (end != std::string_view::npos) {
      const size_t next = text_.find('\n', end + 1);
      const std::string_view line = text_.substr(end + 1, next - end - 1);
      if (line.empty() || line == "\r") {
        pos_ = end + 1;
        return;
      }
      end = next;
    }
    pos_ = text_.size();
  }

 private:
  static bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

  std::string_view text_;
  size_t pos_ = 0;
};

struct Entry {
  bool is_default = false;
  std::string machine;
  NetrcLogin login;
};

std::vector<Entry> ParseNetrc(std::string_view text) {
  std::vector<Entry> entries;
  Tokens tokens(text);
  while (auto token = tokens.Next()) {
    if (*token == "machine") {
      entries.push_back({false, tokens.Next().value_or(""), {}});
    } else if (*token == "default") {
      entries.push_back({true, "", {}});
    } else if (*token == "macdef") {
      tokens.SkipMacro();
    } else if (*token == "login" || *token == "password" || *token == "account") {
      std::string value = tokens.Next().value_or("");
      if (entries.empty() || *token == "account") continue;
      (*token == "login" ? entries.back().login.login : entries.back().login.password) =
          std::move(value);
    }
  }
  return entries;
}

}  // namespace

std::optional<NetrcLogin> FindNetrcLogin(std::string_view netrc, std::string_view host,
                                         std::string_view user) {
  const std::vector<Entry> entries = ParseNetrc(netrc);
  auto answers = [&](const Entry& e) {
    return user.empty() || e.login.login.empty() || e.login.login == user;
  };
  for (const Entry& e : entries) {
    if (!e.is_default && SameHost(e.machine, host) && answers(e)) return e.login;
  }
  for (const Entry& e : entries) {
    if (e.is_default && answers(e)) return e.login;
  }
  return std::nullopt;
}

std::optional<NetrcLogin> ReadNetrcLogin(std::string_view host, std::string_view user) {
  std::string path;
  if (const char* netrc = std::getenv("NETRC"); netrc != nullptr && *netrc != '\0') {
    path = netrc;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    path = std::string(home) + "/.netrc";
  } else {
    return std::nullopt;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::ostringstream text;
  text << file.rdbuf();
  return FindNetrcLogin(text.str(), host, user);
}

}  // namespace tidewell::dav
