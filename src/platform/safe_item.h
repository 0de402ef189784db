// The safe-item library: one wrapper per item kind, created by ProgID
// (components.h), through which the page reads, writes and saves an item.
//
//   auto contact = components.CreateSafeItem(kSafeContactItem);
//   contact->SetItem(item);                 // the client's `Item` property
//   std::string city = contact->Get("BusinessAddressCity");
//   contact->Set("BusinessAddressCity", "Springfield");
//   contact->Save();                        // once, after every change
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/outlook.h"

namespace tidewell {

inline constexpr const char* kSafeContactItem = "QZOutlook.QZSafeContactItem";
inline constexpr const char* kSafeAppointmentItem = "QZOutlook.QZSafeAppointmentItem";
inline constexpr const char* kSafeTaskItem = "QZOutlook.QZSafeTaskItem";

// The safe wrapper for an item of `typeName` (OutlookItem::TypeName()):
// contacts, appointments and tasks have one; nullptr for any other item.
inline const char* SafeItemProgId(const std::string& typeName) {
  if (typeName == "ContactItem") return kSafeContactItem;
  if (typeName == "AppointmentItem") return kSafeAppointmentItem;
  if (typeName == "TaskItem") return kSafeTaskItem;
  return nullptr;
}

class SafeItem {
 public:
  virtual ~SafeItem() = default;

  // Binds the wrapper to `item`, once, right after creation. Throws Failure
  // when the item is not of the wrapper's kind.
  virtual void SetItem(std::shared_ptr<OutlookItem> item) = 0;

  // Property read by name, in its text form ("" for a property the item lacks).
  // "EntryID" is the item's entry identifier. Throws Failure.
  virtual std::string Get(const std::string& property) = 0;

  // Property write by name with a text value; converts for numbers and dates.
  virtual void Set(const std::string& property, const std::string& text) = 0;
  // Set, from a text the caller gives up: an item that converts it (the
  // formatted body) lets it go before it builds what it stores, so a value of
  // tens of MB is not held through the write. `text` is left unspecified.
  virtual void SetTaken(const std::string& property, std::string&& text) { Set(property, text); }

  // The item's OutlookItem::PropertyLine and RestoreLine.
  virtual std::string PropertyLine(const std::string& /*property*/) { return ""; }
  // The item's OutlookItem::PropertyLineView.
  virtual std::optional<std::string_view> PropertyLineView(const std::string& /*property*/) {
    return std::nullopt;
  }
  virtual void RestoreLine(const std::string& /*property*/, const std::string& /*line*/) {}
  // The item's OutlookItem::RestoreLineTaken. `line` is left unspecified.
  virtual void RestoreLineTaken(const std::string& property, std::string&& line) {
    RestoreLine(property, line);
  }

  // The contact's display text for an error message: full name, then ", " and
  // the company when there is one, cut to 80 characters and "…" (Bounded in
  // failure.h). Throws Failure on other kinds.
  virtual std::string FullNameAndCompany() = 0;

  // Stores every change of the wrapped item.
  virtual void Save() = 0;

  // The wrapped item's OutlookItem::SearchableText().
  virtual std::optional<std::string> SearchableText() { return std::nullopt; }
};

}  // namespace tidewell
