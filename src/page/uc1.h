// UC1: the search-and-replace options page.
//
// A host makes the page over the outside components, hands it the host
// object, shows it, and then reads Dirty and calls Apply as its own dialog
// asks. Views (Qt widgets, the terminal host) draw the public controls and
// feed user input back through the controls' setters and events, which are
// wired to the page's handlers here.
//
//   UC1 page(components);
//   page.SetHost(host);
//   page.Show();                          // loads the settings; the page is clean
//   page.txtSearchFor.SetText("(555)");   // an edit: dirty, host told
//   page.Apply();                         // settings stored; clean again
//   page.cmdReplace.Press();              // confirms, then runs every stored folder
//
// Failures. Handlers with a trap (the folder buttons, Replace, LoadValues and
// every edit) report one "Error occurred..." message through the support
// component's error report and return normally; nothing they do throws.
// Show, Apply, Enabled, SendPropMessage, WriteToLog, Choose Fields and the
// mouse-move handlers have no trap: their failures reach the caller.
//
// Settings live in the settings store under the support component's AppName
// (asked anew before every read and write), section "Tidewell": "SearchFor",
// "ReplaceWith", "CaseSensitive", "FolderCount" and the folder slots
// "FolderName<n>", "FolderEntryId<n>", "FolderStoreId<n>" for n from 1.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "controls/controls.h"
#include "fields/field_catalog.h"
#include "journal/journal.h"
#include "platform/components.h"
#include "platform/folder_record.h"
#include "platform/host.h"
#include "platform/pattern_matcher.h"
#include "platform/support.h"

namespace tidewell {

class UC1 {
 public:
  // `components` outlives the page. Makes the matcher and wires every event.
  explicit UC1(Components& components);

  // --- The host's interface, in its order.

  // Keeps `theHost`; nullptr forgets it. Without a host, edits still make the
  // page dirty but nothing is called on a host, and hot help is silent.
  void SetHost(std::shared_ptr<Host> theHost);

  // True when settings were edited since the last Show or Apply.
  bool Dirty() const { return dirty_; }

  // Enables or disables every control of the page, frames and labels too.
  void Enabled(bool newEnabled);

  // Writes every page setting, the folder slots 1..n of the folder list and
  // "FolderCount" n ("0" when no list was ever loaded or chosen), then clears
  // the dirty flag without telling the host. Higher slots of a longer earlier
  // list stay in the store. Throws what the store throws: keys written before
  // the failure stay written and the page stays dirty.
  void Apply();

  // Fills the controls and the folder list from the store. A slot whose name
  // or entry id is absent is left out; an absent store id loads as
  // "Not Found". A failure is reported under "Tidewell.LoadValues" with the
  // line reached ("... LastLineNumber: 8" for a count that is no number) and
  // what was set before it stays; a failure before the slots are read keeps
  // the previous folder list. Loaded values that differ from the shown ones
  // raise the usual edit events, so outside Show this makes the page dirty.
  void LoadValues();

  // "ResetHelpText" makes the next mouse move send its help again, even over
  // the control whose help is shown. Every message gets "ok".
  std::string SendPropMessage(const std::string& theMessage, const std::string& theData);

  // One progress line through a fresh activity logger (source "Tidewell",
  // undo flag false). Throws what the logger throws.
  void WriteToLog(const std::string& functionName, const std::string& message);

  // --- The page's life.

  // Each time the page becomes visible: loads the page string set and the
  // help texts, calls LoadValues, clears the host's help area, and leaves the
  // page clean whatever the load changed. Throws when the string set or a
  // help text cannot be had; the page is then neither loading nor cleaned.
  void Show();

  // Page end: drops the help texts, the folder list and the host object.
  void Terminate();

  // --- Event handlers, each wired to its control in the constructor.

  void txtSearchFor_Change();
  void txtReplaceWith_Change();
  void chkCaseSensitive_Click();

  // The client's folder dialog: a chosen folder replaces the whole folder
  // list. Cancel changes nothing. Failures: "Tidewell.ChooseFolderButton".
  void cmdChooseFolder_Click();
  // The multi-folder picker, captioned with page string "17": the folders
  // chosen replace the list, in order, duplicates kept. Failures:
  // "Tidewell.ChooseMultiFolderButton".
  void cmdChooseMultiFolder_Click();

  // Shows the field chooser modally; afterwards the page is dirty whatever
  // the user did in it, so Replace waits for Apply.
  void cmdChooseFields_Click();

  // The replace run. Refuses while the page is dirty, asks for confirmation,
  // then walks the folders of the store (Apply wrote them) and saves every
  // contact, appointment and task that the engine changed. Ends with
  // "Updated <n> items in <count> folders" ("in 1 folder" for exactly one),
  // counting stored slots, found or not. A failure of the run itself is
  // reported under "Tidewell.cmdConvert" and ends the run; items saved
  // before it stay saved. When the Ui asks for a stop (StopRequested, before
  // each item) the run ends there with its summary, and StoppedRun() says
  // how many items it had saved.
  void cmdReplace_Click();
  // The items saved by the last run when it was stopped; nullopt when it ran
  // to its end, failed or never ran.
  std::optional<int32_t> StoppedRun() const { return stopped_after_; }

  // Hot help: each sends its control's help to the host, once per visit.
  // The help texts are built by Show; with a host set, a move before the
  // first Show throws.
  void lblSearchFor_MouseMove();
  void txtSearchFor_MouseMove();
  void chkCaseSensitive_MouseMove();
  void lblReplaceWith_MouseMove();
  void txtReplaceWith_MouseMove();
  void lblLookIn_MouseMove();
  void cmdChooseFields_MouseMove();
  void lblSearchIn_MouseMove();
  void lstFolderList_MouseMove();
  void cmdChooseFolder_MouseMove();
  void cmdChooseMultiFolder_MouseMove();
  void cmdReplace_MouseMove();
  void frameProgress_MouseMove();
  void lblFolderName_MouseMove();

  // The control of kPageLayout's row `name`, for views that lay the page
  // out from the table; nullptr for the lines, which are drawn, not controls.
  Control* FindControl(const std::string& name);

  // The folder list: none until LoadValues or a folder choice made one, and
  // again after Terminate. lstFolderList shows its names in order.
  const std::optional<FolderList>& Folders() const { return folders_; }

  // --- Controls, nested as kPageLayout says (page_layout.h), with their captions.
  Frame frameSettings{"frameSettings"};
  Label lblSearchFor{"lblSearchFor"};
  TextBox txtSearchFor{"txtSearchFor"};
  CheckBox chkCaseSensitive{"chkCaseSensitive"};
  Label lblReplaceWith{"lblReplaceWith"};
  TextBox txtReplaceWith{"txtReplaceWith"};
  Label lblLookIn{"lblLookIn"};
  Button cmdChooseFields{"cmdChooseFields"};
  Label lblSearchIn{"lblSearchIn"};
  ListBox lstFolderList{"lstFolderList"};
  PictureBox Picture3{"Picture3"};
  Button cmdChooseFolder{"cmdChooseFolder"};
  Button cmdChooseMultiFolder{"cmdChooseMultiFolder"};
  Frame frameWarning{"frameWarning"};
  Label Label1{"Label1"};
  PictureBox Picture1{"Picture1"};
  Button cmdReplace{"cmdReplace"};
  Frame frameProgress{"frameProgress"};
  Label lblFolderName{"lblFolderName"};
  ProgressBar ProgressBar1{"ProgressBar1"};

  // The invisible matcher every field of a run goes through.
  std::unique_ptr<PatternMatcher> regularExpressions;

 private:
  // Every control above, in kPageLayout order.
  std::array<Control*, 20> Controls();

  void SetDirty();

  void BuildHelpTable();
  void ShowHotHelp(const std::string& key);
  void ResetHotHelp();

  // Settings access under the page's section; AppName is asked every time.
  std::string ReadSetting(const std::string& key, const std::string& defaultValue);
  void WriteSetting(const std::string& key, const std::string& value);
  // Calls `visit` with each folder slot number from 1 to `count` that may be
  // stored, in order: only the slots whose "FolderName<n>" key is present
  // where the store lists its keys, so a huge stored count costs nothing.
  // `gapBefore` tells that a slot just before this one was passed over unread
  // (its name would have read as "Not Found").
  void ForEachFolderSlot(int32_t count,
                         const std::function<void(const std::string& slot, bool gapBefore)>& visit);

  // The host object, or Failure("Object variable or With block variable not
  // set") when none is set.
  Host& host();

  Components& components_;
  Journal journal_;
  std::shared_ptr<Host> host_;
  bool dirty_ = false;
  std::optional<int32_t> stopped_after_;
  bool loading_ = false;
  std::optional<FolderList> folders_;
  std::string last_help_key_;
  std::string second_help_text_;
  StringSet help_texts_;
  StringSet page_strings_;
  FieldSelection field_selection_;
};

}  // namespace tidewell
