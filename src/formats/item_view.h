// The property names of one kind of item over a parsed file. Internal to the
// vdir store: ContactView (vCard) and CalendarView (iCalendar).
#pragma once

#include <cstddef>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "text/rich_text.h"

namespace tidewell::formats {

class ItemView {
 public:
  virtual ~ItemView() = default;
  // Whether `property` is a name of this kind (reading any other throws).
  virtual bool Knows(const std::string& property) const = 0;
  // Whether the file has what `property` reads and writes.
  virtual bool Has(const std::string& property) const = 0;
  // The text form; "" when the file lacks the property. Throws Failure.
  virtual std::string Get(const std::string& property) const = 0;
  // Rewrites the value in memory. The caller has checked Has(). Throws
  // Failure for a text the property's type refuses.
  virtual void Set(const std::string& property, const std::string& text) = 0;
  // The index of the line `property` reads and writes; nothing when the
  // file lacks it or the property is made of several lines.
  virtual std::optional<size_t> LineOfProperty(const std::string& /*property*/) const {
    return std::nullopt;
  }
  // Marks the item changed now (REV, or LAST-MODIFIED and DTSTAMP), where
  // the file has those lines.
  virtual void Touch(std::time_t now) = 0;
  // The indexes of the lines of the item's own kinds of value that no
  // property reads, in file order: what a search passes over.
  virtual std::vector<size_t> Unsearched() const { return {}; }
  // Whether the unsearched line `line` belongs to an alarm of the item.
  virtual bool InAlarm(size_t /*line*/) const { return false; }
  // Get(property) as the document RtfFromPlainText makes of it; a view may
  // make it without the whole text held beside it.
  virtual std::string GetAsRtf(const std::string& property) const {
    return RtfFromPlainText(Get(property));
  }
};

}  // namespace tidewell::formats
