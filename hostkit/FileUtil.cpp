#include "hostkit/FileUtil.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace hostkit {
namespace {

std::string SystemError() { return std::strerror(errno); }

enum class Created { Yes, Exists, Failed };

// Creates `path` only when it does not exist yet.
Created CreateExclusive(const std::string& path, std::string& why) {
#if defined(_WIN32)
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD e = GetLastError();
    why = "error " + std::to_string(e);
    return e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS ? Created::Exists : Created::Failed;
  }
  CloseHandle(h);
  return Created::Yes;
#else
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    why = SystemError();
    return errno == EEXIST ? Created::Exists : Created::Failed;
  }
  ::close(fd);
  return Created::Yes;
#endif
}

}  // namespace

bool ReadWholeFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& bytes, std::string& error) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    error = "cannot open " + path + ": " + SystemError();
    return false;
  }
  std::vector<uint8_t> data;
  uint8_t buf[65536];
  bool ok = true;
  for (;;) {
    size_t n = std::fread(buf, 1, sizeof buf, f);
    if (n == 0) break;
    if (data.size() + n > maxBytes) {
      error = path + " is too large (more than " + std::to_string(maxBytes) + " bytes)";
      ok = false;
      break;
    }
    data.insert(data.end(), buf, buf + n);
  }
  if (ok && std::ferror(f)) {
    error = "cannot read " + path + ": " + SystemError();
    ok = false;
  }
  std::fclose(f);
  if (ok) bytes = std::move(data);
  return ok;
}

bool PendingFile::Create(const std::string& target, std::string& error) {
  Discard();
  namespace fs = std::filesystem;
  fs::path t(target);
  fs::path dir = t.parent_path();
  std::error_code ec;
  if (!dir.empty() && !fs::is_directory(dir, ec)) {
    error = "cannot write " + target + ": no folder " + dir.string();
    return false;
  }
  std::random_device rd;
  std::string why;
  for (int attempt = 0; attempt < 16; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(rd()));
    fs::path temp = dir / ("." + t.filename().string() + suffix);
    Created c = CreateExclusive(temp.string(), why);
    if (c == Created::Yes) {
      FTarget = target;
      FTemp = temp.string();
      return true;
    }
    if (c == Created::Failed) break;
  }
  error = "cannot create a file beside " + target + ": " + why;
  return false;
}

bool PendingFile::Write(const std::vector<uint8_t>& bytes, std::string& error) {
  std::FILE* f = std::fopen(FTemp.c_str(), "wb");
  if (!f) {
    error = "cannot write " + FTemp + ": " + SystemError();
    return false;
  }
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) error = "cannot write " + FTemp + ": " + SystemError();
  return ok;
}

bool PendingFile::Commit(std::string& error) {
  std::error_code ec;
  std::filesystem::rename(FTemp, FTarget, ec);
  if (ec) {
    error = "cannot replace " + FTarget + ": " + ec.message();
    return false;
  }
  FTemp.clear();
  return true;
}

void PendingFile::Discard() {
  if (FTemp.empty()) return;
  std::remove(FTemp.c_str());
  FTemp.clear();
}

bool IsTerminal(std::FILE* stream) {
#if defined(_WIN32)
  return _isatty(_fileno(stream)) != 0;
#else
  return ::isatty(fileno(stream)) != 0;
#endif
}

}  // namespace hostkit
