#include "platform/Files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform {

FileCreated CreateNewFile(const std::string& path, std::string& error) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    int e = errno;
    error = std::strerror(e);
    return e == EEXIST ? FileCreated::Exists : FileCreated::Failed;
  }
  ::close(fd);
  return FileCreated::Yes;
}

bool ReplaceFileWith(const std::string& source, const std::string& target, std::string& error) {
  if (::rename(source.c_str(), target.c_str()) == 0) return true;
  error = std::strerror(errno);
  return false;
}

bool IsTerminal(std::FILE* stream) { return ::isatty(fileno(stream)) != 0; }

}  // namespace platform
