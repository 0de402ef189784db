#include "support/fake_store.h"

#include "platform/failure.h"

namespace tidewell::testing {

FakeItem::FakeItem(std::string typeName, std::map<std::string, std::string> properties)
    : type_name_(std::move(typeName)), properties_(std::move(properties)), saved_(properties_) {}

std::string FakeItem::GetProperty(const std::string& name) {
  reads_.push_back(name);
  if (auto f = fail_read_.find(name); f != fail_read_.end()) throw Failure(f->second);
  auto p = properties_.find(name);
  return p == properties_.end() ? std::string() : p->second;
}

void FakeItem::SetProperty(const std::string& name, const std::string& text) {
  if (auto f = fail_write_.find(name); f != fail_write_.end()) throw Failure(f->second);
  writes_.emplace_back(name, text);
  properties_[name] = text;
}

void FakeItem::Save() {
  if (fail_save_) throw Failure(*fail_save_);
  saved_ = properties_;
  ++save_count_;
}

void FakeItem::FailRead(const std::string& property, const std::string& description) {
  fail_read_[property] = description;
}
void FakeItem::FailWrite(const std::string& property, const std::string& description) {
  fail_write_[property] = description;
}
void FakeItem::FailSave(const std::string& description) { fail_save_ = description; }

namespace {

std::shared_ptr<FakeItem> Make(const std::string& type, const std::string& entryId,
                               const std::string& subject,
                               std::map<std::string, std::string> fields) {
  fields.emplace("EntryID", entryId);
  fields.emplace("Subject", subject);
  return std::make_shared<FakeItem>(type, std::move(fields));
}

class FakeItems : public Items {
 public:
  explicit FakeItems(FakeFolder& folder) : folder_(folder) {}
  int32_t Count() override { return static_cast<int32_t>(folder_.items.size()); }
  std::shared_ptr<OutlookItem> Item(int32_t index) override {
    if (index < 1 || index > Count()) throw Failure("Array index out of bounds.");
    return folder_.items[static_cast<size_t>(index - 1)];
  }

 private:
  FakeFolder& folder_;
};

class FakeMAPIFolder : public MAPIFolder {
 public:
  explicit FakeMAPIFolder(FakeFolder& folder) : folder_(folder) {}
  std::string EntryID() override { return folder_.entry_id; }
  std::string StoreID() override { return folder_.store_id; }
  std::string Name() override { return folder_.name; }
  std::unique_ptr<Items> GetItems() override { return std::make_unique<FakeItems>(folder_); }

 private:
  FakeFolder& folder_;
};

class FakeNameSpace : public NameSpace {
 public:
  explicit FakeNameSpace(FakeStore& store) : store_(store) {}
  std::unique_ptr<MAPIFolder> PickFolder() override {
    ++store_.pick_folder_calls;
    if (!store_.pick_folder_answer) return nullptr;
    return std::make_unique<FakeMAPIFolder>(store_.folders.at(*store_.pick_folder_answer));
  }
  std::unique_ptr<MAPIFolder> GetDefaultFolder(int32_t folderType) override {
    if (folderType != olFolderContacts) throw Failure("The folder type is not supported.");
    for (FakeFolder& folder : store_.folders) {
      for (const auto& item : folder.items) {
        if (item->TypeName() == "ContactItem") return std::make_unique<FakeMAPIFolder>(folder);
      }
    }
    throw Failure("There is no contacts folder.");
  }
  std::vector<std::unique_ptr<MAPIFolder>> AllFolders() override {
    std::vector<std::unique_ptr<MAPIFolder>> all;
    for (FakeFolder& folder : store_.folders)
      all.push_back(std::make_unique<FakeMAPIFolder>(folder));
    return all;
  }

 private:
  FakeStore& store_;
};

}  // namespace

std::shared_ptr<FakeItem> MakeContact(const std::string& entryId, const std::string& subject,
                                      std::map<std::string, std::string> fields) {
  const auto company = fields.find("CompanyName");
  std::string full = subject;
  if (company != fields.end() && !company->second.empty()) full += ", " + company->second;
  fields.emplace("FullNameAndCompany", full);
  return Make("ContactItem", entryId, subject, std::move(fields));
}

std::shared_ptr<FakeItem> MakeAppointment(const std::string& entryId, const std::string& subject,
                                          std::map<std::string, std::string> fields) {
  return Make("AppointmentItem", entryId, subject, std::move(fields));
}

std::shared_ptr<FakeItem> MakeTask(const std::string& entryId, const std::string& subject,
                                   std::map<std::string, std::string> fields) {
  return Make("TaskItem", entryId, subject, std::move(fields));
}

std::unique_ptr<NameSpace> FakeStore::GetNamespace(const std::string& type) {
  if (type != "MAPI") throw Failure("Invalid namespace: '" + type + "'.");
  return std::make_unique<FakeNameSpace>(*this);
}

FakeFolder* FakeStore::Find(const std::string& entryId, const std::string& storeId) {
  for (FakeFolder& folder : folders) {
    if (folder.entry_id == entryId && folder.store_id == storeId) return &folder;
  }
  // A store id that names no store: search every store for the entry id.
  for (FakeFolder& folder : folders) {
    if (folder.entry_id == entryId) {
      bool known_store = false;
      for (const FakeFolder& other : folders) known_store |= other.store_id == storeId;
      if (!known_store) return &folder;
    }
  }
  return nullptr;
}

std::shared_ptr<Application> FakeHost::OutlookApplication() {
  if (fail_application) throw Failure(*fail_application);
  return store_;
}

void FakeHost::OnStatusChange() {
  if (fail_status_change) throw Failure(*fail_status_change);
  ++status_changes;
}

void FakeHost::SetHotHelp(const std::string& helpText, const std::string& secondText) {
  hot_help.emplace_back(helpText, secondText);
}

std::unique_ptr<MAPIFolder> FakeHost::YSGetFolder(const std::string& entryId,
                                                  const std::string& storeId) {
  lookups.emplace_back(entryId, storeId);
  FakeFolder* folder = store_->Find(entryId, storeId);
  if (folder == nullptr) return nullptr;
  return std::make_unique<FakeMAPIFolder>(*folder);
}

void FakeSafeItem::SetItem(std::shared_ptr<OutlookItem> item) {
  const std::string expected = kind_ == kSafeContactItem       ? "ContactItem"
                               : kind_ == kSafeAppointmentItem ? "AppointmentItem"
                                                               : "TaskItem";
  if (item->TypeName() != expected) throw Failure("Type mismatch");
  item_ = std::move(item);
}

OutlookItem& FakeSafeItem::item() {
  if (!item_) throw Failure("Object variable or With block variable not set");
  return *item_;
}

std::string FakeSafeItem::Get(const std::string& property) { return item().GetProperty(property); }

void FakeSafeItem::Set(const std::string& property, const std::string& text) {
  item().SetProperty(property, text);
}

std::string FakeSafeItem::FullNameAndCompany() { return item().GetProperty("FullNameAndCompany"); }

void FakeSafeItem::Save() { item().Save(); }

}  // namespace tidewell::testing
