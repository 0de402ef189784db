// The safe-item library: a wrapper per item kind, made by ProgID, that checks
// the kind of the item it is bound to and forwards reads, writes and saves.
//
//   SafeItemLibrary library;
//   auto task = library.Create(kSafeTaskItem);
//   task->SetItem(item);                     // Failure("Type mismatch") unless a TaskItem
//   task->Set("Subject", "Call back");
//   task->Save();
#pragma once

#include <memory>
#include <string>

#include "platform/safe_item.h"

namespace tidewell {

class SafeItemLibrary {
 public:
  // A fresh, unbound wrapper for kSafeContactItem, kSafeAppointmentItem or
  // kSafeTaskItem. Throws Failure("ActiveX component can't create object")
  // for any other ProgID.
  //
  // The wrappers throw Failure("Type mismatch") when bound to an item of
  // another kind, Failure("Object variable or With block variable not set")
  // when used unbound, and Failure("Object doesn't support this property or
  // method") for FullNameAndCompany on an appointment or a task.
  std::unique_ptr<SafeItem> Create(const std::string& progId) const;
};

}  // namespace tidewell
