// Appointment and task properties over the master component of an iCalendar
// file. Internal to the vdir store.
//
// The master is the first component of the file's kind (that of its first
// VEVENT, VTODO or VJOURNAL) without RECURRENCE-ID; a file holding only
// overrides uses its first one. Its own lines give Subject (SUMMARY),
// Location, Body (DESCRIPTION), Start and StartDate (DTSTART), End (DTEND, or
// DTSTART + DURATION: writing End then rewrites DURATION), DueDate (DUE),
// DateCompleted (COMPLETED), ActualWork and TotalWork (X-ACTUAL-WORK,
// X-TOTAL-WORK, whole minutes), Mileage, BillingInformation and Companies
// (X-MILEAGE, X-BILLING-INFORMATION, X-COMPANIES). Lines of other components
// (overrides, alarms, time zones) are never read or written.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/vdir/document.h"
#include "platform/vdir/item_view.h"
#include "platform/vdir/text_forms.h"

namespace tidewell::vdir {

class CalendarView : public ItemView {
 public:
  // Throws Failure("it holds no event, task or journal entry.") when the
  // file has no VEVENT, VTODO or VJOURNAL.
  explicit CalendarView(Document& document);

  bool Knows(const std::string& property) const override;
  bool Has(const std::string& property) const override;
  std::string Get(const std::string& property) const override;
  void Set(const std::string& property, const std::string& text) override;
  void Touch(std::time_t now) override;

 private:
  std::optional<size_t> LineOf(const std::string& upperName) const;
  IcalTime TimeOf(size_t line) const;

  Document& doc_;
  std::map<std::string, size_t> lines_;  // upper-case name -> first such line of the master
};

}  // namespace tidewell::vdir
