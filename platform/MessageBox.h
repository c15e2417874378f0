#pragma once
// Port: modal message boxes.
// Win32: MessageBoxA. Linux: zenity or kdialog when present and a display is
// set, otherwise the text on stderr and the safe answer.
// When the environment variable KESTRUNE_MESSAGE_LOG names a file, every box
// is appended to that file instead of being shown and gets the safe answer
// (headless batch runs and the end-to-end tests use this on every OS).
// Tests install a recording backend with SetMessageBoxBackend.

#include <string>

namespace platform {

enum MsgIcon { MB_ICON_NONE = 0, MB_ICON_ERROR = 1, MB_ICON_WARNING = 2, MB_ICON_INFO = 3, MB_ICON_QUESTION = 4 };
enum MsgButtons { MB_BUTTONS_OK = 0, MB_BUTTONS_OKCANCEL = 1, MB_BUTTONS_YESNO = 2 };
enum MsgAnswer { MB_ANSWER_OK = 1, MB_ANSWER_CANCEL = 2, MB_ANSWER_YES = 6, MB_ANSWER_NO = 7 };

class MessageBoxBackend {
public:
  virtual ~MessageBoxBackend() = default;
  virtual MsgAnswer Show(const std::string& caption, const std::string& text, MsgIcon icon, MsgButtons buttons) = 0;
};

MsgAnswer ShowMessageBox(const std::string& caption, const std::string& text, MsgIcon icon, MsgButtons buttons);
MessageBoxBackend* SetMessageBoxBackend(MessageBoxBackend* backend);

// The safe answer for a button set: OK, Cancel for OK/Cancel, No for Yes/No.
MsgAnswer SafeAnswer(MsgButtons buttons);

}  // namespace platform
