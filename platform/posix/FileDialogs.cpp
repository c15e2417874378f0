// Linux file dialogs through zenity or kdialog; the chosen name comes back
// on the program's standard output.
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/FileDialogs.h"
#include "platform/posix/Exec.h"

namespace platform {

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
  if (posix::OnPath("zenity")) {
    std::vector<std::string> args = {"zenity", "--file-selection", "--title=" + request.Title,
                                     "--file-filter=" + desc + " | " + pattern};
    if (request.Save) {
      args.push_back("--save");
      args.push_back("--confirm-overwrite");
    }
    if (!start.empty()) args.push_back("--filename=" + start);
    ok = posix::Capture(args, chosen);
  } else if (posix::OnPath("kdialog")) {
    ok = posix::Capture({"kdialog", "--title", request.Title, request.Save ? "--getsavefilename" : "--getopenfilename",
                         start.empty() ? "." : start, pattern + "|" + desc},
                        chosen);
  }
  if (!ok) return false;
  if (request.Save && !request.DefaultExt.empty() &&
      chosen.find('.', chosen.find_last_of('/') + 1) == std::string::npos)
    chosen += "." + request.DefaultExt;
  fileName = chosen;
  return true;
}

}  // namespace platform
