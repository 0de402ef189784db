// Mirrors the toolkit-neutral controls (controls/controls.h) into Qt widgets.
//
// Each Bind* makes the widget show the control now and after every change of
// it (caption, text, value, list, Enabled, Visible), and feeds the user's
// input back through the control's own setters and Press, so the page sees
// the same events whether a user or a program made the change:
//
//   auto* edit = new QLineEdit(parent);
//   BindTextBox(page.txtSearchFor, edit, onFailure);
//   // typing "555" calls page.txtSearchFor.SetText("555"): Change, SetDirty
//   page.txtSearchFor.SetText("(555)");   // the edit shows "(555)"
//
// A handler that fails while it serves user input (a Choose Fields button
// whose dialog cannot be built, say) never unwinds through Qt: its failure
// goes to `onFailure`. The bindings hold the widget weakly, so a control may
// outlive its widget.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <exception>
#include <functional>

#include "controls/controls.h"

namespace tidewell::gui {

using FailureHandler = std::function<void(const std::exception&)>;

// Runs `action`, handing any std::exception it throws to `onFailure`.
void Guarded(const FailureHandler& onFailure, const std::function<void()>& action);

void BindLabel(Label& label, QLabel* widget);
void BindFrame(Frame& frame, QGroupBox* widget);
// A container without properties of its own: Enabled and Visible only.
void BindContainer(Control& control, QWidget* widget);
void BindButton(Button& button, QPushButton* widget, FailureHandler onFailure);
// A click ticks a cleared or grayed box and clears a ticked one, as a classic
// check box does; a grayed value shows as Qt's partially checked state.
void BindCheckBox(CheckBox& box, QCheckBox* widget, FailureHandler onFailure);
void BindTextBox(TextBox& box, QLineEdit* widget, FailureHandler onFailure);
void BindListBox(ListBox& box, QListWidget* widget);
// The widget must be editable; typing and choosing from the list both set
// the control's Text.
void BindComboBox(ComboBox& box, QComboBox* widget, FailureHandler onFailure);
void BindProgressBar(ProgressBar& bar, QProgressBar* widget);

}  // namespace tidewell::gui
