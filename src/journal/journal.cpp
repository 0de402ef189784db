#include "journal/journal.h"

#include <exception>
#include <utility>

#include "journal/journal_runs.h"
#include "platform/failure.h"

namespace tidewell {

namespace {
constexpr const char* kSource = "Tidewell";
constexpr int32_t kUndoFalse = 0;
constexpr int32_t kUndoTrue = -1;
}  // namespace

std::string FailureFormatA(const std::string& description) {
  return "Error occurred.  Reason: " + description;
}

std::string FailureFormatB(const std::string& description, int32_t lineMark) {
  return "Error occurred.  Reason: " + description +
         "  LastLineNumber: " + std::to_string(lineMark);
}

std::string FailureFormatC(int32_t lineMark, const std::string& description) {
  return "Error occurred at line " + std::to_string(lineMark) + ".  Reason: " + description;
}

std::string FailureFormatD(int32_t lineMark, const std::string& folderName,
                           const std::optional<std::string>& contact,
                           const std::string& description) {
  std::string message = "Error occurred.  LastLineNumber: " + std::to_string(lineMark);
  if (contact) {
    message += "  Folder: " + folderName + "  Contact: " + *contact;
  } else if (!folderName.empty()) {
    message += "  Folder: " + folderName;
  }
  return message + "  Reason: " + description;
}

namespace {

class SaveRecorder : public SafeItem {
 public:
  SaveRecorder(std::unique_ptr<SafeItem> inner, Components& components)
      : inner_(std::move(inner)), components_(components) {}
  void SetItem(std::shared_ptr<OutlookItem> item) override { inner_->SetItem(std::move(item)); }
  std::string Get(const std::string& property) override { return inner_->Get(property); }
  void Set(const std::string& property, const std::string& text) override {
    try {
      inner_->Set(property, text);
    } catch (...) {
      Record(kFieldNotWritten);
      throw;
    }
  }
  void SetTaken(const std::string& property, std::string&& text) override {
    try {
      inner_->SetTaken(property, std::move(text));
    } catch (...) {
      Record(kFieldNotWritten);
      throw;
    }
  }
  std::string PropertyLine(const std::string& property) override {
    return inner_->PropertyLine(property);
  }
  std::optional<std::string_view> PropertyLineView(const std::string& property) override {
    return inner_->PropertyLineView(property);
  }
  void RestoreLine(const std::string& property, const std::string& line) override {
    inner_->RestoreLine(property, line);
  }
  void RestoreLineTaken(const std::string& property, std::string&& line) override {
    inner_->RestoreLineTaken(property, std::move(line));
  }
  std::string FullNameAndCompany() override { return inner_->FullNameAndCompany(); }
  std::optional<std::string> SearchableText() override { return inner_->SearchableText(); }
  void Save() override {
    try {
      inner_->Save();
    } catch (...) {
      Record(kItemNotSaved);
      throw;
    }
  }

 private:
  void Record(const char* what) {
    try {
      components_.CreateActivityLogger()->Write(kSource, kItemNotSavedProcedure,
                                                what + inner_->Get("EntryID"), kUndoFalse);
    } catch (const std::exception&) {
    }
  }

  std::unique_ptr<SafeItem> inner_;
  Components& components_;
};

}  // namespace

std::unique_ptr<SafeItem> RecordingFailedSaves(std::unique_ptr<SafeItem> inner,
                                               Components& components) {
  if (!inner) return inner;
  return std::make_unique<SaveRecorder>(std::move(inner), components);
}

void Journal::WriteToLog(const std::string& functionName, const std::string& message) {
  components_.CreateActivityLogger()->Write(kSource, functionName, message, kUndoFalse);
}

void Journal::UndoRecord(const std::string& procedureName, const std::string& message) {
  components_.CreateActivityLogger()->Write(kSource, procedureName, message, kUndoTrue);
}

void Journal::UndoSave(const std::string& FolderStoreId, const std::string& FolderEntryId,
                       const std::string& ItemEntryId, const std::string& FieldName,
                       const std::string& FieldValue, const std::string& NewValue,
                       std::string_view Line) {
  try {
    WriteUndoRecords(FolderStoreId, FolderEntryId, ItemEntryId, FieldName, FieldValue, NewValue,
                     Line);
  } catch (const std::exception& e) {
    Report(FailureFormatC(0, DescriptionOf(e)), "UndoSave");
  }
}

void Journal::WriteUndoRecords(const std::string& FolderStoreId, const std::string& FolderEntryId,
                               const std::string& ItemEntryId, const std::string& FieldName,
                               const std::string& FieldValue, const std::string& NewValue,
                               std::string_view Line) {
  UndoRecord("UndoSave", "FolderStoreId: " + FolderStoreId);
  UndoRecord("UndoSave", "FolderEntryId: " + FolderEntryId);
  UndoRecord("UndoSave", "ItemEntryId: " + ItemEntryId);
  UndoRecord("UndoSave", "FieldName: " + FieldName);
  components_.CreateActivityLogger()->WriteParts(kSource, "UndoSave", "FieldValue: ", FieldValue,
                                                 kUndoTrue, "new", NewValue, "line", Line);
}

void Journal::Report(const std::string& message, const std::string& procedureName) {
  components_.Support().ReportError(message, false, std::string(kSource) + "." + procedureName);
}

}  // namespace tidewell
