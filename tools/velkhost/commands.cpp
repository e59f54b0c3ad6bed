#include "commands.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>

namespace {

std::string Reason(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

bool MountOrSay(const char* source, const char* target, const char* type,
                unsigned long flags, const std::string& data,
                std::string& error) {
  if (mount(source, target, type, flags,
            data.empty() ? nullptr : data.c_str()) == 0) {
    return true;
  }
  error = Reason(std::string("cannot mount ") + type + " on " + target);
  return false;
}

}  // namespace

int RunCapture(const std::vector<std::string>& argv, std::string& output) {
  output.clear();
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    output = Reason("pipe");
    return -1;
  }
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) {
    output = Reason("fork");
    close(fds[0]);
    close(fds[1]);
    return -1;
  }
  if (pid == 0) {
    dup2(fds[1], STDOUT_FILENO);
    dup2(fds[1], STDERR_FILENO);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    std::fprintf(stderr, "cannot run %s: %s\n", args[0], std::strerror(errno));
    _exit(127);
  }
  close(fds[1]);
  char buffer[4096];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0 ||
         (n < 0 && errno == EINTR)) {
    if (n > 0) output.append(buffer, static_cast<std::size_t>(n));
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

bool DaemonAccepts(const std::string& rsyslogd, const std::string& path,
                   std::string& verdict) {
  Progress("checking " + path + " with " + rsyslogd + " -N1");
  return RunCapture({rsyslogd, "-N1", "-f", path}, verdict) == 0;
}

bool EnterPrivateWorld(std::string& error) {
  if (unshare(CLONE_NEWNS | CLONE_NEWNET) != 0) {
    error = Reason("cannot make private namespaces (root needed)");
    return false;
  }
  if (!MountOrSay("none", "/", nullptr, MS_REC | MS_PRIVATE, "", error)) {
    return false;
  }
  // The overlay's writable layer lives in a tmpfs of this namespace, laid
  // over a directory that nothing here needs.
  const char* base = access("/mnt", F_OK) == 0 ? "/mnt" : "/media";
  if (!MountOrSay("velkhost", base, "tmpfs", 0, "mode=0700,size=256m", error)) {
    return false;
  }
  const std::string upper = std::string(base) + "/upper";
  const std::string work = std::string(base) + "/work";
  if (mkdir(upper.c_str(), 0755) != 0 || mkdir(work.c_str(), 0755) != 0) {
    error = Reason("cannot make the overlay's layers in " + std::string(base));
    return false;
  }
  return MountOrSay("velkhost", "/etc", "overlay", 0,
                    "lowerdir=/etc,upperdir=" + upper + ",workdir=" + work,
                    error);
}

bool ReadFile(const std::string& path, std::string& content,
              std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  content.assign(std::istreambuf_iterator<char>(in),
                 std::istreambuf_iterator<char>());
  if (in.bad()) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool SameContent(const std::string& a, const std::string& b) {
  std::string ca, cb, error;
  return ReadFile(a, ca, error) && ReadFile(b, cb, error) && ca == cb;
}

void Progress(const std::string& what) {
  if (isatty(STDERR_FILENO)) std::cerr << "velkhost: " << what << "...\n";
}
