#include "live_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "commands.h"

namespace {

void Pause(int ms) {
  const timespec pause = {ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&pause, nullptr);
}

std::string ProcessName(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(in, name);
  return name;
}

// What /proc/PID/stat says of a process: its state (field 3) and its start
// time in ticks since boot (field 22).
struct ProcessStat {
  bool exists = false;
  char state = '?';
  unsigned long long start = 0;
  // A zombie still has a start time but no longer runs.
  bool Alive() const { return exists && state != 'Z' && state != 'X'; }
};

ProcessStat StatOf(int pid) {
  ProcessStat stat;
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(in, text)) return stat;
  const std::string::size_type close = text.rfind(')');
  if (close == std::string::npos || close + 2 >= text.size()) return stat;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  fields >> stat.state;
  for (int i = 4; i < 22 && fields >> field; ++i) {
  }
  stat.exists = static_cast<bool>(fields >> stat.start);
  return stat;
}

// The newest live process called name.
int NewestProcess(const std::string& name) {
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return 0;
  int newest = 0;
  unsigned long long newest_start = 0;
  while (const dirent* entry = readdir(proc)) {
    const int pid = std::atoi(entry->d_name);
    if (pid <= 0 || ProcessName(pid) != name) continue;
    const ProcessStat stat = StatOf(pid);
    if (stat.Alive() && (newest == 0 || stat.start > newest_start)) {
      newest = pid;
      newest_start = stat.start;
    }
  }
  closedir(proc);
  return newest;
}

}  // namespace

ApplyLock::~ApplyLock() {
  if (fd_ >= 0) close(fd_);
}

bool ApplyLock::Acquire(const std::string& path, int wait_seconds,
                        std::string& error) {
  const long long deadline = MonotonicMs() + wait_seconds * 1000LL;
  for (;;) {
    if (fd_ < 0) {
      fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    }
    if (fd_ < 0) {
      error = Reason("cannot open the lock " + path);
      return false;
    }
    if (flock(fd_, LOCK_EX | LOCK_NB) == 0) {
      // The lock counts only on the file that is at path now: one removed
      // or replaced meanwhile is another file than the next holder's.
      struct stat held, named;
      if (fstat(fd_, &held) == 0 && stat(path.c_str(), &named) == 0 &&
          held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
        break;
      }
      close(fd_);
      fd_ = -1;
      continue;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) {
      error = Reason("cannot lock " + path);
      return false;
    }
    if (MonotonicMs() >= deadline) {
      std::string holder;
      ReadFile(path, holder, error);
      error = "another velkhost holds " + path +
              (holder.empty() ? "" : " (pid " + holder + ")") +
              (wait_seconds > 0
                   ? " after waiting " + std::to_string(wait_seconds) + " s"
                   : "") +
              "; --wait SECONDS waits for it";
      return false;
    }
    Pause(20);
  }
  const std::string pid = std::to_string(getpid());
  if (ftruncate(fd_, 0) == 0) {
    ssize_t ignored = pwrite(fd_, pid.data(), pid.size(), 0);
    static_cast<void>(ignored);
  }
  return true;
}

namespace {

bool Trusted(const std::string& dir, std::string& error) {
  struct stat info;
  if (lstat(dir.c_str(), &info) != 0) {
    error = Reason(dir);
    return false;
  }
  if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid() ||
      (info.st_mode & 022) != 0) {
    error = dir + ": not trusted: it must be a directory of this user (uid " +
            std::to_string(geteuid()) + ") that no one else may write";
    return false;
  }
  return true;
}

}  // namespace

bool MakeStateDir(const StateFiles& files, std::string& error) {
  if (mkdir(files.dir.c_str(), 0700) != 0 && errno != EEXIST) {
    error = Reason("cannot make " + files.dir);
    return false;
  }
  return Trusted(files.dir, error);
}

bool TrustStateDir(const StateFiles& files, std::string& error) {
  struct stat info;
  if (lstat(files.dir.c_str(), &info) != 0 && errno == ENOENT) return true;
  return Trusted(files.dir, error);
}

bool LoadState(const StateFiles& files, State& state, std::string& error) {
  state.clear();
  std::string text;
  if (!ReadFile(files.State(), text, error, O_NOFOLLOW)) {
    if (errno == ENOENT) return true;
    error = "cannot read the state " + error;
    return false;
  }
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const std::string::size_type eq = line.find('=');
    if (eq != std::string::npos)
      state[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return true;
}

std::string ValueOf(const State& state, const std::string& key) {
  const auto it = state.find(key);
  return it == state.end() ? std::string() : it->second;
}

bool SaveState(const StateFiles& files, const State& state,
               std::string& error) {
  std::string text;
  for (const auto& entry : state) {
    std::string value = entry.second;
    for (char& c : value) {
      if (c == '\n') c = ' ';
    }
    text += entry.first + "=" + value + "\n";
  }
  return WriteFileAtomically(files.State(), text, 0600, -1, -1, error);
}

unsigned long long BootTicksNow() {
  timespec now;
  clock_gettime(CLOCK_BOOTTIME, &now);
  const unsigned long long hz =
      static_cast<unsigned long long>(sysconf(_SC_CLK_TCK));
  return static_cast<unsigned long long>(now.tv_sec) * hz +
         static_cast<unsigned long long>(now.tv_nsec) * hz / 1000000000ULL;
}

namespace {

DaemonState ProbeOnce(const DaemonProbe& probe,
                      unsigned long long started_after) {
  DaemonState state;
  std::string said;
  const int status = RunCapture({"service", "syslog", "status"}, said);
  std::string text;
  int pid = 0;
  std::string unread;
  if (ReadFile(probe.pid_file, text, unread)) {
    pid = std::atoi(text.c_str());
  } else {
    pid = NewestProcess(probe.program);
  }
  state.pid = pid;
  const ProcessStat stat = pid > 0 ? StatOf(pid) : ProcessStat();
  const bool alive = stat.Alive();
  const bool fresh = alive && stat.start >= started_after;
  if (status != 0) {
    state.detail =
        status < 0 ? said
                   : "\"service syslog status\" says it is not running (exit " +
                         std::to_string(status) + ")";
  } else if (pid <= 0) {
    state.detail =
        "no " + probe.program + " process (pid file " + probe.pid_file + ")";
  } else if (!alive) {
    state.detail =
        probe.program + " (pid " + std::to_string(pid) + ") is not running";
  } else if (!fresh) {
    state.detail =
        probe.program + " (pid " + std::to_string(pid) + ") was not restarted";
  } else {
    state.running = true;
    state.detail = probe.program + " runs as pid " + std::to_string(pid);
  }
  return state;
}

}  // namespace

DaemonState ProbeDaemon(const DaemonProbe& probe,
                        unsigned long long started_after, bool restarted) {
  const long long deadline =
      MonotonicMs() + (restarted ? probe.restart_timeout_ms : 0);
  for (;;) {
    DaemonState state = ProbeOnce(probe, started_after);
    if (state.running && !restarted) return state;
    if (state.running) {
      // Up is not enough: a daemon that dies on its configuration often
      // does so right after starting.  The same process must still run a
      // while later.
      Pause(probe.settle_ms);
      DaemonState settled = ProbeOnce(probe, started_after);
      if (settled.running && settled.pid == state.pid) return settled;
      if (!settled.running) {
        settled.detail = probe.program + " (pid " + std::to_string(state.pid) +
                         ") stopped right after it started: " + settled.detail;
        return settled;
      }
      state.running = false;
      state.detail = probe.program + " was replaced (pid " +
                     std::to_string(state.pid) + ", then " +
                     std::to_string(settled.pid) + ") and did not settle";
    }
    if (MonotonicMs() >= deadline) return state;
    Pause(100);
  }
}
