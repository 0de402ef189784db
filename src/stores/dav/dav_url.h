// URLs of the server store: the form a store id keeps, hrefs of a server's
// answers made absolute, and the check that keeps every read and write inside
// the collection listed. Parsed by libcurl's URL API, never by hand.
//
//   DavRoot("HTTPS://Dav.Example.org:443/dav")   // "https://dav.example.org/dav/"
//   HrefInside("https://h/dav/c/", "/dav/c/a.vcf")  // "https://h/dav/c/a.vcf"
//   HrefInside("https://h/dav/c/", "/dav/c/%2e%2e/x.vcf")  // nothing
#pragma once

#include <optional>
#include <string>

namespace tidewell::dav {

// The StoreID form of a URL: scheme and host in lower case, the default port
// dropped, no user name or password, no query or fragment, and exactly one
// trailing slash. Nothing when `given` is no http:// or https:// URL (a
// folder path, a bare host name without a scheme).
std::optional<std::string> DavRoot(const std::string& given);

// `href` (absolute, or relative as servers send it: "/dav/c/a.vcf")
// resolved against `base`; nothing when either does not parse.
std::optional<std::string> Resolve(const std::string& base, const std::string& href);

// The absolute URL of `href` when it names something below the collection
// `collection`: same scheme, host and port, a path that starts with the
// collection's path and goes on past it, and no "." or ".." segment in the
// href, percent-encoded or not ("%2e%2E" too). Nothing otherwise: the
// collection itself, another host, a sibling collection.
std::optional<std::string> HrefInside(const std::string& collection, const std::string& href);

// The last segment of a URL's path as written (still percent-encoded),
// without a trailing slash: "https://h/dav/c/a%20b.vcf" -> "a%20b.vcf",
// "https://h/dav/c/" -> "c".
std::string LastSegment(const std::string& url);

// "https://dav.example.org" (scheme, host and non-default port) of a URL.
std::string Origin(const std::string& url);

// The path of a URL, percent-decoded: "https://h/dav/my%20c/" -> "/dav/my c/".
std::string DecodedPath(const std::string& url);

}  // namespace tidewell::dav
