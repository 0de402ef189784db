// Bytes as the .ics file of an event, a task or a journal entry: parse, read
// every property, render unchanged, write every value back, change one field
// and read the result again (see vdir_round_trip.h).
#include <cstddef>
#include <cstdint>

#include "vdir_round_trip.h"

namespace {

tidewell::fuzz::ItemProperties CalendarProperties() {
  tidewell::fuzz::ItemProperties p{tidewell::fuzz::ItemKind::kCalendar, {}, {}, {}, {}, {}};
  p.text = {"Subject", "Location", "Body", "Mileage", "BillingInformation", "Companies"};
  p.names = p.text;
  // Dates and whole numbers read in their own form, not as written.
  for (const char* name :
       {"Start", "End", "StartDate", "DueDate", "DateCompleted", "ActualWork", "TotalWork"}) {
    p.names.push_back(name);
  }
  // DTSTART gives Start and StartDate, and End when DURATION stands for DTEND.
  p.linked = {{"Start", "StartDate", "End"}};
  p.typed = {"ActualWork", "TotalWork"};
  return p;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tidewell::fuzz::InitProcess();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const tidewell::fuzz::ItemProperties properties = CalendarProperties();
  tidewell::fuzz::RoundTrip(data, size, properties);
  return 0;
}
