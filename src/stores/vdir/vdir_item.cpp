#include "stores/vdir/vdir_item.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/failure.h"

namespace tidewell::vdir {
namespace {

formats::ComponentItem::Kind KindOf(const std::string& fileName) {
  const std::string lower = formats::ToLower(fileName);
  if (lower.ends_with(".vcf")) return formats::ComponentItem::Kind::kContact;
  if (lower.ends_with(".ics")) return formats::ComponentItem::Kind::kCalendar;
  return formats::ComponentItem::Kind::kMail;
}

}  // namespace

std::string FallbackTypeName(std::string_view fileName) {
  const std::string lower = formats::ToLower(fileName);
  if (lower.ends_with(".vcf")) return "ContactItem";
  if (lower.ends_with(".ics")) return "AppointmentItem";
  return "MailItem";
}

VdirItem::VdirItem(std::shared_ptr<const StoreState> state, std::shared_ptr<const UniqueFd> folder,
                   size_t store, std::string folderEntryId, std::string fileName, size_t ordinal,
                   size_t components, std::string typeName, std::shared_ptr<FileShare> share)
    : formats::ComponentItem(KindOf(fileName), ordinal, components, std::move(typeName),
                             std::move(share), state->ui),
      state_(std::move(state)),
      folder_(std::move(folder)),
      folder_entry_id_(std::move(folderEntryId)),
      file_name_(std::move(fileName)),
      ordinal_(ordinal) {
  path_ = ItemPath(*state_, store, folder_entry_id_, file_name_);
}

std::string VdirItem::EntryId() const {
  std::string id = folder_entry_id_ + "/" + file_name_;
  if (ordinal_ > 1) id += "#" + std::to_string(ordinal_);
  return id;
}

std::string VdirItem::ReadResource() { return ReadItemFile(folder_->get(), file_name_); }

void VdirItem::RefuseWrite() {
  if (!read_only_) {
    // The mode, not access(2): root may write anything, yet a file its owner
    // made read-only must stay as it is for root too.
    struct stat st {};
    read_only_ = ::fstatat(folder_->get(), file_name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                 (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  }
  if (*read_only_) throw Failure(kItemIsReadOnly);
}

void VdirItem::WriteResource(const std::string& read, const std::string& bytes) {
  try {
    const FileStamp stamp = StampIfUnchanged(folder_->get(), file_name_, read);
    ReplaceItemFile(folder_->get(), file_name_, bytes, stamp, state_->wal);
  } catch (const JournalNotWritten&) {
    throw;
  } catch (const Failure& f) {
    if (f.Description() == kChangedByAnotherProgram) throw;
    throw Failure(path_ + ": " + f.Description());
  }
}

}  // namespace tidewell::vdir
