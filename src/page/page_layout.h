// Where every control of the options page sits, for views that draw it (rows
// as controls/layout.h describes them). Every control uses the page font.
//
// Picture1 spans the area of lstFolderList and Picture3 as well; a view must
// stack it below them so the list and the buttons stay usable.
#pragma once

#include <array>

#include "controls/layout.h"

namespace tidewell {

inline constexpr const char* kPageFontName = "Microsoft Sans Serif";
inline constexpr double kPageFontPoints = 8.25;

inline constexpr std::array<ControlLayout, 24> kPageLayout{{
    {"frameSettings", ControlKind::kFrame, "", 90, 90, 6840, 4950, "Search And Replace"},
    {"lblSearchFor", ControlKind::kLabel, "frameSettings", 210, 345, 1185, 270, "Search For:"},
    {"txtSearchFor", ControlKind::kTextBox, "frameSettings", 1425, 285, 3480, 315, ""},
    {"chkCaseSensitive", ControlKind::kCheckBox, "frameSettings", 5055, 345, 1635, 255,
     "Case sensitive"},
    {"lblReplaceWith", ControlKind::kLabel, "frameSettings", 210, 690, 1185, 270, "Replace With:"},
    {"txtReplaceWith", ControlKind::kTextBox, "frameSettings", 1425, 645, 3480, 315, ""},
    {"lblLookIn", ControlKind::kLabel, "frameSettings", 210, 1050, 1185, 270, "Look In Fields:"},
    {"cmdChooseFields", ControlKind::kButton, "frameSettings", 1425, 1005, 1455, 345,
     "Choose Fields..."},
    {"lblSearchIn", ControlKind::kLabel, "frameSettings", 210, 1425, 1785, 225,
     "Search In Folders:"},
    {"lstFolderList", ControlKind::kListBox, "frameSettings", 195, 1680, 4305, 1425, ""},
    {"Picture3", ControlKind::kPictureBox, "frameSettings", 4575, 1425, 2220, 2460, ""},
    {"cmdChooseFolder", ControlKind::kButton, "Picture3", 75, 315, 1995, 360, "Choose Folder..."},
    {"cmdChooseMultiFolder", ControlKind::kButton, "Picture3", 75, 735, 1995, 360,
     "Choose Multi Folders..."},
    {"frameWarning", ControlKind::kFrame, "Picture3", 90, 1275, 1980, 1125, "Warning"},
    {"Label1", ControlKind::kLabel, "frameWarning", 180, 315, 1650, 615,
     "Make backups before running this utility.", true},
    {"Picture1", ControlKind::kPictureBox, "frameSettings", 45, 1635, 6735, 3240, ""},
    {"cmdReplace", ControlKind::kButton, "Picture1", 585, 1710, 1650, 375, "Replace"},
    {"frameProgress", ControlKind::kFrame, "Picture1", 30, 2235, 6675, 990, "Progress"},
    {"lblFolderName", ControlKind::kLabel, "frameProgress", 135, 270, 6420, 225, "Folder Name"},
    {"ProgressBar1", ControlKind::kProgressBar, "frameProgress", 135, 585, 6420, 255, ""},
    // A rectangle drawn around frameSettings, 45 twips outside it.
    {"Line4", ControlKind::kLine, "", 45, 45, 6930, 0, ""},
    {"Line6", ControlKind::kLine, "", 6975, 45, 0, 5040, ""},
    {"Line7", ControlKind::kLine, "", 45, 5085, 6930, 0, ""},
    {"Line8", ControlKind::kLine, "", 45, 45, 0, 5040, ""},
}};

}  // namespace tidewell
