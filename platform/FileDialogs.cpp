#include "platform/FileDialogs.h"

#include <atomic>

namespace platform {

bool OsFileDialog(const FileDialogRequest& request, std::string& fileName);

static std::atomic<FileDialogBackend*> gBackend{nullptr};

FileDialogBackend* SetFileDialogBackend(FileDialogBackend* backend) { return gBackend.exchange(backend); }

bool RunFileDialog(const FileDialogRequest& request, std::string& fileName) {
  if (FileDialogBackend* b = gBackend.load()) return b->Run(request, fileName);
  return OsFileDialog(request, fileName);
}

char PathSeparator() {
#if defined(_WIN32)
  return '\\';
#else
  return '/';
#endif
}

}  // namespace platform
