// Linux file dialogs through zenity or kdialog, run without a shell; the
// chosen name comes back on the program's standard output.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/FileDialogs.h"

namespace platform {

static bool OnPath(const char* name) {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::string p(path);
  size_t start = 0;
  while (start <= p.size()) {
    size_t end = p.find(':', start);
    if (end == std::string::npos) end = p.size();
    if (access((p.substr(start, end - start) + "/" + name).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

static bool Capture(const std::vector<std::string>& args, std::string& out) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(fds[1]);
  out.clear();
  char buf[512];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 && !out.empty();
}

bool OsFileDialog(const FileDialogRequest& request, std::string& fileName) {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return false;
  // "Description (*.ext)|*.ext" -> description and pattern.
  std::string desc = request.Filter, pattern = "*";
  if (size_t bar = request.Filter.find('|'); bar != std::string::npos) {
    desc = request.Filter.substr(0, bar);
    pattern = request.Filter.substr(bar + 1);
  }
  std::string start = request.InitialDir.empty() ? std::string() : request.InitialDir;
  std::string chosen;
  bool ok = false;
  if (OnPath("zenity")) {
    std::vector<std::string> args = {"zenity", "--file-selection", "--title=" + request.Title,
                                     "--file-filter=" + desc + " | " + pattern};
    if (request.Save) {
      args.push_back("--save");
      args.push_back("--confirm-overwrite");
    }
    if (!start.empty()) args.push_back("--filename=" + start);
    ok = Capture(args, chosen);
  } else if (OnPath("kdialog")) {
    ok = Capture({"kdialog", "--title", request.Title, request.Save ? "--getsavefilename" : "--getopenfilename",
                  start.empty() ? "." : start, pattern + "|" + desc},
                 chosen);
  }
  if (!ok) return false;
  if (request.Save && !request.DefaultExt.empty() && chosen.find('.', chosen.find_last_of('/') + 1) == std::string::npos)
    chosen += "." + request.DefaultExt;
  fileName = chosen;
  return true;
}

}  // namespace platform
