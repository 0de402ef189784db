#include "stores/store_factory.h"

#include <array>

#include "stores/dav/collection_cache.h"
#include "stores/dav/curl_transport.h"
#include "stores/dav/dav_store.h"
#include "stores/dav/dav_url.h"
#include "stores/vdir/vdir_store.h"

namespace tidewell {

namespace {

struct StoreKind {
  // Whether a root (remembered, configured or made by `given_root`) is one
  // of this kind's.
  bool (*owns)(const std::string& root);
  std::optional<std::string> (*given_root)(const std::string& given);
  std::unique_ptr<MailStore> (*open)(const std::vector<std::string>& roots, Ui& ui,
                                     WriteAheadLog* wal, const StoreOptions& options);
};

// In the order asked; a kind that owns every root (a folder path) comes last.
const std::array kStoreKinds = {
    StoreKind{[](const std::string& root) { return dav::DavRoot(root).has_value(); }, dav::DavRoot,
              [](const std::vector<std::string>& roots, Ui& ui, WriteAheadLog* wal,
                 const StoreOptions& options) {
                return std::unique_ptr<MailStore>(std::make_unique<DavStore>(
                    roots, ui, wal,
                    [&options, &ui](const std::string& url) {
                      return std::unique_ptr<dav::Transport>(
                          std::make_unique<dav::CurlTransport>(url, options, ui));
                    },
                    options.no_cache ? std::string() : dav::CacheHome()));
              }},
    StoreKind{
        [](const std::string&) { return true; }, VdirRoot,
        [](const std::vector<std::string>& roots, Ui& ui, WriteAheadLog* wal, const StoreOptions&) {
          return std::unique_ptr<MailStore>(std::make_unique<VdirStore>(roots, ui, wal));
        }},
};

const StoreKind& KindOf(const std::string& root) {
  for (const StoreKind& kind : kStoreKinds) {
    if (kind.owns(root)) return kind;
  }
  return kStoreKinds.back();
}

}  // namespace

std::optional<std::string> GivenStoreRoot(const std::string& given) {
  return KindOf(given).given_root(given);
}

std::unique_ptr<MailStore> OpenStore(const std::vector<std::string>& roots, Ui& ui,
                                     WriteAheadLog* wal, const StoreOptions& options) {
  return KindOf(roots.empty() ? std::string() : roots.front()).open(roots, ui, wal, options);
}

}  // namespace tidewell
