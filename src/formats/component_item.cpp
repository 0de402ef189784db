#include "formats/component_item.h"

#include <cstdint>
#include <cstring>
#include <ctime>

#include "formats/calendar_view.h"
#include "formats/contact_view.h"
#include "formats/searchable_text.h"
#include "formats/subject_scan.h"
#include "platform/failure.h"
#include "platform/ui.h"
#include "text/rich_text.h"

namespace tidewell::formats {
namespace {

std::string_view LineBody(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
    line.remove_suffix(1);
  }
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  return line;
}

// The component name of a BEGIN or END line as written, or nothing.
std::optional<std::string_view> Marker(std::string_view line, std::string_view word) {
  if (line.size() <= word.size() || !EqualsIgnoringCase(line.substr(0, word.size()), word)) {
    return std::nullopt;
  }
  return Trim(line.substr(word.size()));
}

const char* CalendarType(std::string_view name) {
  if (EqualsIgnoringCase(name, "VEVENT")) return "AppointmentItem";
  if (EqualsIgnoringCase(name, "VTODO")) return "TaskItem";
  if (EqualsIgnoringCase(name, "VJOURNAL")) return "JournalItem";
  return nullptr;
}

}  // namespace

std::vector<std::string> ScanItemTypes(std::string_view bytes, bool contacts) {
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  std::vector<std::string> types;
  size_t depth = 0;
  constexpr size_t kNone = SIZE_MAX;
  size_t item_depth = kNone;  // the depth of the open item component
  const char* const end = bytes.data() + bytes.size();
  for (const char* at = bytes.data(); at < end;) {
    // Only a line whose first byte past its blanks is a B or an E is looked
    // at; the others are stepped over to their line break.
    while (at < end && (*at == ' ' || *at == '\t')) ++at;
    const char* nl = at < end ? static_cast<const char*>(std::memchr(at, '\n', end - at)) : end;
    if (nl == nullptr) nl = end;
    const char first = at < end ? *at : '\n';
    const std::string_view raw(at, static_cast<size_t>(nl - at));
    at = nl + 1;
    // "BEGIN:" and "END:" have their colon at a fixed place, which rules out
    // the other lines that start so (BDAY, EMAIL) without a comparison.
    const bool may_begin = (first == 'B' || first == 'b') && raw.size() > 6 && raw[5] == ':';
    const bool may_end = (first == 'E' || first == 'e') && raw.size() > 4 && raw[3] == ':';
    if (!may_begin && !may_end) continue;
    const std::string_view line = LineBody(raw);
    if (std::optional<std::string_view> name = Marker(line, "BEGIN:")) {
      if (item_depth == kNone) {
        if (contacts ? depth == 0 && EqualsIgnoringCase(*name, "VCARD")
                     : CalendarType(*name) != nullptr) {
          types.emplace_back(contacts ? "ContactItem" : CalendarType(*name));
          item_depth = depth;
        }
      }
      ++depth;
    } else if (Marker(line, "END:")) {
      if (depth > 0) --depth;
      if (depth == item_depth) item_depth = kNone;
    }
  }
  return types;
}

ComponentItem::ComponentItem(Kind kind, size_t ordinal, size_t components, std::string typeName,
                             std::shared_ptr<ComponentShare> share, Ui* ui)
    : kind_(kind),
      ordinal_(ordinal),
      components_(components),
      type_name_(std::move(typeName)),
      share_(std::move(share)),
      ui_(ui) {}

std::string ComponentItem::TypeName() const { return type_name_; }

void ComponentItem::Fetch() {
  try {
    if (share_->saved) {
      raw_ = *share_->saved;
    } else if (share_->pending) {
      // The last component takes the bytes; those before copy them.
      if (ordinal_ >= components_) {
        raw_ = std::move(*share_->pending);
        share_->pending.reset();
      } else {
        raw_ = *share_->pending;
      }
    } else {
      raw_ = ReadResource();
    }
  } catch (const Failure& f) {
    load_error_ = "Cannot read " + Where() + ": " + f.Description();
    throw Failure(*load_error_);
  }
}

void ComponentItem::Load() {
  if (document_ || kind_ == Kind::kMail) return;
  // Named before an unreadable resource fails too, so that its report says which.
  if (tell_unsearched_ && !named_) ui_->CurrentItem(EntryId() + " (" + Where() + ")");
  named_ = false;
  if (load_error_) throw Failure(*load_error_);
  if (!raw_) Fetch();
  std::string bytes = std::move(*raw_);
  raw_.reset();
  try {
    Parse(std::move(bytes));
  } catch (const Failure& f) {
    load_error_ = "Cannot read " + Where() + ": " + f.Description();
    throw Failure(*load_error_);
  }
  if (!tell_unsearched_) return;
  std::string note;
  for (size_t i : view_->Unsearched()) {
    const ContentLine& line = document_->lines()[i];
    note += (note.empty() ? "" : ", ") + line.name + (view_->InAlarm(i) ? " of an alarm" : "") +
            " on line " + std::to_string(line.line_number);
  }
  if (!note.empty()) ui_->Note("Not searched: " + EntryId() + ": " + note + ".");
}

void ComponentItem::Parse(std::string bytes) {
  Adopt(std::make_unique<Document>(std::move(bytes)));
}

void ComponentItem::Adopt(std::unique_ptr<Document> document) {
  // The view is made first: a component it cannot find leaves the item as it was.
  std::unique_ptr<ItemView> view;
  if (kind_ == Kind::kContact) {
    view = std::make_unique<ContactView>(*document, ordinal_);
  } else {
    view = std::make_unique<CalendarView>(*document, ordinal_);
  }
  view_.reset();
  document_ = std::move(document);
  view_ = std::move(view);
}

void ComponentItem::Rebase(const std::string& current) {
  auto fresh = std::make_unique<Document>(current);
  std::vector<ContentLine>& now = fresh->lines();
  const std::vector<ContentLine>& mine = document_->lines();
  // A save rewrites values in place, so the logical lines of a resource keep
  // their places across the saves of its components.
  if (now.size() != mine.size()) throw Failure(kChangedByAnotherProgram);
  for (size_t i = 0; i < mine.size(); ++i) {
    const ContentLine& was = mine[i];
    if (!was.is_property || SerializesAsRead(was, document_->bytes())) continue;
    ContentLine& line = now[i];
    if (!line.is_property || !ReadAs(line, fresh->bytes(), TextAsRead(was, document_->bytes()))) {
      throw Failure(kChangedByAnotherProgram);
    }
    line.group = was.group;
    line.name = was.name;
    line.upper_name = was.upper_name;
    line.params = was.params;
    line.value = was.value;
    line.charset = was.charset;
  }
  for (const auto& [index, physical] : document_->restores()) fresh->RestoreAs(index, physical);
  Adopt(std::move(fresh));
}

void ComponentItem::Unknown(const std::string& name) const {
  throw Failure(TypeName() + " has no property named '" + name + "'.");
}

std::string ComponentItem::GetProperty(const std::string& name) {
  // Compared as views: a run asks this for every field of every item.
  using namespace std::string_view_literals;
  if (name == "EntryID"sv) return EntryId();
  if (name == kLocationProperty) return Where();
  // A contact a run rules out whole is logged by its subject and never parsed.
  if (name == "Subject"sv && !document_ && scanned_subject_) return *scanned_subject_;
  Load();
  if (!view_) Unknown(name);
  if (name == "RTFBody"sv) return view_->Has("Body") ? view_->GetAsRtf("Body") : "";
  if (!view_->Knows(name)) Unknown(name);
  return view_->Get(name);
}

std::string ComponentItem::WritableProperty(const std::string& name) {
  if (name == "EntryID") throw Failure("EntryID cannot be changed.");
  Load();
  if (!view_) Unknown(name);
  std::string property = name == "RTFBody" ? "Body" : name;
  if (!view_->Knows(property)) Unknown(name);
  if (!view_->Has(property)) {
    throw Failure(Where() + " has no " + name + " to change, and fields are never added.");
  }
  RefuseWrite();
  return property;
}

void ComponentItem::SetProperty(const std::string& name, const std::string& text) {
  const std::string property = WritableProperty(name);
  // Not one call with a conditional, which would copy `text`.
  if (name == "RTFBody") {
    view_->Set(property, PlainTextFromRtf(text));
  } else {
    view_->Set(property, text);
  }
}

void ComponentItem::SetPropertyTaken(const std::string& name, std::string&& text) {
  if (name != "RTFBody") return SetProperty(name, text);
  const std::string property = WritableProperty(name);
  std::string plain = PlainTextFromRtf(text);
  std::string().swap(text);
  view_->Set(property, plain);
}

std::string_view ComponentItem::LineBytes(const std::string& name) {
  try {
    Load();
    if (!view_) return {};
    const std::optional<size_t> index = view_->LineOfProperty(name == "RTFBody" ? "Body" : name);
    if (!index) return {};
    const ContentLine& line = document_->lines()[*index];
    const size_t body_end = line.end - line.terminator.size();
    return std::string_view(document_->bytes()).substr(line.begin, body_end - line.begin);
  } catch (const Failure&) {
    return {};
  }
}

std::string ComponentItem::PropertyLine(const std::string& name) {
  return LineToken(LineBytes(name));
}

std::optional<std::string_view> ComponentItem::PropertyLineView(const std::string& name) {
  const std::string_view bytes = LineBytes(name);
  // LineToken spells "%" and every byte from 0x80 on as "%XX"; without them
  // the token is the bytes themselves.
  for (const char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80 || c == '%') return std::nullopt;
  }
  return bytes;
}

void ComponentItem::RestoreLine(const std::string& name, const std::string& line) {
  Load();
  if (!view_) return;
  const std::optional<size_t> index = view_->LineOfProperty(name == "RTFBody" ? "Body" : name);
  if (!index) return;
  // A long line gets the room to become the saved file (see TakeRendered).
  const size_t room = line.size() < (size_t{64} << 10) ? 0 : document_->RoomAround(*index);
  std::optional<std::string> bytes = LineOfToken(line, room);
  if (bytes) document_->RestoreAs(*index, std::move(*bytes));
}

void ComponentItem::RestoreLineTaken(const std::string& name, std::string&& line) {
  Load();
  if (!view_) return;
  const std::optional<size_t> index = view_->LineOfProperty(name == "RTFBody" ? "Body" : name);
  if (!index) return;
  // A long line gets the room to become the saved file (see TakeRendered).
  const size_t room = line.size() < (size_t{64} << 10) ? 0 : document_->RoomAround(*index);
  std::optional<std::string> bytes = LineOfToken(std::move(line), room);
  if (bytes) document_->RestoreAs(*index, std::move(*bytes));
}

std::optional<std::string> ComponentItem::SearchableText() {
  if (kind_ != Kind::kContact) return std::nullopt;
  if (document_) return SearchableContactText(document_->bytes());
  if (load_error_) return std::nullopt;
  if (tell_unsearched_ && !named_) {
    ui_->CurrentItem(EntryId() + " (" + Where() + ")");
    named_ = true;
  }
  if (!raw_) {
    try {
      Fetch();
    } catch (const Failure&) {
      named_ = false;  // as Load, each later access names it again
      throw;
    }
  }
  std::optional<std::string> text = SearchableContactText(*raw_);
  // The subject from the same reading; the parse is left to a field's read.
  if (text && ordinal_ == 1 && components_ == 1) {
    scanned_subject_ = ScanContactSubject(*raw_, *text);
  }
  return text;
}

void ComponentItem::Save() {
  if (!document_ || !document_->Changed()) return;
  try {
    if (share_->saved && *share_->saved != document_->bytes()) Rebase(*share_->saved);
  } catch (const Failure& f) {
    if (f.Description() == kChangedByAnotherProgram) throw;
    throw Failure(Where() + ": " + f.Description());
  }
  view_->Touch(std::time(nullptr));
  // The document is let go of below; should the write fail, it keeps its
  // lines, and only the form of a restored one may be lost.
  std::string bytes = document_->TakeRendered();
  WriteResource(document_->bytes(), bytes);
  // The document as read is done with: let go of it before the saved bytes
  // are parsed, so that a large item is not held twice over.
  view_.reset();
  document_.reset();
  // Only a sibling component reads the saved bytes: an item alone in its
  // resource would hold them twice.
  if (components_ > 1) share_->saved = bytes;
  Parse(std::move(bytes));
}

}  // namespace tidewell::formats
