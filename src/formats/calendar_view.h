// Appointment and task properties over one VEVENT, VTODO or VJOURNAL of an
// iCalendar file (a series' master and each of its overrides are components
// of their own). Internal to the vdir store.
//
// The component's own lines give Subject (SUMMARY), Location, Body
// (DESCRIPTION), Start and StartDate (DTSTART), End (DTEND, or DTSTART +
// DURATION: writing End then rewrites DURATION), DueDate (DUE),
// DateCompleted (COMPLETED), ActualWork and TotalWork (X-ACTUAL-WORK,
// X-TOTAL-WORK, whole minutes), Mileage, BillingInformation and Companies
// (X-MILEAGE, X-BILLING-INFORMATION, X-COMPANIES). Lines of other components
// (siblings, alarms, time zones) are never read or written, but for the
// series a new start moves (see series.h). A save that changed DTSTART,
// DTEND, DURATION or DUE adds one to SEQUENCE, where the master has one.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "formats/document.h"
#include "formats/item_view.h"
#include "formats/text_forms.h"

namespace tidewell::formats {

class CalendarView : public ItemView {
 public:
  // Over the `ordinal`-th (from 1) VEVENT, VTODO or VJOURNAL of the file
  // that is not inside another of those. Throws Failure("it holds no event,
  // task or journal entry.") when the file has none, and Failure("it holds
  // no component <n>.") when it has fewer.
  CalendarView(Document& document, size_t ordinal);

  bool Knows(const std::string& property) const override;
  bool Has(const std::string& property) const override;
  std::string Get(const std::string& property) const override;
  void Set(const std::string& property, const std::string& text) override;
  void Touch(std::time_t now) override;
  // "End" of an item without DTEND is its DURATION line.
  std::optional<size_t> LineOfProperty(const std::string& property) const override;
  // A second SUMMARY, LOCATION or DESCRIPTION of the component, and those of
  // its alarms.
  std::vector<size_t> Unsearched() const override { return unsearched_; }
  bool InAlarm(size_t line) const override;

 private:
  // `line` indexes the names of the lines a view uses, in calendar_view.cpp.
  std::optional<size_t> LineOf(size_t line) const;
  IcalTime TimeOf(size_t index) const;

  Document& doc_;
  // The first line of the master of each name a view uses, as LineOf indexes them.
  std::array<std::optional<size_t>, 16> lines_;
  size_t master_ = 0;  // the component index
  std::vector<size_t> unsearched_;
  std::vector<size_t> in_alarms_;  // those of unsearched_ inside a VALARM, sorted
};

}  // namespace tidewell::formats
