// The replace engine: one rule per field (ReplaceFieldText) and one procedure
// per item kind, which walks that kind's field table in catalog order.
//
// A procedure never saves: it returns the changed flag, true once it wrote
// any field, and the run saves the item. Every failure inside a procedure is
// reported there ("Error occurred at line <mark>.  Reason: ...") and the
// procedure returns the flag as it stood, so fields written before the
// failure are still saved.
#pragma once

#include <cstdint>
#include <string>

#include "fields/field_catalog.h"
#include "journal/journal.h"
#include "platform/pattern_matcher.h"
#include "platform/safe_item.h"

namespace tidewell {

class ReplaceEngine {
 public:
  // All four are the page's own and outlive the engine.
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

 private:
  PatternMatcher& matcher_;
  const FieldSelection& selection_;
  Journal& journal_;
};

}  // namespace tidewell
