#include "gui/page_view.h"

#include <QEvent>
#include <QFrame>
#include <QMouseEvent>
#include <QPointer>
#include <algorithm>
#include <stdexcept>

#include "gui/classic_form.h"
#include "page/page_layout.h"

namespace tidewell::gui {

namespace {

template <typename Kind>
Kind& As(Control* control, const char* name) {
  auto* typed = dynamic_cast<Kind*>(control);
  if (typed == nullptr) {
    throw std::logic_error(std::string("The page has no control of the right kind for ") + name);
  }
  return *typed;
}

}  // namespace

PageView::PageView(UC1& page, FailureHandler onFailure, QWidget* parent)
    : QWidget(parent), page_(page), on_failure_(std::move(onFailure)) {
  setObjectName(QStringLiteral("UC1"));
  setFont(ClassicFont(kPageFontPoints, false));
  const double dpi = ScreenDpi();

  int32_t right = 0;
  int32_t bottom = 0;
  int32_t margin_left = INT32_MAX;
  int32_t margin_top = INT32_MAX;
  for (const ControlLayout& row : kPageLayout) {
    const bool onPage = row.container[0] == '\0';
    QWidget* container = onPage ? this : widgets_.at(row.container);
    QWidget* widget = MakeWidget(row, container);
    widget->setObjectName(QString::fromLatin1(row.name));
    QRect place = TwipsRect(row.left, row.top, row.width, row.height, dpi);
    if (row.kind == ControlKind::kLine) {
      // A line is a segment; give it the one pixel it is drawn with.
      place.setWidth(std::max(place.width(), 1));
      place.setHeight(std::max(place.height(), 1));
    }
    widget->setGeometry(place);
    if (row.bold) widget->setFont(ClassicFont(kPageFontPoints, true));
    widgets_[row.name] = widget;
    if (onPage) {
      right = std::max(right, row.left + row.width);
      bottom = std::max(bottom, row.top + row.height);
      margin_left = std::min(margin_left, row.left);
      margin_top = std::min(margin_top, row.top);
    }
  }
  // Picture1 overlaps the folder list and Picture3; they must stay on top
  // of it to be seen and clicked.
  widgets_.at("Picture1")->lower();

  // As wide and high as what it holds, with the margin of its left and top
  // edges kept on the right and at the bottom too.
  extent_ = QSize(TwipsToPixels(right + margin_left, dpi), TwipsToPixels(bottom + margin_top, dpi));
  setMinimumSize(extent_);

  page_.txtSearchFor.AddObserver([guard = QPointer<PageView>(this)] {
    if (guard) guard->ShowPatternFault();
  });
  ShowPatternFault();
  WatchMouse(this);
}

QWidget* PageView::MakeWidget(const ControlLayout& row, QWidget* parent) {
  if (row.kind == ControlKind::kLine) {
    auto* line = new QFrame(parent);
    line->setFrameShape(row.height == 0 ? QFrame::HLine : QFrame::VLine);
    line->setFrameShadow(QFrame::Plain);
    return line;
  }

  Control* control = page_.FindControl(row.name);
  if (control == nullptr) {
    throw std::logic_error(std::string("The page has no control named ") + row.name);
  }
  QWidget* widget = nullptr;
  switch (row.kind) {
    case ControlKind::kFrame: {
      auto* box = new QGroupBox(parent);
      BindFrame(As<Frame>(control, row.name), box);
      widget = box;
      break;
    }
    case ControlKind::kLabel: {
      auto* label = new QLabel(parent);
      label->setWordWrap(true);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      BindLabel(As<Label>(control, row.name), label);
      widget = label;
      break;
    }
    case ControlKind::kTextBox: {
      auto* edit = new QLineEdit(parent);
      BindTextBox(As<TextBox>(control, row.name), edit, on_failure_);
      widget = edit;
      break;
    }
    case ControlKind::kCheckBox: {
      auto* box = new QCheckBox(parent);
      FitIndicator(box);
      BindCheckBox(As<CheckBox>(control, row.name), box, on_failure_);
      widget = box;
      break;
    }
    case ControlKind::kButton: {
      auto* button = new QPushButton(parent);
      button->setAutoDefault(false);
      BindButton(As<Button>(control, row.name), button, on_failure_);
      widget = button;
      break;
    }
    case ControlKind::kListBox: {
      auto* list = new QListWidget(parent);
      BindListBox(As<ListBox>(control, row.name), list);
      widget = list;
      break;
    }
    case ControlKind::kPictureBox: {
      widget = new QWidget(parent);
      BindContainer(*control, widget);
      break;
    }
    case ControlKind::kProgressBar: {
      auto* bar = new QProgressBar(parent);
      BindProgressBar(As<ProgressBar>(control, row.name), bar);
      widget = bar;
      break;
    }
    case ControlKind::kLine:
      break;
  }
  controls_[widget] = control;
  return widget;
}

QWidget* PageView::Widget(const std::string& name) const {
  auto found = widgets_.find(name);
  return found == widgets_.end() ? nullptr : found->second;
}

void PageView::ShowPatternFault() {
  auto* edit = static_cast<QLineEdit*>(widgets_.at(page_.txtSearchFor.Name()));
  const std::string fault = page_.regularExpressions->Check(page_.txtSearchFor.Text());
  edit->setToolTip(QString::fromStdString(fault));
  QPalette palette = edit->parentWidget()->palette();
  if (!fault.empty()) palette.setColor(QPalette::Text, Qt::red);
  edit->setPalette(palette);
}

void PageView::WatchMouse(QWidget* root) {
  root->setMouseTracking(true);
  root->installEventFilter(this);
  for (QWidget* child : root->findChildren<QWidget*>()) {
    child->setMouseTracking(true);
    child->installEventFilter(this);
  }
}

bool PageView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::MouseMove) return false;
  auto* widget = static_cast<QWidget*>(watched);
  // Qt passes a move the widget under the mouse ignores on to its
  // container; only the widget under the mouse may raise the event, and only
  // while it is enabled, as a classic control does.
  const auto* move = static_cast<QMouseEvent*>(event);
  QWidget* top = widget->window();
  if (top->childAt(top->mapFromGlobal(move->globalPosition().toPoint())) != widget) return false;
  if (!widget->isEnabled()) return false;
  for (QWidget* w = widget; w != nullptr && w != this; w = w->parentWidget()) {
    auto found = controls_.find(w);
    if (found == controls_.end()) continue;
    Control* control = found->second;
    Guarded(on_failure_, [control] { control->RaiseMouseMove(); });
    break;
  }
  return false;
}

}  // namespace tidewell::gui
