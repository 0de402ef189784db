// The CardDAV and CalDAV servers vdirsyncer's config names, with the login
// it keeps for each. Only read: no command of the config is run here.
//
//   [storage contacts_remote]
//   type = "carddav"
//   url = "https://dav.example.org/"
//   username = "ann"
//   password.fetch = ["command", "pass", "show", "dav"]
//
// gives {url "https://dav.example.org/", user "ann", password_command
// {"pass", "show", "dav"}}. vdirsyncer's values are JSON: `username` and
// `password` strings, `username.fetch` and `password.fetch` lists whose
// first word is the strategy. "command" runs the rest; "prompt" asks with
// the text that follows. Any other strategy ("shell" runs its text through
// a shell, which Tidewell never does) leaves the login to the netrc file or
// to asking.
#pragma once

#include <string>
#include <vector>

#include "app/discovery/store_configs.h"
#include "platform/mail_store.h"

namespace tidewell {

struct FoundServer {
  std::string storage;  // its name in the config: "contacts_remote"
  std::string config;   // the config file
  KeptLogin login;      // login.url is the storage's url
};

// Every storage of type "carddav" or "caldav" with a url, in the file's
// order. Nothing when the config is missing or unreadable.
std::vector<FoundServer> FindServers(const Environment& env);

// The logins of `servers`, for StoreOptions::kept_logins.
std::vector<KeptLogin> KeptLogins(const std::vector<FoundServer>& servers);

// Who logs in, as the stores list and the start view show it: "ann", "the
// command pass show dav-user" (its first line), or "" when the config names
// no user.
std::string DescribeUser(const KeptLogin& login);
// Where the password comes from, the same way: "the command pass show dav",
// "asked: 'Password for dav'", "written in the config", or "the netrc file,
// else asked". Never the password itself.
std::string DescribePassword(const KeptLogin& login);

}  // namespace tidewell
