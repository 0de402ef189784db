#include "gui/qt_ui.h"

#include <QMessageBox>

#include "gui/field_chooser_view.h"
#include "gui/folder_dialogs.h"
#include "gui/server_dialogs.h"

namespace tidewell::gui {

MsgBoxResult QtUi::MsgBox(const std::string& prompt, MsgBoxButtons buttons,
                          const std::string& title) {
  const bool yesNo = buttons == MsgBoxButtons::YesNo;
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title),
                  QString::fromStdString(prompt),
                  yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, window_);
  box.setObjectName(QStringLiteral("MsgBox"));
  // The prompt holds the user's own search text, which may look like markup.
  box.setTextFormat(Qt::PlainText);
  box.exec();
  const QAbstractButton* pressed = box.clickedButton();
  if (pressed == box.button(QMessageBox::Yes)) return MsgBoxResult::Yes;
  if (pressed == box.button(QMessageBox::No)) return MsgBoxResult::No;
  if (pressed != nullptr && pressed == box.button(QMessageBox::Ok)) return MsgBoxResult::Ok;
  return yesNo ? MsgBoxResult::No : MsgBoxResult::Cancel;
}

void QtUi::ShowFieldChooser(frmLookInFields& dialog) {
  FieldChooserView view(dialog, on_failure_);
  view.exec();
}

std::optional<size_t> QtUi::PickFolder(const std::vector<FolderChoice>& folders) {
  FolderTreeDialog dialog(folders, FolderTreeDialog::Mode::kPickOne,
                          QStringLiteral("Select Folder"), window_);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Chosen();
}

std::optional<std::vector<size_t>> QtUi::PickFolders(const std::vector<FolderChoice>& folders,
                                                     const std::vector<size_t>& checked,
                                                     const std::string& caption) {
  FolderTreeDialog dialog(folders, FolderTreeDialog::Mode::kCheckMany,
                          QString::fromStdString(caption), window_);
  dialog.Check(checked);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Checked();
}

std::optional<Credentials> QtUi::AskCredentials(const std::string& where, const std::string& user) {
  LoginDialog dialog(where, user, window_);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  given_[where] = Credentials{dialog.User(), dialog.Password()};
  return given_[where];
}

std::optional<Credentials> QtUi::AskPassword(const std::string& where, const std::string& user,
                                             const std::string& prompt) {
  LoginDialog dialog(where, user, window_);
  dialog.ShowPrompt(prompt);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  given_[where] = Credentials{dialog.User(), dialog.Password()};
  return given_[where];
}

std::optional<Credentials> QtUi::GivenCredentials(const std::string& where) const {
  const auto found = given_.find(where);
  if (found == given_.end()) return std::nullopt;
  return found->second;
}

void QtUi::Repaint(const std::string& controlName) {
  if (!page_) return;
  if (QWidget* widget = page_->Widget(controlName)) widget->repaint();
}

void QtUi::SetFocus(const std::string& controlName) {
  if (!page_) return;
  if (QWidget* widget = page_->Widget(controlName)) widget->setFocus(Qt::OtherFocusReason);
}

}  // namespace tidewell::gui
