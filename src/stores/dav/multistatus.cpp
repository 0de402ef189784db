#include "stores/dav/multistatus.h"

#include <algorithm>
#include <exception>
#include <new>

#include <expat.h>

#include "platform/failure.h"
#include "stores/dav/transport.h"

namespace tidewell::dav {
namespace {

constexpr std::string_view kDav = "DAV:";
constexpr std::string_view kCardDav = "urn:ietf:params:xml:ns:carddav";
constexpr std::string_view kCalDav = "urn:ietf:params:xml:ns:caldav";

// Between an element's namespace URI and its local name in the names expat
// hands out. A URI holding it is refused by expat, so the split is never
// ambiguous; no server's URI holds a line break.
constexpr char kNamespaceEnd = '\n';

// The elements the reader cares about; every other is skipped over.
enum class Tag {
  kOther,
  kResponse,
  kHref,
  kStatus,
  kPropstat,
  kEtag,
  kData,
  kDisplayName,
  kLastModified,
  kCollection,
  kAddressbook,
  kCalendar,
  kComp,
  kPrincipal,
  kAddressbookHome,
  kCalendarHome,
  kUserAddresses,
  kScheduleOutbox,
  kSyncToken,
};

// `qualified` is "URI\nlocal", or "local" for an element in no namespace.
Tag TagOf(std::string_view qualified) {
  const size_t end = qualified.find(kNamespaceEnd);
  const std::string_view ns = end == std::string_view::npos ? "" : qualified.substr(0, end);
  const std::string_view name =
      end == std::string_view::npos ? qualified : qualified.substr(end + 1);
  if (ns == kDav) {
    if (name == "response") return Tag::kResponse;
    if (name == "href") return Tag::kHref;
    if (name == "status") return Tag::kStatus;
    if (name == "propstat") return Tag::kPropstat;
    if (name == "getetag") return Tag::kEtag;
    if (name == "displayname") return Tag::kDisplayName;
    if (name == "getlastmodified") return Tag::kLastModified;
    if (name == "collection") return Tag::kCollection;
    if (name == "current-user-principal") return Tag::kPrincipal;
    if (name == "sync-token") return Tag::kSyncToken;
  } else if (ns == kCardDav) {
    if (name == "address-data") return Tag::kData;
    if (name == "addressbook") return Tag::kAddressbook;
    if (name == "addressbook-home-set") return Tag::kAddressbookHome;
  } else if (ns == kCalDav) {
    if (name == "calendar-data") return Tag::kData;
    if (name == "calendar") return Tag::kCalendar;
    if (name == "comp") return Tag::kComp;
    if (name == "calendar-home-set") return Tag::kCalendarHome;
    if (name == "calendar-user-address-set") return Tag::kUserAddresses;
    if (name == "schedule-outbox-URL") return Tag::kScheduleOutbox;
  }
  return Tag::kOther;
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::string WithCrLf(std::string data) {
  if (data.find('\r') != std::string::npos) return data;
  std::string out;
  out.reserve(data.size() + data.size() / 32);
  for (char c : data) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace

long StatusCode(std::string_view statusLine) {
  const size_t space = statusLine.find(' ');
  if (space == std::string_view::npos) return 0;
  long code = 0;
  for (size_t i = space + 1; i < statusLine.size() && statusLine[i] >= '0' && statusLine[i] <= '9';
       ++i) {
    code = code * 10 + (statusLine[i] - '0');
    if (code > 999) return 0;
  }
  return code;
}

struct MultistatusReader::State {
  std::function<void(DavResponse&)> on_response;
  XML_Parser parser = nullptr;
  // Why the answer was refused, once it was; every later call repeats it.
  std::string refusal;
  // What a handler threw: held while expat's C frames are on the stack, and
  // thrown again once XML_Parse has returned.
  std::exception_ptr thrown;
  std::vector<Tag> open;  // the elements open inside the current response
  bool in_response = false;
  DavResponse response;
  DavResponse propstat;  // props of the propstat being read, kept when its status is 2xx
  long propstat_status = 200;
  std::string text;           // of the innermost element whose text is read
  bool in_top_token = false;  // in the multistatus's own sync-token (RFC 6578)
  std::string sync_token;

  bool Inside(Tag tag) const {
    for (Tag t : open) {
      if (t == tag) return true;
    }
    return false;
  }
  Tag Parent() const { return open.size() >= 2 ? open[open.size() - 2] : Tag::kOther; }

  void Start(const XML_Char* name, const XML_Char** attributes) {
    const Tag tag = TagOf(name);
    if (!in_response) {
      if (tag == Tag::kSyncToken) {
        in_top_token = true;
        text.clear();
      }
      if (tag == Tag::kResponse) {
        in_response = true;
        response = DavResponse{};
        open.assign(1, tag);
      }
      return;
    }
    open.push_back(tag);
    text.clear();
    switch (tag) {
      case Tag::kPropstat:
        propstat = DavResponse{};
        propstat_status = 200;
        break;
      case Tag::kCollection:
        propstat.collection = true;
        break;
      case Tag::kAddressbook:
        propstat.addressbook = true;
        break;
      case Tag::kCalendar:
        propstat.calendar = true;
        break;
      case Tag::kComp:
        propstat.components.push_back(Attribute(attributes, "name"));
        break;
      case Tag::kData:
        propstat.has_data = true;
        break;
      default:
        break;
    }
  }

  void Characters(std::string_view chars) {
    if (in_top_token) text += chars;
    if (!in_response || open.empty()) return;
    const Tag tag = open.back();
    if (tag == Tag::kData) {
      if (propstat.data_too_large) return;
      propstat.data += chars;
      if (propstat.data.size() > kItemCap) {
        propstat.data_too_large = true;
        propstat.data.clear();
        propstat.data.shrink_to_fit();
      }
    } else if (tag == Tag::kHref || tag == Tag::kStatus || tag == Tag::kEtag ||
               tag == Tag::kDisplayName || tag == Tag::kLastModified || tag == Tag::kSyncToken) {
      text += chars;
    }
  }

  void End(const XML_Char*) {
    if (!in_response) {
      if (in_top_token) sync_token = Trimmed(text);
      in_top_token = false;
      return;
    }
    const Tag tag = open.back();
    const Tag parent = Parent();
    switch (tag) {
      case Tag::kHref:
        if (parent == Tag::kResponse) {
          response.href = Trimmed(text);
        } else if (parent == Tag::kPrincipal) {
          propstat.principal = Trimmed(text);
        } else if (parent == Tag::kAddressbookHome) {
          propstat.addressbook_homes.push_back(Trimmed(text));
        } else if (parent == Tag::kCalendarHome) {
          propstat.calendar_homes.push_back(Trimmed(text));
        } else if (parent == Tag::kUserAddresses) {
          propstat.user_addresses.push_back(Trimmed(text));
        } else if (parent == Tag::kScheduleOutbox) {
          propstat.schedule_outbox = Trimmed(text);
        }
        break;
      case Tag::kStatus:
        if (parent == Tag::kResponse) response.status = StatusCode(Trimmed(text));
        if (parent == Tag::kPropstat) propstat_status = StatusCode(Trimmed(text));
        break;
      case Tag::kEtag:
        propstat.etag = Trimmed(text);
        break;
      case Tag::kDisplayName:
        propstat.display_name = Trimmed(text);
        break;
      case Tag::kLastModified:
        propstat.last_modified = Trimmed(text);
        break;
      case Tag::kSyncToken:
        propstat.sync_token = Trimmed(text);
        break;
      case Tag::kPropstat:
        if (propstat_status >= 200 && propstat_status < 300) Keep();
        break;
      default:
        break;
    }
    open.pop_back();
    if (open.empty()) {
      in_response = false;
      on_response(response);
      response = DavResponse{};
    }
  }

  // Moves the props of a 2xx propstat into the response.
  void Keep() {
    DavResponse& p = propstat;
    if (!p.etag.empty()) response.etag = std::move(p.etag);
    if (p.has_data) {
      response.has_data = true;
      response.data_too_large = p.data_too_large;
      response.data = WithCrLf(std::move(p.data));
    }
    if (!p.display_name.empty()) response.display_name = std::move(p.display_name);
    if (!p.last_modified.empty()) response.last_modified = std::move(p.last_modified);
    if (!p.sync_token.empty()) response.sync_token = std::move(p.sync_token);
    response.collection |= p.collection;
    response.addressbook |= p.addressbook;
    response.calendar |= p.calendar;
    for (std::string& c : p.components) response.components.push_back(std::move(c));
    if (!p.principal.empty()) response.principal = std::move(p.principal);
    for (std::string& h : p.addressbook_homes) response.addressbook_homes.push_back(std::move(h));
    for (std::string& h : p.calendar_homes) response.calendar_homes.push_back(std::move(h));
    for (std::string& a : p.user_addresses) response.user_addresses.push_back(std::move(a));
    if (!p.schedule_outbox.empty()) response.schedule_outbox = std::move(p.schedule_outbox);
    p = DavResponse{};
  }

  [[noreturn]] void Fail(const std::string& reason) const {
    throw Failure("The server's answer could not be read: " + reason + ".");
  }

  // Hands `size` bytes to expat; `last` when no more follow.
  void Parse(const char* bytes, size_t size, bool last) {
    if (thrown) std::rethrow_exception(thrown);
    if (!refusal.empty()) Fail(refusal);
    constexpr size_t kMost = size_t{1} << 30;  // XML_Parse counts in an int
    XML_Status status = XML_STATUS_OK;
    do {
      const size_t n = std::min(size, kMost);
      status = XML_Parse(parser, bytes, static_cast<int>(n), last && n == size);
      bytes += n;
      size -= n;
    } while (status == XML_STATUS_OK && size > 0);
    if (status != XML_STATUS_ERROR) return;
    if (thrown) std::rethrow_exception(thrown);
    if (refusal.empty()) {
      const XML_Error error = XML_GetErrorCode(parser);
      // The bytes ran out inside the document: a cut answer, not a wrong one.
      if (error == XML_ERROR_NO_ELEMENTS || error == XML_ERROR_UNCLOSED_TOKEN ||
          error == XML_ERROR_PARTIAL_CHAR || error == XML_ERROR_UNCLOSED_CDATA_SECTION) {
        refusal = "it ended before its last element closed";
      } else {
        refusal = std::string(XML_ErrorString(error)) + " (line " +
                  std::to_string(XML_GetCurrentLineNumber(parser)) + ")";
      }
    }
    Fail(refusal);
  }

  // Stops expat for `reason`; Parse throws it once expat has returned.
  void Refuse(const char* reason) {
    refusal = reason;
    XML_StopParser(parser, XML_FALSE);
  }

  // Expat's handlers: each runs one of the above unless the parse is already
  // stopped (expat may still call one or two after XML_StopParser).
  template <auto kMethod, typename... Args>
  static void Handle(void* state, Args... args) {
    State& s = *static_cast<State*>(state);
    if (s.thrown || !s.refusal.empty()) return;
    try {
      (s.*kMethod)(args...);
    } catch (...) {
      s.thrown = std::current_exception();
      XML_StopParser(s.parser, XML_FALSE);
    }
  }
  static void OnCharacters(void* state, const XML_Char* chars, int size) {
    Handle<&State::Characters>(state, std::string_view(chars, static_cast<size_t>(size)));
  }
  // A document type declaration could declare entities, and with them an
  // answer that grows a billionfold as it is read: refused as soon as one
  // begins, before its first declaration.
  static void OnDoctype(void* state, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    static_cast<State*>(state)->Refuse("it declares a document type");
  }

  static std::string Attribute(const XML_Char** attributes, std::string_view name) {
    for (; *attributes; attributes += 2) {
      if (name == attributes[0]) return attributes[1];
    }
    return "";
  }
};

MultistatusReader::MultistatusReader(std::function<void(DavResponse&)> onResponse)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.on_response = std::move(onResponse);
  s.parser = XML_ParserCreateNS(nullptr, kNamespaceEnd);
  if (!s.parser) throw std::bad_alloc();
  XML_SetUserData(s.parser, &s);
  XML_SetElementHandler(s.parser, &State::Handle<&State::Start, const XML_Char*, const XML_Char**>,
                        &State::Handle<&State::End, const XML_Char*>);
  XML_SetCharacterDataHandler(s.parser, &State::OnCharacters);
  XML_SetStartDoctypeDeclHandler(s.parser, &State::OnDoctype);
}

MultistatusReader::~MultistatusReader() { XML_ParserFree(state_->parser); }

void MultistatusReader::Add(std::string_view piece) {
  state_->Parse(piece.data(), piece.size(), false);
}

const std::string& MultistatusReader::SyncToken() const { return state_->sync_token; }

void MultistatusReader::Finish() { state_->Parse(nullptr, 0, true); }

}  // namespace tidewell::dav
