// Linux message boxes: zenity or kdialog when a display is set and one of
// them is installed; otherwise the text goes to stderr with the safe answer.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/MessageBox.h"
#include "platform/posix/Exec.h"

namespace platform {

MsgAnswer OsMessageBox(const std::string& caption, const std::string& text, MsgIcon icon, MsgButtons buttons) {
  const char* display = std::getenv("DISPLAY");
  bool question = buttons != MB_BUTTONS_OK;
  if (display && *display) {
    int rc = -1;
    if (posix::OnPath("zenity")) {
      std::string kind = question                  ? "--question"
                         : icon == MB_ICON_ERROR   ? "--error"
                         : icon == MB_ICON_WARNING ? "--warning"
                                                   : "--info";
      rc = posix::Run({"zenity", kind, "--no-markup", "--title=" + caption, "--text=" + text});
    } else if (posix::OnPath("kdialog")) {
      std::string kind = question                  ? "--yesno"
                         : icon == MB_ICON_ERROR   ? "--error"
                         : icon == MB_ICON_WARNING ? "--sorry"
                                                   : "--msgbox";
      rc = posix::Run({"kdialog", "--title", caption, kind, text});
    }
    if (rc == 0) return question ? (buttons == MB_BUTTONS_YESNO ? MB_ANSWER_YES : MB_ANSWER_OK) : MB_ANSWER_OK;
    if (rc == 1) return SafeAnswer(buttons);
  }
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  return SafeAnswer(buttons);
}

}  // namespace platform
