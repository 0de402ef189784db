// How the server store talks HTTP: one request at a time over one
// connection. CurlTransport (curl_transport.h) is the real one; tests script
// one in memory.
//
//   Request put{"PUT", "https://dav.example.org/me/contacts/a.vcf",
//               {{"If-Match", "\"33\""}, {"Content-Type", "text/vcard"}}, bytes};
//   Response r = transport.Send(put);
//   if (r.status == 412) ...                     // changed on the server since read
//
// Statuses are returned, never thrown: the store knows what a 404 or a 412
// means where it asked. Send throws Failure only when no answer came (no
// connection, a TLS fault, a timeout) or an answer broke a limit.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tidewell::dav {

// The most a whole answer may hold; a folder whose listing is larger fails.
inline constexpr size_t kAnswerCap = size_t{64} << 20;
// The most one item may hold; a larger item fails in its own procedure.
inline constexpr size_t kItemCap = size_t{16} << 20;

struct Request {
  std::string method;                                        // "PROPFIND", "REPORT", "GET", "PUT"
  std::string url;                                           // absolute
  std::vector<std::pair<std::string, std::string>> headers;  // "Depth", "If-Match", ...
  std::string body;
};

struct Response {
  long status = 0;
  // The status line without its newline: "HTTP/1.1 412 Precondition Failed".
  std::string status_line;
  std::string etag;      // the ETag header, quotes kept; "" when none
  std::string dav;       // the DAV header (the server's capabilities)
  std::string location;  // the URL answered, after redirects
  std::string body;      // empty when the body went to a sink
};

// Receives a 2xx answer's body as it arrives, in pieces of any size.
using BodySink = std::function<void(std::string_view piece)>;

class Transport {
 public:
  virtual ~Transport() = default;

  // Sends `request` and waits for the whole answer. A 2xx body goes to
  // `sink` piece by piece when one is given, else into Response::body; any
  // other status's body is kept in Response::body (up to a small size).
  // Throws Failure when no answer came, or when the body passes `cap` bytes:
  // "The server's answer is larger than N MiB." (N = cap in MiB).
  virtual Response Send(const Request& request, const BodySink& sink = {},
                        size_t cap = kAnswerCap) = 0;
};

}  // namespace tidewell::dav
