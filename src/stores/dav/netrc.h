// The netrc file: where a server store finds its login without asking.
//
//   machine dav.example.org login ann password "s3cret pass"
//   default login guest password guest
//
// Tokens are separated by white space or newlines; a token in double quotes
// may hold spaces and backslash escapes. `account` is read and ignored;
// `macdef NAME` skips its macro up to the next empty line. A `default` entry
// answers for every host no `machine` entry names, wherever it stands.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tidewell::dav {

struct NetrcLogin {
  std::string login;     // "" when the entry names none
  std::string password;  // "" when the entry names none
};

// The entry of `netrc` (the file's text) for `host` (compared without
// regard to case). With a `user`, only an entry whose login is that user,
// or that names no login, answers: "machine h login bob password x" gives
// nothing for user "ann". Nothing when no entry answers.
std::optional<NetrcLogin> FindNetrcLogin(std::string_view netrc, std::string_view host,
                                         std::string_view user);

// FindNetrcLogin over the file named by $NETRC, else ~/.netrc. Nothing when
// the file is missing or unreadable: a netrc file is optional.
std::optional<NetrcLogin> ReadNetrcLogin(std::string_view host, std::string_view user);

}  // namespace tidewell::dav
