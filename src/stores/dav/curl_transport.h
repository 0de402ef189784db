// The server store's real Transport: libcurl, one handle for the store's
// life, so that every request after the first reuses the connection (a PUT
// to a server costs a round trip, not a TLS handshake).
//
//   dav::CurlTransport transport("https://dav.example.org/ann/", options, ui);
//   dav::Response r = transport.Send({"GET", "https://dav.example.org/ann/a.vcf", {}, ""});
//
// The login: as PlanLogin (login.h) finds it for each server when first
// sent a request: --user and --password-command, a config's login for the
// store URL, the netrc file ($NETRC, else ~/.netrc). With no password known,
// the first 401 of a server asks `ui.AskCredentials` (`ui.AskPassword` with
// a config's prompt text) once and sends the request again with the answer;
// a cancelled question, or a second 401, is returned as the status it is. A login is only ever sent
// to the server it belongs to (scheme, host and port): a redirect, or a URL of another server, goes
// without it.
//
// Safety: TLS certificates are always verified (`options.ca_file` adds
// authorities to the system's); a redirect never goes from https to http;
// connecting gives up after 10 s, an answer that makes no progress for 60 s
// is dropped. 429 and 503 with a Retry-After of at most 60 s are waited out
// and sent once more.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/mail_store.h"
#include "platform/ui.h"
#include "stores/dav/transport.h"

namespace tidewell::dav {

// The longest Retry-After that Send waits out; a longer one is returned.
inline constexpr std::chrono::seconds kLongestRetryWait{60};

class CurlTransport : public Transport {
 public:
  using Sleep = std::function<void(std::chrono::seconds)>;

  // Throws Failure for a URL that is no http(s) URL, and for an http:// URL
  // whose host is not loopback (localhost, 127.0.0.0/8, ::1), before any
  // name lookup or connection: "Refusing to send a password over plain
  // HTTP to dav.example.org; use https." `sleep` waits out a Retry-After
  // (tests pass one that only records).
  CurlTransport(const std::string& storeUrl, const StoreOptions& options, Ui& ui,
                Sleep sleep = DefaultSleep);
  ~CurlTransport() override;
  CurlTransport(const CurlTransport&) = delete;
  CurlTransport& operator=(const CurlTransport&) = delete;

  // As Transport::Send. Throws Failure when no answer came, naming the
  // server and libcurl's reason: "No answer from https://dav.example.org:
  // Failed to connect to dav.example.org port 443 ...: Connection refused".
  Response Send(const Request& request, const BodySink& sink = {},
                size_t cap = kAnswerCap) override;

  static void DefaultSleep(std::chrono::seconds wait);

 private:
  struct Login {
    std::string user;
    std::string password;
    bool known = false;                 // a password to send (from netrc or asked)
    bool asked = false;                 // AskCredentials was asked for this server
    std::optional<std::string> prompt;  // a config's text to ask with
  };
  struct Exchange;
  struct Attempt {
    Response response;
    std::string retry_after;  // the final answer's Retry-After header
  };

  Login& LoginFor(const std::string& origin, const std::string& host);
  Attempt SendOnce(const Request& request, const BodySink& sink, size_t cap,
                   const std::string& origin, const Login* login);
  void SetConnectionOptions(const std::string& origin, const Login* login);

  std::string store_url_;
  StoreOptions options_;
  std::string ca_file_;
  Ui& ui_;
  Sleep sleep_;
  std::map<std::string, Login> logins_;  // by origin: "https://host[:port]"
  void* curl_;                           // CURL*, kept out of this header
};

// Whether an http URL's host may be sent a password in the clear: a
// loopback name or address ("localhost", "127.0.0.1", "[::1]"), decided
// without a name lookup.
bool IsLoopbackHost(const std::string& host);

// The seconds a Retry-After value asks for: a number of seconds, or an
// HTTP date (as from `now`, never less than 0). Nothing when unreadable.
std::optional<std::chrono::seconds> RetryAfterSeconds(const std::string& value,
                                                      std::chrono::system_clock::time_point now);

}  // namespace tidewell::dav
