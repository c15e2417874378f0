#include "classlib/Dialogs.h"

static std::string& TitleStore() {
  static std::string title;
  return title;
}

void SetApplicationTitle(const std::string& title) { TitleStore() = title; }
const std::string& ApplicationTitle() { return TitleStore(); }

void ShowMessage(const std::string& text) {
  platform::ShowMessageBox(ApplicationTitle(), text, platform::MB_ICON_NONE, platform::MB_BUTTONS_OK);
}

platform::MsgAnswer MessageDlg(const std::string& text, const std::string& caption, platform::MsgIcon icon,
                               platform::MsgButtons buttons) {
  return platform::ShowMessageBox(caption, text, icon, buttons);
}
