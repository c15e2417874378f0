#include "platform/MessageBox.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace platform {

MsgAnswer OsMessageBox(const std::string& caption, const std::string& text, MsgIcon icon, MsgButtons buttons);

static std::atomic<MessageBoxBackend*> gBackend{nullptr};

MsgAnswer SafeAnswer(MsgButtons buttons) {
  switch (buttons) {
    case MB_BUTTONS_OKCANCEL: return MB_ANSWER_CANCEL;
    case MB_BUTTONS_YESNO: return MB_ANSWER_NO;
    default: return MB_ANSWER_OK;
  }
}

MessageBoxBackend* SetMessageBoxBackend(MessageBoxBackend* backend) { return gBackend.exchange(backend); }

MsgAnswer ShowMessageBox(const std::string& caption, const std::string& text, MsgIcon icon, MsgButtons buttons) {
  if (MessageBoxBackend* b = gBackend.load()) return b->Show(caption, text, icon, buttons);
  if (const char* log = std::getenv("KESTRUNE_MESSAGE_LOG"); log && *log) {
    if (FILE* f = std::fopen(log, "ab")) {
      std::fprintf(f, "[%s] %s\n", caption.c_str(), text.c_str());
      std::fclose(f);
    }
    return SafeAnswer(buttons);
  }
  return OsMessageBox(caption, text, icon, buttons);
}

}  // namespace platform
