#include "platform/vdir/vdir_item.h"

#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/rich_text.h"
#include "platform/failure.h"
#include "platform/vdir/calendar_view.h"
#include "platform/vdir/contact_view.h"

namespace tidewell::vdir {
namespace {

std::optional<std::string> ComponentTypeName(std::string_view line) {
  if (line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);
  while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  std::string upper = ToUpper(Trim(line));
  if (upper == "BEGIN:VEVENT") return "AppointmentItem";
  if (upper == "BEGIN:VTODO") return "TaskItem";
  if (upper == "BEGIN:VJOURNAL") return "JournalItem";
  return std::nullopt;
}

// The type of the first VEVENT, VTODO or VJOURNAL whose BEGIN line starts
// within `text`, and the offset where the unread rest (a last line without its
// line feed) starts.
std::optional<std::string> FirstComponentType(std::string_view text, size_t& rest) {
  rest = 0;
  for (size_t nl = text.find('\n'); nl != std::string_view::npos; nl = text.find('\n', rest)) {
    if (auto type = ComponentTypeName(text.substr(rest, nl - rest))) return type;
    rest = nl + 1;
  }
  return std::nullopt;
}

std::string CalendarTypeOf(std::string_view bytes) {
  size_t rest = 0;
  if (auto type = FirstComponentType(bytes, rest)) return *type;
  return ComponentTypeName(bytes.substr(rest)).value_or("UnknownItem");
}

// Reads only as far as the first VEVENT, VTODO or VJOURNAL: for a file that
// cannot be read as a whole.
std::string ScanCalendarType(int dirFd, const std::string& name) {
  UniqueFd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  struct stat st {};
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return "UnknownItem";
  std::string pending;
  char buf[8192];
  for (;;) {
    ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n <= 0) break;
    pending.append(buf, static_cast<size_t>(n));
    size_t rest = 0;
    if (auto type = FirstComponentType(pending, rest)) return *type;
    pending.erase(0, rest);
  }
  return ComponentTypeName(pending).value_or("UnknownItem");
}

}  // namespace

VdirItem::VdirItem(std::shared_ptr<const StoreState> state, std::shared_ptr<const UniqueFd> folder,
                   size_t store, std::string folderEntryId, std::string fileName)
    : state_(std::move(state)),
      folder_(std::move(folder)),
      folder_entry_id_(std::move(folderEntryId)),
      file_name_(std::move(fileName)) {
  path_ = ItemPath(*state_, store, folder_entry_id_, file_name_);
  std::string lower = ToLower(file_name_);
  kind_ = lower.ends_with(".vcf")   ? Kind::kContact
          : lower.ends_with(".ics") ? Kind::kCalendar
                                    : Kind::kMail;
}

void VdirItem::Preload(std::string bytes) {
  if (!document_ && !load_error_ && kind_ != Kind::kMail) read_ahead_ = std::move(bytes);
}

std::string VdirItem::TypeName() const {
  if (!type_name_) {
    switch (kind_) {
      case Kind::kContact:
        type_name_ = "ContactItem";
        break;
      case Kind::kMail:
        type_name_ = "MailItem";
        break;
      case Kind::kCalendar:
        if (document_) {
          type_name_ = CalendarTypeOf(document_->bytes());
          break;
        }
        // An item is asked its type just before it is read: the bytes read
        // here wait for Load, which saves opening every event twice.
        if (!read_ahead_) {
          try {
            read_ahead_ = ReadItemFile(folder_->get(), file_name_);
          } catch (const Failure&) {
            type_name_ = ScanCalendarType(folder_->get(), file_name_);
            break;
          }
        }
        type_name_ = CalendarTypeOf(*read_ahead_);
        break;
    }
  }
  return *type_name_;
}

void VdirItem::Load() {
  if (load_error_) throw Failure(*load_error_);
  if (document_ || kind_ == Kind::kMail) return;
  try {
    if (read_ahead_) {
      std::string bytes = std::move(*read_ahead_);
      read_ahead_.reset();
      Parse(std::move(bytes));
    } else {
      Parse(ReadItemFile(folder_->get(), file_name_));
    }
  } catch (const Failure& f) {
    load_error_ = "Cannot read " + path_ + ": " + f.Description();
    throw Failure(*load_error_);
  }
}

void VdirItem::Parse(std::string bytes) {
  auto document = std::make_unique<Document>(std::move(bytes));
  std::unique_ptr<ItemView> view;
  if (kind_ == Kind::kContact) {
    view = std::make_unique<ContactView>(*document);
  } else {
    view = std::make_unique<CalendarView>(*document);
  }
  view_.reset();
  document_ = std::move(document);
  view_ = std::move(view);
}

void VdirItem::Unknown(const std::string& name) const {
  throw Failure(TypeName() + " has no property named '" + name + "'.");
}

std::string VdirItem::GetProperty(const std::string& name) {
  // Compared as views: a run asks this for every field of every item.
  using namespace std::string_view_literals;
  if (name == "EntryID"sv) return folder_entry_id_ + "/" + file_name_;
  Load();
  if (!view_) Unknown(name);
  if (name == "RTFBody"sv) return view_->Has("Body") ? RtfFromPlainText(view_->Get("Body")) : "";
  if (!view_->Knows(name)) Unknown(name);
  return view_->Get(name);
}

void VdirItem::SetProperty(const std::string& name, const std::string& text) {
  if (name == "EntryID") throw Failure("EntryID cannot be changed.");
  Load();
  if (!view_) Unknown(name);
  std::string property = name == "RTFBody" ? "Body" : name;
  if (!view_->Knows(property)) Unknown(name);
  if (!view_->Has(property)) {
    throw Failure(path_ + " has no " + name + " to change, and fields are never added.");
  }
  RefuseReadOnly();
  view_->Set(property, name == "RTFBody" ? PlainTextFromRtf(text) : text);
}

void VdirItem::RefuseReadOnly() {
  if (!read_only_) {
    // The mode, not access(2): root may write anything, yet a file its owner
    // made read-only must stay as it is for root too.
    struct stat st {};
    read_only_ = ::fstatat(folder_->get(), file_name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                 (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  }
  if (*read_only_) throw Failure(kItemIsReadOnly);
}

void VdirItem::Save() {
  if (!document_ || !document_->Changed()) return;
  view_->Touch(std::time(nullptr));
  std::string bytes = document_->Render();
  try {
    const FileStamp read = StampIfUnchanged(folder_->get(), file_name_, document_->bytes());
    ReplaceItemFile(folder_->get(), file_name_, bytes, read, state_->wal);
  } catch (const Failure& f) {
    if (f.Description() == kChangedByAnotherProgram) throw;
    throw Failure(path_ + ": " + f.Description());
  }
  Parse(std::move(bytes));
}

}  // namespace tidewell::vdir
