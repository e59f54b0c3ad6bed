#include "commands.h"

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace {

bool WriteSmall(const char* path, const std::string& text) {
  const int fd = open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok =
      write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  return close(fd) == 0 && ok;
}

// Maps this user to root in a fresh user namespace.
bool BecomeNamespaceRoot(std::string& error) {
  const uid_t uid = geteuid();
  const gid_t gid = getegid();
  if (unshare(CLONE_NEWUSER) != 0) {
    error = Reason("cannot make a user namespace");
    return false;
  }
  if (!WriteSmall("/proc/self/setgroups", "deny") ||
      !WriteSmall("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
      !WriteSmall("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
    error = Reason("cannot map the user into its namespace");
    return false;
  }
  return true;
}

// The flags a read-only remount must keep (a user namespace may not drop
// them).
unsigned long KeptFlags(const std::string& path) {
  struct statvfs info;
  if (statvfs(path.c_str(), &info) != 0) return 0;
  unsigned long flags = 0;
  if (info.f_flag & ST_NOSUID) flags |= MS_NOSUID;
  if (info.f_flag & ST_NODEV) flags |= MS_NODEV;
  if (info.f_flag & ST_NOEXEC) flags |= MS_NOEXEC;
  if (info.f_flag & ST_NOATIME) flags |= MS_NOATIME;
  if (info.f_flag & ST_NODIRATIME) flags |= MS_NODIRATIME;
  if (info.f_flag & ST_RELATIME) flags |= MS_RELATIME;
  return flags;
}

// Binds the real /etc's entry name (through the descriptor real) into the
// private /etc, read-only.
bool BindEntry(int real, const std::string& name, std::string& error) {
  const std::string target = "/etc/" + name;
  struct stat info;
  if (fstatat(real, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
    return true;  // gone meanwhile
  }
  if (S_ISLNK(info.st_mode)) {
    char link[4096];
    const ssize_t n = readlinkat(real, name.c_str(), link, sizeof link - 1);
    if (n < 0 || symlink(std::string(link, static_cast<std::size_t>(n)).c_str(),
                         target.c_str()) != 0) {
      error = Reason("cannot copy the link " + target);
      return false;
    }
    return true;
  }
  const bool made =
      S_ISDIR(info.st_mode)
          ? mkdir(target.c_str(), 0755) == 0
          : close(open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                       0644)) == 0;
  const std::string source =
      "/proc/self/fd/" + std::to_string(real) + "/" + name;
  if (!made ||
      mount(source.c_str(), target.c_str(), nullptr, MS_BIND | MS_REC,
            nullptr) != 0 ||
      mount(nullptr, target.c_str(), nullptr,
            MS_BIND | MS_REMOUNT | MS_RDONLY | KeptFlags(target),
            nullptr) != 0) {
    error = Reason("cannot bind " + target + " into the private /etc");
    return false;
  }
  return true;
}

// The live file is copied, not bound: the plug-in gives the file it
// stages the live file's owner, and in a user namespace the real owner has
// no name that a file could be given.  The copy belongs to this namespace's
// root and keeps the live file's mode.
bool CopyLiveFile(int real, std::string& error) {
  struct stat info;
  if (fstatat(real, "rsyslog.conf", &info, 0) != 0) {
    return true;  // no live file
  }
  std::string content;
  return ReadFile("/proc/self/fd/" + std::to_string(real) + "/rsyslog.conf",
                  content, error) &&
         WriteFileAtomically("/etc/rsyslog.conf", content, info.st_mode & 0777,
                             -1, -1, error);
}

}  // namespace

std::string Reason(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

int RunCapture(const std::vector<std::string>& argv, std::string& output) {
  output.clear();
  // The output goes to a file, not a pipe: a daemon started by the command
  // may keep its standard output open for as long as it runs.
  const int out = memfd_create("velkhost-output", MFD_CLOEXEC);
  int failed[2];  // the child's exec errno, if exec fails
  if (out < 0 || pipe2(failed, O_CLOEXEC) != 0) {
    output = Reason("cannot capture a program's output");
    if (out >= 0) close(out);
    return -1;
  }
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) {
    output = Reason("fork");
    for (int fd : {out, failed[0], failed[1]}) close(fd);
    return -1;
  }
  if (pid == 0) {
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    std::vector<char*> args;
    for (const std::string& a : argv)
      args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    const int error = errno;
    ssize_t ignored = write(failed[1], &error, sizeof error);
    static_cast<void>(ignored);
    _exit(127);
  }
  close(failed[1]);
  int exec_error = 0;
  const bool exec_failed =
      read(failed[0], &exec_error, sizeof exec_error) == sizeof exec_error;
  close(failed[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  char buffer[4096];
  ssize_t n;
  for (off_t at = 0; (n = pread(out, buffer, sizeof buffer, at)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    output.append(buffer, static_cast<std::size_t>(n));
    at += n;
  }
  close(out);
  if (exec_failed) {
    output = "cannot run " + argv[0] + ": " + std::strerror(exec_error);
    return -1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

Verdict DaemonCheck(const std::string& rsyslogd, const std::string& path,
                    std::string& verdict) {
  Progress("checking " + path + " with " + rsyslogd + " -N1");
  const int status = RunCapture({rsyslogd, "-N1", "-f", path}, verdict);
  if (status < 0) return Verdict::kNotRun;
  return status == 0 ? Verdict::kAccepted : Verdict::kRejected;
}

bool EnterPrivateWorld(std::string& error) {
  if (geteuid() != 0 && !BecomeNamespaceRoot(error)) return false;
  if (unshare(CLONE_NEWNS | CLONE_NEWNET) != 0) {
    error = Reason("cannot make private namespaces");
    return false;
  }
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    error = Reason("cannot make the mounts private");
    return false;
  }
  // The real /etc, as this namespace sees it, before the tmpfs hides it.
  const int real = open("/etc", O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (real < 0 || mount("velkhost", "/etc", "tmpfs", MS_NOSUID | MS_NODEV,
                        "mode=0755,size=64m") != 0) {
    error = Reason("cannot mount a private /etc");
    return false;
  }
  const int listing = openat(real, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* dir = listing < 0 ? nullptr : fdopendir(listing);
  if (dir == nullptr) {
    error = Reason("cannot list /etc");
    return false;
  }
  bool ok = true;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || name == "rsyslog.conf.new" ||
        name == ".rsyslog.conf.new.tmp" || name == ".rsyslog.conf.new.lock") {
      continue;
    }
    if (!(name == "rsyslog.conf" ? CopyLiveFile(real, error)
                                 : BindEntry(real, name, error))) {
      ok = false;
      break;
    }
  }
  closedir(dir);
  return ok;
}

bool ReadFile(const std::string& path, std::string& content, std::string& error,
              int open_flags, struct stat* info) {
  content.clear();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | open_flags);
  if (fd < 0 || (info != nullptr && fstat(fd, info) != 0)) {
    const int reason = errno;
    if (fd >= 0) close(fd);
    errno = reason;
    error = Reason(path);
    errno = reason;
    return false;
  }
  char buffer[65536];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) != 0) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = Reason(path);
      close(fd);
      return false;
    }
    content.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return true;
}

bool WriteFileAtomically(const std::string& path, const std::string& content,
                         unsigned mode, int owner, int group,
                         std::string& error) {
  const std::string dir = DirectoryOf(path);
  std::string temp = dir + "/.velkhost.XXXXXX";
  const int fd = mkostemp(&temp[0], O_CLOEXEC);
  if (fd < 0) {
    error = Reason("cannot create a file in " + dir);
    return false;
  }
  bool ok = fchmod(fd, mode & 07777) == 0 &&
            (owner < 0 || fchown(fd, owner, group) == 0);
  for (std::size_t at = 0; ok && at < content.size();) {
    const ssize_t n = write(fd, content.data() + at, content.size() - at);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) at += static_cast<std::size_t>(n);
  }
  ok = ok && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) {
    error = Reason("cannot write " + path);
    unlink(temp.c_str());
    return false;
  }
  const int dirfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirfd >= 0) {
    fsync(dirfd);
    close(dirfd);
  }
  return true;
}

std::string DirectoryOf(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

long long MonotonicMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void Progress(const std::string& what) {
  if (isatty(STDERR_FILENO)) std::cerr << "velkhost: " << what << "...\n";
}
