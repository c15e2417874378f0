#include "platform/Files.h"

#include <io.h>
#include <windows.h>

namespace platform {

FileCreated CreateNewFile(const std::string& path, std::string& error) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD e = GetLastError();
    error = "error " + std::to_string(e);
    return e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS ? FileCreated::Exists : FileCreated::Failed;
  }
  CloseHandle(h);
  return FileCreated::Yes;
}

bool ReplaceFileWith(const std::string& source, const std::string& target, std::string& error) {
  if (MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
  error = "error " + std::to_string(GetLastError());
  return false;
}

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

}  // namespace platform
