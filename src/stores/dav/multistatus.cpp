#include "stores/dav/multistatus.h"

#include <QByteArray>
#include <QXmlStreamReader>

#include "platform/failure.h"
#include "stores/dav/transport.h"

namespace tidewell::dav {
namespace {

constexpr std::u16string_view kDav = u"DAV:";
constexpr std::u16string_view kCardDav = u"urn:ietf:params:xml:ns:carddav";
constexpr std::u16string_view kCalDav = u"urn:ietf:params:xml:ns:caldav";

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

Tag TagOf(const QXmlStreamReader& xml) {
  const QStringView ns = xml.namespaceUri();
  const QStringView name = xml.name();
  if (ns == kDav) {
    if (name == u"response") return Tag::kResponse;
    if (name == u"href") return Tag::kHref;
    if (name == u"status") return Tag::kStatus;
    if (name == u"propstat") return Tag::kPropstat;
    if (name == u"getetag") return Tag::kEtag;
    if (name == u"displayname") return Tag::kDisplayName;
    if (name == u"getlastmodified") return Tag::kLastModified;
    if (name == u"collection") return Tag::kCollection;
    if (name == u"current-user-principal") return Tag::kPrincipal;
    if (name == u"sync-token") return Tag::kSyncToken;
  } else if (ns == kCardDav) {
    if (name == u"address-data") return Tag::kData;
    if (name == u"addressbook") return Tag::kAddressbook;
    if (name == u"addressbook-home-set") return Tag::kAddressbookHome;
  } else if (ns == kCalDav) {
    if (name == u"calendar-data") return Tag::kData;
    if (name == u"calendar") return Tag::kCalendar;
    if (name == u"comp") return Tag::kComp;
    if (name == u"calendar-home-set") return Tag::kCalendarHome;
    if (name == u"calendar-user-address-set") return Tag::kUserAddresses;
    if (name == u"schedule-outbox-URL") return Tag::kScheduleOutbox;
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
  QXmlStreamReader xml;
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

  void Start() {
    const Tag tag = TagOf(xml);
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
        propstat.components.push_back(
            xml.attributes().value(QStringLiteral("name")).toString().toStdString());
        break;
      case Tag::kData:
        propstat.has_data = true;
        break;
      default:
        break;
    }
  }

  void Characters() {
    if (in_top_token) text += xml.text().toString().toStdString();
    if (!in_response || open.empty()) return;
    const Tag tag = open.back();
    if (tag == Tag::kData) {
      if (propstat.data_too_large) return;
      propstat.data += xml.text().toString().toStdString();
      if (propstat.data.size() > kItemCap) {
        propstat.data_too_large = true;
        propstat.data.clear();
        propstat.data.shrink_to_fit();
      }
    } else if (tag == Tag::kHref || tag == Tag::kStatus || tag == Tag::kEtag ||
               tag == Tag::kDisplayName || tag == Tag::kLastModified || tag == Tag::kSyncToken) {
      text += xml.text().toString().toStdString();
    }
  }

  void End() {
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

  void Read() {
    while (!xml.atEnd()) {
      switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
          Start();
          break;
        case QXmlStreamReader::EndElement:
          End();
          break;
        case QXmlStreamReader::Characters:
          Characters();
          break;
        case QXmlStreamReader::DTD:
          Fail("it declares a document type");
        case QXmlStreamReader::EntityReference:
          Fail("it refers to an undeclared entity");
        default:
          break;
      }
    }
    if (xml.error() == QXmlStreamReader::PrematureEndOfDocumentError) return;
    if (xml.hasError()) {
      Fail(xml.errorString().toStdString() + " (line " + std::to_string(xml.lineNumber()) + ")");
    }
  }
};

MultistatusReader::MultistatusReader(std::function<void(DavResponse&)> onResponse)
    : state_(std::make_unique<State>()) {
  state_->on_response = std::move(onResponse);
}

MultistatusReader::~MultistatusReader() = default;

void MultistatusReader::Add(std::string_view piece) {
  state_->xml.addData(QByteArray(piece.data(), static_cast<qsizetype>(piece.size())));
  state_->Read();
}

const std::string& MultistatusReader::SyncToken() const { return state_->sync_token; }

void MultistatusReader::Finish() {
  State& s = *state_;
  s.Read();
  if (s.xml.error() == QXmlStreamReader::PrematureEndOfDocumentError || !s.xml.atEnd()) {
    s.Fail("it ended before its last element closed");
  }
}

}  // namespace tidewell::dav
