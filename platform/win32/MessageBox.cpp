#include <windows.h>

#include "platform/MessageBox.h"

namespace platform {

MsgAnswer OsMessageBox(const std::string& caption, const std::string& text, MsgIcon icon, MsgButtons buttons) {
  UINT flags = MB_TASKMODAL;
  switch (icon) {
    case MB_ICON_ERROR: flags |= MB_ICONERROR; break;
    case MB_ICON_WARNING: flags |= MB_ICONWARNING; break;
    case MB_ICON_INFO: flags |= MB_ICONINFORMATION; break;
    case MB_ICON_QUESTION: flags |= MB_ICONQUESTION; break;
    default: break;
  }
  switch (buttons) {
    case MB_BUTTONS_OKCANCEL: flags |= MB_OKCANCEL; break;
    case MB_BUTTONS_YESNO: flags |= MB_YESNO; break;
    default: flags |= MB_OK; break;
  }
  int r = MessageBoxA(nullptr, text.c_str(), caption.c_str(), flags);
  switch (r) {
    case IDOK: return MB_ANSWER_OK;
    case IDYES: return MB_ANSWER_YES;
    case IDNO: return MB_ANSWER_NO;
    default: return buttons == MB_BUTTONS_OK ? MB_ANSWER_OK : SafeAnswer(buttons);
  }
}

}  // namespace platform
