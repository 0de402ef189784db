// The page's two outside channels: progress lines and undo records go to a
// fresh activity logger per line; failures go to the support component's
// error report. Every failure message of the system is built here.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/components.h"

namespace tidewell {

// "Error occurred.  Reason: <description>"
std::string FailureFormatA(const std::string& description);

// "Error occurred.  Reason: <description>  LastLineNumber: <mark>"
std::string FailureFormatB(const std::string& description, int32_t lineMark);

// "Error occurred at line <mark>.  Reason: <description>"
std::string FailureFormatC(int32_t lineMark, const std::string& description);

// The replace run's failure: with a contact in hand
// "Error occurred.  LastLineNumber: <mark>  Folder: <folder>  Contact: <contact>  Reason: <d>";
// else with a folder name read "...  Folder: <folder>  Reason: <d>";
// else "Error occurred.  LastLineNumber: <mark>  Reason: <d>".
std::string FailureFormatD(int32_t lineMark, const std::string& folderName,
                           const std::optional<std::string>& contact,
                           const std::string& description);

// `inner` (may be null, then null) with a Save that, when the store refuses
// it, first logs kItemNotSaved + the item's entry id (journal_runs.h) through
// an activity logger of `components`, then throws on: the run's entries of
// that item were never stored, so they are not counted or undone. A Set that
// throws (a read-only item) logs kFieldNotWritten the same way, for the
// entry journalled just before it. A logger
// failing then is ignored; the save's failure is what gets reported.
std::unique_ptr<SafeItem> RecordingFailedSaves(std::unique_ptr<SafeItem> inner,
                                               Components& components);

class Journal {
 public:
  explicit Journal(Components& components) : components_(components) {}

  // One progress line: source "Tidewell", `functionName` bare, undo flag 0.
  // Throws whatever the logger throws.
  void WriteToLog(const std::string& functionName, const std::string& message);

  // The twin of WriteToLog for undo records: undo flag -1.
  void UndoRecord(const std::string& procedureName, const std::string& message);

  // Journals one field's old value as five undo records ("FolderStoreId: ",
  // "FolderEntryId: ", "ItemEntryId: ", "FieldName: ", "FieldValue: "); the
  // last also carries `NewValue`, the value the field is given, as "new",
  // and `Line`, the field's line as the store read it (SafeItem::PropertyLine),
  // as "line" unless it is "".
  // Never throws: a failure stops the entry where it is, is reported under
  // "Tidewell.UndoSave" (format C, line 0), and the caller goes on.
  void UndoSave(const std::string& FolderStoreId, const std::string& FolderEntryId,
                const std::string& ItemEntryId, const std::string& FieldName,
                const std::string& FieldValue, const std::string& NewValue,
                std::string_view Line = {});

  // The five records of UndoSave, each written as it is made: throws what the
  // logger throws, leaving the entry cut short there (undo skips the field).
  void WriteUndoRecords(const std::string& FolderStoreId, const std::string& FolderEntryId,
                        const std::string& ItemEntryId, const std::string& FieldName,
                        const std::string& FieldValue, const std::string& NewValue,
                        std::string_view Line = {});

  // Reports `message` under "Tidewell." + `procedureName` with the flag false.
  void Report(const std::string& message, const std::string& procedureName);

 private:
  Components& components_;
};

}  // namespace tidewell
