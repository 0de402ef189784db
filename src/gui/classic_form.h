// Classic forms in Qt: twips (1/1440 inch) to pixels by the screen's dots per
// inch, the classic form font, and check boxes that fit their classic height.
//
//   const double dpi = ScreenDpi();                  // 96 on most desktops
//   widget->setGeometry(TwipsRect(1425, 285, 3480, 315, dpi));   // 95, 19, 232, 21
//   widget->setFont(ClassicFont(8.25, false));
#pragma once

#include <QCheckBox>
#include <QFont>
#include <QRect>
#include <cstdint>

namespace tidewell::gui {

// The logical dots per inch of the primary screen (96 when there is none).
double ScreenDpi();

// `twips` in pixels at `dpi`, rounded to the nearest pixel.
int TwipsToPixels(int32_t twips, double dpi);

// A rectangle given in twips. Each edge is rounded on its own, so two
// controls that touch in twips still touch in pixels.
QRect TwipsRect(int32_t left, int32_t top, int32_t width, int32_t height, double dpi);

// The system's user-interface face at `points`: the forms' classic face is
// no part of a desktop where it is not installed, and a stand-in for it
// looks worse than the face the user chose.
QFont ClassicFont(double points, bool bold);

// Keeps the box of `box` within the widget's height: classic check boxes
// are 13 pixels high at 96 dpi, less than many styles' box, which would be
// cut off at the bottom.
void FitIndicator(QCheckBox* box);

}  // namespace tidewell::gui
