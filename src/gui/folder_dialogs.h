// The two folder windows of the desktop host: the client's folder dialog
// ("Select Folder", one folder) and the multi-folder picker's window (any
// number of folders, by check boxes). Both show the stores as the top level
// of a tree, each captioned with its root path, and the store's folders
// under it, in the order offered.
//
//   FolderTreeDialog dialog(folders, FolderTreeDialog::Mode::kPickOne, "Select Folder", parent);
//   if (dialog.exec() == QDialog::Accepted) use(*dialog.Chosen());
//
// Widgets: the tree is "FolderTree", the buttons "cmdOk" and "cmdCancel".
// Choosing one folder: OK is enabled only while a folder (not a store) is
// the current item; a double click on a folder chooses it. Checking many: a
// store's box checks or clears all its folders.
#pragma once

#include <QDialog>
#include <QPushButton>
#include <QTreeWidget>
#include <optional>
#include <vector>

#include "platform/ui.h"

namespace tidewell::gui {

class FolderTreeDialog : public QDialog {
 public:
  enum class Mode { kPickOne, kCheckMany };

  FolderTreeDialog(const std::vector<FolderChoice>& folders, Mode mode, const QString& caption,
                   QWidget* parent = nullptr);

  // Checks the folders at `indexes` of the offered list (kCheckMany).
  void Check(const std::vector<size_t>& indexes);

  // The index of the current folder, or nothing when a store or nothing is
  // current.
  std::optional<size_t> Chosen() const;
  // The indexes of the checked folders, in the order offered.
  std::vector<size_t> Checked() const;

  QTreeWidget& Tree() const { return *tree_; }

 private:
  std::vector<QTreeWidgetItem*> folder_items_;  // by offered index
  QTreeWidget* tree_;
  QPushButton* ok_;
};

}  // namespace tidewell::gui
