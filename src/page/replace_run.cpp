// The Replace button's run and the Choose Fields button.
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "engine/replace_engine.h"
#include "fields/conversions.h"
#include "fields/frm_look_in_fields.h"
#include "page/uc1.h"
#include "platform/failure.h"
#include "platform/outlook.h"
#include "platform/safe_item.h"

namespace tidewell {

namespace {

constexpr const char* kBoxTitle = "Marrowby";
constexpr const char* kApplyFirst =
    "You must click Apply to save your settings, then you can click Replace.";
constexpr const char* kNotFound = "Not Found";
constexpr const char* kUninitialized = "Uninitialized";
constexpr const char* kLogName = "cmdReplace_Click";

std::string ConfirmationText(const std::string& searchFor, const std::string& replaceWith) {
  return "Are you SURE you want to replace all occurrences of '" + searchFor + "' with '" +
         replaceWith + "'";
}

std::string Summary(int32_t updated, int32_t folderCount) {
  return "Updated " + std::to_string(updated) + " items in " +
         (folderCount == 1 ? std::string("1 folder") : std::to_string(folderCount) + " folders");
}

// The contact's name for the failure message. The failure may be the
// wrapper's own (an item it could not bind), so its name may be unreadable:
// the message must still go out.
std::string ContactName(SafeItem& contact) {
  try {
    return contact.FullNameAndCompany();
  } catch (const std::exception&) {
    return "";
  }
}

}  // namespace

// Kept whole, past the 80-line rule, the lambda inside included: its steps
// and line marks are the ones users see in "LastLineNumber", and splitting it
// would move them.
void UC1::cmdReplace_Click() {
  Ui& ui = components_.ui();
  if (dirty_) {
    ui.MsgBox(kApplyFirst, MsgBoxButtons::OkOnly, kBoxTitle);
    return;
  }

  stopped_after_.reset();
  int32_t line = 0;
  std::string folderName;
  std::unique_ptr<SafeItem> contact;
  try {
    if (ui.MsgBox(ConfirmationText(txtSearchFor.Text(), txtReplaceWith.Text()),
                  MsgBoxButtons::YesNo, kBoxTitle) != MsgBoxResult::Yes) {
      return;
    }

    line = 2;
    auto app = host().OutlookApplication();
    line = 4;
    auto ns = app->GetNamespace("MAPI");

    line = 6;
    const int32_t folderCount = CLng(ReadSetting("FolderCount", "0"));
    int32_t updated = 0;
    const std::string searchFor = txtSearchFor.Text();
    const std::string replaceWith = txtReplaceWith.Text();
    const int32_t caseSensitive = chkCaseSensitive.Value();
    LoadFieldSelection(field_selection_, components_.Settings(), components_.Support());
    ReplaceEngine engine(*regularExpressions, field_selection_, journal_);

    // No mark is set between folders: the reads of a later folder fail under
    // the mark its predecessor's last item left.
    bool stopped = false;
    ForEachFolderSlot(folderCount, [&](const std::string& slot, bool gapBefore) {
      if (stopped) return;
      // A failure names the last folder name read, and a slot passed over
      // unread would have read as "Not Found".
      if (gapBefore) folderName = kNotFound;
      folderName = ReadSetting("FolderName" + slot, kNotFound);
      std::string entryId = ReadSetting("FolderEntryId" + slot, kNotFound);
      std::string storeId = ReadSetting("FolderStoreId" + slot, kNotFound);
      if (folderName == kNotFound || entryId == kNotFound) return;

      if (entryId == kUninitialized) {
        auto contacts = ns->GetDefaultFolder(olFolderContacts);
        entryId = contacts->EntryID();
        storeId = contacts->StoreID();
      }

      lblFolderName.SetCaption("Folder: " + folderName);
      lblFolderName.SetVisible(true);
      ui.Repaint(lblFolderName.Name());

      line = 10;
      auto folder = host().engine().YSGetFolder(entryId, storeId);
      if (!folder) {
        host().OnFolderNotFound(folderName);
        return;
      }
      auto items = folder->GetItems();
      const int32_t itemCount = items->Count();
      ProgressBar1.SetMin(1);
      // An empty folder shows a full bar (maximum 1, value 1) rather than a
      // maximum below the minimum.
      ProgressBar1.SetMax(itemCount < 1 ? 1 : itemCount);
      ProgressBar1.SetVisible(true);

      WriteToLog(kLogName, folder->Name() + "Count of items in folder '" + folder->Name() +
                               "': " + std::to_string(itemCount));
      WriteToLog(kLogName, "Looking for '" + searchFor + "' replacing with '" + replaceWith +
                               "'; Case sensitive: " + std::to_string(caseSensitive));

      const int32_t bound = items->Count();
      for (int32_t position = 1; position <= bound; ++position) {
        if (ui.StopRequested()) {
          stopped = true;
          break;
        }
        ProgressBar1.SetValue(position);
        ui.Repaint(ProgressBar1.Name());
        auto item = items->Item(position);
        const std::string typeName = item->TypeName();

        if (typeName == "ContactItem") {
          line = 11;
          contact = components_.CreateSafeItem(SafeItemProgId(typeName));
          contact->SetItem(item);
          const bool changed = engine.SearchAndReplaceContacts(
              storeId, entryId, *contact, searchFor, replaceWith, caseSensitive);
          line = 12;
          if (changed) {
            line = 18;
            contact->Save();
            ++updated;
          }
          contact.reset();
        } else if (typeName == "AppointmentItem" || typeName == "TaskItem") {
          line = 20;
          const bool appointment = typeName == "AppointmentItem";
          line = 22;
          auto wrapper = components_.CreateSafeItem(SafeItemProgId(typeName));
          line = 24;
          wrapper->SetItem(item);
          line = 26;
          const bool changed =
              appointment ? engine.SearchAndReplaceAppointments(
                                storeId, entryId, *wrapper, searchFor, replaceWith, caseSensitive)
                          : engine.SearchAndReplaceTasks(storeId, entryId, *wrapper, searchFor,
                                                         replaceWith, caseSensitive);
          if (changed) {
            line = 28;
            wrapper->Save();
            ++updated;
          }
        }
      }
    });

    ProgressBar1.SetValue(ProgressBar1.Min());
    ProgressBar1.SetVisible(false);
    lblFolderName.SetCaption(Summary(updated, folderCount));
    if (stopped) stopped_after_ = updated;
  } catch (const std::exception& e) {
    std::optional<std::string> contactName;
    if (contact) contactName = ContactName(*contact);
    journal_.Report(FailureFormatD(line, Bounded(folderName), contactName, DescriptionOf(e)),
                    "cmdConvert");
  }
}

void UC1::cmdChooseFields_Click() {
  {
    frmLookInFields dialog(components_.Settings(), components_.Support());
    dialog.Form_Load();
    if (dialog.IsOpen()) components_.ui().ShowFieldChooser(dialog);
  }
  SetDirty();
}

}  // namespace tidewell
