// windows.h first: the other Win32 headers need its types.
#include <windows.h>

#include <commdlg.h>

#include <string>

#include "platform/FileDialogs.h"

namespace platform {

bool OsFileDialog(const FileDialogRequest& request, std::string& fileName) {
  // The filter's '|' separators become zeros, with a double zero at the end.
  std::string filter = request.Filter;
  for (char& c : filter)
    if (c == '|') c = '\0';
  filter.append(2, '\0');
  char file[MAX_PATH] = {};
  OPENFILENAMEA ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = nullptr;
  ofn.lpstrFilter = filter.c_str();
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrTitle = request.Title.c_str();
  ofn.lpstrDefExt = request.DefaultExt.c_str();
  ofn.lpstrInitialDir = request.InitialDir.empty() ? nullptr : request.InitialDir.c_str();
  ofn.Flags = OFN_NOCHANGEDIR | OFN_EXPLORER;
  BOOL ok;
  if (request.Save) {
    ofn.Flags |= OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOREADONLYRETURN;
    ok = GetSaveFileNameA(&ofn);
  } else {
    ofn.Flags |= OFN_FILEMUSTEXIST;
    ok = GetOpenFileNameA(&ofn);
  }
  if (!ok) return false;
  fileName = file;
  return true;
}

}  // namespace platform
