// An in-memory object model for unit tests: folders of items whose property
// reads, writes and saves can be told to fail.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/host.h"
#include "platform/outlook.h"
#include "platform/safe_item.h"

namespace tidewell::testing {

// One item: its properties as texts. Reads of a property it lacks give "".
class FakeItem : public OutlookItem {
 public:
  FakeItem(std::string typeName, std::map<std::string, std::string> properties);

  std::string TypeName() const override { return type_name_; }
  std::string GetProperty(const std::string& name) override;
  void SetProperty(const std::string& name, const std::string& text) override;
  void Save() override;

  // Failures to inject: the read or write of one property, or the save,
  // throws Failure(description).
  void FailRead(const std::string& property, const std::string& description);
  void FailWrite(const std::string& property, const std::string& description);
  void FailSave(const std::string& description);

  // What is in memory now, and what the last Save stored.
  const std::map<std::string, std::string>& properties() const { return properties_; }
  const std::map<std::string, std::string>& saved() const { return saved_; }
  int save_count() const { return save_count_; }
  // Every property read, in order (to prove a field was never touched).
  const std::vector<std::string>& reads() const { return reads_; }
  // Every write, in order: property and text.
  const std::vector<std::pair<std::string, std::string>>& writes() const { return writes_; }

 private:
  std::string type_name_;
  std::map<std::string, std::string> properties_;
  std::map<std::string, std::string> saved_;
  std::map<std::string, std::string> fail_read_;
  std::map<std::string, std::string> fail_write_;
  std::optional<std::string> fail_save_;
  int save_count_ = 0;
  std::vector<std::string> reads_;
  std::vector<std::pair<std::string, std::string>> writes_;
};

// Items are shared: a test keeps a pointer to check what the run did.
struct FakeFolder {
  std::string name;
  std::string entry_id;
  std::string store_id;
  std::vector<std::shared_ptr<FakeItem>> items;
};

// Convenience makers. `subject` is the item's "Subject" (and a contact's
// "FullNameAndCompany" base); "EntryID" is set to `entryId`.
std::shared_ptr<FakeItem> MakeContact(const std::string& entryId, const std::string& subject,
                                      std::map<std::string, std::string> fields = {});
std::shared_ptr<FakeItem> MakeAppointment(const std::string& entryId, const std::string& subject,
                                          std::map<std::string, std::string> fields = {});
std::shared_ptr<FakeItem> MakeTask(const std::string& entryId, const std::string& subject,
                                   std::map<std::string, std::string> fields = {});

// The object model: Application -> "MAPI" namespace -> folders.
class FakeStore : public Application, public std::enable_shared_from_this<FakeStore> {
 public:
  std::vector<FakeFolder> folders;

  // What the client's folder dialog answers: an index into `folders`, or
  // nothing for Cancel.
  std::optional<size_t> pick_folder_answer;
  int pick_folder_calls = 0;

  std::unique_ptr<NameSpace> GetNamespace(const std::string& type) override;

  FakeFolder* Find(const std::string& entryId, const std::string& storeId);
};

// The host object: records what the page asks of it.
class FakeHost : public Host, public Engine {
 public:
  explicit FakeHost(std::shared_ptr<FakeStore> store) : store_(std::move(store)) {}

  std::shared_ptr<Application> OutlookApplication() override;
  void OnStatusChange() override;
  Engine& engine() override { return *this; }
  void SetHotHelp(const std::string& helpText, const std::string& secondText) override;
  std::unique_ptr<MAPIFolder> YSGetFolder(const std::string& entryId,
                                          const std::string& storeId) override;

  int status_changes = 0;
  std::vector<std::pair<std::string, std::string>> hot_help;  // (text, second)
  std::vector<std::pair<std::string, std::string>> lookups;   // (entry id, store id)

  std::optional<std::string> fail_status_change;  // OnStatusChange throws this
  std::optional<std::string> fail_application;    // OutlookApplication throws this

 private:
  std::shared_ptr<FakeStore> store_;
};

// A wrapper of the safe-item library over any OutlookItem.
class FakeSafeItem : public SafeItem {
 public:
  explicit FakeSafeItem(std::string kind) : kind_(std::move(kind)) {}
  void SetItem(std::shared_ptr<OutlookItem> item) override;
  std::string Get(const std::string& property) override;
  void Set(const std::string& property, const std::string& text) override;
  std::string FullNameAndCompany() override;
  void Save() override;

 private:
  OutlookItem& item();
  std::string kind_;
  std::shared_ptr<OutlookItem> item_;
};

}  // namespace tidewell::testing
