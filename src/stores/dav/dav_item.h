// One item of a server collection: one VCARD, VEVENT, VTODO or VJOURNAL of a
// resource. Internal to the server store; see dav_store.h.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "formats/component_item.h"
#include "stores/dav/dav_state.h"
#include "stores/dav/spill_file.h"

namespace tidewell::dav {

// What the components of one resource share: ComponentShare's bytes, and the
// ETag the bytes were read or last saved with.
struct Resource : formats::ComponentShare {
  std::string url;   // absolute, inside its collection
  std::string etag;  // quotes kept
  // Why the resource is never read or written (an href outside its
  // collection, an item over the size cap); the item fails with it.
  std::optional<std::string> refused;
  // The bytes the listing read, kept on disk; read back from there instead
  // of fetched again.
  std::shared_ptr<SpillFile> spill;
  Extent extent;
};

class DavItem : public formats::ComponentItem {
 public:
  // The `ordinal`-th (from 1) of the `components` item components of
  // `resource`, in `collection` of the store `state` holds as `server`.
  DavItem(std::shared_ptr<StoreState> state, size_t server, Collection collection, std::string name,
          size_t ordinal, size_t components, std::string typeName,
          std::shared_ptr<Resource> resource);

  // "<folder>/<name>", with "#N" for the N-th component from 2 on.
  std::string EntryId() const override;

 protected:
  std::string Where() const override { return resource_->url; }
  std::string ReadResource() override;
  void WriteResource(const std::string& read, const std::string& bytes) override;

 private:
  Transport& transport() const;

  std::shared_ptr<StoreState> state_;
  size_t server_;
  Collection collection_;
  std::string name_;
  size_t ordinal_;
  std::shared_ptr<Resource> resource_;
};

// The ETag of `url` by a Depth-0 PROPFIND; "" when the server gives none.
std::string FetchEtag(Transport& transport, const std::string& url);

// GET of `url`: its bytes, and its ETag into `etag` when the answer has one.
// Throws Failure with the status line, or when the item passes kItemCap.
std::string FetchItem(Transport& transport, const std::string& url, std::string* etag);

}  // namespace tidewell::dav
