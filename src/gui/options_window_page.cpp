// Which view the window shows: the start view before a store is open, else
// the page in its tab, built anew over each store opened.
#include <QSignalBlocker>

#include "app/discovery/store_configs.h"
#include "gui/options_window.h"
#include "gui/qt_ui.h"
#include "gui/start_view.h"
#include "page/page_layout.h"

namespace tidewell::gui {

namespace {

constexpr const char* kPageTab = "Search And Replace";

// The host object the page is given: the client and its folders come from
// the stores, the status and the help go to the window.
class WindowHost : public Host {
 public:
  WindowHost(Host& stores, OptionsWindow& window) : stores_(stores), window_(window) {}

  std::shared_ptr<Application> OutlookApplication() override {
    return stores_.OutlookApplication();
  }
  void OnStatusChange() override { window_.PageStatusChanged(); }
  FolderLookup& engine() override { return stores_.engine(); }
  void SetHotHelp(const std::string& helpText, const std::string&) override {
    window_.ShowHotHelp(helpText);
  }

 private:
  Host& stores_;
  OptionsWindow& window_;
};

}  // namespace

void OptionsWindow::ShowStart() {
  DropPage();
  delete start_;
  auto* start = new StartView(
      FindStores(ProcessEnvironment()),
      [this](const std::vector<std::string>& roots) { OpenStores(roots, false); },
      [this] { OpenFolder(); }, [this] { ConnectToServer(); }, views_);
  start->ShowServers(FindServers(ProcessEnvironment()),
                     [this](const std::string& url) { OpenStores({url}); });
  start_ = start;
  views_->insertWidget(0, start_);
  views_->setCurrentWidget(start_);
  UpdateActions();
}

void OptionsWindow::BuildPage(Components& components, Host& stores) {
  DropPage();
  components_ = &components;
  page_ = std::make_unique<UC1>(components);
  {
    const QSignalBlocker quiet(regex_action_);
    regex_action_->setChecked(RegexSetting(components.Settings(), components.Support()));
  }
  view_ = new PageView(*page_, [this](const std::exception& failure) { ShowFailure(failure); });
  tabs_->addTab(view_, QString::fromLatin1(kPageTab));
  view_->installEventFilter(this);
  // The page is built after the buttons below it; Tab must still go through
  // it first, in its own order, then to the buttons.
  QWidget* previous = tabs_->tabBar();
  for (const ControlLayout& row : kPageLayout) {
    QWidget* widget = view_->Widget(row.name);
    if ((widget->focusPolicy() & Qt::TabFocus) == 0) continue;
    setTabOrder(previous, widget);
    previous = widget;
  }
  setTabOrder(previous, preview_);
  setTabOrder(preview_, history_);
  setTabOrder(history_, undo_);
  view_->Widget(page_->txtSearchFor.Name())->setFocus(Qt::OtherFocusReason);
  page_->SetHost(std::make_shared<WindowHost>(stores, *this));
  page_->cmdReplace.Click = [this, click = page_->cmdReplace.Click] { Replace(click); };
  if (auto* qt = dynamic_cast<QtUi*>(&ui_)) qt->SetPage(view_);

  for (QPushButton* button : {preview_, history_, undo_}) button->setVisible(env_ != nullptr);
  run_report_->hide();
  views_->setCurrentWidget(page_area_);
  if (start_ != nullptr) {
    start_->deleteLater();
    start_ = nullptr;
  }
  UpdateActions();
}

void OptionsWindow::DropPage() {
  if (!page_) return;
  page_->Terminate();
  // The view's widgets call into the page; they must go first.
  tabs_->removeTab(tabs_->indexOf(view_));
  delete view_;
  view_ = nullptr;
  page_.reset();
  components_ = nullptr;
}

}  // namespace tidewell::gui
