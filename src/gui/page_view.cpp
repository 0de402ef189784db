#include "gui/page_view.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QResizeEvent>
#include <algorithm>
#include <stdexcept>

#include "gui/classic_form.h"
#include "gui/layout_widgets.h"
#include "page/page_layout.h"

namespace tidewell::gui {

namespace {

// How a widget follows the extra room of a grown page: each field is 0 or 1,
// the share of the extra width (dx) or height (dy) added to its edge.
struct Stretch {
  const char* name;
  int x_dx, width_dx, y_dy, height_dy;
};
constexpr Stretch kStretches[] = {
    {"frameSettings", 0, 1, 0, 1}, {"lstFolderList", 0, 1, 0, 1}, {"Picture3", 1, 0, 0, 0},
    {"Picture1", 0, 1, 0, 1},      {"cmdReplace", 0, 0, 1, 0},    {"frameProgress", 0, 1, 1, 0},
    {"lblFolderName", 0, 1, 0, 0}, {"ProgressBar1", 0, 1, 0, 0},  {"Line4", 0, 1, 0, 0},
    {"Line6", 1, 0, 0, 1},         {"Line7", 0, 1, 1, 0},         {"Line8", 0, 0, 0, 1},
};

// What each control is and does, for assistive technology.
struct Accessible {
  const char* name;
  const char* accessible_name;
  const char* description;
};
constexpr Accessible kAccessible[] = {
    {"frameSettings", "Search And Replace", "The settings of a search and replace run."},
    {"lblSearchFor", "Search For", "Names the box of the text to look for."},
    {"txtSearchFor", "Search For",
     "The text or pattern to look for in the chosen fields of each item."},
    {"chkCaseSensitive", "Case sensitive", "When ticked, upper and lower case must match too."},
    {"lblReplaceWith", "Replace With", "Names the box of the text put in place of each match."},
    {"txtReplaceWith", "Replace With", "The text put in place of each match."},
    {"lblLookIn", "Look In Fields", "Names the button that chooses the fields to search."},
    {"cmdChooseFields", "Choose Fields",
     "Chooses the fields of contacts, appointments and tasks that are searched."},
    {"lblSearchIn", "Search In Folders", "Names the list of the folders to search."},
    {"lstFolderList", "Search In Folders", "The folders a run searches, in order."},
    {"Picture3", "Folders", "The buttons that choose the folders to search."},
    {"cmdChooseFolder", "Choose Folder", "Chooses one folder to search, in place of the list."},
    {"cmdChooseMultiFolder", "Choose Multi Folders",
     "Chooses several folders to search, in place of the list."},
    {"frameWarning", "Warning", "A warning before running."},
    {"Label1", "Make backups before running this utility.",
     "Make backups before running this utility."},
    {"Picture1", "Run", "The Replace button and the progress of a run."},
    {"cmdReplace", "Replace",
     "Replaces every match in the chosen fields of the folders listed, after asking."},
    {"frameProgress", "Progress", "The folder a run is in and how far it is."},
    {"lblFolderName", "Run status", "The folder being searched, then what the run changed."},
    {"ProgressBar1", "Progress", "How many items of the folder the run has checked."},
};

const Accessible& AccessibleRow(const std::string& name) {
  for (const Accessible& row : kAccessible) {
    if (name == row.name) return row;
  }
  throw std::logic_error("No accessible name for " + name);
}

}  // namespace

PageView::PageView(UC1& page, FailureHandler onFailure, QWidget* parent)
    : QWidget(parent), page_(page), on_failure_(std::move(onFailure)) {
  setObjectName(QStringLiteral("UC1"));
  setFont(ClassicFont(kPageFontPoints, false));
  const double dpi = ScreenDpi();

  widgets_ = BuildLayout(
      kPageLayout, this, dpi, kPageFontPoints,
      [this](const ControlLayout& row, QWidget* container) { return MakeWidget(row, container); });
  int32_t right = 0;
  int32_t bottom = 0;
  int32_t margin_left = INT32_MAX;
  int32_t margin_top = INT32_MAX;
  for (const ControlLayout& row : kPageLayout) {
    QWidget* widget = widgets_.at(row.name);
    places_[widget] = widget->geometry();
    if (row.container[0] == '\0') {
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

  for (const Accessible& row : kAccessible) {
    QWidget* widget = widgets_.at(row.name);
    widget->setAccessibleName(QString::fromUtf8(row.accessible_name));
    widget->setAccessibleDescription(QString::fromUtf8(row.description));
  }

  fault_ = new QLabel(this);
  fault_->setObjectName(QStringLiteral("PatternFault"));
  fault_->setTextFormat(Qt::PlainText);
  fault_->setWordWrap(true);
  fault_->setAttribute(Qt::WA_TransparentForMouseEvents);
  fault_->setAccessibleName(QStringLiteral("Pattern fault"));
  fault_->setAccessibleDescription(QStringLiteral("Why the search text is no valid pattern"));
  fault_->setStyleSheet(
      QStringLiteral("QLabel { background: #fdecea; color: #8a1c12; border: 1px solid #f0b4ad;"
                     " border-radius: 4px; padding: 2px 6px; }"));
  fault_->hide();

  page_.txtSearchFor.AddObserver([guard = QPointer<PageView>(this)] {
    if (guard) guard->ShowPatternFault();
  });
  ShowPatternFault();
  WatchMouse(this);
}

QWidget* PageView::MakeWidget(const ControlLayout& row, QWidget* parent) {
  if (row.kind == ControlKind::kLine) return MakeControlWidget(row, nullptr, parent, on_failure_);
  Control* control = page_.FindControl(row.name);
  if (control == nullptr) {
    throw std::logic_error(std::string("The page has no control named ") + row.name);
  }
  QWidget* widget = MakeControlWidget(row, control, parent, on_failure_);
  controls_[widget] = control;
  return widget;
}

QWidget* PageView::Widget(const std::string& name) const {
  auto found = widgets_.find(name);
  return found == widgets_.end() ? nullptr : found->second;
}

void PageView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int dx = std::max(0, width() - extent_.width());
  const int dy = std::max(0, height() - extent_.height());
  for (const Stretch& stretch : kStretches) {
    QWidget* widget = widgets_.at(stretch.name);
    const QRect place = places_.at(widget);
    widget->setGeometry(place.x() + stretch.x_dx * dx, place.y() + stretch.y_dy * dy,
                        place.width() + stretch.width_dx * dx,
                        place.height() + stretch.height_dy * dy);
  }
}

void PageView::ShowPatternFault() {
  auto* edit = static_cast<QLineEdit*>(widgets_.at(page_.txtSearchFor.Name()));
  const std::string fault = page_.regularExpressions->Check(page_.txtSearchFor.Text());
  edit->setToolTip(QString::fromStdString(fault));
  // A screen reader cannot see red: the fault is read with the box.
  QString description = QString::fromUtf8(AccessibleRow(page_.txtSearchFor.Name()).description);
  if (!fault.empty()) description += QLatin1Char(' ') + QString::fromStdString(fault);
  edit->setAccessibleDescription(description);
  QPalette palette = edit->parentWidget()->palette();
  if (!fault.empty()) palette.setColor(QPalette::Text, Qt::red);
  edit->setPalette(palette);

  fault_->setText(QString::fromStdString(fault));
  fault_->setVisible(!fault.empty());
  if (fault.empty()) return;
  const QRect field(edit->mapTo(this, QPoint(0, 0)), edit->size());
  // Up to the page's right margin: a two-line note would cover more below.
  fault_->setFixedWidth(std::max(field.width(), extent_.width() - field.left() - field.height()));
  fault_->adjustSize();
  fault_->move(field.left(), field.bottom() + 2);
  fault_->raise();
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
