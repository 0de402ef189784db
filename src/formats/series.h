// Recurring series of an iCalendar file kept whole when their start moves.
// Internal to the vdir store.
//
// A series is its master (a VEVENT or VTODO without RECURRENCE-ID) and the
// overrides of the same UID in the same file. Its RRULE's UNTIL, its EXDATE
// and RDATE values and the overrides' RECURRENCE-IDs all count from the
// master's DTSTART, so they move with it by the same amount, in the same
// save; moving the start back moves them back, byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/document.h"

namespace tidewell::formats {

// Whether component `component` of `doc` is an override (has RECURRENCE-ID).
bool IsOverride(const Document& doc, size_t component);

// Moves the series whose master is component `master` of `doc` by `seconds`,
// `newStart` being the value the master's DTSTART line `startLine` is about
// to take (the caller writes it). A DATE value moves by whole days (the days
// in `seconds`, toward zero, so that moving back undoes it); values that are
// no date stay as they are.
//
// The moved series is checked with libical first: when its rule would yield
// no occurrence, or its UNTIL fall before its start, throws Failure with the
// reason and changes nothing; so it does when a value would leave the years
// 1 to 9999. A rule libical cannot read is not checked.
//
// It writes lines of other components (the overrides): the save that follows
// must write them with the master's, in the same file save.
void MoveSeries(Document& doc, size_t master, size_t startLine, const std::string& newStart,
                int64_t seconds);

}  // namespace tidewell::formats
