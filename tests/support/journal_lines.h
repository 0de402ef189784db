// A run's journal lines as the page and the logbook write them, for the
// tests that read journals back.
#pragma once

#include <array>
#include <string>

#include <nlohmann/json.hpp>

namespace tidewell::testing {

// The five records of one entry.
inline std::array<std::string, 5> EntryMessages(const std::string& item, const std::string& value) {
  return {"FolderStoreId: /s", "FolderEntryId: contacts", "ItemEntryId: " + item,
          "FieldName: Account", "FieldValue: " + value};
}

// A whole line; `at` stands in for the time.
inline std::string Line(const std::string& procedure, const std::string& message, bool undo = false,
                        const std::string& at = "t", const std::string& source = "Tidewell") {
  nlohmann::ordered_json record = {{"time", at}, {"source", source}, {"procedure", procedure}};
  record["message"] = message;
  record["undo"] = undo;
  return record.dump() + "\n";
}

inline std::string Folder(const std::string& name, const std::string& at = "t") {
  return Line("cmdReplace_Click", name + "Count of items in folder '" + name + "': 3", false, at);
}

inline std::string Looking(const std::string& search, const std::string& replace,
                           int caseFlag = 0) {
  return Line("cmdReplace_Click", "Looking for '" + search + "' replacing with '" + replace +
                                      "'; Case sensitive: " + std::to_string(caseFlag));
}

// Records `first` to `end` - 1 of the five records of one entry.
inline std::string Entry(const std::string& item, const std::string& value = "old", int end = 5,
                         int first = 0) {
  const std::array<std::string, 5> messages = EntryMessages(item, value);
  std::string lines;
  for (int i = first; i < end; ++i) lines += Line("UndoSave", messages[i], true, "e" + item);
  return lines;
}

}  // namespace tidewell::testing
