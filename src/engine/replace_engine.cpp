#include "engine/replace_engine.h"

#include <algorithm>
#include <exception>
#include <string_view>

#include "platform/failure.h"
#include "text/rich_text.h"

namespace tidewell {

namespace {

using H = FieldHandling;
using S = FieldSelection;

// 370 is not used and 225 stands between 220 and 230: the marks are the ones
// failure reports have always shown, so they stay as they are.
constexpr FieldStep kContactSteps[] = {
    {20, &S::AccountName, "Account", "Account", H::kWholeValue},
    {30, &S::AssistantsPhone, "AssistantTelephoneNumber", "AssistantTelephoneNumber", H::kPhone},
    {40, &S::BusinessStreetAddress, "BusinessAddressStreet", "BusinessAddressStreet",
     H::kWholeValue},
    {50, &S::BusinessCity, "BusinessAddressCity", "BusinessAddressCity", H::kWholeValue},
    {60, &S::BusinessState, "BusinessAddressState", "BusinessAddressState", H::kWholeValue},
    {70, &S::BusinessZip, "BusinessAddressPostalCode", "BusinessAddressPostalCode", H::kWholeValue},
    {80, &S::Body, "Body", "Body", H::kBody},
    {90, &S::BusinessPhone, "BusinessTelephoneNumber", "BusinessTelephoneNumber", H::kPhone},
    {100, &S::BusinessPhone2, "Business2TelephoneNumber", "Business2TelephoneNumber", H::kPhone},
    {110, &S::BusinessFax, "BusinessFaxNumber", "BusinessFaxNumber", H::kPhone},
    {120, &S::BusinessHomePage, "BusinessHomePage", "BusinessHomePage", H::kWholeValue},
    {130, &S::CallbackPhone, "CallbackTelephoneNumber", "CallbackTelephoneNumber", H::kPhone},
    {140, &S::CarPhone, "CarTelephoneNumber", "CarTelephoneNumber", H::kPhone},
    {150, &S::CompanyMainPhone, "CompanyMainTelephoneNumber", "CompanyMainTelephoneNumber",
     H::kPhone},
    {160, &S::CompanyName, "CompanyName", "CompanyName", H::kWholeValue},
    {170, &S::EmailAddress, "Email1Address", "Email1Address", H::kWholeValueLogged},
    {180, &S::Email2Address, "Email2Address", "Email2Address", H::kWholeValue},
    {190, &S::Email3Address, "Email3Address", "Email3Address", H::kWholeValue},
    {200, &S::EmailDisplayAs, "Email1DisplayName", "Email1DisplayName", H::kWholeValue},
    {210, &S::Email2DisplayAs, "Email2DisplayName", "Email2DisplayName", H::kWholeValue},
    {220, &S::Email3DisplayAs, "Email3DisplayName", "Email3DisplayName", H::kWholeValue},
    {225, &S::FileAs, "FileAs", "FileAs", H::kWholeValue},
    {230, &S::HomeStreetAddress, "HomeAddressStreet", "HomeAddressStreet", H::kWholeValue},
    {240, &S::HomeCity, "HomeAddressCity", "HomeAddressCity", H::kWholeValue},
    {250, &S::HomeState, "HomeAddressState", "HomeAddressState", H::kWholeValue},
    {260, &S::HomeZip, "HomeAddressPostalCode", "HomeAddressPostalCode", H::kWholeValue},
    {270, &S::HomePhone, "HomeTelephoneNumber", "HomeTelephoneNumber", H::kPhone},
    {280, &S::HomePhone2, "Home2TelephoneNumber", "Home2TelephoneNumber", H::kPhone},
    {290, &S::HomeFax, "HomeFaxNumber", "HomeFaxNumber", H::kPhone},
    {300, &S::MobilePhone, "MobileTelephoneNumber", "MobileTelephoneNumber", H::kPhone},
    {310, &S::OfficeLocation, "OfficeLocation", "OfficeLocation", H::kWholeValue},
    {320, &S::OtherStreetAddress, "OtherAddressStreet", "OtherAddressStreet", H::kWholeValue},
    {330, &S::OtherCity, "OtherAddressCity", "OtherAddressCity", H::kWholeValue},
    {340, &S::OtherState, "OtherAddressState", "OtherAddressState", H::kWholeValue},
    {350, &S::OtherZip, "OtherAddressPostalCode", "OtherAddressPostalCode", H::kWholeValue},
    {360, &S::OtherPhone, "OtherTelephoneNumber", "OtherTelephoneNumber", H::kPhone},
    {380, &S::OtherFax, "OtherFaxNumber", "OtherFaxNumber", H::kPhone},
    {390, &S::Pager, "PagerNumber", "PagerNumber", H::kPhone},
    {400, &S::PrimaryPhone, "PrimaryTelephoneNumber", "PrimaryTelephoneNumber", H::kPhone},
    {410, &S::RadioPhone, "RadioTelephoneNumber", "RadioTelephoneNumber", H::kPhone},
    {420, &S::TTYPhone, "TTYTDDTelephoneNumber", "TTYTDDTelephoneNumber", H::kPhone},
};

constexpr FieldStep kAppointmentSteps[] = {
    {500, &S::AppointmentSubject, "Subject", "Subject", H::kWholeValue},
    {510, &S::AppointmentLocation, "Location", "Location", H::kWholeValue},
    {520, &S::AppointmentStart, "Start", "Start", H::kWholeValue},
    {530, &S::AppointmentEnd, "End", "End", H::kWholeValue},
    {540, &S::AppointmentBody, "Body", "Body", H::kBody},
};

// The task's subject is searched too, at 675: after the start date, before
// the total work, which is where the chooser lists it.
constexpr FieldStep kTaskSteps[] = {
    {600, &S::TaskActualWork, "ActualWork", "ActualWork", H::kWholeValue},
    {610, &S::TaskBody, "Body", "Body", H::kBody},
    {620, &S::TaskBillingInformation, "BillingInformation", "BillingInformation", H::kWholeValue},
    {630, &S::TaskCompanies, "Companies", "Companies", H::kWholeValue},
    {640, &S::TaskDateCompleted, "DateCompleted", "DateCompleted", H::kWholeValue},
    {650, &S::TaskDueDate, "DueDate", "DueDate", H::kWholeValue},
    {660, &S::TaskMileage, "Mileage", "Mileage", H::kWholeValue},
    {670, &S::TaskStartDate, "StartDate", "StartDate", H::kWholeValue},
    {675, &S::TaskSubject, "Subject", "Subject", H::kWholeValue},
    {680, &S::TaskTotalWork, "TotalWork", "TotalWork", H::kWholeValue},
};

// How many catalog slots the kind of value whose first slot `step` is has:
// the phones and e-mail addresses a contact may hold more of than the
// catalog has slots for; 0 for every other field.
size_t SlotsOfKind(const FieldStep& step) {
  const std::string_view property = step.property;
  if (step.handling == FieldHandling::kWholeValueLogged) return 3;  // Email1Address
  if (step.handling != FieldHandling::kPhone) return 0;
  if (property == "Business2TelephoneNumber" || property == "Home2TelephoneNumber") return 0;
  if (property == "BusinessTelephoneNumber" || property == "HomeTelephoneNumber") return 2;
  return 1;
}

// The count a contact gives for "<first slot>#"; an item that keeps no
// count (it reads as "") has no values beyond the slots.
size_t ValueCount(const std::string& text) {
  if (text.empty() || text.size() > 6 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return 0;
  }
  return std::stoul(text);
}

// A failure of the pattern matcher names the field it was working on: the
// same pattern may fail on one text and not on another.
bool IsPatternFailure(const std::string& description) {
  return description == "The pattern is too complex for this text." ||
         description == "Invalid procedure call or argument" ||
         description.starts_with("The pattern matcher failed");
}

template <typename Body>
void NamingTheField(const std::string& field, Body body) {
  try {
    body();
  } catch (const Failure& f) {
    if (!IsPatternFailure(f.Description())) throw;
    throw Failure("Field " + field + ": " + f.Description());
  }
}

// Runs `body` under the procedure's trap: a failure is reported with the line
// mark reached and the changed flag is returned as it stood.
template <typename Body>
bool Trapped(Journal& journal, const char* procedure, Body body) {
  bool changed = false;
  int32_t line = 0;
  try {
    body(changed, line);
  } catch (const std::exception& e) {
    journal.Report(FailureFormatC(line, DescriptionOf(e)), procedure);
  }
  return changed;
}

}  // namespace

std::span<const FieldStep> FieldSteps(FieldKind kind) {
  switch (kind) {
    case FieldKind::Contact:
      return kContactSteps;
    case FieldKind::Appointment:
      return kAppointmentSteps;
    case FieldKind::Task:
      return kTaskSteps;
  }
  return {};
}

// The mark each part of one field's rule shows. Only the first e-mail address
// moves its mark on inside the step; every other field keeps its row's mark.
struct ReplaceEngine::StepMarks {
  int32_t read, text, pattern, journal, replace, write;

  static StepMarks Uniform(int32_t mark) { return {mark, mark, mark, mark, mark, mark}; }
  static StepMarks Stepped(int32_t mark) {
    return {mark + 1, mark + 2, mark + 3, mark + 4, mark + 5, mark + 6};
  }
};

bool ReplaceEngine::SearchAndReplaceContacts(const std::string& FolderStoreId,
                                             const std::string& FolderEntryId, SafeItem& Item,
                                             const std::string& SearchFor,
                                             const std::string& ReplaceWith,
                                             int32_t CaseSensitive) {
  return Walk("SearchAndReplaceContacts", "Checking contact: ", FieldKind::Contact,
              {FolderStoreId, FolderEntryId, Item, SearchFor, ReplaceWith}, CaseSensitive);
}

bool ReplaceEngine::SearchAndReplaceAppointments(const std::string& FolderStoreId,
                                                 const std::string& FolderEntryId, SafeItem& Item,
                                                 const std::string& SearchFor,
                                                 const std::string& ReplaceWith,
                                                 int32_t CaseSensitive) {
  return Walk("SearchAndReplaceAppointments", "Checking Appointment: ", FieldKind::Appointment,
              {FolderStoreId, FolderEntryId, Item, SearchFor, ReplaceWith}, CaseSensitive);
}

bool ReplaceEngine::SearchAndReplaceTasks(const std::string& FolderStoreId,
                                          const std::string& FolderEntryId, SafeItem& Item,
                                          const std::string& SearchFor,
                                          const std::string& ReplaceWith, int32_t CaseSensitive) {
  return Walk("SearchAndReplaceTasks", "Checking Task: ", FieldKind::Task,
              {FolderStoreId, FolderEntryId, Item, SearchFor, ReplaceWith}, CaseSensitive);
}

void ReplaceEngine::ReplaceFieldText(const RunInputs& run, const std::string& P,
                                     const std::string& N, bool& changed) {
  int32_t line = 0;
  if (Rewrite(run, P, N, TextKind::kPlain, StepMarks::Uniform(0), line)) changed = true;
}

bool ReplaceEngine::Walk(const char* procedure, const char* logText, FieldKind kind,
                         const RunInputs& run, int32_t CaseSensitive) {
  return Trapped(journal_, procedure, [&](bool& changed, int32_t& line) {
    matcher_.SetCaseSensitive(CaseSensitive != 0);
    journal_.WriteToLog(procedure, logText + run.Item.Get("Subject"));
    for (const FieldStep& step : FieldSteps(kind)) {
      line = step.line_mark;
      if (selection_.*step.flag == 0) continue;
      NamingTheField(step.journal_name, [&] { Apply(step, run, changed, line); });
    }
    if (kind != FieldKind::Contact) return;
    // The values beyond the catalog's slots of their kind, after the
    // catalog's fields, each under its kind's first slot.
    for (const FieldStep& step : FieldSteps(kind)) {
      const size_t slots = SlotsOfKind(step);
      if (slots == 0) continue;
      line = step.line_mark;
      if (selection_.*step.flag == 0) continue;
      const std::string head = std::string(step.property) + "#";
      const size_t count = ValueCount(run.Item.Get(head));
      for (size_t place = slots + 1; place <= count; ++place) {
        const std::string name = head + std::to_string(place);
        NamingTheField(name, [&] {
          if (step.handling == FieldHandling::kPhone &&
              selection_.SpecialInstructions == kOnlyAreaCodes) {
            if (RewriteAreaPart(run, name)) changed = true;
          } else if (Rewrite(run, name, name, TextKind::kPlain, StepMarks::Uniform(step.line_mark),
                             line)) {
            changed = true;
          }
        });
      }
    }
  });
}

void ReplaceEngine::Apply(const FieldStep& step, const RunInputs& run, bool& changed,
                          int32_t& line) {
  switch (step.handling) {
    case FieldHandling::kWholeValue:
      if (Rewrite(run, step.property, step.journal_name, TextKind::kPlain,
                  StepMarks::Uniform(step.line_mark), line)) {
        changed = true;
      }
      return;
    case FieldHandling::kPhone:
      if (selection_.SpecialInstructions == kOnlyAreaCodes) {
        if (RewriteAreaPart(run, step.property)) changed = true;
      } else if (Rewrite(run, step.property, step.journal_name, TextKind::kPlain,
                         StepMarks::Uniform(step.line_mark), line)) {
        changed = true;
      }
      return;
    case FieldHandling::kBody: {
      // The formatted body costs a conversion; it is read only when the plain
      // body has a match.
      matcher_.SetText(run.Item.Get(step.property));
      matcher_.SetPattern(run.SearchFor);
      if (matcher_.MatchCount() < 1) return;
      if (Rewrite(run, "RTFBody", step.journal_name, TextKind::kRich,
                  StepMarks::Uniform(step.line_mark), line)) {
        changed = true;
      }
      return;
    }
    case FieldHandling::kWholeValueLogged:
      if (Rewrite(run, step.property, step.journal_name, TextKind::kPlain,
                  StepMarks::Stepped(step.line_mark), line)) {
        journal_.WriteToLog("TidewellContacts",
                            "Updated Email1Address: " + run.Item.Get("Email1Address"));
        changed = true;
      }
      return;
  }
}

bool ReplaceEngine::Rewrite(const RunInputs& run, const std::string& P, const std::string& N,
                            TextKind kind, const StepMarks& marks, int32_t& line) {
  line = marks.read;
  const std::string old = run.Item.Get(P);
  int32_t matches = 0;
  if (kind == TextKind::kPlain) {
    line = marks.text;
    matcher_.SetText(old);
    line = marks.pattern;
    matcher_.SetPattern(run.SearchFor);
    matches = matcher_.MatchCount();
  } else {
    matcher_.SetPattern(run.SearchFor);
    matches = CountShownMatches(matcher_, old);
  }
  if (matches < 1) return false;

  // The replacement is worked out before the journal entry, which records it
  // too; the entry still goes out before the field is written.
  line = marks.replace;
  std::string replaced;
  if (kind == TextKind::kPlain) {
    matcher_.SetReplace(run.ReplaceWith);
    replaced = matcher_.Text();
  } else {
    replaced = ReplaceShownText(matcher_, old, run.ReplaceWith);
  }
  line = marks.journal;
  journal_.UndoSave(run.FolderStoreId, run.FolderEntryId, run.Item.Get("EntryID"), N, old,
                    replaced);
  // An empty replacement never moves the mark past the replace itself.
  line = run.ReplaceWith.empty() ? marks.replace : marks.write;
  run.Item.Set(P, replaced);
  return true;
}

bool ReplaceEngine::RewriteAreaPart(const RunInputs& run, const std::string& P) {
  const std::string old = run.Item.Get(P);
  const size_t open = old.find('(');
  const size_t close = old.find(')');
  if (open == std::string::npos || close == std::string::npos) return false;
  // ")" two or more places before "(": the area part would have a negative
  // length. Side by side, ")(" gives the empty area part.
  if (close + 1 < open) throw Failure("Invalid procedure call or argument");

  matcher_.SetPattern(run.SearchFor);
  const std::optional<std::string> replaced = ReplaceAreaPart(matcher_, old, run.ReplaceWith);
  if (!replaced) return false;
  journal_.UndoSave(run.FolderStoreId, run.FolderEntryId, run.Item.Get("EntryID"), P, old,
                    *replaced);
  run.Item.Set(P, *replaced);
  return true;
}

std::optional<std::string> ReplaceAreaPart(PatternMatcher& matcher, const std::string& number,
                                           const std::string& replaceWith) {
  const size_t open = number.find('(');
  const size_t close = number.find(')');
  if (open == std::string::npos || close == std::string::npos || close + 1 < open) {
    return std::nullopt;
  }
  matcher.SetText(number.substr(open, close + 1 - open));
  if (matcher.MatchCount() < 1) return std::nullopt;
  matcher.SetReplace(replaceWith);
  return number.substr(0, open) + matcher.Text() + number.substr(close + 1);
}

std::string PropertyOfJournalName(const std::string& fieldName) {
  return fieldName == "Body" ? "RTFBody" : fieldName;
}

}  // namespace tidewell
