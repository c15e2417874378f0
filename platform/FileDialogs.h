#pragma once
// Port: the standard open and save file dialogs.
// Win32: GetOpenFileNameA / GetSaveFileNameA. Linux: zenity or kdialog when a
// display is set; without them the dialog counts as cancelled.
// Tests install a scripted backend with SetFileDialogBackend.

#include <string>

namespace platform {

struct FileDialogRequest {
  bool Save = false;
  std::string Title;
  std::string Filter;      // "Description (*.ext)|*.ext" pairs separated by '|'
  std::string DefaultExt;  // without the dot
  std::string InitialDir;  // may be empty
  // Options: open dialogs need an existing file; save dialogs prompt before
  // overwriting, need an existing folder and refuse read-only files. Neither
  // changes the process's current directory.
};

class FileDialogBackend {
public:
  virtual ~FileDialogBackend() = default;
  // Returns false when the user cancelled; otherwise fileName is the choice.
  virtual bool Run(const FileDialogRequest& request, std::string& fileName) = 0;
};

bool RunFileDialog(const FileDialogRequest& request, std::string& fileName);
FileDialogBackend* SetFileDialogBackend(FileDialogBackend* backend);

// The separator the OS uses in file names.
char PathSeparator();

}  // namespace platform
