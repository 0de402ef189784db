// Where a control of a form sits, for views that draw it: one row type for
// the options page (kPageLayout) and the field chooser (LookInFieldsLayout()).
//
// A table lists its controls in creation order, a container before what it
// holds. Positions are twips (1/1440 inch; 15 to a pixel at 96 dots per inch)
// relative to the container; "" as container is the form itself.
//
//   for (const ControlLayout& row : kPageLayout) {
//     QWidget* parent = row.container[0] ? widgets.at(row.container) : page;
//     ...
//   }
//
// A kLine row is the segment from (left, top) to (left + width, top + height),
// so one of its width and height is 0. A kTabControl row's caption holds its
// tab captions joined by "|"; its kPage rows follow in tab order and share one
// place, one shown at a time.
#pragma once

#include <cstdint>

namespace tidewell {

enum class ControlKind {
  kFrame,
  kLabel,
  kTextBox,
  kCheckBox,
  kButton,
  kListBox,
  kComboBox,
  kPictureBox,
  kTabControl,
  kPage,
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
  bool bold = false;    // in the bold face of the form's font
};

}  // namespace tidewell
