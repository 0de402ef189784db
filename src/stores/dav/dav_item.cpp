#include "stores/dav/dav_item.h"

#include "platform/failure.h"

namespace tidewell::dav {

DavItem::DavItem(std::shared_ptr<StoreState> state, size_t server, Collection collection,
                 std::string name, size_t ordinal, size_t components, std::string typeName,
                 std::shared_ptr<Resource> resource)
    : ComponentItem(collection.contacts ? Kind::kContact : Kind::kCalendar, ordinal, components,
                    std::move(typeName), resource, state->ui),
      state_(std::move(state)),
      server_(server),
      collection_(std::move(collection)),
      name_(std::move(name)),
      ordinal_(ordinal),
      resource_(std::move(resource)) {}

std::string DavItem::EntryId() const {
  std::string id = collection_.entry_id + "/" + name_;
  if (ordinal_ > 1) id += "#" + std::to_string(ordinal_);
  return id;
}

Transport& DavItem::transport() const { return *state_->servers[server_].transport; }

std::string DavItem::ReadResource() {
  if (resource_->refused) throw Failure(*resource_->refused);
  return FetchItem(transport(), resource_->url, &resource_->etag);
}

void DavItem::WriteResource(const std::string& /*read*/, const std::string& bytes) {
  if (resource_->refused) throw Failure(*resource_->refused);
  if (state_->writes_nothing) throw Failure("Nothing is written to the server in a preview.");
  if (resource_->etag.empty()) resource_->etag = FetchEtag(transport(), resource_->url);
  // Without an ETag the server could not tell us of a change made since the
  // read, and the PUT would overwrite it.
  if (resource_->etag.empty()) {
    throw Failure("The server gave no ETag for " + resource_->url + ", so it is not written.");
  }
  // The undo records reach the disk before the server has the change.
  if (state_->wal) state_->wal->Sync();
  Request put{"PUT",
              resource_->url,
              {{"If-Match", resource_->etag},
               {"Content-Type", collection_.contacts ? "text/vcard; charset=utf-8"
                                                     : "text/calendar; charset=utf-8"}},
              bytes};
  const Response r = transport().Send(put);
  if (r.status == 412) throw Failure(kChangedByAnotherProgram);
  if (r.status < 200 || r.status > 299) throw Failure(r.status_line);
  resource_->etag = r.etag.empty() ? FetchEtag(transport(), resource_->url) : r.etag;
}

std::string FetchEtag(Transport& transport, const std::string& url) {
  for (const DavResponse& r : Propfind(transport, url, 0, "<D:getetag/>")) {
    if (!r.etag.empty()) return r.etag;
  }
  return "";
}

std::string FetchItem(Transport& transport, const std::string& url, std::string* etag) {
  const Response r = transport.Send(Request{"GET", url, {}, ""}, {}, kItemCap);
  if (r.status < 200 || r.status > 299) throw Failure(r.status_line);
  if (etag && !r.etag.empty()) *etag = r.etag;
  return r.body;
}

}  // namespace tidewell::dav
