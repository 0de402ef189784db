#include "stores/dav/dav_url.h"

#include <memory>
#include <string_view>

#include <curl/curl.h>

namespace tidewell::dav {
namespace {

struct UrlDeleter {
  void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
using Url = std::unique_ptr<CURLU, UrlDeleter>;

Url Parse(const std::string& text, const Url* base = nullptr) {
  Url url(base ? curl_url_dup(base->get()) : curl_url());
  if (!url) return nullptr;
  // Dot segments are kept as written: the inside check refuses them rather
  // than let a ".." quietly leave the collection.
  if (curl_url_set(url.get(), CURLUPART_URL, text.c_str(), CURLU_PATH_AS_IS) != CURLUE_OK) {
    return nullptr;
  }
  return url;
}

std::optional<std::string> Part(const Url& url, CURLUPart part, unsigned flags = 0) {
  char* text = nullptr;
  if (curl_url_get(url.get(), part, &text, flags) != CURLUE_OK) return std::nullopt;
  std::string out(text);
  curl_free(text);
  return out;
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string Unescape(std::string_view text) {
  int length = 0;
  char* out = curl_easy_unescape(nullptr, text.data(), static_cast<int>(text.size()), &length);
  if (!out) return std::string(text);
  std::string decoded(out, static_cast<size_t>(length));
  curl_free(out);
  return decoded;
}

bool HasDotSegment(std::string_view path) {
  while (!path.empty()) {
    const size_t slash = path.find('/');
    const std::string segment = Unescape(path.substr(0, slash));
    if (segment == "." || segment == "..") return true;
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  return false;
}

struct Where {
  std::string scheme, host, port, path;
};

std::optional<Where> Split(const Url& url) {
  auto scheme = Part(url, CURLUPART_SCHEME);
  auto host = Part(url, CURLUPART_HOST);
  auto port = Part(url, CURLUPART_PORT, CURLU_DEFAULT_PORT);
  auto path = Part(url, CURLUPART_PATH, CURLU_URLDECODE);
  if (!scheme || !host || !port || !path) return std::nullopt;
  return Where{Lower(*scheme), Lower(*host), *port, *path};
}

}  // namespace

std::optional<std::string> DavRoot(const std::string& given) {
  const std::string lower = Lower(given.substr(0, 8));
  if (!lower.starts_with("http://") && !lower.starts_with("https://")) return std::nullopt;
  Url url = Parse(given);
  if (!url) return std::nullopt;
  auto scheme = Part(url, CURLUPART_SCHEME);
  auto host = Part(url, CURLUPART_HOST);
  auto port = Part(url, CURLUPART_PORT, CURLU_NO_DEFAULT_PORT);
  auto path = Part(url, CURLUPART_PATH);
  if (!scheme || !host || host->empty() || !path) return std::nullopt;
  std::string root = Lower(*scheme) + "://" + Lower(*host);
  if (port) root += ":" + *port;
  while (path->ends_with("/")) path->pop_back();
  return root + *path + "/";
}

std::optional<std::string> Resolve(const std::string& base, const std::string& href) {
  Url root = Parse(base);
  if (!root) return std::nullopt;
  Url url = Parse(href, &root);
  if (!url) return std::nullopt;
  return Part(url, CURLUPART_URL);
}

std::optional<std::string> HrefInside(const std::string& collection, const std::string& href) {
  std::string_view raw = href;
  raw = raw.substr(0, raw.find_first_of("?#"));
  if (HasDotSegment(raw)) return std::nullopt;
  Url root = Parse(collection);
  if (!root) return std::nullopt;
  Url url = Parse(href, &root);
  if (!url) return std::nullopt;
  std::optional<Where> outer = Split(root);
  std::optional<Where> inner = Split(url);
  if (!outer || !inner || outer->scheme != inner->scheme || outer->host != inner->host ||
      outer->port != inner->port) {
    return std::nullopt;
  }
  std::string prefix = outer->path;
  if (!prefix.ends_with("/")) prefix += "/";
  std::string path = inner->path;
  while (path.ends_with("/")) path.pop_back();
  if (path.size() <= prefix.size() || !path.starts_with(prefix)) return std::nullopt;
  return Part(url, CURLUPART_URL);
}

std::string LastSegment(const std::string& url) {
  std::string_view path = url;
  path = path.substr(0, path.find_first_of("?#"));
  while (path.ends_with("/")) path.remove_suffix(1);
  const size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string Origin(const std::string& url) {
  Url parsed = Parse(url);
  if (!parsed) return url;
  auto scheme = Part(parsed, CURLUPART_SCHEME);
  auto host = Part(parsed, CURLUPART_HOST);
  auto port = Part(parsed, CURLUPART_PORT, CURLU_NO_DEFAULT_PORT);
  if (!scheme || !host) return url;
  return Lower(*scheme) + "://" + Lower(*host) + (port ? ":" + *port : "");
}

std::string DecodedPath(const std::string& url) {
  Url parsed = Parse(url);
  if (!parsed) return "";
  return Part(parsed, CURLUPART_PATH, CURLU_URLDECODE).value_or("");
}

}  // namespace tidewell::dav
