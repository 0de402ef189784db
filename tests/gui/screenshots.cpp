// The screenshot renderer behind scripts/screenshots.sh: real windows over a
// copy of the demo store, grabbed offscreen. At a device pixel ratio of 2
// (QT_SCALE_FACTOR=2) each file is named NAME@2x.png.
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "app/dry_run.h"
#include "app/run_session.h"
#include "app/store_host.h"
#include "fields/frm_look_in_fields.h"
#include "gui/field_chooser_view.h"
#include "gui/history_dialog.h"
#include "gui/options_window.h"
#include "gui/preview_dialog.h"
#include "gui/qt_ui.h"
#include "gui_support.h"

namespace tidewell::gui::testing {

namespace {

bool Save(QWidget& widget, std::filesystem::path file) {
  const QPixmap shot = widget.grab();
  if (shot.devicePixelRatio() > 1.5) {
    file.replace_filename(file.stem().string() + "@2x" + file.extension().string());
  }
  const bool saved = shot.save(QString::fromStdString(file.string()), "PNG");
  std::cout << (saved ? "wrote " : "could not write ") << file.string() << '\n';
  return saved;
}

}  // namespace

int RenderScreenshots(const std::string& folder) {
  const std::filesystem::path out(folder);
  std::filesystem::create_directories(out);
  Sandbox sandbox;
  // One file among the contacts that no run can read: the results show how
  // a failure looks.
  tidewell::testing::WriteFile(sandbox.Folder("contacts") / "zz-damaged.vcf", "");
  QtUi ui;
  bool saved = true;

  {
    // A first start: nothing remembered, and the configs of vdirsyncer and
    // khard in a home of their own name a copy of the demo store's address
    // book and calendar.
    QTemporaryDir home;
    const std::filesystem::path root = std::filesystem::canonical(home.path().toStdString());
    const std::filesystem::path data = root / ".local/share/vdirsyncer";
    const std::filesystem::path config = root / ".config";
    for (const char* collection : {"contacts", "calendar"}) {
      std::filesystem::create_directories(data / collection);
      std::filesystem::copy(sandbox.Folder(collection), data / collection,
                            std::filesystem::copy_options::recursive);
    }
    std::filesystem::create_directories(config / "vdirsyncer");
    std::filesystem::create_directories(config / "khard");
    tidewell::testing::WriteFile(
        config / "vdirsyncer/config",
        "[storage contacts]\ntype = \"filesystem\"\npath = \"~/.local/share/vdirsyncer/contacts\"\n"
        "fileext = \".vcf\"\n\n[storage calendar]\ntype = \"filesystem\"\n"
        "path = \"~/.local/share/vdirsyncer/calendar\"\nfileext = \".ics\"\n");
    tidewell::testing::WriteFile(
        config / "khard/khard.conf",
        "[addressbooks]\n[[family]]\npath = ~/.local/share/vdirsyncer/contacts\n");
    const QByteArray was = qgetenv("HOME");
    qputenv("HOME", root.string().c_str());
    qputenv("VDIRSYNCER_CONFIG", (config / "vdirsyncer/config").string().c_str());
    qputenv("KHARD_CONFIG", (config / "khard/khard.conf").string().c_str());
    OptionsWindow start(ui);
    start.resize(720, 360);
    start.show();
    if (!QTest::qWaitForWindowExposed(&start)) return 1;
    saved &= Save(start, out / "start.png");
    qunsetenv("VDIRSYNCER_CONFIG");
    qunsetenv("KHARD_CONFIG");
    qputenv("HOME", was);
  }

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
    PreviewDialog preview(DryRunReplace({sandbox.StoreRoot()}), &window);
    preview.show();
    if (!QTest::qWaitForWindowExposed(&preview)) return 1;
    saved &= Save(preview, out / "preview.png");
  }

  {
    ModalAnswers answers({Press(QMessageBox::Yes)});
    Click(&window, "cmdReplace");
  }
  QTest::mouseMove(window.View().Widget("lblFolderName"), QPoint(8, 4));
  saved &= Save(window, out / "window-after-run.png");
  if (window.Results() == nullptr || !QTest::qWaitForWindowExposed(window.Results())) return 1;
  saved &= Save(*window.Results(), out / "results.png");
  window.Results()->close();

  HistoryDialog history(
      env, [&env] { return std::make_unique<RunSession>(env.logbook, RunWait{}); }, &window);
  history.show();
  if (!QTest::qWaitForWindowExposed(&history)) return 1;
  Click(&history, "cmdShowRun");
  saved &= Save(history, out / "history.png");
  return saved ? 0 : 1;
}

}  // namespace tidewell::gui::testing
