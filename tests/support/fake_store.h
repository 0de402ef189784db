// An in-memory object model: folders of items whose property reads, writes
// and saves can be made to fail, a recording host, and a safe-item wrapper.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/failure.h"
#include "platform/host.h"
#include "platform/outlook.h"
#include "platform/safe_item.h"

namespace tidewell::testing {

using Properties = std::map<std::string, std::string>;

// One item: its properties as texts. Reads of a property it lacks give "".
class FakeItem : public OutlookItem {
 public:
  FakeItem(std::string typeName, Properties properties)
      : type_name_(std::move(typeName)), properties_(std::move(properties)), saved_(properties_) {}

  std::string TypeName() const override { return type_name_; }
  std::string GetProperty(const std::string& name) override {
    reads_.push_back(name);
    if (fail_read_.contains(name)) throw Failure(fail_read_.at(name));
    return properties_.contains(name) ? properties_.at(name) : "";
  }
  void SetProperty(const std::string& name, const std::string& text) override {
    if (fail_write_.contains(name)) throw Failure(fail_write_.at(name));
    writes_.emplace_back(name, text);
    properties_[name] = text;
  }
  void Save() override {
    if (fail_save_) throw Failure(*fail_save_);
    saved_ = properties_;
    ++save_count_;
  }

  // The read or write of one property, or the save, throws Failure(description).
  void FailRead(const std::string& property, const std::string& d) { fail_read_[property] = d; }
  void FailWrite(const std::string& property, const std::string& d) { fail_write_[property] = d; }
  void FailSave(const std::string& description) { fail_save_ = description; }

  const Properties& properties() const { return properties_; }  // in memory now
  const Properties& saved() const { return saved_; }            // as the last Save stored
  int save_count() const { return save_count_; }
  const std::vector<std::string>& reads() const { return reads_; }  // every read, in order
  const std::vector<std::pair<std::string, std::string>>& writes() const { return writes_; }

 private:
  std::string type_name_;
  Properties properties_, saved_, fail_read_, fail_write_;
  std::optional<std::string> fail_save_;
  int save_count_ = 0;
  std::vector<std::string> reads_;
  std::vector<std::pair<std::string, std::string>> writes_;
};

// Items with "EntryID" `entryId` and "Subject" `subject`; a contact's
// "FullNameAndCompany" is the subject, then ", " and its "CompanyName" if any.
inline std::shared_ptr<FakeItem> MakeItem(const std::string& type, const std::string& entryId,
                                          const std::string& subject, Properties fields) {
  fields.emplace("EntryID", entryId);
  fields.emplace("Subject", subject);
  if (type == "ContactItem") {
    const std::string company = fields.contains("CompanyName") ? fields["CompanyName"] : "";
    fields.emplace("FullNameAndCompany", company.empty() ? subject : subject + ", " + company);
  }
  return std::make_shared<FakeItem>(type, std::move(fields));
}
inline std::shared_ptr<FakeItem> MakeContact(const std::string& entryId, const std::string& subject,
                                             Properties fields = {}) {
  return MakeItem("ContactItem", entryId, subject, std::move(fields));
}
inline std::shared_ptr<FakeItem> MakeAppointment(const std::string& entryId,
                                                 const std::string& subject,
                                                 Properties fields = {}) {
  return MakeItem("AppointmentItem", entryId, subject, std::move(fields));
}

// Items are shared: a test keeps a pointer to check what the run did.
struct FakeFolder {
  std::string name;
  std::string entry_id;
  std::string store_id;
  std::vector<std::shared_ptr<FakeItem>> items;
};

// The object model: Application -> "MAPI" namespace -> folders.
class FakeStore : public Application {
 public:
  std::unique_ptr<NameSpace> GetNamespace(const std::string& type) override {
    if (type != "MAPI") throw Failure("Invalid namespace: '" + type + "'.");
    return std::make_unique<Space>(*this);
  }

  // The folder of `entryId` in `storeId`; in any store when no folder is in `storeId`.
  FakeFolder* Find(const std::string& entryId, const std::string& storeId) {
    bool known_store = false;
    for (const FakeFolder& folder : folders) known_store |= folder.store_id == storeId;
    for (FakeFolder& folder : folders) {
      if (folder.entry_id == entryId && (folder.store_id == storeId || !known_store))
        return &folder;
    }
    return nullptr;
  }

  struct Folder : MAPIFolder {
    explicit Folder(FakeFolder& f) : folder(f) {}
    std::string EntryID() override { return folder.entry_id; }
    std::string StoreID() override { return folder.store_id; }
    std::string Name() override { return folder.name; }
    std::unique_ptr<Items> GetItems() override { return std::make_unique<FolderItems>(folder); }
    FakeFolder& folder;
  };

  std::vector<FakeFolder> folders;
  std::optional<size_t> pick_folder_answer;  // the folder dialog's choice; nothing: Cancel

 private:
  struct FolderItems : Items {
    explicit FolderItems(FakeFolder& f) : folder(f) {}
    int32_t Count() override { return static_cast<int32_t>(folder.items.size()); }
    std::shared_ptr<OutlookItem> Item(int32_t index) override {
      if (index < 1 || index > Count()) throw Failure("Array index out of bounds.");
      return folder.items[static_cast<size_t>(index - 1)];
    }
    FakeFolder& folder;
  };

  struct Space : NameSpace {
    explicit Space(FakeStore& s) : store(s) {}
    std::unique_ptr<MAPIFolder> PickFolder() override {
      if (!store.pick_folder_answer) return nullptr;
      return std::make_unique<Folder>(store.folders.at(*store.pick_folder_answer));
    }
    // The first folder that holds a contact.
    std::unique_ptr<MAPIFolder> GetDefaultFolder(int32_t folderType) override {
      for (FakeFolder& folder : store.folders) {
        for (const auto& item : folder.items) {
          if (folderType == olFolderContacts && item->TypeName() == "ContactItem") {
            return std::make_unique<Folder>(folder);
          }
        }
      }
      throw Failure("There is no such default folder.");
    }
    std::vector<std::unique_ptr<MAPIFolder>> AllFolders() override {
      std::vector<std::unique_ptr<MAPIFolder>> all;
      for (FakeFolder& folder : store.folders) all.push_back(std::make_unique<Folder>(folder));
      return all;
    }
    FakeStore& store;
  };
};

// The host object: records what the page asks of it.
class FakeHost : public Host, public FolderLookup {
 public:
  explicit FakeHost(std::shared_ptr<FakeStore> store) : store_(std::move(store)) {}

  std::shared_ptr<Application> OutlookApplication() override { return store_; }
  void OnStatusChange() override {
    if (fail_status_change) throw Failure(*fail_status_change);
    ++status_changes;
  }
  FolderLookup& engine() override { return *this; }
  void SetHotHelp(const std::string& helpText, const std::string& secondText) override {
    hot_help.emplace_back(helpText, secondText);
  }
  std::unique_ptr<MAPIFolder> YSGetFolder(const std::string& entryId,
                                          const std::string& storeId) override {
    lookups.emplace_back(entryId, storeId);
    FakeFolder* folder = store_->Find(entryId, storeId);
    return folder ? std::make_unique<FakeStore::Folder>(*folder) : nullptr;
  }

  void OnFolderNotFound(const std::string& folderName) override {
    folders_not_found.push_back(folderName);
  }

  int status_changes = 0;
  std::vector<std::string> folders_not_found;
  std::vector<std::pair<std::string, std::string>> hot_help;  // (text, second)
  std::vector<std::pair<std::string, std::string>> lookups;   // (entry id, store id)
  std::optional<std::string> fail_status_change;              // OnStatusChange throws this

 private:
  std::shared_ptr<FakeStore> store_;
};

// The safe-item wrapper of `kind` (kSafeContactItem, ...) over any OutlookItem.
class FakeSafeItem : public SafeItem {
 public:
  explicit FakeSafeItem(std::string kind) : kind_(std::move(kind)) {}
  void SetItem(std::shared_ptr<OutlookItem> item) override {
    const bool contact = kind_ == kSafeContactItem, appointment = kind_ == kSafeAppointmentItem;
    if (item->TypeName() != (contact       ? "ContactItem"
                             : appointment ? "AppointmentItem"
                                           : "TaskItem")) {
      throw Failure("Type mismatch");
    }
    item_ = std::move(item);
  }
  std::string Get(const std::string& property) override { return item().GetProperty(property); }
  void Set(const std::string& property, const std::string& text) override {
    item().SetProperty(property, text);
  }
  void SetTaken(const std::string& property, std::string&& text) override {
    item().SetPropertyTaken(property, std::move(text));
  }
  std::string FullNameAndCompany() override { return Get("FullNameAndCompany"); }
  void Save() override { item().Save(); }

 private:
  OutlookItem& item() {
    if (!item_) throw Failure("Object variable or With block variable not set");
    return *item_;
  }
  std::string kind_;
  std::shared_ptr<OutlookItem> item_;
};

}  // namespace tidewell::testing
