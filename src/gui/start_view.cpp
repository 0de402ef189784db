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

QLabel* Heading() {
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
  return heading;
}

QLabel* NoStoreFound() {
  auto* none = new QLabel(QString::fromLatin1(kNoStoreFound));
  none->setObjectName(QStringLiteral("NoStoreFound"));
  none->setWordWrap(true);
  none->setAccessibleName(QStringLiteral("No store found"));
  none->setAccessibleDescription(none->text());
  return none;
}
}  // namespace

StartView::StartView(const std::vector<FoundStore>& found,
                     std::function<void(const std::vector<std::string>&)> open,
                     std::function<void()> openFolder, std::function<void()> connectServer,
                     QWidget* parent)
    : QWidget(parent), open_(std::move(open)) {
  setObjectName(QStringLiteral("StartView"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Heading());

  auto* buttons = new QHBoxLayout;
  if (found.empty()) {
    layout->addWidget(NoStoreFound());
    layout->addStretch(1);
  } else {
    ListFound(found, *layout);
    buttons->addWidget(open_found_);
  }
  AddOpenButtons(std::move(openFolder), std::move(connectServer), *buttons);
  buttons->addStretch(1);
  layout->addLayout(buttons);
}

void StartView::ListFound(const std::vector<FoundStore>& found, QVBoxLayout& layout) {
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
  layout.addWidget(caption);
  layout.addWidget(list_, 1);

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
}

void StartView::AddOpenButtons(std::function<void()> openFolder,
                               std::function<void()> connectServer, QHBoxLayout& buttons) {
  auto* folder = new QPushButton(QStringLiteral("Open Folder..."));
  folder->setObjectName(QStringLiteral("cmdOpenFolder"));
  folder->setAccessibleName(QStringLiteral("Open Folder"));
  folder->setAccessibleDescription(
      QStringLiteral("Chooses a folder of address books and calendars of your own."));
  connect(folder, &QPushButton::clicked, this, [openFolder = std::move(openFolder)] {
    if (openFolder) openFolder();
  });
  buttons.addWidget(folder);
  if (connectServer) {
    auto* server = new QPushButton(QStringLiteral("Connect to Server..."));
    server->setObjectName(QStringLiteral("cmdConnectServer"));
    server->setAccessibleName(QStringLiteral("Connect to Server"));
    server->setAccessibleDescription(QStringLiteral(
        "Opens the address books and calendars of a CardDAV or CalDAV server by its address."));
    connect(server, &QPushButton::clicked, this,
            [connectServer = std::move(connectServer)] { connectServer(); });
    buttons.addWidget(server);
  }
}

void StartView::ShowServers(const std::vector<FoundServer>& servers,
                            std::function<void(const std::string& url)> open) {
  if (servers.empty()) return;
  auto* caption = new QLabel(QStringLiteral("Ser&vers named in vdirsyncer's config:"));
  caption->setObjectName(QStringLiteral("FoundServersCaption"));
  caption->setAccessibleName(QStringLiteral("Servers found"));
  auto* list = new QTreeWidget;
  list->setObjectName(QStringLiteral("FoundServers"));
  list->setHeaderLabels(
      {QStringLiteral("Server"), QStringLiteral("User"), QStringLiteral("Password")});
  list->setRootIsDecorated(false);
  list->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  list->setAccessibleName(QStringLiteral("Servers found"));
  list->setAccessibleDescription(
      QStringLiteral("The CardDAV and CalDAV servers of vdirsyncer's config, with who logs in "
                     "and where the password comes from. Open one to search it."));
  caption->setBuddy(list);
  for (const FoundServer& server : servers) {
    const std::string user = DescribeUser(server.login);
    auto* row = new QTreeWidgetItem(
        list, {QString::fromStdString(server.login.url),
               QString::fromStdString(user.empty() ? "the netrc file's, else asked" : user),
               QString::fromStdString(DescribePassword(server.login))});
    row->setToolTip(0, QString::fromStdString(server.storage + " in " + server.config));
  }
  list->setCurrentItem(list->topLevelItem(0));
  auto* button = new QPushButton(QStringLiteral("Open Server"));
  button->setObjectName(QStringLiteral("cmdOpenServer"));
  button->setAccessibleName(QStringLiteral("Open Server"));
  button->setAccessibleDescription(
      QStringLiteral("Opens the server selected in the list with the login the config keeps."));
  auto openRow = [open = std::move(open)](const QTreeWidgetItem* row) {
    if (row != nullptr) open(row->text(0).toStdString());
  };
  connect(button, &QPushButton::clicked, this, [list, openRow] { openRow(list->currentItem()); });
  connect(list, &QTreeWidget::itemActivated, this, openRow);
  // Above the row of buttons, which stays last.
  auto* layout = static_cast<QVBoxLayout*>(this->layout());
  const int at = layout->count() - 1;
  layout->insertWidget(at, caption);
  layout->insertWidget(at + 1, list, 1);
  layout->insertWidget(at + 2, button, 0, Qt::AlignLeft);
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
