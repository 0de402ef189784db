#include "gui/start_view.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>

namespace tidewell::gui {

namespace {
constexpr int kRootRole = Qt::UserRole;

// A path under the home folder as "~/...": shorter, and how the configs
// themselves mostly write it.
QString Shown(const std::string& path) {
  const QString shown = QString::fromStdString(path);
  const QString home = QDir::homePath();
  if (home.size() > 1 && shown.startsWith(home + QLatin1Char('/'))) {
    return QLatin1Char('~') + shown.mid(home.size());
  }
  return shown;
}

QString Joined(const std::vector<std::string>& parts) {
  QStringList joined;
  for (const std::string& part : parts) joined << Shown(part);
  return joined.join(QStringLiteral(", "));
}
}  // namespace

StartView::StartView(const std::vector<FoundStore>& found,
                     std::function<void(const std::vector<std::string>&)> open,
                     std::function<void()> openFolder, std::function<void()> connectServer,
                     QWidget* parent)
    : QWidget(parent), open_(std::move(open)) {
  setObjectName(QStringLiteral("StartView"));
  auto* heading = new QLabel(QStringLiteral("Choose the address books and calendars to search."));
  heading->setObjectName(QStringLiteral("StartHeading"));
  QFont bigger = heading->font();
  bigger.setPointSizeF(bigger.pointSizeF() * 1.25);
  bigger.setBold(true);
  heading->setFont(bigger);
  heading->setWordWrap(true);
  heading->setAccessibleName(heading->text());
  heading->setAccessibleDescription(QStringLiteral(
      "The window has no store yet; open one to reach the search and replace page."));

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(heading);

  auto* buttons = new QHBoxLayout;
  if (found.empty()) {
    auto* none = new QLabel(QString::fromLatin1(kNoStoreFound));
    none->setObjectName(QStringLiteral("NoStoreFound"));
    none->setWordWrap(true);
    none->setAccessibleName(QStringLiteral("No store found"));
    none->setAccessibleDescription(none->text());
    layout->addWidget(none);
    layout->addStretch(1);
  } else {
    auto* caption = new QLabel(
        QStringLiteral("&Stores named in the configs of vdirsyncer, khard, khal and todoman:"));
    caption->setObjectName(QStringLiteral("FoundStoresCaption"));
    caption->setWordWrap(true);
    caption->setAccessibleName(QStringLiteral("Stores found"));
    caption->setAccessibleDescription(caption->text().remove(QLatin1Char('&')));
    list_ = new QTreeWidget;
    list_->setObjectName(QStringLiteral("FoundStores"));
    list_->setHeaderLabels({QStringLiteral("Store"), QStringLiteral("Named by")});
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    list_->setAccessibleName(QStringLiteral("Stores found"));
    list_->setAccessibleDescription(
        QStringLiteral("The folders of address books and calendars your configs name, with the "
                       "configs that name them. Select one or more and open them."));
    caption->setBuddy(list_);
    for (const FoundStore& store : found) {
      auto* row = new QTreeWidgetItem(list_, {Shown(store.path), Joined(store.named_by)});
      row->setToolTip(0, QString::fromStdString(store.path));
      row->setData(0, kRootRole, QString::fromStdString(store.path));
    }
    list_->setCurrentItem(list_->topLevelItem(0));
    list_->setFocus(Qt::OtherFocusReason);
    layout->addWidget(caption);
    layout->addWidget(list_, 1);

    open_found_ = new QPushButton(QStringLiteral("Open Selected Stores"));
    open_found_->setObjectName(QStringLiteral("cmdOpenFound"));
    open_found_->setAccessibleName(QStringLiteral("Open Selected Stores"));
    open_found_->setAccessibleDescription(
        QStringLiteral("Opens the stores selected in the list for this session; the configs keep "
                       "naming them."));
    connect(open_found_, &QPushButton::clicked, this, [this] { open_(Selected()); });
    connect(list_, &QTreeWidget::itemSelectionChanged, this,
            [this] { open_found_->setEnabled(!Selected().empty()); });
    // Enter on a row, or a double click, opens the selection.
    connect(list_, &QTreeWidget::itemActivated, this, [this] {
      if (!Selected().empty()) open_(Selected());
    });
    buttons->addWidget(open_found_);
  }

  auto* folder = new QPushButton(QStringLiteral("Open Folder..."));
  folder->setObjectName(QStringLiteral("cmdOpenFolder"));
  folder->setAccessibleName(QStringLiteral("Open Folder"));
  folder->setAccessibleDescription(
      QStringLiteral("Chooses a folder of address books and calendars of your own."));
  connect(folder, &QPushButton::clicked, this, [openFolder = std::move(openFolder)] {
    if (openFolder) openFolder();
  });
  buttons->addWidget(folder);
  if (connectServer) {
    auto* server = new QPushButton(QStringLiteral("Connect to Server..."));
    server->setObjectName(QStringLiteral("cmdConnectServer"));
    server->setAccessibleName(QStringLiteral("Connect to Server"));
    server->setAccessibleDescription(QStringLiteral(
        "Opens the address books and calendars of a CardDAV or CalDAV server by its address."));
    connect(server, &QPushButton::clicked, this,
            [connectServer = std::move(connectServer)] { connectServer(); });
    buttons->addWidget(server);
  }
  buttons->addStretch(1);
  layout->addLayout(buttons);
}

std::vector<std::string> StartView::Selected() const {
  std::vector<std::string> roots;
  if (list_ == nullptr) return roots;
  for (int i = 0; i < list_->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* row = list_->topLevelItem(i);
    if (row->isSelected()) roots.push_back(row->data(0, kRootRole).toString().toStdString());
  }
  return roots;
}

}  // namespace tidewell::gui
