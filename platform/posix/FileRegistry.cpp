// Linux registry: a file store under $KESTRUNE_CONFIG_DIR, else
// $XDG_CONFIG_HOME/kestrune, else ~/.config/kestrune. One file per key (the
// key path's components become folders, the last one the file "<name>.reg"),
// one line per value: "<type> <hex name> <hex data>".
//
// Every write holds an exclusive lock file around read-modify-write and
// replaces the file by rename, so two instances never lose each other's
// values and a reader never sees half a file. Lines may end in CRLF (a file
// edited on Windows). A damaged line reads as a missing value; the next write
// keeps every good value, and first copies the damaged file aside to
// "<name>.reg.damaged" (".damaged.1", ... when that exists), so a write never
// destroys what was stored, even in a file whose header it cannot read.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace platform {
namespace {

constexpr const char* kHeader = "KESREG 1";

struct Value {
  uint32_t Type;
  std::string Data;
};
using ValueMap = std::map<std::string, Value>;

struct FileKey {
  std::string Path;  // the key's file
};

std::string ConfigDir() {
  if (const char* d = std::getenv("KESTRUNE_CONFIG_DIR"); d && *d) return d;
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) return std::string(x) + "/kestrune";
  if (const char* h = std::getenv("HOME"); h && *h) return std::string(h) + "/.config/kestrune";
  return std::string();
}

// Maps "A\B\C" to "<dir>/A/B/C.reg"; empty, "." and ".." components are refused.
bool KeyFile(const std::string& keyPath, std::string& file, std::vector<std::string>& dirs) {
  std::string base = ConfigDir();
  if (base.empty()) return false;
  std::vector<std::string> parts;
  std::string cur;
  for (char c : keyPath) {
    if (c == '\\') {
      parts.push_back(cur);
      cur.clear();
    } else if (c == '/') {
      cur += "%2F";
    } else if (c == 0) {
      return false;
    } else {
      cur += c;
    }
  }
  parts.push_back(cur);
  for (const std::string& p : parts)
    if (p.empty() || p == "." || p == "..") return false;
  dirs.clear();
  std::string path = base;
  dirs.push_back(path);
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    path += "/" + parts[i];
    dirs.push_back(path);
  }
  file = path + "/" + parts.back() + ".reg";
  return true;
}

std::string Hex(const std::string& s) {
  static const char* digits = "0123456789abcdef";
  std::string r;
  r.reserve(s.size() * 2);
  for (unsigned char c : s) {
    r += digits[c >> 4];
    r += digits[c & 15];
  }
  return r;
}

bool Unhex(const std::string& h, std::string& out) {
  if (h.size() % 2) return false;
  out.clear();
  out.reserve(h.size() / 2);
  for (size_t i = 0; i < h.size(); i += 2) {
    int v = 0;
    for (size_t k = 0; k < 2; ++k) {
      char c = h[i + k];
      int d = c >= '0' && c <= '9'   ? c - '0'
              : c >= 'a' && c <= 'f' ? c - 'a' + 10
              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                     : -1;
      if (d < 0) return false;
      v = v * 16 + d;
    }
    out += static_cast<char>(v);
  }
  return true;
}

bool ReadFile(const std::string& file, std::string& content) {
  FILE* f = std::fopen(file.c_str(), "rb");
  if (!f) return false;
  content.clear();
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) content.append(buf, n);
  std::fclose(f);
  return true;
}

// One line without its line break; a CR before the LF is part of the break.
std::string NextLine(const std::string& content, size_t& pos) {
  size_t end = content.find('\n', pos);
  if (end == std::string::npos) end = content.size();
  std::string line = content.substr(pos, end - pos);
  pos = end + 1;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// Parses what it can: a wrong header or a damaged line gives missing values,
// and `clean` false. An empty file is a clean empty store.
ValueMap Parse(const std::string& content, bool& clean) {
  ValueMap values;
  clean = true;
  if (content.empty()) return values;
  size_t pos = 0;
  if (NextLine(content, pos) != kHeader || pos > content.size()) {
    clean = false;
    return values;
  }
  while (pos < content.size()) {
    std::string line = NextLine(content, pos);
    size_t s1 = line.find(' ');
    size_t s2 = s1 == std::string::npos ? std::string::npos : line.find(' ', s1 + 1);
    std::string typeText = s2 == std::string::npos ? std::string() : line.substr(0, s1);
    std::string name, data;
    if (typeText.empty() || typeText.size() > 9 || typeText.find_first_not_of("0123456789") != std::string::npos ||
        !Unhex(line.substr(s1 + 1, s2 - s1 - 1), name) || !Unhex(line.substr(s2 + 1), data)) {
      clean = false;
      continue;
    }
    values[name] = Value{static_cast<uint32_t>(std::strtoul(typeText.c_str(), nullptr, 10)), data};
  }
  return values;
}

bool Load(const std::string& file, ValueMap& values) {
  std::string content;
  if (!ReadFile(file, content)) return false;
  bool clean;
  values = Parse(content, clean);
  return true;
}

// Writes all of `content` to fd and flushes it to the disk.
bool WriteAllAndSync(int fd, const std::string& content) {
  size_t done = 0;
  while (done < content.size()) {
    ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return fsync(fd) == 0;
}

// Writes `content` to a new file; never replaces one that exists.
bool WriteNewFile(const std::string& path, const std::string& content) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (fd < 0) return false;
  bool ok = WriteAllAndSync(fd, content);
  ok = close(fd) == 0 && ok;
  if (!ok) unlink(path.c_str());
  return ok;
}

// Keeps a copy of a file that could not be parsed beside it, under the first
// free name "<file>.damaged", "<file>.damaged.1", ...
bool KeepDamaged(const std::string& file, const std::string& content) {
  for (int i = 0; i < 1000; ++i) {
    std::string kept = file + ".damaged" + (i ? "." + std::to_string(i) : std::string());
    if (WriteNewFile(kept, content)) return true;
    if (errno != EEXIST) return false;
  }
  return false;
}

// Loads the values for a read-modify-write. A missing file is an empty store;
// a file that exists but cannot be read fails. When the file cannot be parsed
// in full, `damaged` receives its content, for StoreOver to keep.
bool LoadForWrite(const std::string& file, ValueMap& values, std::string& damaged) {
  std::string content;
  damaged.clear();
  if (!ReadFile(file, content)) {
    values.clear();
    return errno == ENOENT;
  }
  bool clean;
  values = Parse(content, clean);
  if (!clean) damaged = std::move(content);
  return true;
}

// Creates one folder (0700) unless a folder is already there.
bool MakeDir(const std::string& d) {
  if (mkdir(d.c_str(), 0700) == 0) return true;
  if (errno != EEXIST) return false;
  struct stat st;
  return stat(d.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates the store's folder with every missing parent (a fresh account may
// have no ~/.config yet), then the key's folders below it.
bool MakeDirs(const std::vector<std::string>& dirs) {
  if (dirs.empty()) return false;
  const std::string& base = dirs.front();
  for (size_t cut = base.find('/', 1); cut != std::string::npos; cut = base.find('/', cut + 1))
    if (base[cut - 1] != '/' && !MakeDir(base.substr(0, cut))) return false;
  for (const std::string& d : dirs)
    if (!MakeDir(d)) return false;
  return true;
}

bool Store(const std::string& file, const ValueMap& values) {
  std::string content = std::string(kHeader) + "\n";
  for (const auto& [name, v] : values) content += std::to_string(v.Type) + " " + Hex(name) + " " + Hex(v.Data) + "\n";
  std::string tmp = file + ".tmp." + std::to_string(getpid());
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) return false;
  bool ok = WriteAllAndSync(fd, content);
  ok = close(fd) == 0 && ok;
  if (!ok) {
    unlink(tmp.c_str());
    return false;
  }
  if (rename(tmp.c_str(), file.c_str()) != 0) {
    unlink(tmp.c_str());
    return false;
  }
  return true;
}

// Store after LoadForWrite: a damaged file is copied aside first, and when
// that fails nothing is written.
bool StoreOver(const std::string& file, const ValueMap& values, const std::string& damaged) {
  if (!damaged.empty() && !KeepDamaged(file, damaged)) return false;
  return Store(file, values);
}

// Exclusive lock around read-modify-write of one key file.
class FileLock {
public:
  explicit FileLock(const std::string& file) {
    FFd = open((file + ".lock").c_str(), O_RDWR | O_CREAT, 0600);
    if (FFd >= 0) flock(FFd, LOCK_EX);
  }
  ~FileLock() {
    if (FFd >= 0) {
      flock(FFd, LOCK_UN);
      close(FFd);
    }
  }
  bool Ok() const { return FFd >= 0; }

private:
  int FFd;
};

class FileRegistry : public RegistryBackend {
public:
  RegKey OpenRead(const std::string& path) override {
    std::string file;
    std::vector<std::string> dirs;
    if (!KeyFile(path, file, dirs)) return nullptr;
    struct stat st;
    if (stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    return new FileKey{file};
  }

  RegKey OpenWrite(const std::string& path) override {
    std::string file;
    std::vector<std::string> dirs;
    if (!KeyFile(path, file, dirs) || !MakeDirs(dirs)) return nullptr;
    struct stat st;
    if (stat(file.c_str(), &st) != 0) {
      FileLock lock(file);
      if (!lock.Ok()) return nullptr;
      if (stat(file.c_str(), &st) != 0 && !Store(file, ValueMap())) return nullptr;
    } else if (!S_ISREG(st.st_mode)) {
      return nullptr;
    }
    return new FileKey{file};
  }

  bool Query(RegKey key, const std::string& name, uint32_t* type, void* data, uint32_t* size) override {
    if (!key) return false;
    ValueMap values;
    if (!Load(static_cast<FileKey*>(key)->Path, values)) return false;
    auto it = values.find(name);
    if (it == values.end()) return false;
    const Value& v = it->second;
    if (type) *type = v.Type;
    uint32_t stored = static_cast<uint32_t>(v.Data.size());
    if (!data) {
      if (size) *size = stored;
      return true;
    }
    if (!size || *size < stored) {
      if (size) *size = stored;
      return false;
    }
    std::memcpy(data, v.Data.data(), stored);
    *size = stored;
    return true;
  }

  bool Set(RegKey key, const std::string& name, uint32_t type, const void* data, uint32_t size) override {
    if (!key) return false;
    const std::string& file = static_cast<FileKey*>(key)->Path;
    FileLock lock(file);
    if (!lock.Ok()) return false;
    ValueMap values;
    std::string damaged;
    if (!LoadForWrite(file, values, damaged)) return false;
    values[name] = Value{type, std::string(static_cast<const char*>(data), size)};
    return StoreOver(file, values, damaged);
  }

  bool Delete(RegKey key, const std::string& name) override {
    if (!key) return false;
    const std::string& file = static_cast<FileKey*>(key)->Path;
    FileLock lock(file);
    if (!lock.Ok()) return false;
    ValueMap values;
    std::string damaged;
    if (!LoadForWrite(file, values, damaged)) return false;
    if (values.erase(name) == 0) return false;
    return StoreOver(file, values, damaged);
  }

  void Close(RegKey key) override { delete static_cast<FileKey*>(key); }
};

}  // namespace

RegistryBackend& OsRegistry() {
  static FileRegistry registry;
  return registry;
}

}  // namespace platform
