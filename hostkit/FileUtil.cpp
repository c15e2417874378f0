#include "hostkit/FileUtil.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "platform/Files.h"

namespace hostkit {
namespace {

std::string SystemError() { return std::strerror(errno); }

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
    platform::FileCreated c = platform::CreateNewFile(temp.string(), why);
    if (c == platform::FileCreated::Yes) {
      FTarget = target;
      FTemp = temp.string();
      return true;
    }
    if (c == platform::FileCreated::Failed) break;
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
  std::string why;
  if (!platform::ReplaceFileWith(FTemp, FTarget, why)) {
    error = "cannot replace " + FTarget + ": " + why;
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

bool IsTerminal(std::FILE* stream) { return platform::IsTerminal(stream); }

}  // namespace hostkit
