// The options page UC1 as Qt widgets: every control of kPageLayout at its
// place, twips turned into pixels by the screen's dots per inch, with its
// caption, nesting and the classic font (Label1 bold). Each widget's
// objectName is its control's name.
//
//   UC1 page(components);
//   PageView view(page, [](const std::exception& e) { ... });
//   view.Widget("txtSearchFor");      // the QLineEdit of page.txtSearchFor
//
// The view and the page mirror each other both ways (control_binding.h); a
// mouse move over a control's widget raises that control's MouseMove, which
// is how the page's hot help reaches the host. Moves over a widget that
// belongs to no control with a handler (the frames, Label1, ProgressBar1)
// change nothing: they are not passed on to the container.
//
// The view may grow past its size: the extra width goes to the folder list,
// the frames around it and the progress frame, the extra height to the
// folder list, with Replace and the progress frame moving down under it.
// Everything else keeps its place and size, so the page reads as before.
//
// Every control has an accessible name and description, for screen readers
// and the like: the name says what it is, as its caption or the label in
// front of it does; the description what it does.
//
// While the search text is not a valid pattern, txtSearchFor shows its text
// in red and the pattern's fault, e.g. "Invalid pattern: '[' at position 3 is
// never closed.", stands in a note under it ("PatternFault", over the fields
// below, which stay clickable through it) and in its tooltip. The page
// itself runs whatever it is given; this is a hint for the user only.
#pragma once

#include <QLabel>
#include <QWidget>
#include <map>
#include <string>

#include "gui/control_binding.h"
#include "page/page_layout.h"
#include "page/uc1.h"

namespace tidewell::gui {

class PageView : public QWidget {
 public:
  // `page` outlives the view. Failures of handlers run by user input go to
  // `onFailure`.
  PageView(UC1& page, FailureHandler onFailure, QWidget* parent = nullptr);

  // The widget of the control or line named `name`, or nullptr.
  QWidget* Widget(const std::string& name) const;

  QSize sizeHint() const override { return extent_; }

  // Shows whether the search text is a pattern of the page's matcher, as
  // typing does; for a host that changed the matcher.
  void ShowPatternFault();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QWidget* MakeWidget(const ControlLayout& row, QWidget* parent);
  // Every widget below `root`, its own parts included (a list's viewport),
  // reports mouse moves to this view.
  void WatchMouse(QWidget* root);

  UC1& page_;
  FailureHandler on_failure_;
  std::map<std::string, QWidget*> widgets_;
  std::map<const QWidget*, Control*> controls_;
  std::map<QWidget*, QRect> places_;  // where the layout puts each widget
  QSize extent_;
  QLabel* fault_;
};

}  // namespace tidewell::gui
