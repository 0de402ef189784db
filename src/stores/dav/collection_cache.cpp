#include "stores/dav/collection_cache.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/fnv1a.h"
#include "stores/dav/dav_url.h"

namespace tidewell::dav {
namespace {

constexpr std::string_view kMagic = "tidewell collection copy 1\n";
constexpr std::string_view kEnd = "end\n";

// FNV-1a: a stable file name for a URL, which may hold characters no file
// name should.
std::string Hash(const std::string& text) {
  char out[17];
  std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(Fnv1a(text)));
  return out;
}

std::string DavFolder(const std::string& home) { return home + "/dav"; }

// Each field is its length in decimal, a colon, and its bytes.
void Put(std::string& out, std::string_view field) {
  out += std::to_string(field.size());
  out += ':';
  out += field;
}

class Fields {
 public:
  explicit Fields(std::string_view text) : text_(text) {}
  std::optional<std::string> Next() {
    const size_t colon = text_.find(':', at_);
    if (colon == std::string_view::npos || colon == at_ || colon - at_ > 19) return std::nullopt;
    uint64_t size = 0;
    for (size_t i = at_; i < colon; ++i) {
      if (text_[i] < '0' || text_[i] > '9') return std::nullopt;
      size = size * 10 + static_cast<uint64_t>(text_[i] - '0');
    }
    if (size > text_.size() - colon - 1) return std::nullopt;
    std::string field(text_.substr(colon + 1, size));
    at_ = colon + 1 + size;
    return field;
  }
  std::string_view Rest() const { return text_.substr(at_); }

 private:
  std::string_view text_;
  size_t at_ = 0;
};

bool MakePrivateFolder(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (ec) return false;
  ::chmod(path.c_str(), 0700);
  return true;
}

}  // namespace

std::string CacheHome() {
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg == '/') {
    return std::string(xdg) + "/tidewell";
  }
  if (const char* home = std::getenv("HOME"); home && *home) {
    return std::string(home) + "/.cache/tidewell";
  }
  return "";
}

std::string CacheFile(const std::string& home, const std::string& storeId,
                      const std::string& collectionUrl) {
  return DavFolder(home) + "/" + Hash(storeId) + "/" + Hash(collectionUrl);
}

CopyRead ReadCopy(const std::string& file, const std::string& collectionUrl, CollectionCopy& copy) {
  copy = {};
  std::error_code ec;
  if (!std::filesystem::exists(file, ec) && !ec) return CopyRead::kNone;
  std::ifstream in(file, std::ios::binary);
  if (!in) return CopyRead::kUnreadable;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad() || !text.starts_with(kMagic)) return CopyRead::kUnreadable;
  Fields fields(std::string_view(text).substr(kMagic.size()));
  const std::optional<std::string> url = fields.Next();
  const std::optional<std::string> token = fields.Next();
  const std::optional<std::string> count = fields.Next();
  if (!url || *url != collectionUrl || !token || !count || count->empty() || count->size() > 9 ||
      count->find_first_not_of("0123456789") != std::string::npos) {
    return CopyRead::kUnreadable;
  }
  CollectionCopy read;
  read.sync_token = *token;
  const size_t n = std::stoul(*count);
  read.resources.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    CachedResource r;
    for (std::string* field : {&r.href, &r.etag, &r.last_modified, &r.bytes}) {
      std::optional<std::string> f = fields.Next();
      if (!f) return CopyRead::kUnreadable;
      *field = std::move(*f);
    }
    read.resources.push_back(std::move(r));
  }
  if (fields.Rest() != kEnd) return CopyRead::kUnreadable;
  copy = std::move(read);
  return CopyRead::kRead;
}

bool WriteCopy(const std::string& file, const std::string& collectionUrl,
               const CollectionCopy& copy) {
  const std::string folder = std::filesystem::path(file).parent_path();
  if (!MakePrivateFolder(std::filesystem::path(folder).parent_path().parent_path()) ||
      !MakePrivateFolder(std::filesystem::path(folder).parent_path()) ||
      !MakePrivateFolder(folder)) {
    return false;
  }
  std::string out(kMagic);
  Put(out, collectionUrl);
  Put(out, copy.sync_token);
  Put(out, std::to_string(copy.resources.size()));
  for (const CachedResource& r : copy.resources) {
    for (const std::string* field : {&r.href, &r.etag, &r.last_modified, &r.bytes})
      Put(out, *field);
  }
  out += kEnd;
  std::string aside = file + ".XXXXXX";
  const int fd = ::mkostemp(aside.data(), O_CLOEXEC);  // 0600
  if (fd < 0) return false;
  size_t written = 0;
  while (written < out.size()) {
    const ssize_t n = ::write(fd, out.data() + written, out.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  const bool whole = ::close(fd) == 0 && written == out.size();
  if (!whole || ::rename(aside.c_str(), file.c_str()) != 0) {
    ::unlink(aside.c_str());
    return false;
  }
  return true;
}

void DropCopy(const std::string& file) { ::unlink(file.c_str()); }

bool ForgetStoreCache(const std::string& storeUrl, const std::string& home) {
  const std::optional<std::string> root = DavRoot(storeUrl);
  if (!root) return false;
  const std::string base = home.empty() ? CacheHome() : home;
  if (base.empty()) return true;
  std::error_code ec;
  std::filesystem::remove_all(DavFolder(base) + "/" + Hash(*root), ec);
  return true;
}

void ForgetAllStoreCaches(const std::string& home) {
  const std::string base = home.empty() ? CacheHome() : home;
  if (base.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(DavFolder(base), ec);
}

}  // namespace tidewell::dav
