#include "gui/options_window.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QMessageBox>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include "platform/failure.h"

namespace tidewell::gui {

namespace {

constexpr const char* kWindowTitle = "Marrowby Options";
constexpr const char* kPageTab = "Search And Replace";
constexpr const char* kFailureTitle = "Marrowby";

// The host object the page is given: the client and its folders come from
// the stores, the status and the help go to the window.
class WindowHost : public Host {
 public:
  WindowHost(Host& stores, OptionsWindow& window) : stores_(stores), window_(window) {}

  std::shared_ptr<Application> OutlookApplication() override {
    return stores_.OutlookApplication();
  }
  void OnStatusChange() override { window_.PageStatusChanged(); }
  Engine& engine() override { return stores_.engine(); }
  void SetHotHelp(const std::string& helpText, const std::string&) override {
    window_.ShowHotHelp(helpText);
  }

 private:
  Host& stores_;
  OptionsWindow& window_;
};

}  // namespace

OptionsWindow::OptionsWindow(Components& components, Host& stores, QWidget* parent)
    : QDialog(parent), page_(std::make_unique<UC1>(components)) {
  setObjectName(QStringLiteral("OptionsWindow"));
  setWindowTitle(QString::fromLatin1(kWindowTitle));

  auto* tabs = new QTabWidget(this);
  tabs->setObjectName(QStringLiteral("OptionsTabs"));
  view_ = new PageView(*page_, [this](const std::exception& failure) { ShowFailure(failure); });
  tabs->addTab(view_, QString::fromLatin1(kPageTab));
  view_->installEventFilter(this);

  help_ = new QLabel(this);
  help_->setObjectName(QStringLiteral("HotHelp"));
  help_->setTextFormat(Qt::PlainText);
  help_->setWordWrap(true);
  help_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  help_->setFrameShape(QFrame::StyledPanel);
  help_->setFrameShadow(QFrame::Sunken);
  help_->setMinimumHeight(3 * help_->fontMetrics().lineSpacing() + 2 * help_->frameWidth() + 4);

  auto* buttons = new QDialogButtonBox(
      QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("HostOk"));
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("HostCancel"));
  apply_ = buttons->button(QDialogButtonBox::Apply);
  apply_->setObjectName(QStringLiteral("HostApply"));
  apply_->setEnabled(false);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    if (ApplyPage()) accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(apply_, &QPushButton::clicked, this, [this] { ApplyPage(); });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs);
  layout->addWidget(help_);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  page_->SetHost(std::make_shared<WindowHost>(stores, *this));
}

OptionsWindow::~OptionsWindow() {
  page_->Terminate();
  // The view's widgets call into the page; they must go first.
  delete view_;
}

void OptionsWindow::PageStatusChanged() { apply_->setEnabled(page_->Dirty()); }

void OptionsWindow::ShowHotHelp(const std::string& text) {
  help_->setText(QString::fromStdString(text));
}

void OptionsWindow::ShowFailure(const std::exception& failure) {
  QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kFailureTitle),
                  QString::fromStdString(DescriptionOf(failure)), QMessageBox::Ok, this);
  box.setObjectName(QStringLiteral("FailureBox"));
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

bool OptionsWindow::ApplyPage() {
  if (!page_->Dirty()) return true;
  bool applied = false;
  Guarded([this](const std::exception& failure) { ShowFailure(failure); },
          [this, &applied] {
            page_->Apply();
            applied = true;
          });
  apply_->setEnabled(page_->Dirty());
  return applied;
}

void OptionsWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Restoring a minimised window is no new showing of the page.
  if (event->spontaneous()) return;
  Guarded([this](const std::exception& failure) { ShowFailure(failure); },
          [this] { page_->Show(); });
  apply_->setEnabled(page_->Dirty());
}

bool OptionsWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view_ && event->type() == QEvent::Leave) {
    help_->clear();
    page_->SendPropMessage("ResetHelpText", "");
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace tidewell::gui
