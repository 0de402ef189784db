#include "stores/dav/dav_store.h"

#include <algorithm>
#include <climits>
#include <map>
#include <set>

#include <curl/curl.h>

#include "formats/document.h"
#include "formats/store_folders.h"
#include "platform/failure.h"
#include "stores/dav/collection_cache.h"
#include "stores/dav/dav_item.h"
#include "stores/dav/dav_state.h"
#include "stores/dav/dav_url.h"
#include "stores/dav/report_bodies.h"

namespace tidewell {
namespace dav {
namespace {

// Bytes of items kept in memory from the listing for their items; past this
// they are kept on disk, so a large folder costs what a small one does.
constexpr size_t kKeptBytes = size_t{8} << 20;
bool Organizes(const Server& server, const std::string& organizer) {
  if (server.user_addresses.empty()) return true;
  std::string lower = formats::ToLower(formats::Trim(organizer));
  return std::find(server.user_addresses.begin(), server.user_addresses.end(), lower) !=
         server.user_addresses.end();
}

// Which item components (in order) of a calendar resource are events with
// attendees that the account organizes.
std::vector<bool> NotifyingComponents(const Server& server, const std::string& bytes) {
  std::vector<bool> out;
  try {
    formats::Document doc(bytes);
    for (const formats::Component& c : doc.components()) {
      if (c.name != "VEVENT" && c.name != "VTODO" && c.name != "VJOURNAL") continue;
      bool attendees = false, organized = false;
      for (size_t i : c.properties) {
        const formats::ContentLine& line = doc.lines()[i];
        if (line.upper_name == "ATTENDEE") attendees = true;
        if (line.upper_name == "ORGANIZER") organized = Organizes(server, line.value);
      }
      out.push_back(c.name == "VEVENT" && attendees && organized);
    }
  } catch (const Failure&) {
    // A malformed resource fails in its item's procedure, never here.
  }
  return out;
}

class DavItems : public Items {
 public:
  DavItems(std::shared_ptr<StoreState> state, size_t server, Collection collection)
      : state_(std::move(state)), server_(server), collection_(std::move(collection)) {}

  int32_t Count() override {
    List();
    return entries_.size() > INT32_MAX ? INT32_MAX : static_cast<int32_t>(entries_.size());
  }

  std::shared_ptr<OutlookItem> Item(int32_t index) override {
    if (index < 1 || index > Count()) {
      throw Failure("The folder " + collection_.name + " has no item " + std::to_string(index) +
                    ".");
    }
    const Entry& e = entries_[static_cast<size_t>(index - 1)];
    const std::shared_ptr<Resource>& resource = resources_[e.resource];
    auto item = std::make_shared<DavItem>(state_, server_, collection_, LastSegment(resource->url),
                                          e.ordinal, e.components, e.type, resource);
    item->TellUnsearched();
    return item;
  }

 private:
  struct Entry {
    size_t resource;
    size_t ordinal;
    size_t components;
    std::string type;
  };

  Server& server() const { return state_->servers[server_]; }

  void List() {
    if (listed_) return;
    listed_ = true;
    if (state_->cache_home.empty()) {
      ListFresh();
    } else {
      ListThroughCopy();
    }
  }

  void ListFresh() {
    Request report{"REPORT",
                   collection_.url,
                   {{"Depth", "1"}, {"Content-Type", "application/xml; charset=utf-8"}},
                   QueryBody(collection_)};
    const Response r =
        SendMultistatus(*server().transport, report, [&](DavResponse& d) { Take(d); });
    if (r.status == 207) return;
    if (r.status == 400 || r.status == 403 || r.status == 405 || r.status == 501) {
      ListByMultiget();
      return;
    }
    throw Failure(r.status_line);
  }

  // The listing from the copy on disk, brought up to date with what the
  // server says changed; read whole where there is no copy, the copy cannot
  // be read, or the server no longer knows the copy's sync token.
  void ListThroughCopy() {
    const std::string file = CacheFile(state_->cache_home, state_->roots[server_], collection_.url);
    CollectionCopy copy;
    if (ReadCopy(file, collection_.url, copy) == CopyRead::kUnreadable) {
      state_->ui->Note("The cached copy of " + collection_.url +
                       " could not be read; it is read from the server again.");
    }
    bool changed = false;
    if (copy.resources.empty() && copy.sync_token.empty() ? false : Update(copy, changed)) {
      if (changed && !WriteCopy(file, collection_.url, copy)) DropCopy(file);
      for (CachedResource& c : copy.resources) {
        DavResponse d;
        d.href = std::move(c.href);
        d.etag = std::move(c.etag);
        d.last_modified = std::move(c.last_modified);
        d.data = std::move(c.bytes);
        d.has_data = true;
        Add(d);
      }
      return;
    }
    // Read whole, keeping a copy of what is read. The token is asked first:
    // what changes while the items are read is then reported again next time.
    copying_ = CollectionCopy{};
    whole_ = true;
    try {
      for (const DavResponse& d :
           Propfind(*server().transport, collection_.url, 0, "<D:sync-token/>")) {
        if (!d.sync_token.empty()) copying_->sync_token = d.sync_token;
      }
    } catch (const Failure&) {
      // A server without sync tokens: the next run compares ETags.
    }
    ListFresh();
    if (!whole_ || !WriteCopy(file, collection_.url, *copying_)) DropCopy(file);
    copying_.reset();
  }

  // The absolute URL of a member's href; nothing for the collection itself
  // and what lies outside it.
  std::optional<std::string> Member(const std::string& href) const {
    return HrefInside(collection_.url, href);
  }

  // Brings `copy` up to date: the members sync-collection (with the copy's
  // token) or a PROPFIND of ETags (without one) names as changed are fetched
  // again, the removed ones dropped. False when the copy must be given up: the
  // server refused the token (403 or 409 with valid-sync-token), cut the
  // answer short (507), or named something the copy cannot hold.
  bool Update(CollectionCopy& copy, bool& changed) {
    std::map<std::string, size_t> at;
    for (size_t i = 0; i < copy.resources.size(); ++i) {
      if (std::optional<std::string> url = Member(copy.resources[i].href)) at[*url] = i;
    }
    std::vector<std::string> fetch;
    std::set<std::string> gone;
    const std::string from = copy.sync_token;
    bool fine = true;
    auto changedMember = [&](const DavResponse& d) {
      if (d.collection) return;
      const std::optional<std::string> url = Member(d.href);
      if (!url) {
        // The collection itself is named with a 507 when the answer is cut short.
        if (d.status != 200 ||
            Resolve(collection_.url, d.href) != Resolve(collection_.url, collection_.url)) {
          fine = false;
        }
        return;
      }
      if (d.status == 404 || d.status == 410) {
        gone.insert(*url);
      } else if (d.status < 200 || d.status > 299) {
        fine = false;
      } else {
        gone.erase(*url);
        const auto known = at.find(*url);
        if (known == at.end() || d.etag.empty() || copy.resources[known->second].etag != d.etag)
          fetch.push_back(d.href);
      }
    };
    if (!from.empty()) {
      Request sync{"REPORT",
                   collection_.url,
                   {{"Depth", "0"}, {"Content-Type", "application/xml; charset=utf-8"}},
                   SyncBody(from)};
      try {
        const Response r =
            SendMultistatus(*server().transport, sync, changedMember, &copy.sync_token);
        if (r.status != 207 || copy.sync_token.empty()) return false;
      } catch (const Failure&) {
        return false;  // an answer that cannot be read: the whole read tells why
      }
    } else {
      std::set<std::string> present;
      try {
        for (DavResponse& d : Propfind(*server().transport, collection_.url, 1, "<D:getetag/>")) {
          if (std::optional<std::string> url = Member(d.href); url && !d.collection)
            present.insert(*url);
          changedMember(d);
        }
      } catch (const Failure&) {
        return false;
      }
      for (const auto& [url, index] : at) {
        if (!present.contains(url)) gone.insert(url);
      }
    }
    if (!fine) return false;
    if (!FetchAgain(copy, fetch, gone, fine)) return false;
    changed = !fetch.empty() || !gone.empty() || copy.sync_token != from;
    return fine;
  }

  // Fetches `fetch` (each href once) into `copy` after dropping what is
  // `gone` or fetched again, so a member both removed and added is kept.
  // False when a multiget is not answered; `fine` false when an answer names
  // what the copy cannot hold.
  bool FetchAgain(CollectionCopy& copy, std::vector<std::string>& fetch,
                  std::set<std::string>& gone, bool& fine) {
    std::set<std::string> asked;
    for (const std::string& href : fetch) {
      if (std::optional<std::string> url = Member(href)) gone.insert(*url);
    }
    fetch.erase(std::remove_if(
                    fetch.begin(), fetch.end(),
                    [&](const std::string& href) { return !asked.insert(*Member(href)).second; }),
                fetch.end());
    std::vector<CachedResource> kept;
    kept.reserve(copy.resources.size());
    for (CachedResource& c : copy.resources) {
      const std::optional<std::string> url = Member(c.href);
      if (url && !gone.contains(*url)) kept.push_back(std::move(c));
    }
    copy.resources = std::move(kept);
    for (size_t first = 0; first < fetch.size() && fine; first += kMultigetBatch) {
      const Request multiget = MultigetBatch(collection_, fetch, first);
      const Response r = SendMultistatus(*server().transport, multiget, [&](DavResponse& d) {
        if (d.status == 404 || d.status == 410) return;        // removed since it was named
        if (!Cacheable(d) || !asked.erase(*Member(d.href))) {  // Cacheable: a member
          fine = false;
          return;
        }
        copy.resources.push_back(
            {std::move(d.href), std::move(d.etag), std::move(d.last_modified), std::move(d.data)});
      });
      if (r.status != 207) return false;
    }
    return true;
  }

  bool Cacheable(const DavResponse& d) const {
    return !d.collection && Member(d.href) && d.status >= 200 && d.status <= 299 && d.has_data &&
           !d.data_too_large;
  }

  // A response of a whole read: kept in the copy being made, then listed.
  void Take(DavResponse& d) {
    if (copying_) {
      if (Cacheable(d)) {
        copying_->resources.push_back({d.href, d.etag, d.last_modified, d.data});
      } else if (!d.collection &&
                 Resolve(collection_.url, d.href) != Resolve(collection_.url, collection_.url)) {
        whole_ = false;  // an item that fails when read: never taken for a current copy
      }
    }
    Add(d);
  }

  // For servers that refuse the query: the hrefs first, then their data.
  void ListByMultiget() {
    std::vector<std::string> hrefs;
    for (DavResponse& d : Propfind(*server().transport, collection_.url, 1, "<D:getetag/>")) {
      if (d.collection) continue;
      if (!HrefInside(collection_.url, d.href)) {
        Take(d);  // refused as an item of its own, never fetched
      } else {
        hrefs.push_back(d.href);
      }
    }
    for (size_t first = 0; first < hrefs.size(); first += kMultigetBatch) {
      const Request multiget = MultigetBatch(collection_, hrefs, first);
      const Response r =
          SendMultistatus(*server().transport, multiget, [&](DavResponse& d) { Take(d); });
      if (r.status != 207) throw Failure(r.status_line);
    }
  }

  void Add(DavResponse& d) {
    if (d.collection) return;
    auto resource = std::make_shared<Resource>();
    const std::optional<std::string> url = HrefInside(collection_.url, d.href);
    resource->url = url ? *url : Resolve(collection_.url, d.href).value_or(d.href);
    if (!url) {
      // The server's own folder is never an item; anything else it names
      // outside the folder is one that fails, so a run reports it.
      if (Resolve(collection_.url, d.href) == Resolve(collection_.url, collection_.url)) return;
      resource->refused = "The server named " + Excerpt(d.href) + " as an item of " +
                          collection_.url +
                          ", which lies outside it; it is neither read nor written.";
    } else if (d.status < 200 || d.status > 299) {
      resource->refused =
          "The server did not give " + *url + " (status " + std::to_string(d.status) + ").";
    } else if (d.data_too_large) {
      resource->refused = "The item " + *url + " is larger than 16 MiB.";
    }
    resource->etag = d.etag;
    const std::string fallback = collection_.contacts ? "ContactItem" : "AppointmentItem";
    std::vector<std::string> types;
    std::vector<bool> notifying;
    if (!resource->refused && d.has_data) {
      types = formats::ScanItemTypes(d.data, collection_.contacts);
      if (server().schedules && !collection_.contacts)
        notifying = NotifyingComponents(server(), d.data);
      if (kept_ + d.data.size() <= kKeptBytes) {
        kept_ += d.data.size();
        resource->pending = std::move(d.data);
      } else {
        Spill(*resource, d.data);
      }
    }
    if (types.empty()) types.push_back(fallback);
    const std::string name = LastSegment(resource->url);
    const std::string& storeId = state_->roots[server_];
    if (!d.last_modified.empty()) {
      const time_t t = curl_getdate(d.last_modified.c_str(), nullptr);
      if (t != -1) {
        state_->last_modified[ItemKey(storeId, collection_.entry_id + "/" + name)] =
            static_cast<double>(t);
      }
    }
    const size_t index = resources_.size();
    resources_.push_back(std::move(resource));
    for (size_t n = 0; n < types.size(); ++n) {
      std::string id = collection_.entry_id + "/" + name;
      if (n > 0) id += "#" + std::to_string(n + 1);
      const bool notifies = n < notifying.size() && notifying[n];
      if (notifies) state_->may_notify[ItemKey(storeId, id)] = true;
      if (notifies && state_->leaves_notifying_items) {
        state_->ui->Note("Skipped " + id + ": " + kNotifiesAttendees + ".");
        continue;
      }
      entries_.push_back({index, n + 1, types.size(), std::move(types[n])});
    }
  }

  // Past kKeptBytes the bytes go to disk; only when that fails is the item
  // fetched again when it is reached.
  void Spill(Resource& resource, std::string_view bytes) {
    if (!spill_tried_) {
      spill_tried_ = true;
      spill_ = SpillFile::Make();
    }
    if (!spill_) return;
    if (std::optional<Extent> extent = spill_->Put(bytes)) {
      resource.spill = spill_;
      resource.extent = *extent;
    }
  }

  std::shared_ptr<StoreState> state_;
  size_t server_;
  Collection collection_;
  bool listed_ = false;
  std::optional<CollectionCopy> copying_;  // while a whole read keeps a copy
  bool whole_ = true;                      // every item read could be kept
  size_t kept_ = 0;
  bool spill_tried_ = false;
  std::shared_ptr<SpillFile> spill_;
  std::vector<Entry> entries_;
  std::vector<std::shared_ptr<Resource>> resources_;
};

class DavFolder : public MAPIFolder {
 public:
  DavFolder(std::shared_ptr<StoreState> state, Collection collection)
      : state_(std::move(state)), collection_(std::move(collection)) {}

  std::string EntryID() override { return collection_.entry_id; }
  std::string StoreID() override { return state_->roots[collection_.store]; }
  std::string Name() override { return collection_.name; }
  std::unique_ptr<Items> GetItems() override {
    state_->ui->CurrentItem("");
    return std::make_unique<DavItems>(state_, collection_.store, collection_);
  }

 private:
  std::shared_ptr<StoreState> state_;
  Collection collection_;
};

std::vector<Collection> Every(const StoreState& state) {
  std::vector<Collection> all;
  for (const Server& s : state.servers)
    all.insert(all.end(), s.collections.begin(), s.collections.end());
  return all;
}

class DavNameSpace : public NameSpace {
 public:
  explicit DavNameSpace(std::shared_ptr<StoreState> state) : state_(std::move(state)) {}

  std::unique_ptr<MAPIFolder> PickFolder() override {
    const std::vector<Collection> all = Every(*state_);
    const std::optional<size_t> chosen = formats::PickFolderIndex(*state_->ui, all, state_->roots);
    if (!chosen) return nullptr;
    return std::make_unique<DavFolder>(state_, all[*chosen]);
  }

  std::unique_ptr<MAPIFolder> GetDefaultFolder(int32_t folderType) override {
    const auto every = [&] { return Every(*state_); };
    const auto holds = [](const Collection& c) { return c.contacts; };
    return std::make_unique<DavFolder>(state_,
                                       formats::DefaultContactsFolder(folderType, every, holds));
  }

  std::vector<std::unique_ptr<MAPIFolder>> AllFolders() override {
    std::vector<std::unique_ptr<MAPIFolder>> out;
    for (Collection& c : Every(*state_))
      out.push_back(std::make_unique<DavFolder>(state_, std::move(c)));
    return out;
  }

 private:
  std::shared_ptr<StoreState> state_;
};

class DavApplication : public Application {
 public:
  explicit DavApplication(std::shared_ptr<StoreState> state) : state_(std::move(state)) {}
  std::unique_ptr<NameSpace> GetNamespace(const std::string& type) override {
    if (type != "MAPI") throw Failure("There is no namespace named '" + type + "'.");
    return std::make_unique<DavNameSpace>(state_);
  }

 private:
  std::shared_ptr<StoreState> state_;
};

// The servers to search for an entry id: the one `storeId` names, or all.
std::vector<size_t> ServersFor(const StoreState& state, const std::string& storeId) {
  std::vector<size_t> out;
  for (size_t i = 0; i < state.roots.size(); ++i) {
    if (state.roots[i] == storeId) return {i};
  }
  for (size_t i = 0; i < state.roots.size(); ++i) out.push_back(i);
  return out;
}

}  // namespace
}  // namespace dav

DavStore::DavStore(const std::vector<std::string>& urls, Ui& ui, WriteAheadLog* wal,
                   std::function<std::unique_ptr<dav::Transport>(const std::string& url)> connect,
                   const std::string& cacheHome)
    : state_(std::make_shared<dav::StoreState>()) {
  state_->ui = &ui;
  state_->cache_home = cacheHome;
  state_->wal = wal;
  for (const std::string& url : urls) {
    const std::optional<std::string> root = dav::DavRoot(url);
    if (!root) throw Failure(url + " is no http:// or https:// URL.");
    dav::Server server;
    server.root = *root;
    server.transport = connect(*root);
    dav::Discover(server, *root);
    for (dav::Collection& c : server.collections) c.store = state_->servers.size();
    state_->roots.push_back(*root);
    state_->servers.push_back(std::move(server));
  }
}

DavStore::~DavStore() = default;

std::shared_ptr<Application> DavStore::OutlookApplication() const {
  return std::make_shared<dav::DavApplication>(state_);
}

std::unique_ptr<MAPIFolder> DavStore::YSGetFolder(const std::string& entryId,
                                                  const std::string& storeId) {
  for (size_t s : dav::ServersFor(*state_, storeId)) {
    for (const dav::Collection& c : state_->servers[s].collections) {
      if (c.entry_id == entryId) return std::make_unique<dav::DavFolder>(state_, c);
    }
  }
  return nullptr;
}

std::shared_ptr<OutlookItem> DavStore::GetItemFromID(const std::string& itemEntryId,
                                                     const std::string& storeId) const {
  const size_t slash = itemEntryId.rfind('/');
  if (slash == std::string::npos) return nullptr;
  const std::string folder = itemEntryId.substr(0, slash);
  std::string name = itemEntryId.substr(slash + 1);
  size_t ordinal = 1;
  if (const size_t hash = name.rfind('#');
      hash != std::string::npos && hash + 1 < name.size() && name.size() - hash <= 7 &&
      name[hash + 1] != '0' &&
      std::all_of(name.begin() + static_cast<std::ptrdiff_t>(hash) + 1, name.end(),
                  [](char c) { return c >= '0' && c <= '9'; })) {
    ordinal = std::stoul(name.substr(hash + 1));
    name.resize(hash);
    if (ordinal < 2) return nullptr;
  }
  for (size_t s : dav::ServersFor(*state_, storeId)) {
    for (const dav::Collection& c : state_->servers[s].collections) {
      if (c.entry_id != folder) continue;
      const std::optional<std::string> url = dav::HrefInside(c.url, name);
      if (!url || name.find('/') != std::string::npos) return nullptr;
      auto resource = std::make_shared<dav::Resource>();
      resource->url = *url;
      const dav::Response r =
          state_->servers[s].transport->Send(dav::Request{"GET", *url, {}, ""}, {}, dav::kItemCap);
      if (r.status == 404 || r.status == 410) return nullptr;
      if (r.status < 200 || r.status > 299) throw Failure(r.status_line);
      resource->etag = r.etag;
      std::vector<std::string> types = formats::ScanItemTypes(r.body, c.contacts);
      if (types.empty()) types.emplace_back(c.contacts ? "ContactItem" : "AppointmentItem");
      if (ordinal > types.size()) return nullptr;
      // As a listing would: an undo asks MayNotifyOthers of what it looked up.
      if (state_->servers[s].schedules && !c.contacts) {
        const std::vector<bool> notifying = dav::NotifyingComponents(state_->servers[s], r.body);
        const std::string key = dav::ItemKey(state_->roots[s], itemEntryId);
        if (ordinal <= notifying.size() && notifying[ordinal - 1]) {
          state_->may_notify[key] = true;
        } else {
          state_->may_notify.erase(key);
        }
      }
      resource->pending = r.body;
      return std::make_shared<dav::DavItem>(state_, s, c, name, ordinal, types.size(),
                                            types[ordinal - 1], std::move(resource));
    }
  }
  return nullptr;
}

std::optional<double> DavStore::LastWritten(const std::string& itemEntryId,
                                            const std::string& storeId) const {
  const auto found = state_->last_modified.find(dav::ItemKey(storeId, itemEntryId));
  if (found == state_->last_modified.end()) return std::nullopt;
  return found->second;
}

const std::vector<std::string>& DavStore::StoreIDs() const { return state_->roots; }

void DavStore::WriteNothing() { state_->writes_nothing = true; }

bool DavStore::SchedulesImplicitly() const {
  return std::any_of(state_->servers.begin(), state_->servers.end(),
                     [](const dav::Server& s) { return s.schedules; });
}

bool DavStore::MayNotifyOthers(const std::string& itemEntryId, const std::string& storeId) const {
  return state_->may_notify.contains(dav::ItemKey(storeId, itemEntryId));
}

void DavStore::LeaveNotifyingItemsAlone() { state_->leaves_notifying_items = true; }

bool DavStore::LeavesNotifyingItemsAlone() const { return state_->leaves_notifying_items; }

}  // namespace tidewell
