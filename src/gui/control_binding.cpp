#include "gui/control_binding.h"

#include <QPointer>
#include <QSignalBlocker>
#include <string>
#include <utility>
#include <vector>

namespace tidewell::gui {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// Shows `control` in `widget` now and after every change; `sync` copies the
// properties of the control's own kind.
template <typename Widget, typename Sync>
void Mirror(Control& control, Widget* widget, Sync sync) {
  QPointer<Widget> guard(widget);
  auto show = [&control, guard, sync = std::move(sync)] {
    if (!guard) return;
    guard->setEnabled(control.Enabled());
    guard->setVisible(control.Visible());
    sync(*guard);
  };
  show();
  control.AddObserver(std::move(show));
}

Qt::CheckState CheckStateOf(int16_t value) {
  switch (value) {
    case 1:
      return Qt::Checked;
    case 2:
      return Qt::PartiallyChecked;
    default:
      return Qt::Unchecked;
  }
}

void ShowValue(const CheckBox& box, QCheckBox& widget) {
  widget.setTristate(box.Value() == 2);
  widget.setCheckState(CheckStateOf(box.Value()));
}

bool SameItems(const std::vector<std::string>& items, int count,
               const std::function<QString(int)>& itemText) {
  if (static_cast<int>(items.size()) != count) return false;
  for (int i = 0; i < count; ++i) {
    if (itemText(i) != Q(items[static_cast<size_t>(i)])) return false;
  }
  return true;
}

}  // namespace

void Guarded(const FailureHandler& onFailure, const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& failure) {
    if (onFailure) onFailure(failure);
  }
}

void BindLabel(Label& label, QLabel* widget) {
  // Plain text: a folder named "R&D" shows its ampersand.
  widget->setTextFormat(Qt::PlainText);
  Mirror(label, widget, [&label](QLabel& w) { w.setText(Q(label.Caption())); });
}

void BindFrame(Frame& frame, QGroupBox* widget) {
  Mirror(frame, widget, [&frame](QGroupBox& w) { w.setTitle(Q(frame.Caption())); });
}

void BindContainer(Control& control, QWidget* widget) {
  Mirror(control, widget, [](QWidget&) {});
}

void BindButton(Button& button, QPushButton* widget, FailureHandler onFailure) {
  Mirror(button, widget, [&button](QPushButton& w) { w.setText(Q(button.Caption())); });
  QObject::connect(widget, &QPushButton::clicked, widget,
                   [&button, onFailure] { Guarded(onFailure, [&button] { button.Press(); }); });
}

void BindCheckBox(CheckBox& box, QCheckBox* widget, FailureHandler onFailure) {
  Mirror(box, widget, [&box](QCheckBox& w) {
    w.setText(Q(box.Caption()));
    ShowValue(box, w);
  });
  QPointer<QCheckBox> guard(widget);
  QObject::connect(widget, &QCheckBox::clicked, widget, [&box, guard, onFailure] {
    Guarded(onFailure, [&box] { box.SetValue(box.Value() == 1 ? 0 : 1); });
    // Qt has already moved the box to its own next state; show the model's.
    if (guard) ShowValue(box, *guard);
  });
}

void BindTextBox(TextBox& box, QLineEdit* widget, FailureHandler onFailure) {
  Mirror(box, widget, [&box](QLineEdit& w) {
    if (w.text() != Q(box.Text())) w.setText(Q(box.Text()));
  });
  QObject::connect(widget, &QLineEdit::textEdited, widget, [&box, onFailure](const QString& text) {
    Guarded(onFailure, [&box, &text] { box.SetText(text.toStdString()); });
  });
}

void BindListBox(ListBox& box, QListWidget* widget) {
  Mirror(box, widget, [&box](QListWidget& w) {
    if (SameItems(box.List(), w.count(), [&w](int i) { return w.item(i)->text(); })) return;
    w.clear();
    for (const std::string& item : box.List()) w.addItem(Q(item));
  });
}

void BindComboBox(ComboBox& box, QComboBox* widget, FailureHandler onFailure) {
  // Enter in the box must not grow the list: the list is the model's.
  widget->setInsertPolicy(QComboBox::NoInsert);
  Mirror(box, widget, [&box](QComboBox& w) {
    const QSignalBlocker quiet(&w);
    if (!SameItems(box.List(), w.count(), [&w](int i) { return w.itemText(i); })) {
      w.clear();
      for (const std::string& item : box.List()) w.addItem(Q(item));
    }
    if (w.currentText() != Q(box.Text())) w.setEditText(Q(box.Text()));
  });
  QObject::connect(widget, &QComboBox::editTextChanged, widget,
                   [&box, onFailure](const QString& text) {
                     Guarded(onFailure, [&box, &text] { box.SetText(text.toStdString()); });
                   });
}

void BindProgressBar(ProgressBar& bar, QProgressBar* widget) {
  widget->setTextVisible(false);
  Mirror(bar, widget, [&bar](QProgressBar& w) {
    w.setRange(bar.Min(), bar.Max());
    w.setValue(bar.Value());
  });
}

}  // namespace tidewell::gui
