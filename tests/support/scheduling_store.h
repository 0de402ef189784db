// A MailStore over another that plays a server with implicit scheduling when
// told: it says which items may e-mail their attendees, and records how it
// was opened and whether it was asked to leave those items alone.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/mail_store.h"

namespace tidewell::testing {

// What the tests tell the stores and read back from them; shared by every
// store opened over it (a run and its preview each open one).
struct SchedulingLog {
  bool schedules = false;
  // An item may notify others when its EntryID holds one of these.
  std::vector<std::string> notifying;
  std::vector<StoreOptions> opened_with;
  int left_alone = 0;  // LeaveNotifyingItemsAlone calls, over every store
};

class SchedulingStore : public MailStore {
 public:
  SchedulingStore(std::unique_ptr<MailStore> inner, std::shared_ptr<SchedulingLog> log)
      : inner_(std::move(inner)), log_(std::move(log)) {}

  std::shared_ptr<Application> OutlookApplication() const override {
    return inner_->OutlookApplication();
  }
  std::unique_ptr<MAPIFolder> YSGetFolder(const std::string& entryId,
                                          const std::string& storeId) override {
    return inner_->YSGetFolder(entryId, storeId);
  }
  std::shared_ptr<OutlookItem> GetItemFromID(const std::string& itemEntryId,
                                             const std::string& storeId) const override {
    return inner_->GetItemFromID(itemEntryId, storeId);
  }
  std::optional<double> LastWritten(const std::string& itemEntryId,
                                    const std::string& storeId) const override {
    return inner_->LastWritten(itemEntryId, storeId);
  }
  const std::vector<std::string>& StoreIDs() const override { return inner_->StoreIDs(); }
  void WriteNothing() override { inner_->WriteNothing(); }

  bool SchedulesImplicitly() const override { return log_->schedules; }
  bool MayNotifyOthers(const std::string& itemEntryId, const std::string&) const override {
    if (!log_->schedules) return false;
    for (const std::string& part : log_->notifying) {
      if (itemEntryId.find(part) != std::string::npos) return true;
    }
    return false;
  }
  void LeaveNotifyingItemsAlone() override {
    ++log_->left_alone;
    leaves_ = true;
  }
  bool LeavesNotifyingItemsAlone() const override { return leaves_; }

 private:
  bool leaves_ = false;
  std::unique_ptr<MailStore> inner_;
  std::shared_ptr<SchedulingLog> log_;
};

}  // namespace tidewell::testing
