// The desktop host and server stores: the login window a store asks
// through, and "Connect to Server..." opening a URL store.
#include "gui/server_dialogs.h"

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

TEST(LoginTest, TheLoginWindowGivesTheLoginTypedAndNothingOnCancel) {
  const struct {
    const char* user;  // offered
    const char* typed_user;
    const char* button;
    const char* given;  // the user given with the password typed; null: nothing
  } rows[] = {{"ann", "", "cmdLogIn", "ann"},
              {"", "bob", "cmdLogIn", "bob"},
              {"ann", "", "cmdCancel", nullptr}};
  for (const auto& row : rows) {
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
        QTest::keyClicks(login, QString::fromLatin1(row.typed_user));
        QTest::keyClicks(password, QStringLiteral("pa55 word"));
        Click(modal, row.button);
      }});
      given = ui.AskCredentials("https://dav.example.org", row.user);
    }
    ASSERT_EQ(given.has_value(), row.given != nullptr);
    if (given) {
      EXPECT_EQ(given->user, row.given);
      EXPECT_EQ(given->password, "pa55 word");
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
  ClickAnswering(&window, "cmdConnectServer", {[](QWidget* modal) {
    ASSERT_EQ(modal->objectName(), QStringLiteral("ConnectDialog"));
    auto* ok = Find<QPushButton>(modal, "cmdConnect");
    auto* url = Find<QLineEdit>(modal, "txtServerUrl");
    QTest::keyClicks(url, QStringLiteral("dav.example.org"));
    EXPECT_FALSE(ok->isEnabled());
    url->clear();
    QTest::keyClicks(url, QStringLiteral(" https://dav.example.org/ann/ "));
    QTest::keyClicks(Find<QLineEdit>(modal, "txtServerUser"), QStringLiteral("ann"));
    EXPECT_TRUE(ok->isEnabled());
    ok->click();
  }});
  EXPECT_TRUE(window.HasPage());
  EXPECT_EQ(roots, std::vector<std::string>{"https://dav.example.org/ann/"});
  EXPECT_EQ(opened_with.user, "ann");
  EXPECT_EQ(IniSettingsStore().GetSetting("Marrowby", "Host", "Stores", ""),
            "https://dav.example.org/ann/\n");
}

}  // namespace
}  // namespace tidewell::gui::testing
