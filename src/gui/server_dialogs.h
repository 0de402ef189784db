// The desktop host's two windows about server stores.
//
// LoginDialog ("LoginDialog"): the login a server asks for, when the netrc
// file has none: "txtLogin" (prefilled with the user name known, if any) and
// "txtPassword" (never shown), OK and Cancel. OK is enabled while a login is
// given.
//
// ConnectDialog ("ConnectDialog"): "Connect to Server...": the address of a
// CardDAV/CalDAV account or collection ("txtServerUrl") and the login
// ("txtServerUser", may stay empty: then the netrc file's, else asked when
// the server wants one). OK is enabled while the address is an http(s) URL.
// No password here: the store asks for it only when the server wants one.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <string>

namespace tidewell::gui {

class LoginDialog : public QDialog {
 public:
  // `where` is the server as "https://dav.example.org".
  LoginDialog(const std::string& where, const std::string& user, QWidget* parent = nullptr);

  std::string User() const { return login_->text().toStdString(); }
  std::string Password() const { return password_->text().toStdString(); }

 private:
  QLineEdit* login_ = nullptr;
  QLineEdit* password_ = nullptr;
};

class ConnectDialog : public QDialog {
 public:
  explicit ConnectDialog(const std::string& user, QWidget* parent = nullptr);

  // The address as typed, without surrounding blanks.
  std::string Url() const { return url_->text().trimmed().toStdString(); }
  std::string User() const { return user_->text().trimmed().toStdString(); }

 private:
  QLineEdit* url_ = nullptr;
  QLineEdit* user_ = nullptr;
};

}  // namespace tidewell::gui
