#include "stores/dav/curl_transport.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <filesystem>
#include <optional>
#include <thread>

#include <arpa/inet.h>
#include <curl/curl.h>

#include "platform/failure.h"
#include "stores/dav/login.h"

namespace tidewell::dav {

namespace {

// A refused or failed answer's body is kept for the error report only.
constexpr size_t kErrorBodyCap = size_t{64} << 10;
constexpr long kMostRedirects = 5;

std::string Lower(std::string text) {
  std::ranges::transform(text, text.begin(),
                         [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// What Send needs of a URL, taken apart by libcurl's own parser so that it
// reads a URL exactly as the request will.
struct UrlParts {
  std::string scheme;  // lower case
  std::string host;    // as given; an IPv6 address in brackets
  std::string origin;  // "https://host[:port]", host in lower case, default port dropped

  bool MayCarryLogin() const { return scheme == "https" || IsLoopbackHost(host); }
};

std::optional<std::string> UrlPart(CURLU* url, CURLUPart part) {
  char* text = nullptr;
  if (curl_url_get(url, part, &text, 0) != CURLUE_OK) return std::nullopt;
  std::string value = text;
  curl_free(text);
  return value;
}

std::optional<UrlParts> ParseUrl(const std::string& given) {
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), curl_url_cleanup);
  if (!url || curl_url_set(url.get(), CURLUPART_URL, given.c_str(), 0) != CURLUE_OK) {
    return std::nullopt;
  }
  UrlParts parts;
  parts.scheme = Lower(UrlPart(url.get(), CURLUPART_SCHEME).value_or(""));
  parts.host = UrlPart(url.get(), CURLUPART_HOST).value_or("");
  if ((parts.scheme != "http" && parts.scheme != "https") || parts.host.empty()) {
    return std::nullopt;
  }
  parts.origin = parts.scheme + "://" + Lower(parts.host);
  const std::string port = UrlPart(url.get(), CURLUPART_PORT).value_or("");
  const std::string defaultPort = parts.scheme == "https" ? "443" : "80";
  if (!port.empty() && port != defaultPort) parts.origin += ":" + port;
  return parts;
}

// After a redirect libcurl's effective URL carries the login in its
// user-info part; the store keeps and may quote that URL.
std::string WithoutLogin(const std::string& given) {
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), curl_url_cleanup);
  char* text = nullptr;
  if (!url || curl_url_set(url.get(), CURLUPART_URL, given.c_str(), 0) != CURLUE_OK ||
      curl_url_set(url.get(), CURLUPART_USER, nullptr, 0) != CURLUE_OK ||
      curl_url_set(url.get(), CURLUPART_PASSWORD, nullptr, 0) != CURLUE_OK ||
      curl_url_get(url.get(), CURLUPART_URL, &text, 0) != CURLUE_OK) {
    return "";
  }
  std::string bare = text;
  curl_free(text);
  return bare;
}

bool IsSuccess(long status) { return status >= 200 && status < 300; }

bool IsRetryable(long status) { return status == 429 || status == 503; }

std::string CapText(size_t cap) {
  return "The server's answer is larger than " + std::to_string(cap >> 20) + " MiB.";
}

// libcurl's reason, with the password blotted out in case a server echoed
// it into something libcurl quotes.
std::string Reason(CURLcode code, const char* errorBuffer, const std::string& password) {
  std::string reason = *errorBuffer != '\0' ? errorBuffer : curl_easy_strerror(code);
  if (!password.empty()) {
    for (size_t at = reason.find(password); at != std::string::npos;
         at = reason.find(password, at)) {
      reason.replace(at, password.size(), "****");
    }
  }
  return reason;
}

struct HeaderList {
  curl_slist* list = nullptr;
  ~HeaderList() { curl_slist_free_all(list); }
  void Add(const std::string& line) {
    curl_slist* grown = curl_slist_append(list, line.c_str());
    if (grown == nullptr) throw Failure("Out of memory building an HTTP request.");
    list = grown;
  }
};

bool HasHeader(const Request& request, std::string_view name) {
  return std::ranges::any_of(
      request.headers, [&](const auto& h) { return Lower(h.first) == Lower(std::string(name)); });
}

}  // namespace

// One request's answer as it arrives: the header and body callbacks fill it.
// Headers start over at every status line, so that what is kept is the final
// answer's, after libcurl's redirects and login round trips.
struct CurlTransport::Exchange {
  const BodySink* sink = nullptr;
  size_t cap = 0;
  size_t received = 0;
  bool over_cap = false;
  std::exception_ptr sink_error;
  Response response;
  std::string retry_after;

  void Header(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line.starts_with("HTTP/")) {
      response = Response{};
      retry_after.clear();
      received = 0;
      response.status_line = std::string(line);
      const size_t space = line.find(' ');
      if (space != std::string_view::npos) {
        response.status = std::strtol(std::string(line.substr(space + 1, 3)).c_str(), nullptr, 10);
      }
      return;
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return;
    const std::string name = Lower(std::string(line.substr(0, colon)));
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
      value.remove_prefix(1);
    if (name == "etag") {
      response.etag = value;
    } else if (name == "dav") {
      // A server may send its capabilities over several DAV lines.
      if (!response.dav.empty()) response.dav += ", ";
      response.dav += value;
    } else if (name == "retry-after") {
      retry_after = value;
    }
  }

  // False stops the transfer.
  bool Body(std::string_view piece) {
    received += piece.size();
    if (received > cap) {
      over_cap = true;
      return false;
    }
    if (!IsSuccess(response.status)) {
      const size_t room = kErrorBodyCap - std::min(kErrorBodyCap, response.body.size());
      response.body.append(piece.substr(0, room));
      return true;
    }
    if (sink == nullptr || !*sink) {
      response.body.append(piece);
      return true;
    }
    try {
      (*sink)(piece);
    } catch (...) {
      sink_error = std::current_exception();
      return false;
    }
    return true;
  }

  static size_t OnHeader(char* data, size_t size, size_t count, void* self) {
    static_cast<Exchange*>(self)->Header(std::string_view(data, size * count));
    return size * count;
  }

  static size_t OnBody(char* data, size_t size, size_t count, void* self) {
    const bool go_on = static_cast<Exchange*>(self)->Body(std::string_view(data, size * count));
    return go_on ? size * count : 0;
  }
};

bool IsLoopbackHost(const std::string& host) {
  const std::string name = Lower(host);
  if (name == "localhost" || name == "localhost.") return true;
  in_addr v4{};
  if (inet_pton(AF_INET, name.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  if (name.size() > 2 && name.front() == '[' && name.back() == ']') {
    in6_addr v6{};
    const std::string bare = name.substr(1, name.size() - 2);
    return inet_pton(AF_INET6, bare.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
  }
  return false;
}

std::optional<std::chrono::seconds> RetryAfterSeconds(const std::string& value,
                                                      std::chrono::system_clock::time_point now) {
  if (value.empty()) return std::nullopt;
  if (std::ranges::all_of(value, [](unsigned char c) { return std::isdigit(c) != 0; })) {
    if (value.size() > 9) return std::chrono::seconds::max();
    return std::chrono::seconds(std::stol(value));
  }
  const time_t when = curl_getdate(value.c_str(), nullptr);
  if (when == -1) return std::nullopt;
  const auto wait = std::chrono::duration_cast<std::chrono::seconds>(
      std::chrono::system_clock::from_time_t(when) - now);
  return std::max(wait, std::chrono::seconds(0));
}

void CurlTransport::DefaultSleep(std::chrono::seconds wait) { std::this_thread::sleep_for(wait); }

CurlTransport::CurlTransport(const std::string& storeUrl, const StoreOptions& options, Ui& ui,
                             Sleep sleep)
    : store_url_(storeUrl),
      options_(options),
      ca_file_(options.ca_file),
      ui_(ui),
      sleep_(std::move(sleep)) {
  const std::optional<UrlParts> url = ParseUrl(storeUrl);
  if (!url) throw Failure("Not an http or https URL: " + Excerpt(storeUrl));
  if (!url->MayCarryLogin()) {
    throw Failure("Refusing to send a password over plain HTTP to " + url->host + "; use https.");
  }
  // Once per process and not thread-safe before 7.84; a store opens its
  // transport on the host's main thread.
  static const CURLcode global = curl_global_init(CURL_GLOBAL_DEFAULT);
  curl_ = global == CURLE_OK ? curl_easy_init() : nullptr;
  if (curl_ == nullptr) throw Failure("libcurl could not be started.");
}

CurlTransport::~CurlTransport() { curl_easy_cleanup(static_cast<CURL*>(curl_)); }

CurlTransport::Login& CurlTransport::LoginFor(const std::string& origin, const std::string& host) {
  auto [it, fresh] = logins_.try_emplace(origin);
  Login& login = it->second;
  if (fresh) {
    try {
      PlannedLogin planned = PlanLogin(options_, store_url_, origin, host, RealLoginSources());
      login.user = std::move(planned.user);
      login.password = std::move(planned.password);
      login.known = planned.known;
      login.prompt = std::move(planned.prompt);
    } catch (...) {
      // A failed command is tried again by the next request, not taken as no password.
      logins_.erase(it);
      throw;
    }
  }
  return login;
}

Response CurlTransport::Send(const Request& request, const BodySink& sink, size_t cap) {
  const std::optional<UrlParts> url = ParseUrl(request.url);
  if (!url) throw Failure("Not an http or https URL: " + Excerpt(request.url));
  Login* login = url->MayCarryLogin() ? &LoginFor(url->origin, url->host) : nullptr;

  Attempt attempt = SendOnce(request, sink, cap, url->origin, login);
  if (attempt.response.status == 401 && login != nullptr && !login->known && !login->asked) {
    login->asked = true;
    std::optional<Credentials> given =
        login->prompt ? ui_.AskPassword(url->origin, login->user, *login->prompt)
                      : ui_.AskCredentials(url->origin, login->user);
    if (given) {
      login->user = given->user;
      login->password = given->password;
      login->known = true;
      attempt = SendOnce(request, sink, cap, url->origin, login);
    }
  }
  if (IsRetryable(attempt.response.status)) {
    const auto wait = RetryAfterSeconds(attempt.retry_after, std::chrono::system_clock::now());
    if (wait && *wait <= kLongestRetryWait) {
      sleep_(*wait);
      attempt = SendOnce(request, sink, cap, url->origin, login);
    }
  }
  return std::move(attempt.response);
}

// Where a request may go and how it gets there safely: redirects, the
// login, TLS and timeouts.
void CurlTransport::SetConnectionOptions(const std::string& origin, const Login* login) {
  CURL* curl = static_cast<CURL*>(curl_);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR,
                   origin.starts_with("https:") ? "https" : "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMostRedirects);
  // Never hand the login to the host a redirect points at.
  curl_easy_setopt(curl, CURLOPT_UNRESTRICTED_AUTH, 0L);
  if (login != nullptr && login->known) {
    curl_easy_setopt(curl, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC | CURLAUTH_DIGEST));
    curl_easy_setopt(curl, CURLOPT_USERNAME, login->user.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, login->password.c_str());
  } else {
    curl_easy_setopt(curl, CURLOPT_USERNAME, nullptr);
    curl_easy_setopt(curl, CURLOPT_PASSWORD, nullptr);
  }

  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!ca_file_.empty()) {
    curl_easy_setopt(curl, CURLOPT_CAINFO, ca_file_.c_str());
    // CAINFO replaces the system bundle; the hashed directory keeps the
    // system's authorities trusted next to the private one.
    if (std::filesystem::is_directory("/etc/ssl/certs")) {
      curl_easy_setopt(curl, CURLOPT_CAPATH, "/etc/ssl/certs");
    }
  }
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 10L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 60L);
  // Signals would interrupt the host's own handlers; timeouts work without.
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
}

CurlTransport::Attempt CurlTransport::SendOnce(const Request& request, const BodySink& sink,
                                               size_t cap, const std::string& origin,
                                               const Login* login) {
  CURL* curl = static_cast<CURL*>(curl_);
  Exchange exchange;
  exchange.sink = &sink;
  exchange.cap = cap;
  char errorBuffer[CURL_ERROR_SIZE] = "";

  HeaderList headers;
  for (const auto& [name, value] : request.headers) {
    headers.Add(std::string(name).append(": ").append(value));
  }
  // No 100-continue round trip: DAV bodies are small, and a server that
  // ignores Expect would cost a second's wait on every PUT.
  headers.Add("Expect:");
  // libcurl would label a body form data.
  const bool hasBody = !request.body.empty() || request.method == "PUT" || request.method == "POST";
  if (hasBody && !HasHeader(request, "Content-Type")) headers.Add("Content-Type:");

  // The handle keeps its options between requests, and with them libcurl's
  // memory of which login scheme the server took; every option a request
  // depends on is therefore set here, each time.
  curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.list);
  if (request.method == "HEAD") {
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
  } else if (hasBody) {
    // libcurl keeps the bytes at hand, so a login round trip can send them again.
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                     static_cast<curl_off_t>(request.body.size()));
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.data());
  } else {
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  }
  curl_easy_setopt(
      curl, CURLOPT_CUSTOMREQUEST,
      request.method == "GET" || request.method == "HEAD" ? nullptr : request.method.c_str());
  // A followed 301 keeps a PROPFIND a PROPFIND, with its body.
  curl_easy_setopt(curl, CURLOPT_POSTREDIR, static_cast<long>(CURL_REDIR_POST_ALL));

  SetConnectionOptions(origin, login);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Exchange::OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &exchange);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Exchange::OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &exchange);

  const CURLcode code = curl_easy_perform(curl);
  // The options point into this frame; none may outlive it.
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, nullptr);

  if (exchange.sink_error) std::rethrow_exception(exchange.sink_error);
  if (exchange.over_cap) throw Failure(CapText(cap));
  if (code != CURLE_OK) {
    throw Failure("No answer from " + origin + ": " +
                  Reason(code, errorBuffer, login != nullptr ? login->password : ""));
  }
  char* effective = nullptr;
  curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &effective);
  exchange.response.location = WithoutLogin(effective != nullptr ? effective : request.url);
  return {std::move(exchange.response), std::move(exchange.retry_after)};
}

}  // namespace tidewell::dav
