// The field chooser frmLookInFields as a modal Qt dialog, "Look In Fields":
// every control of LookInFieldsLayout() at its place (twips to pixels by the
// screen's dots per inch), each widget named after its control.
//
//   frmLookInFields dialog(settings, support);
//   dialog.Form_Load();
//   FieldChooserView view(dialog, onFailure);
//   view.exec();                 // returns once OK, Cancel or a failure closed it
//
// The tab control vsIndexTab1 is a tab bar over its three pages (Picture1 to
// Picture3), which share one place; it opens on "&Contacts". Neither OK nor
// Cancel answers Enter or Escape: only a click (or its Alt mnemonic) closes
// the dialog through them. The title bar's close button closes it too and
// writes nothing, as the dialog's model says for any close but OK.
#pragma once

#include <QDialog>
#include <QTabBar>
#include <map>
#include <string>
#include <vector>

#include "fields/frm_look_in_fields.h"
#include "gui/control_binding.h"

namespace tidewell::gui {

class FieldChooserView : public QDialog {
 public:
  // `dialog` outlives the view and has been loaded (Form_Load).
  FieldChooserView(frmLookInFields& dialog, FailureHandler onFailure, QWidget* parent = nullptr);

  // The widget of the control named `name`, or nullptr.
  QWidget* Widget(const std::string& name) const;
  QTabBar& Tabs() const { return *tabs_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QWidget* MakeWidget(const ControlLayout& row, QWidget* parent);
  Button* FindButton(const std::string& name);
  void ShowPage(int index);

  frmLookInFields& dialog_;
  FailureHandler on_failure_;
  std::map<std::string, QWidget*> widgets_;
  std::vector<QWidget*> pages_;
  QTabBar* tabs_ = nullptr;
  double dpi_;
};

}  // namespace tidewell::gui
