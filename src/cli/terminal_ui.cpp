#include "cli/terminal_ui.h"

#include "fields/frm_look_in_fields.h"
#include "app/dry_run.h"

namespace tidewell::cli {

MsgBoxResult TerminalUi::MsgBox(const std::string& prompt, MsgBoxButtons buttons,
                                const std::string&) {
  EndProgressLine();
  if (buttons == MsgBoxButtons::OkOnly) {
    err_ << prompt << "\n";
    return MsgBoxResult::Ok;
  }
  if (assume_yes) return MsgBoxResult::Yes;
  err_ << prompt << " [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(in_, answer)) {
    err_ << "\n";
    return MsgBoxResult::No;
  }
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y') ? MsgBoxResult::Yes
                                                                   : MsgBoxResult::No;
}

void TerminalUi::ShowFieldChooser(frmLookInFields& dialog) { dialog.cmdCancel_Click(); }

std::optional<size_t> TerminalUi::PickFolder(const std::vector<FolderChoice>&) {
  return std::nullopt;
}

std::optional<std::vector<size_t>> TerminalUi::PickFolders(const std::vector<FolderChoice>&,
                                                           const std::vector<size_t>&,
                                                           const std::string&) {
  return folders_to_pick;
}

void TerminalUi::Repaint(const std::string& controlName) {
  if (controlName == "lblFolderName") {
    EndProgressLine();
    if (folder_label != nullptr) {
      out_ << Worded(folder_label->Caption()) << std::endl;
      last_caption_ = folder_label->Caption();
    }
  } else if (controlName == "ProgressBar1" && err_is_terminal_ && progress_bar != nullptr &&
             progress_bar->Visible()) {
    const int32_t span = progress_bar->Max() - progress_bar->Min() + 1;
    const int32_t done = progress_bar->Value() - progress_bar->Min() + 1;
    constexpr int kWidth = 30;
    const int filled = span > 0 ? static_cast<int>(int64_t{kWidth} * done / span) : kWidth;
    err_ << "\r[" << std::string(static_cast<size_t>(filled), '#')
         << std::string(static_cast<size_t>(kWidth - filled), ' ') << "] " << done << "/" << span
         << std::flush;
    progress_drawn_ = true;
  }
}

void TerminalUi::Note(const std::string& text) {
  EndProgressLine();
  err_ << text << '\n';
}

void TerminalUi::PrintCaptionIfNew() {
  EndProgressLine();
  if (folder_label == nullptr || folder_label->Caption() == last_caption_) return;
  out_ << Worded(folder_label->Caption()) << std::endl;
  last_caption_ = folder_label->Caption();
}

void TerminalUi::PrintLine(const std::string& line) {
  EndProgressLine();
  out_ << line << '\n';
}

std::string TerminalUi::Worded(const std::string& caption) const {
  return preview ? PreviewCaption(caption) : caption;
}

void TerminalUi::EndProgressLine() {
  if (!progress_drawn_) return;
  err_ << "\n";
  progress_drawn_ = false;
}

}  // namespace tidewell::cli
