// The replace engine: one rule per field (ReplaceFieldText) and one procedure
// per item kind, which walks that kind's rows of the field catalog in order.
//
//   ReplaceEngine engine(matcher, selection, journal);
//   bool changed = engine.SearchAndReplaceContacts(storeId, entryId, *contact,
//                                                  "555", "777", /*CaseSensitive=*/0);
//   if (changed) contact->Save();
//
// A procedure never saves: it returns the changed flag, true once it wrote
// any field, and the run saves the item. Every failure inside a procedure is
// reported there ("Error occurred at line <mark>.  Reason: ...") and the
// procedure returns the flag as it stood, so fields written before the
// failure are still saved.
//
// A field whose text matches is journalled and written even when the new text
// equals the old one, so the item counts as updated.
//
// A contact's phones and e-mail addresses beyond the catalog's slots of their
// kind are searched after the catalog's fields, each under the selection flag
// and line mark of its kind's first slot, as the property (and journal field
// name) "<first slot>#<place>": "BusinessTelephoneNumber#3" for a third work
// phone. The item tells how many values a kind has through "<first slot>#".
//
// A pattern failure names the field: "Field Body: The pattern is too complex
// for this text.".
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "fields/field_catalog.h"
#include "journal/journal.h"
#include "platform/pattern_matcher.h"
#include "platform/safe_item.h"

namespace tidewell {

// The six values a run hands to every item procedure, less the case flag,
// which the procedure sets on the matcher once per item.
struct RunInputs {
  const std::string& FolderStoreId;
  const std::string& FolderEntryId;
  SafeItem& Item;
  const std::string& SearchFor;
  const std::string& ReplaceWith;
};

class ReplaceEngine {
 public:
  // All three are the page's own and outlive the engine.
  ReplaceEngine(PatternMatcher& regularExpressions, const FieldSelection& selection,
                Journal& journal)
      : matcher_(regularExpressions), selection_(selection), journal_(journal) {}

  bool SearchAndReplaceContacts(const std::string& FolderStoreId, const std::string& FolderEntryId,
                                SafeItem& Item, const std::string& SearchFor,
                                const std::string& ReplaceWith, int32_t CaseSensitive);
  bool SearchAndReplaceAppointments(const std::string& FolderStoreId,
                                    const std::string& FolderEntryId, SafeItem& Item,
                                    const std::string& SearchFor, const std::string& ReplaceWith,
                                    int32_t CaseSensitive);
  bool SearchAndReplaceTasks(const std::string& FolderStoreId, const std::string& FolderEntryId,
                             SafeItem& Item, const std::string& SearchFor,
                             const std::string& ReplaceWith, int32_t CaseSensitive);

  // The rule for one field: reads property P; with at least one match of
  // SearchFor, journals the old text under N, replaces every match in one
  // pass ("ab" -> "abab" turns "ab ab" into "abab abab") and writes the
  // result to P, then sets `changed`. No match (an empty field included):
  // nothing is journalled or written. Uses the matcher's case flag as the
  // caller set it; throws what the item or the matcher throws.
  void ReplaceFieldText(const RunInputs& run, const std::string& P, const std::string& N,
                        bool& changed);

 private:
  struct StepMarks;
  enum class TextKind { kPlain, kRich };

  bool Walk(const char* procedure, const char* logText, FieldKind kind, const RunInputs& run,
            int32_t CaseSensitive);
  void Apply(const CatalogRow& step, const RunInputs& run, bool& changed, int32_t& line);
  bool Rewrite(const RunInputs& run, const std::string& P, const std::string& N, TextKind kind,
               const StepMarks& marks, int32_t& line);
  bool RewriteAreaPart(const RunInputs& run, const std::string& P);

  PatternMatcher& matcher_;
  const FieldSelection& selection_;
  Journal& journal_;
};

// The area-part rule: `number` with only its part from the first "(" to the
// first ")" replaced through `matcher`, which holds the run's pattern and case
// flag. Nothing when the number has no such part, when ")" stands two or more
// places before "(" (the run refuses that number), or when the part holds no
// match.
std::optional<std::string> ReplaceAreaPart(PatternMatcher& matcher, const std::string& number,
                                           const std::string& replaceWith);

// The property a journalled field name is read and written through: the body
// is journalled as "Body" but rewritten, and so restored, as "RTFBody".
std::string PropertyOfJournalName(const std::string& fieldName);

}  // namespace tidewell
