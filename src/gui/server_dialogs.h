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
//
// AgreesToNotify: the question ("AttendeesQuestion") a run or an undo asks
// before changing events whose attendees the server may e-mail; No is the
// default and Escape's answer.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstddef>
#include <string>

#include "journal/journal_runs.h"
#include "platform/mail_store.h"

namespace tidewell::gui {

class LoginDialog : public QDialog {
 public:
  // `where` is the server as "https://dav.example.org".
  LoginDialog(const std::string& where, const std::string& user, QWidget* parent = nullptr);

  std::string User() const { return login_->text().toStdString(); }
  std::string Password() const { return password_->text().toStdString(); }
  // The heading says `prompt` instead: the text a config asks the password with.
  void ShowPrompt(const std::string& prompt);

 private:
  QLabel* heading_ = nullptr;
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

// True when the user answers Yes to changing `events` events with attendees.
bool AgreesToNotify(size_t events, QWidget* parent);

// Before an undo of `run`: on a server that schedules implicitly, counts the
// run's events with attendees and asks; declined, the store leaves them alone
// and the undo skips them. Reads each item of the run once to count.
void SettleNotifyingUndo(const JournalRun& run, MailStore& store, QWidget* parent);

}  // namespace tidewell::gui
