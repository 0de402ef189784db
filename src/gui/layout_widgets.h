// Qt widgets from layout rows (controls/layout.h), for the options page and
// the field chooser alike.
//
//   std::map<std::string, QWidget*> widgets = BuildLayout(
//       kPageLayout, view, ScreenDpi(), kPageFontPoints,
//       [&](const ControlLayout& row, QWidget* parent) {
//         return MakeControlWidget(row, page.FindControl(row.name), parent, onFailure);
//       });
#pragma once

#include <QWidget>
#include <functional>
#include <map>
#include <span>
#include <string>

#include "controls/controls.h"
#include "controls/layout.h"
#include "gui/control_binding.h"

namespace tidewell::gui {

using WidgetMaker = std::function<QWidget*(const ControlLayout& row, QWidget* parent)>;

// Makes the widget of every row with `make`, in table order, inside the
// widget of its container (`form` for ""), named after the row, at its place
// at `dpi`; a line gets at least the one pixel it is drawn with, a bold row
// the bold face of the form's font at `fontPoints`. Returns the widgets by
// name. A container named before it has been made throws std::out_of_range.
std::map<std::string, QWidget*> BuildLayout(std::span<const ControlLayout> rows, QWidget* form,
                                            double dpi, double fontPoints, const WidgetMaker& make);

// The widget of one row of any kind but a tab control or its pages, mirroring
// `control` both ways (control_binding.h). Without a control a frame or label
// shows the row's caption as plain text and a picture box or line is bare;
// any other kind then throws std::logic_error, as does a control of the wrong
// class for the row's kind.
QWidget* MakeControlWidget(const ControlLayout& row, Control* control, QWidget* parent,
                           const FailureHandler& onFailure);

}  // namespace tidewell::gui
