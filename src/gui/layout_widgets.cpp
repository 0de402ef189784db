#include "gui/layout_widgets.h"

#include <QFrame>
#include <algorithm>
#include <stdexcept>

#include "gui/classic_form.h"

namespace tidewell::gui {

namespace {

template <typename Kind>
Kind& As(Control* control, const ControlLayout& row) {
  auto* typed = dynamic_cast<Kind*>(control);
  if (typed == nullptr) {
    throw std::logic_error(std::string("No control of the right kind for ") + row.name);
  }
  return *typed;
}

}  // namespace

std::map<std::string, QWidget*> BuildLayout(std::span<const ControlLayout> rows, QWidget* form,
                                            double dpi, double fontPoints,
                                            const WidgetMaker& make) {
  std::map<std::string, QWidget*> widgets;
  for (const ControlLayout& row : rows) {
    QWidget* container = row.container[0] == '\0' ? form : widgets.at(row.container);
    QWidget* widget = make(row, container);
    widget->setObjectName(QString::fromLatin1(row.name));
    QRect place = TwipsRect(row.left, row.top, row.width, row.height, dpi);
    if (row.kind == ControlKind::kLine) {
      place.setWidth(std::max(place.width(), 1));
      place.setHeight(std::max(place.height(), 1));
    }
    widget->setGeometry(place);
    if (row.bold) widget->setFont(ClassicFont(fontPoints, true));
    widgets[row.name] = widget;
  }
  return widgets;
}

QWidget* MakeControlWidget(const ControlLayout& row, Control* control, QWidget* parent,
                           const FailureHandler& onFailure) {
  const bool bare = control == nullptr;
  switch (row.kind) {
    case ControlKind::kFrame: {
      auto* box = new QGroupBox(parent);
      if (bare) {
        box->setTitle(QString::fromUtf8(row.caption));
      } else {
        BindFrame(As<Frame>(control, row), box);
      }
      return box;
    }
    case ControlKind::kLabel: {
      auto* label = new QLabel(parent);
      label->setWordWrap(true);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      if (bare) {
        label->setTextFormat(Qt::PlainText);
        label->setText(QString::fromUtf8(row.caption));
      } else {
        BindLabel(As<Label>(control, row), label);
      }
      return label;
    }
    case ControlKind::kPictureBox: {
      auto* box = new QWidget(parent);
      if (!bare) BindContainer(*control, box);
      return box;
    }
    case ControlKind::kLine: {
      auto* line = new QFrame(parent);
      line->setFrameShape(row.height == 0 ? QFrame::HLine : QFrame::VLine);
      line->setFrameShadow(QFrame::Plain);
      return line;
    }
    case ControlKind::kTextBox: {
      auto* edit = new QLineEdit(parent);
      BindTextBox(As<TextBox>(control, row), edit, onFailure);
      return edit;
    }
    case ControlKind::kCheckBox: {
      auto* box = new QCheckBox(parent);
      FitIndicator(box);
      BindCheckBox(As<CheckBox>(control, row), box, onFailure);
      return box;
    }
    case ControlKind::kButton: {
      auto* button = new QPushButton(parent);
      button->setAutoDefault(false);
      BindButton(As<Button>(control, row), button, onFailure);
      return button;
    }
    case ControlKind::kListBox: {
      auto* list = new QListWidget(parent);
      BindListBox(As<ListBox>(control, row), list);
      return list;
    }
    case ControlKind::kComboBox: {
      auto* box = new QComboBox(parent);
      box->setEditable(true);
      BindComboBox(As<ComboBox>(control, row), box, onFailure);
      return box;
    }
    case ControlKind::kProgressBar: {
      auto* bar = new QProgressBar(parent);
      BindProgressBar(As<ProgressBar>(control, row), bar);
      return bar;
    }
    case ControlKind::kTabControl:
    case ControlKind::kPage:
      break;
  }
  throw std::logic_error(std::string("No plain widget for the tab control part ") + row.name);
}

}  // namespace tidewell::gui
