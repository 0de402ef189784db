// Where a server store's login comes from. For the server a store URL names,
// the first of these that has one gives the user, and the first that has
// one the password:
//
//   1. --user and --password-command (StoreOptions::user, password_command);
//   2. the login a config keeps for the URL (StoreOptions::kept_logins): the
//      one whose URL, as a store id (DavRoot), is the store's or lies above
//      it, the longest if several do. Its user is `user`, else the first
//      line of `user_command`; its password the first line of
//      `password_command`, else `password`, else it is asked with
//      `password_prompt` (and the netrc file is not read for it). With a
//      --user given, a kept login answers only when it names that user or
//      none;
//   3. the netrc file's entry for the host (with a user known, only one of
//      that user or of none: netrc.h);
//   4. asking, when the server answers 401.
//
// Another server (a redirect, an href elsewhere) gets only 1, 3 and 4: a
// kept login is for the server its config names.
//
// A command runs at once when the login is planned, never through a shell:
// its words are the program (found on $PATH; a leading "~/" is the home
// folder) and its arguments. Its stdin and stderr are the host's, so that a
// password manager can ask for its own passphrase; its stdout is read to
// the end and only the first line kept, without its line end.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mail_store.h"
#include "stores/dav/netrc.h"

namespace tidewell::dav {

struct PlannedLogin {
  std::string user;                   // "" when no source names one
  std::string password;               // meaningful when `known`
  bool known = false;                 // a password to send from the first request on
  std::optional<std::string> prompt;  // asked with this text on a 401 (a config's prompt)
};

// How PlanLogin reaches the outside; tests give their own.
struct LoginSources {
  // The first line `command` prints (RunForFirstLine).
  std::function<std::string(const std::vector<std::string>& command, const std::string& what)> run;
  // The netrc file's entry (ReadNetrcLogin).
  std::function<std::optional<NetrcLogin>(std::string_view host, std::string_view user)> netrc;
};
LoginSources RealLoginSources();

// The login for requests to `origin` ("https://host[:port]") of the store
// whose URL is `storeUrl`, in the order above. Throws Failure when a command
// fails (RunForFirstLine).
PlannedLogin PlanLogin(const StoreOptions& options, const std::string& storeUrl,
                       const std::string& origin, const std::string& host,
                       const LoginSources& sources);

// The kept login for `storeUrl`, as step 2 picks it; null when none is.
const KeptLogin* KeptLoginFor(const std::vector<KeptLogin>& kept, const std::string& storeUrl);

// Runs `command` as above and returns its first line. Throws Failure naming
// it as `what` and by its words, never by its output: "The password command
// failed (exit status 1): pass show dav", "... could not be run (No such
// file or directory): ...", "... printed nothing: ...".
std::string RunForFirstLine(const std::vector<std::string>& command, const std::string& what);

}  // namespace tidewell::dav
