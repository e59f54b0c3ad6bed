// What apply, rollback and status know about the live system: an exclusive
// lock, a small state file and the last known good configuration kept
// outside /etc, and whether the syslog daemon runs.
#ifndef VELKCONF_TOOLS_VELKHOST_LIVE_SYSTEM_H_
#define VELKCONF_TOOLS_VELKHOST_LIVE_SYSTEM_H_

#include <map>
#include <string>

// The files velkhost keeps, all in one directory outside /etc.
struct StateFiles {
  std::string dir = "/var/lib/velkhost";
  std::string Lock() const { return dir + "/lock"; }
  std::string State() const { return dir + "/state"; }
  std::string LastGood() const { return dir + "/last-good.conf"; }
  std::string Checked() const { return dir + "/checked.conf"; }
};

// An exclusive lock (flock) held for the object's life.
class ApplyLock {
 public:
  ApplyLock() = default;
  ~ApplyLock();
  ApplyLock(const ApplyLock&) = delete;
  ApplyLock& operator=(const ApplyLock&) = delete;
  // Takes the lock on path, waiting up to wait_seconds for another holder.
  // false with the reason in error.
  bool Acquire(const std::string& path, int wait_seconds, std::string& error);

 private:
  int fd_ = -1;
};

// Creates the state directory (0700) when it is missing, and checks that
// it can be trusted: a real directory, owned by this user, that no one
// else may write.  false with the reason in error.
bool MakeStateDir(const StateFiles& files, std::string& error);

// The same check of a directory that must already exist; a missing one is
// trusted (there is nothing in it).
bool TrustStateDir(const StateFiles& files, std::string& error);

// The state file: NAME=VALUE lines.  A missing state file is an empty
// state; a file that cannot be read (or a link) is an error.
using State = std::map<std::string, std::string>;
bool LoadState(const StateFiles& files, State& state, std::string& error);
bool SaveState(const StateFiles& files, const State& state, std::string& error);

// A value of the state, "" when it has none.
std::string ValueOf(const State& state, const std::string& key);

// Where to look for the running syslog daemon.
struct DaemonProbe {
  std::string pid_file = "/run/rsyslogd.pid";
  std::string program = "rsyslogd";  // its process name, without the pid file
  // How long the daemon has after a restart to come up, and how long it
  // must then keep running, as the same process, to count as up.
  int restart_timeout_ms = 30000;
  int settle_ms = 1000;
};

struct DaemonState {
  bool running = false;  // service status and a live process agree
  int pid = 0;           // the process found, 0 for none
  std::string detail;    // in words
};

// The clock the kernel counts process start times in (clock ticks since
// boot).
unsigned long long BootTicksNow();

// Asks "service syslog status" and looks for the daemon's process (its pid
// file, else its process name).  With started_after non-zero the process
// must have started at or after that tick: restarted, not left over.
// After a restart (restarted), asks again for up to the probe's restart
// timeout while the daemon is not (yet) found running, and once found
// requires the same process to be running still after the settle time.
DaemonState ProbeDaemon(const DaemonProbe& probe,
                        unsigned long long started_after, bool restarted);

#endif  // VELKCONF_TOOLS_VELKHOST_LIVE_SYSTEM_H_
