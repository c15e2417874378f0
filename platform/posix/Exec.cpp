#include "platform/posix/Exec.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace platform::posix {

bool OnPath(const char* name) {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::string p(path);
  size_t start = 0;
  while (start <= p.size()) {
    size_t end = p.find(':', start);
    if (end == std::string::npos) end = p.size();
    if (access((p.substr(start, end - start) + "/" + name).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

static pid_t Spawn(const std::vector<std::string>& args, int outFd) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    if (outFd >= 0) dup2(outFd, 1);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

static int Wait(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int Run(const std::vector<std::string>& args) {
  pid_t pid = Spawn(args, -1);
  return pid < 0 ? -1 : Wait(pid);
}

bool Capture(const std::vector<std::string>& args, std::string& out) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  pid_t pid = Spawn(args, fds[1]);
  close(fds[1]);
  if (pid < 0) {
    close(fds[0]);
    return false;
  }
  out.clear();
  char buf[512];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = Wait(pid);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return status == 0 && !out.empty();
}

}  // namespace platform::posix
