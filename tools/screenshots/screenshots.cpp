// Renders the desktop host's windows for docs/screenshots (run by
// scripts/screenshots.sh): real windows over a copy of the demo store, grabbed
// offscreen. At a device pixel ratio of 2 (QT_SCALE_FACTOR=2) each file is
// named NAME@2x.png. Usage: tidewell-screenshots FOLDER
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

namespace tidewell::gui {
namespace {

namespace fs = std::filesystem;

bool Save(QWidget& widget, fs::path file) {
  const QPixmap shot = widget.grab();
  if (shot.devicePixelRatio() > 1.5) {
    file.replace_filename(file.stem().string() + "@2x" + file.extension().string());
  }
  const bool saved = shot.save(QString::fromStdString(file.string()), "PNG");
  std::cout << (saved ? "wrote " : "could not write ") << file.string() << '\n';
  return saved;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// Clicks the child button `name` of `root` as a user would.
void Click(QWidget* root, const char* name) {
  auto* button = root->findChild<QAbstractButton*>(QString::fromLatin1(name));
  if (button != nullptr) QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

// Presses Yes on the next message box, in the event loop it opens.
class PressYes {
 public:
  PressYes() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->isVisible()) return;
      timer_.stop();
      box->button(QMessageBox::Yes)->click();
    });
    timer_.start(5);
  }

 private:
  QTimer timer_;
};

// A copy of the demo store (samples/store) in a folder of its own.
class DemoStore {
 public:
  DemoStore() : root_(fs::path(dir_.path().toStdString()) / "store") {
    fs::copy(fs::path(TIDEWELL_SOURCE_DIR) / "samples" / "store", root_,
             fs::copy_options::recursive);
  }
  std::string StoreRoot() const { return root_.string(); }
  fs::path Folder(const char* name) const { return root_ / name; }

 private:
  QTemporaryDir dir_;
  fs::path root_;
};

int RenderScreenshots(const std::string& folder) {
  const fs::path out(folder);
  fs::create_directories(out);
  DemoStore sandbox;
  // One file among the contacts that no run can read: the results show how
  // a failure looks.
  WriteFile(sandbox.Folder("contacts") / "zz-damaged.vcf", "");
  QtUi ui;
  bool saved = true;

  {
    // A first start: nothing remembered, and the configs of vdirsyncer and
    // khard in a home of their own name a copy of the demo store's address
    // book and calendar.
    QTemporaryDir home;
    const fs::path root = fs::canonical(home.path().toStdString());
    const fs::path data = root / ".local/share/vdirsyncer";
    const fs::path config = root / ".config";
    for (const char* collection : {"contacts", "calendar"}) {
      fs::create_directories(data / collection);
      fs::copy(sandbox.Folder(collection), data / collection, fs::copy_options::recursive);
    }
    fs::create_directories(config / "vdirsyncer");
    fs::create_directories(config / "khard");
    WriteFile(
        config / "vdirsyncer/config",
        "[storage contacts]\ntype = \"filesystem\"\npath = \"~/.local/share/vdirsyncer/contacts\"\n"
        "fileext = \".vcf\"\n\n[storage calendar]\ntype = \"filesystem\"\n"
        "path = \"~/.local/share/vdirsyncer/calendar\"\nfileext = \".ics\"\n");
    WriteFile(config / "khard/khard.conf",
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
    PressYes answer;
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

}  // namespace
}  // namespace tidewell::gui

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "Usage: tidewell-screenshots FOLDER\n";
    return 2;
  }
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Nothing remembered and nothing logged where the user keeps them.
  QTemporaryDir homes;
  for (const char* variable : {"XDG_CONFIG_HOME", "XDG_STATE_HOME"}) {
    const QString home = homes.path() + QLatin1Char('/') + QString::fromLatin1(variable);
    QDir().mkpath(home);
    qputenv(variable, home.toLocal8Bit());
  }
  QApplication app(argc, argv);
  return tidewell::gui::RenderScreenshots(argv[1]);
}
