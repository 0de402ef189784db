#include "gui/field_chooser_view.h"

#include <QKeyEvent>
#include <QStyleOptionTabWidgetFrame>
#include <QStylePainter>
#include <array>
#include <stdexcept>

#include "gui/classic_form.h"
#include "gui/layout_widgets.h"

namespace tidewell::gui {

namespace {

// The frame a tab control draws around its pages.
class TabPane : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    QStyleOptionTabWidgetFrame frame;
    frame.initFrom(this);
    painter.drawPrimitive(QStyle::PE_FrameTabWidget, frame);
  }
};

}  // namespace

FieldChooserView::FieldChooserView(frmLookInFields& dialog, FailureHandler onFailure,
                                   QWidget* parent)
    : QDialog(parent), dialog_(dialog), on_failure_(std::move(onFailure)), dpi_(ScreenDpi()) {
  setObjectName(QStringLiteral("frmLookInFields"));
  setWindowTitle(QString::fromLatin1(kLookInFieldsCaption));
  setFont(ClassicFont(kLookInFieldsFontPoints, false));
  setFixedSize(TwipsToPixels(kLookInFieldsWidth, dpi_), TwipsToPixels(kLookInFieldsHeight, dpi_));

  widgets_ = BuildLayout(
      LookInFieldsLayout(), this, dpi_, kLookInFieldsFontPoints,
      [this](const ControlLayout& row, QWidget* container) { return MakeWidget(row, container); });
  ShowPage(0);
}

QWidget* FieldChooserView::MakeWidget(const ControlLayout& row, QWidget* parent) {
  switch (row.kind) {
    case ControlKind::kTabControl: {
      auto* control = new QWidget(parent);
      tabs_ = new QTabBar(control);
      tabs_->setObjectName(QString::fromLatin1(row.name) + QStringLiteral("Tabs"));
      tabs_->setDrawBase(false);
      tabs_->setExpanding(false);
      for (const QString& tab : QString::fromUtf8(row.caption).split(QLatin1Char('|'))) {
        tabs_->addTab(tab);
      }
      connect(tabs_, &QTabBar::currentChanged, this, &FieldChooserView::ShowPage);
      return control;
    }
    case ControlKind::kPage: {
      if (pages_.empty()) {
        // The strip of tabs fills the band above the pages; the pane frames them.
        const QRect place = TwipsRect(row.left, row.top, row.width, row.height, dpi_);
        tabs_->setGeometry(0, 0, parent->width(), place.top());
        auto* pane = new TabPane(parent);
        pane->setGeometry(0, place.top(), parent->width(), parent->height() - place.top());
      }
      auto* page = new QWidget(parent);
      pages_.push_back(page);
      return page;
    }
    case ControlKind::kComboBox:
      return MakeControlWidget(row, &dialog_.cboSpecialInstructions, parent, on_failure_);
    case ControlKind::kCheckBox:
      // Check boxes are named "chk" + their catalog key.
      return MakeControlWidget(row, &dialog_.chk(std::string(row.name).substr(3)), parent,
                               on_failure_);
    case ControlKind::kButton: {
      QWidget* button = MakeControlWidget(row, FindButton(row.name), parent, on_failure_);
      // After the model's own handler: OK, Cancel or a failed store closed it.
      connect(static_cast<QPushButton*>(button), &QPushButton::clicked, this, [this] {
        if (!dialog_.IsOpen()) accept();
      });
      return button;
    }
    default:
      // Frames and labels show their captions and nothing else.
      return MakeControlWidget(row, nullptr, parent, on_failure_);
  }
}

Button* FieldChooserView::FindButton(const std::string& name) {
  const std::array<Button*, 11> buttons{&dialog_.cmdOk,
                                        &dialog_.cmdCancel,
                                        &dialog_.cmdContactSelectAllFields,
                                        &dialog_.cmdContactClearAllFields,
                                        &dialog_.cmdContactPhoneNumbers,
                                        &dialog_.cmdContactZipPostalCodes,
                                        &dialog_.cmdContactEmailAddresses,
                                        &dialog_.cmdAppointmentSelectAllFields,
                                        &dialog_.cmdAppointmentClearAllFields,
                                        &dialog_.cmdTaskSelectAllFields,
                                        &dialog_.cmdTaskClearAllFields};
  for (Button* button : buttons) {
    if (button->Name() == name) return button;
  }
  throw std::logic_error("The field chooser has no button named " + name);
}

QWidget* FieldChooserView::Widget(const std::string& name) const {
  auto found = widgets_.find(name);
  return found == widgets_.end() ? nullptr : found->second;
}

void FieldChooserView::ShowPage(int index) {
  for (size_t i = 0; i < pages_.size(); ++i) pages_[i]->setVisible(static_cast<int>(i) == index);
}

void FieldChooserView::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // Neither key is bound to OK or Cancel; QDialog would bind both.
      event->ignore();
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

}  // namespace tidewell::gui
