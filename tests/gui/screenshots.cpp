// The screenshot renderer behind scripts/screenshots.sh: real windows over a
// copy of the demo store, grabbed offscreen.
#include <QTest>
#include <filesystem>
#include <iostream>

#include "app/store_host.h"
#include "fields/frm_look_in_fields.h"
#include "gui/field_chooser_view.h"
#include "gui/options_window.h"
#include "gui/qt_ui.h"
#include "gui_support.h"

namespace tidewell::gui::testing {

namespace {

bool Save(QWidget& widget, const std::filesystem::path& file) {
  const bool saved = widget.grab().save(QString::fromStdString(file.string()), "PNG");
  std::cout << (saved ? "wrote " : "could not write ") << file.string() << '\n';
  return saved;
}

}  // namespace

int RenderScreenshots(const std::string& folder) {
  const std::filesystem::path out(folder);
  std::filesystem::create_directories(out);
  Sandbox sandbox;
  QtUi ui;
  HostEnvironment env(ui, {sandbox.StoreRoot()});

  // The page as a user leaves it before a run: a search, the contacts
  // folder, and the three e-mail fields chosen.
  const auto put = [&env](const char* key, const std::string& value) {
    env.settings.SaveSetting(env.support.AppName(), kSettingsSection, key, value);
  };
  put("SearchFor", "northwind-traders.example");
  put("ReplaceWith", "northwind.example");
  put("FolderCount", "1");
  put("FolderName1", "Contacts");
  put("FolderEntryId1", "contacts");
  put("FolderStoreId1", env.store->StoreIDs().front());
  for (const char* key : {"EmailAddress", "Email2Address", "Email3Address"}) put(key, "1");

  bool saved = true;
  OptionsWindow window(env);
  ui.SetWindow(&window);
  ui.SetPage(&window.View());
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return 1;
  QTest::mouseMove(window.View().Widget("txtSearchFor"), QPoint(8, 8));
  saved &= Save(window.View(), out / "page.png");

  {
    frmLookInFields dialog(env.settings, env.watched);
    dialog.Form_Load();
    FieldChooserView view(dialog, {});
    view.show();
    if (!QTest::qWaitForWindowExposed(&view)) return 1;
    const char* tabs[] = {"contacts", "appointments", "tasks"};
    for (int i = 0; i < 3; ++i) {
      view.Tabs().setCurrentIndex(i);
      saved &= Save(view, out / (std::string("field-chooser-") + tabs[i] + ".png"));
    }
  }

  {
    ModalAnswers answers({Press(QMessageBox::Yes)});
    Click(&window, "cmdReplace");
  }
  QTest::mouseMove(window.View().Widget("lblFolderName"), QPoint(8, 4));
  saved &= Save(window, out / "window-after-run.png");
  return saved ? 0 : 1;
}

}  // namespace tidewell::gui::testing
