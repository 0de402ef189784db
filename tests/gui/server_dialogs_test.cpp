// The desktop host and server stores: the login window a store asks
// through, and "Connect to Server..." opening a URL store.
#include "gui/server_dialogs.h"

#include <QAccessible>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <optional>

#include <gtest/gtest.h>

#include "app/store_host.h"
#include "gui/options_window.h"
#include "gui_support.h"
#include "stores/vdir/vdir_store.h"

namespace tidewell::gui::testing {
namespace {

// Every control of `dialog` has a name and a description for screen readers.
void ExpectDescribed(QWidget* dialog) {
  for (QWidget* widget : dialog->findChildren<QWidget*>()) {
    if (!widget->isVisibleTo(dialog) || (widget->focusPolicy() & Qt::TabFocus) == 0) continue;
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    ASSERT_NE(accessible, nullptr);
    EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty())
        << widget->objectName().toStdString();
    EXPECT_FALSE(accessible->text(QAccessible::Description).isEmpty())
        << widget->objectName().toStdString();
  }
}

TEST(LoginTest, TheLoginWindowGivesTheLoginTypedAndNothingOnCancel) {
  struct Row {
    const char* user;  // offered
    const char* typed_user;
    const char* button;
    std::optional<std::pair<std::string, std::string>> given;
  };
  const Row rows[] = {
      {"ann", "", "cmdLogIn", std::pair<std::string, std::string>{"ann", "pa55 word"}},
      {"", "bob", "cmdLogIn", std::pair<std::string, std::string>{"bob", "pa55 word"}},
      {"ann", "", "cmdCancel", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.button + std::string(" ") + row.user);
    QtUi ui;
    std::optional<Credentials> given;
    {
      ModalAnswers answers({[&row](QWidget* modal) {
        ASSERT_EQ(modal->objectName(), QStringLiteral("LoginDialog"));
        auto* login = Find<QLineEdit>(modal, "txtLogin");
        auto* password = Find<QLineEdit>(modal, "txtPassword");
        EXPECT_EQ(login->text().toStdString(), row.user);
        EXPECT_EQ(password->echoMode(), QLineEdit::Password);
        ExpectDescribed(modal);
        QTest::keyClicks(login, QString::fromLatin1(row.typed_user));
        QTest::keyClicks(password, QStringLiteral("pa55 word"));
        Click(modal, row.button);
      }});
      given = ui.AskCredentials("https://dav.example.org", row.user);
    }
    ASSERT_EQ(given.has_value(), row.given.has_value());
    if (given) {
      EXPECT_EQ(given->user, row.given->first);
      EXPECT_EQ(given->password, row.given->second);
      EXPECT_EQ(ui.GivenCredentials("https://dav.example.org")->password, "pa55 word");
    }
  }
}

// The address and login typed reach the store as its root and --user; the
// store is remembered by its address alone.
TEST(ConnectTest, ConnectToServerOpensTheAddressAsAStoreAndRemembersIt) {
  Sandbox sandbox;
  QtUi ui;
  OptionsWindow window(ui);
  std::vector<std::string> roots;
  StoreOptions opened_with;
  HostOptions options;
  options.given_root = [](const std::string& given) -> std::optional<std::string> {
    if (given.starts_with("https://")) return given;
    return std::nullopt;
  };
  options.open_store = [&](const std::vector<std::string>& given, Ui& store_ui, WriteAheadLog* wal,
                           const StoreOptions& store) {
    roots = given;
    opened_with = store;
    return std::unique_ptr<MailStore>(
        std::make_unique<VdirStore>(std::vector{sandbox.StoreRoot()}, store_ui, wal));
  };
  window.SetStoreOptions(options);
  Show(window);
  {
    ModalAnswers answers({[](QWidget* modal) {
      ASSERT_EQ(modal->objectName(), QStringLiteral("ConnectDialog"));
      ExpectDescribed(modal);
      auto* ok = Find<QPushButton>(modal, "cmdConnect");
      QTest::keyClicks(Find<QLineEdit>(modal, "txtServerUrl"), QStringLiteral("dav.example.org"));
      EXPECT_FALSE(ok->isEnabled());
      Find<QLineEdit>(modal, "txtServerUrl")->clear();
      QTest::keyClicks(Find<QLineEdit>(modal, "txtServerUrl"),
                       QStringLiteral(" https://dav.example.org/ann/ "));
      QTest::keyClicks(Find<QLineEdit>(modal, "txtServerUser"), QStringLiteral("ann"));
      EXPECT_TRUE(ok->isEnabled());
      ok->click();
    }});
    Click(&window, "cmdConnectServer");
  }
  EXPECT_TRUE(window.HasPage());
  EXPECT_EQ(roots, std::vector<std::string>{"https://dav.example.org/ann/"});
  EXPECT_EQ(opened_with.user, "ann");
  EXPECT_EQ(QSettingsStore().GetSetting("Marrowby", "Host", "Stores", ""),
            "https://dav.example.org/ann/\n");
}

}  // namespace
}  // namespace tidewell::gui::testing
