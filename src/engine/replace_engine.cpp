#include "engine/replace_engine.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "platform/failure.h"
#include "text/rich_text.h"

namespace tidewell {

namespace {

// The count a contact gives for "<first slot>#"; an item that keeps no
// count (it reads as "") has no values beyond the slots.
size_t ValueCount(const std::string& text) {
  if (text.empty() || text.size() > 6 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return 0;
  }
  return std::stoul(text);
}

// A failure on a field's text names the field: the same pattern may fail on
// one text and not on another.
template <typename Body>
void NamingTheField(const std::string& field, Body body) {
  try {
    body();
  } catch (const TextFailure& f) {
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

// Past this size a field's text is let go as soon as it is done with, rather
// than kept for the next field to overwrite.
constexpr size_t kLargeText = size_t{1} << 20;

// A search text that matches only itself (no pattern syntax) and holds no
// character an escape or a join of parts may put into a field. Read as a
// regular expression, such a text may still hold ( ) and |, which without
// ? \ ^ $ can neither look around a match nor anchor it: what it finds in a
// field it finds in the item's text too.
bool TriableOnWholeItem(const std::string& search) {
  static constexpr std::string_view kSyntax = "^$.[]?*+\\{}";
  return !search.empty() && search.find_first_of(kSyntax) == std::string::npos &&
         search.find_first_of(kNotInSearchableRuns) == std::string::npos;
}

}  // namespace

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
    // Every field of such an item is a run of its searchable text: where the
    // matcher, folding case as it does for a field, finds nothing in it, it
    // finds nothing in any field, and no field need be decoded. Asked before
    // the subject, so that an item can give its subject from the same reading
    // of its bytes and not be parsed at all.
    std::optional<std::string> whole;
    if (TriableOnWholeItem(run.SearchFor)) whole = run.Item.SearchableText();
    journal_.WriteToLog(procedure, logText + run.Item.Get("Subject"));
    if (whole) {
      matcher_.AdoptText(std::move(*whole));
      matcher_.SetPattern(run.SearchFor);
      if (matcher_.MatchCount() < 1) return;
      // Each field is searched on its own text: the whole item's is not held
      // while the fields are read.
      matcher_.AdoptText({});
    }
    for (const CatalogRow& step : FieldsOf(kind)) {
      line = step.line_mark;
      if (selection_[step] == 0) continue;
      NamingTheField(step.property, [&] { Apply(step, run, changed, line); });
    }
    if (kind != FieldKind::Contact) return;
    // The values beyond the catalog's slots of their kind, after the
    // catalog's fields, each under its kind's first slot.
    for (const CatalogRow& step : FieldsOf(kind)) {
      if (step.kind_rows == 0) continue;
      line = step.line_mark;
      if (selection_[step] == 0) continue;
      const std::string head = std::string(step.property) + "#";
      const size_t count = ValueCount(run.Item.Get(head));
      for (size_t place = size_t(step.kind_rows) + 1; place <= count; ++place) {
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

void ReplaceEngine::Apply(const CatalogRow& step, const RunInputs& run, bool& changed,
                          int32_t& line) {
  switch (step.handling) {
    case FieldHandling::kWholeValue:
      if (Rewrite(run, step.property, step.property, TextKind::kPlain,
                  StepMarks::Uniform(step.line_mark), line)) {
        changed = true;
      }
      return;
    case FieldHandling::kPhone:
      if (selection_.SpecialInstructions == kOnlyAreaCodes) {
        if (RewriteAreaPart(run, step.property)) changed = true;
      } else if (Rewrite(run, step.property, step.property, TextKind::kPlain,
                         StepMarks::Uniform(step.line_mark), line)) {
        changed = true;
      }
      return;
    case FieldHandling::kBody: {
      // The formatted body costs a conversion; it is read only when the plain
      // body has a match.
      matcher_.AdoptText(run.Item.Get(step.property));
      matcher_.SetPattern(run.SearchFor);
      if (matcher_.MatchCount() < 1) return;
      // The rewrite searches the formatted body's own text: the plain body
      // would only add to its peak.
      matcher_.AdoptText({});
      if (Rewrite(run, "RTFBody", step.property, TextKind::kRich,
                  StepMarks::Uniform(step.line_mark), line)) {
        changed = true;
      }
      return;
    }
    case FieldHandling::kWholeValueLogged:
      if (Rewrite(run, step.property, step.property, TextKind::kPlain,
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
  std::string old = run.Item.Get(P);
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
    replaced = ReplaceCountedShownText(matcher_, old, run.ReplaceWith);
  }
  line = marks.journal;
  // The line's bytes are read where the item holds them when they are their
  // own token: a field of tens of MB is then not copied for its record.
  std::string token;
  std::optional<std::string_view> bytes = run.Item.PropertyLineView(P);
  if (!bytes) {
    token = run.Item.PropertyLine(P);
    bytes = token;
  }
  journal_.UndoSave(run.FolderStoreId, run.FolderEntryId, run.Item.Get("EntryID"), N, old, replaced,
                    *bytes);
  // Journalled, the old text and the matcher's are done with: for a field of
  // tens of MB the write below, which holds the field twice for a while,
  // would otherwise add them to the peak.
  std::string().swap(old);
  if (kind == TextKind::kRich || replaced.size() > kLargeText) matcher_.AdoptText({});
  // An empty replacement never moves the mark past the replace itself.
  line = run.ReplaceWith.empty() ? marks.replace : marks.write;
  // Given up: the formatted body is let go once its plain text is made.
  run.Item.SetTaken(P, std::move(replaced));
  return true;
}

bool ReplaceEngine::RewriteAreaPart(const RunInputs& run, const std::string& P) {
  const std::string old = run.Item.Get(P);
  const size_t open = old.find('(');
  const size_t close = old.find(')');
  if (open == std::string::npos || close == std::string::npos) return false;
  // ")" two or more places before "(": the area part would have a negative
  // length. Side by side, ")(" gives the empty area part.
  if (close + 1 < open) throw TextFailure("Invalid procedure call or argument");

  matcher_.SetPattern(run.SearchFor);
  const std::optional<std::string> replaced = ReplaceAreaPart(matcher_, old, run.ReplaceWith);
  if (!replaced) return false;
  journal_.UndoSave(run.FolderStoreId, run.FolderEntryId, run.Item.Get("EntryID"), P, old,
                    *replaced, run.Item.PropertyLine(P));
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
