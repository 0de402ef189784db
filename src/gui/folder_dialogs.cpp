#include "gui/folder_dialogs.h"

#include <QDialogButtonBox>
#include <QVBoxLayout>
#include <map>
#include <string>

namespace tidewell::gui {

namespace {
constexpr int kIndexRole = Qt::UserRole;
}  // namespace

FolderTreeDialog::FolderTreeDialog(const std::vector<FolderChoice>& folders, Mode mode,
                                   const QString& caption, QWidget* parent)
    : QDialog(parent), tree_(new QTreeWidget(this)) {
  setObjectName(mode == Mode::kPickOne ? QStringLiteral("PickFolder")
                                       : QStringLiteral("PickFolders"));
  setWindowTitle(caption);
  tree_->setObjectName(QStringLiteral("FolderTree"));
  tree_->setHeaderHidden(true);

  std::map<std::string, QTreeWidgetItem*> stores;
  for (size_t i = 0; i < folders.size(); ++i) {
    const FolderChoice& folder = folders[i];
    QTreeWidgetItem*& store = stores[folder.store_id];
    if (store == nullptr) {
      store = new QTreeWidgetItem(tree_, {QString::fromStdString(folder.store_id)});
      if (mode == Mode::kCheckMany) {
        store->setFlags(store->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsAutoTristate);
      }
    }
    auto* item = new QTreeWidgetItem(store, {QString::fromStdString(folder.name)});
    item->setData(0, kIndexRole, QVariant::fromValue<qulonglong>(i));
    if (mode == Mode::kCheckMany) {
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setCheckState(0, Qt::Unchecked);
    }
    folder_items_.push_back(item);
  }
  tree_->expandAll();

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  ok_->setObjectName(QStringLiteral("cmdOk"));
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdCancel"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  if (mode == Mode::kPickOne) {
    ok_->setEnabled(false);
    connect(tree_, &QTreeWidget::currentItemChanged, this,
            [this] { ok_->setEnabled(Chosen().has_value()); });
    connect(tree_, &QTreeWidget::itemDoubleClicked, this, [this] {
      if (Chosen()) accept();
    });
  }

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tree_);
  layout->addWidget(buttons);
  resize(420, 360);
}

void FolderTreeDialog::Check(const std::vector<size_t>& indexes) {
  for (size_t index : indexes) {
    if (index < folder_items_.size()) folder_items_[index]->setCheckState(0, Qt::Checked);
  }
}

std::optional<size_t> FolderTreeDialog::Chosen() const {
  const QTreeWidgetItem* current = tree_->currentItem();
  if (current == nullptr || !current->data(0, kIndexRole).isValid()) return std::nullopt;
  return current->data(0, kIndexRole).toULongLong();
}

std::vector<size_t> FolderTreeDialog::Checked() const {
  std::vector<size_t> checked;
  for (size_t i = 0; i < folder_items_.size(); ++i) {
    if (folder_items_[i]->checkState(0) == Qt::Checked) checked.push_back(i);
  }
  return checked;
}

}  // namespace tidewell::gui
