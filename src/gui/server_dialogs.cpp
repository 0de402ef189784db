#include "gui/server_dialogs.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QMessageBox>
#include <QScopeGuard>
#include <QUrl>
#include <QVBoxLayout>

#include "app/dry_run.h"
#include "app/run_start.h"
#include "undo/undo.h"

namespace tidewell::gui {

namespace {

void Describe(QWidget* widget, const QString& name, const QString& description) {
  widget->setAccessibleName(name);
  widget->setAccessibleDescription(description);
}

QLineEdit* Field(const char* objectName, const QString& name, const QString& description) {
  auto* field = new QLineEdit;
  field->setObjectName(QString::fromLatin1(objectName));
  Describe(field, name, description);
  return field;
}

// OK and Cancel; OK is named so that the tests and screen readers find it.
QDialogButtonBox* Buttons(QDialog* dialog, const char* okName, const QString& okDescription) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  ok->setObjectName(QString::fromLatin1(okName));
  Describe(ok, ok->text().remove(QLatin1Char('&')), okDescription);
  QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel);
  cancel->setObjectName(QStringLiteral("cmdCancel"));
  Describe(cancel, cancel->text().remove(QLatin1Char('&')),
           QObject::tr("Closes this window and connects to nothing."));
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return buttons;
}

QLabel* Caption(const QString& text, QWidget* buddy) {
  auto* label = new QLabel(text);
  label->setBuddy(buddy);
  const QString plain = QString(text).remove(QLatin1Char('&'));
  Describe(label, plain, plain);
  return label;
}

}  // namespace

LoginDialog::LoginDialog(const std::string& where, const std::string& user, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("LoginDialog"));
  setWindowTitle(tr("Log In"));
  const QString server = QString::fromStdString(where);
  auto* heading = heading_ = new QLabel(tr("%1 asks for a login.").arg(server));
  heading->setObjectName(QStringLiteral("LoginHeading"));
  heading->setWordWrap(true);
  heading->setTextFormat(Qt::PlainText);
  Describe(heading, heading->text(),
           tr("The password is sent to this server only, and is not kept once the window "
              "closes."));

  login_ = Field("txtLogin", tr("Login"), tr("Your user name on %1.").arg(server));
  login_->setText(QString::fromStdString(user));
  password_ = Field("txtPassword", tr("Password"), tr("Your password on %1.").arg(server));
  password_->setEchoMode(QLineEdit::Password);

  auto* form = new QFormLayout;
  form->addRow(Caption(tr("&Login:"), login_), login_);
  form->addRow(Caption(tr("&Password:"), password_), password_);
  QDialogButtonBox* buttons = Buttons(this, "cmdLogIn", tr("Logs in with this login."));
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  ok->setEnabled(!login_->text().isEmpty());
  connect(login_, &QLineEdit::textChanged, ok,
          [ok](const QString& text) { ok->setEnabled(!text.isEmpty()); });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(heading);
  layout->addLayout(form);
  layout->addWidget(buttons);
  (user.empty() ? login_ : password_)->setFocus(Qt::OtherFocusReason);
}

void LoginDialog::ShowPrompt(const std::string& prompt) {
  heading_->setText(QString::fromStdString(prompt));
  heading_->setAccessibleName(heading_->text());
}

ConnectDialog::ConnectDialog(const std::string& user, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ConnectDialog"));
  setWindowTitle(tr("Connect to Server"));
  auto* heading = new QLabel(
      tr("The address of your CardDAV or CalDAV account (as https://dav.example.org/ or the "
         "address of one address book or calendar)."));
  heading->setObjectName(QStringLiteral("ConnectHeading"));
  heading->setWordWrap(true);
  Describe(heading, tr("Server address"), heading->text());

  url_ = Field("txtServerUrl", tr("Address"),
               tr("The https address of the server account, or of one of its address books "
                  "or calendars."));
  url_->setPlaceholderText(QStringLiteral("https://"));
  user_ = Field("txtServerUser", tr("Login"),
                tr("Your user name on the server; empty takes the netrc file's. The password "
                   "is asked when the server wants one."));
  user_->setText(QString::fromStdString(user));

  auto* form = new QFormLayout;
  form->addRow(Caption(tr("&Address:"), url_), url_);
  form->addRow(Caption(tr("&Login:"), user_), user_);
  QDialogButtonBox* buttons =
      Buttons(this, "cmdConnect", tr("Opens the address books and calendars of the server."));
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  ok->setEnabled(false);
  connect(url_, &QLineEdit::textChanged, ok, [ok](const QString& text) {
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    ok->setEnabled(url.isValid() && !url.host().isEmpty() &&
                   (scheme == QLatin1String("https") || scheme == QLatin1String("http")));
  });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(heading);
  layout->addLayout(form);
  layout->addWidget(buttons);
  url_->setFocus(Qt::OtherFocusReason);
}

bool AgreesToNotify(size_t events, QWidget* parent) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Marrowby"),
                  QString::fromStdString(NotifyingEventsQuestion(events)),
                  QMessageBox::Yes | QMessageBox::No, parent);
  box.setObjectName(QStringLiteral("AttendeesQuestion"));
  box.setAccessibleName(QStringLiteral("Events with attendees"));
  box.setAccessibleDescription(box.text());
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  box.exec();
  return box.clickedButton() == box.button(QMessageBox::Yes);
}

void SettleNotifyingUndo(const JournalRun& run, MailStore& store, QWidget* parent) {
  SettleNotifying(
      store,
      [&] {
        // On a scheduling server the count reads every item of the run.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto cursor = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        return NotifyingItems(run, store);
      },
      [parent](size_t events) { return AgreesToNotify(events, parent); });
}

}  // namespace tidewell::gui
