// Linux message boxes: zenity or kdialog when a display is set and one of
// them is installed; otherwise the text goes to stderr with the safe answer.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/MessageBox.h"

namespace platform {

static bool HaveProgram(const char* name) {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::string p(path);
  size_t start = 0;
  while (start <= p.size()) {
    size_t end = p.find(':', start);
    if (end == std::string::npos) end = p.size();
    std::string full = p.substr(start, end - start) + "/" + name;
    if (access(full.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// Runs argv without a shell (the text is never interpreted); returns the exit
// status or -1.
static int Run(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

MsgAnswer OsMessageBox(const std::string& caption, const std::string& text, MsgIcon icon, MsgButtons buttons) {
  const char* display = std::getenv("DISPLAY");
  bool question = buttons != MB_BUTTONS_OK;
  if (display && *display) {
    int rc = -1;
    if (HaveProgram("zenity")) {
      std::string kind = question ? "--question" : icon == MB_ICON_ERROR ? "--error"
                                               : icon == MB_ICON_WARNING ? "--warning" : "--info";
      rc = Run({"zenity", kind, "--no-markup", "--title=" + caption, "--text=" + text});
    } else if (HaveProgram("kdialog")) {
      std::string kind = question ? "--yesno" : icon == MB_ICON_ERROR ? "--error"
                                              : icon == MB_ICON_WARNING ? "--sorry" : "--msgbox";
      rc = Run({"kdialog", "--title", caption, kind, text});
    }
    if (rc == 0) return question ? (buttons == MB_BUTTONS_YESNO ? MB_ANSWER_YES : MB_ANSWER_OK) : MB_ANSWER_OK;
    if (rc == 1) return SafeAnswer(buttons);
  }
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  return SafeAnswer(buttons);
}

}  // namespace platform
