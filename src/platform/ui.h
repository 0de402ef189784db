// What the page needs of the user-interface toolkit: message boxes, the modal
// field dialog, the folder dialogs and "repaint at once". The desktop host
// shows real windows; the terminal host answers from the command line; tests
// script the answers.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tidewell {

class frmLookInFields;

enum class MsgBoxButtons { OkOnly, YesNo };
enum class MsgBoxResult { Ok, Cancel, Yes, No };

// A login for a server store. Never written anywhere: not to settings, logs,
// the journal or error reports.
struct Credentials {
  std::string user;
  std::string password;
};

// One folder offered by a folder dialog.
struct FolderChoice {
  std::string name;
  std::string entry_id;
  std::string store_id;  // also the store's display name: its root path
};

class Ui {
 public:
  virtual ~Ui() = default;

  // A message box without an icon. Returns the button pressed; closing the
  // box otherwise counts as Cancel (OkOnly) or No (YesNo).
  virtual MsgBoxResult MsgBox(const std::string& prompt, MsgBoxButtons buttons,
                              const std::string& title) = 0;

  // Shows the field chooser modally and returns when it has closed. The
  // dialog's own events (Form_Load, its buttons) do the work.
  virtual void ShowFieldChooser(frmLookInFields& dialog) = 0;

  // The client's folder dialog: the index of the chosen folder, or nothing
  // when the user cancelled.
  virtual std::optional<size_t> PickFolder(const std::vector<FolderChoice>& folders) = 0;

  // The multi-folder picker's window: the indexes checked, in order, or
  // nothing when the user cancelled. `checked` holds what starts checked.
  virtual std::optional<std::vector<size_t>> PickFolders(const std::vector<FolderChoice>& folders,
                                                         const std::vector<size_t>& checked,
                                                         const std::string& caption) = 0;

  // Draws the named control of the page now, while a run holds the thread.
  virtual void Repaint(const std::string& controlName) = 0;

  // Gives the keyboard focus to the named control of the page, as after the
  // client's folder dialog. A host without a keyboard focus ignores it.
  virtual void SetFocus(const std::string& /*controlName*/) {}

  // A note from the store for the user, such as the values of an item that
  // no field stands for ("Not searched: ..."); never a question. A host
  // without a place for notes ignores it.
  virtual void Note(const std::string& /*text*/) {}

  // The store opens the item `name` for a run ("" when none is open, as a
  // folder's items are listed): reports that follow are about it.
  virtual void CurrentItem(const std::string& /*name*/) {}

  // Asked by a run before each item: true stops the run there, the item
  // before it saved and the rest untouched. The terminal host says yes after
  // SIGINT or SIGTERM; a host that cannot be interrupted never does.
  virtual bool StopRequested() { return false; }

  // The login for the server `where` (scheme, host and port, as
  // "https://dav.example.org"), asked when the server wants one and the netrc
  // file has none: the password without echo, `user` (from --user or netrc,
  // may be empty) offered as the login. Nothing when the user cancels or the
  // host cannot ask (no terminal); the store then fails with the server's
  // status line.
  virtual std::optional<Credentials> AskCredentials(const std::string& /*where*/,
                                                    const std::string& /*user*/) {
    return std::nullopt;
  }

  // As AskCredentials, but the password is asked with `prompt`, the text a
  // config gave for it (vdirsyncer's password.fetch = ["prompt", TEXT]). A
  // host that has no place for the text asks as AskCredentials does.
  virtual std::optional<Credentials> AskPassword(const std::string& where, const std::string& user,
                                                 const std::string& /*prompt*/) {
    return AskCredentials(where, user);
  }
};

}  // namespace tidewell
