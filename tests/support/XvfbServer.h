#pragma once
// A private Xvfb for the suites that need a display (POSIX only, header-only so
// the support library links nothing extra). Xvfb picks a free display number
// itself and writes it to a pipe once it accepts connections, so parallel test
// processes never collide.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include <cstdlib>
#include <string>

namespace testsupport {

// The full path of an executable on PATH, or empty.
inline std::string FindProgram(const char* name) {
  const char* path = std::getenv("PATH");
  const std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

class XvfbServer {
public:
  XvfbServer() = default;
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;
  ~XvfbServer() { Stop(); }

  static bool Installed() { return !FindProgram("Xvfb").empty(); }

  // Starts the server with one 1024 x 768 x 24 screen; the display name
  // (":N") once it accepts connections, empty when it could not start.
  std::string Start() {
    Stop();
    const std::string xvfb = FindProgram("Xvfb");
    if (xvfb.empty()) return {};
    int fds[2];
    if (pipe(fds) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
#if defined(__linux__)
      prctl(PR_SET_PDEATHSIG, SIGTERM);  // a test that crashes takes its server with it
#endif
      close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      execl(xvfb.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
      close(fds[0]);
      return {};
    }
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    FPid = pid;
    if (number.empty()) {
      Stop();
      return {};
    }
    FName = ":" + number;
    return FName;
  }

  void Stop() {
    if (FPid > 0) {
      kill(FPid, SIGTERM);
      waitpid(FPid, nullptr, 0);
    }
    FPid = 0;
    FName.clear();
  }

  bool Running() const { return FPid > 0; }
  const std::string& Name() const { return FName; }

private:
  pid_t FPid = 0;
  std::string FName;
};

}  // namespace testsupport
