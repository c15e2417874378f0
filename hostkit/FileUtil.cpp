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

bool CheckOutputTarget(const std::string& target, std::string& error) {
  namespace fs = std::filesystem;
  fs::path t(target);
  fs::path dir = t.parent_path();
  std::error_code ec;
  if (!dir.empty() && !fs::is_directory(dir, ec)) {
    error = "cannot write " + target + ": no folder " + dir.string();
    return false;
  }
  if (fs::is_directory(t, ec)) {
    error = "cannot write " + target + ": it is a folder";
    return false;
  }
  return true;
}

namespace {

// A name beside `target` that nothing has yet, as ".<name>.<random><ending>",
// made by `make` (which fails when the name exists). Empty when none could be
// made; `why` then receives the reason.
template <class Make>
std::string FreshNameBeside(const std::string& target, const char* ending, Make make, std::string& why) {
  namespace fs = std::filesystem;
  fs::path t(target);
  std::random_device rd;
  for (int attempt = 0; attempt < 16; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08x%s", static_cast<unsigned>(rd()), ending);
    fs::path name = t.parent_path() / ("." + t.filename().string() + suffix);
    platform::FileCreated c = make(name.string(), why);
    if (c == platform::FileCreated::Yes) return name.string();
    if (c == platform::FileCreated::Failed) break;
  }
  return std::string();
}

}  // namespace

bool PendingFile::Create(const std::string& target, std::string& error) {
  Discard();
  if (!CheckOutputTarget(target, error)) return false;
  std::string why;
  std::string temp = FreshNameBeside(target, ".tmp", platform::CreateNewFile, why);
  if (temp.empty()) {
    error = "cannot create a file beside " + target + ": " + why;
    return false;
  }
  FTarget = target;
  FTemp = temp;
  return true;
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

namespace {

// A copy of an existing file under a fresh name beside it: a second link
// where the file system has them, else a copy of the bytes.
platform::FileCreated KeepCopy(const std::string& from, const std::string& to, std::string& why) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (fs::exists(to, ec)) return platform::FileCreated::Exists;
  fs::create_hard_link(from, to, ec);
  if (!ec) return platform::FileCreated::Yes;
  if (fs::copy_file(from, to, fs::copy_options::none, ec)) return platform::FileCreated::Yes;
  if (ec == std::errc::file_exists) return platform::FileCreated::Exists;
  why = ec.message();
  return platform::FileCreated::Failed;
}

}  // namespace

bool CommitAll(const std::vector<PendingFile*>& files, std::string& error) {
  namespace fs = std::filesystem;
  struct Done {
    std::string Target;
    std::string Kept;  // the old content; empty when the target was new
  };
  std::vector<Done> done;
  auto undo = [&done] {
    std::string ignored;
    for (auto it = done.rbegin(); it != done.rend(); ++it) {
      if (it->Kept.empty())
        std::remove(it->Target.c_str());
      else
        platform::ReplaceFileWith(it->Kept, it->Target, ignored);
    }
  };
  for (PendingFile* f : files) {
    std::error_code ec;
    Done d{f->Target(), std::string()};
    if (fs::exists(f->Target(), ec)) {
      std::string why;
      auto keep = [f](const std::string& name, std::string& reason) { return KeepCopy(f->Target(), name, reason); };
      d.Kept = FreshNameBeside(f->Target(), ".old", keep, why);
      if (d.Kept.empty()) {
        error = "cannot keep the old " + f->Target() + " while replacing it: " + why;
        undo();
        return false;
      }
    }
    if (!f->Commit(error)) {
      if (!d.Kept.empty()) std::remove(d.Kept.c_str());
      undo();
      return false;
    }
    done.push_back(d);
  }
  for (const Done& d : done)
    if (!d.Kept.empty()) std::remove(d.Kept.c_str());
  return true;
}

void PendingFile::Discard() {
  if (FTemp.empty()) return;
  std::remove(FTemp.c_str());
  FTemp.clear();
}

bool IsTerminal(std::FILE* stream) { return platform::IsTerminal(stream); }

}  // namespace hostkit
