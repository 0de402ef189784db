// Where every control of the options page sits, for views that draw it.
//
// One row per control in creation order: a container comes before what it
// holds. Positions are twips (1/1440 inch; 15 to a pixel at 96 dots per inch)
// relative to the container; "" as container is the page itself. Every
// control uses the page font.
//
//   for (const ControlLayout& row : kPageLayout) {
//     QWidget* parent = row.container[0] ? widgets.at(row.container) : page;
//     ...
//   }
//
// Picture1 spans the area of lstFolderList and Picture3 as well; a view must
// stack it below them so the list and the buttons stay usable. A Line row is
// the segment from (left, top) to (left + width, top + height).
#pragma once

#include <array>
#include <cstdint>

namespace tidewell {

enum class ControlKind {
  kFrame,
  kLabel,
  kTextBox,
  kCheckBox,
  kButton,
  kListBox,
  kPictureBox,
  kProgressBar,
  kLine
};

struct ControlLayout {
  const char* name;
  ControlKind kind;
  const char* container;
  int32_t left;
  int32_t top;
  int32_t width;
  int32_t height;
  const char* caption;  // "" for controls without one
  bool bold;
};

inline constexpr const char* kPageFontName = "Microsoft Sans Serif";
inline constexpr double kPageFontPoints = 8.25;

inline constexpr std::array<ControlLayout, 24> kPageLayout{{
    {"frameSettings", ControlKind::kFrame, "", 90, 90, 6840, 4950, "Search And Replace", false},
    {"lblSearchFor", ControlKind::kLabel, "frameSettings", 210, 345, 1185, 270,
     "Search For:", false},
    {"txtSearchFor", ControlKind::kTextBox, "frameSettings", 1425, 285, 3480, 315, "", false},
    {"chkCaseSensitive", ControlKind::kCheckBox, "frameSettings", 5055, 345, 1635, 255,
     "Case sensitive", false},
    {"lblReplaceWith", ControlKind::kLabel, "frameSettings", 210, 690, 1185, 270,
     "Replace With:", false},
    {"txtReplaceWith", ControlKind::kTextBox, "frameSettings", 1425, 645, 3480, 315, "", false},
    {"lblLookIn", ControlKind::kLabel, "frameSettings", 210, 1050, 1185, 270,
     "Look In Fields:", false},
    {"cmdChooseFields", ControlKind::kButton, "frameSettings", 1425, 1005, 1455, 345,
     "Choose Fields...", false},
    {"lblSearchIn", ControlKind::kLabel, "frameSettings", 210, 1425, 1785, 225,
     "Search In Folders:", false},
    {"lstFolderList", ControlKind::kListBox, "frameSettings", 195, 1680, 4305, 1425, "", false},
    {"Picture3", ControlKind::kPictureBox, "frameSettings", 4575, 1425, 2220, 2460, "", false},
    {"cmdChooseFolder", ControlKind::kButton, "Picture3", 75, 315, 1995, 360, "Choose Folder...",
     false},
    {"cmdChooseMultiFolder", ControlKind::kButton, "Picture3", 75, 735, 1995, 360,
     "Choose Multi Folders...", false},
    {"frameWarning", ControlKind::kFrame, "Picture3", 90, 1275, 1980, 1125, "Warning", false},
    {"Label1", ControlKind::kLabel, "frameWarning", 180, 315, 1650, 615,
     "Make backups before running this utility.", true},
    {"Picture1", ControlKind::kPictureBox, "frameSettings", 45, 1635, 6735, 3240, "", false},
    {"cmdReplace", ControlKind::kButton, "Picture1", 585, 1710, 1650, 375, "Replace", false},
    {"frameProgress", ControlKind::kFrame, "Picture1", 30, 2235, 6675, 990, "Progress", false},
    {"lblFolderName", ControlKind::kLabel, "frameProgress", 135, 270, 6420, 225, "Folder Name",
     false},
    {"ProgressBar1", ControlKind::kProgressBar, "frameProgress", 135, 585, 6420, 255, "", false},
    // A rectangle drawn around frameSettings, 45 twips outside it.
    {"Line4", ControlKind::kLine, "", 45, 45, 6930, 0, "", false},
    {"Line6", ControlKind::kLine, "", 6975, 45, 0, 5040, "", false},
    {"Line7", ControlKind::kLine, "", 45, 5085, 6930, 0, "", false},
    {"Line8", ControlKind::kLine, "", 45, 45, 0, 5040, "", false},
}};

}  // namespace tidewell
