// Helpers behind velkhost's operator commands: running other programs, the
// daemon's own check, a private copy of /etc for dry runs, and files.
#ifndef VELKCONF_TOOLS_VELKHOST_COMMANDS_H_
#define VELKCONF_TOOLS_VELKHOST_COMMANDS_H_

#include <sys/stat.h>

#include <string>
#include <vector>

// Runs argv (no shell), collecting stdout and stderr together.  Returns the
// exit status (128 + N for a signal), or -1 with the reason in output when
// it could not be started (a missing program included).
int RunCapture(const std::vector<std::string>& argv, std::string& output);

enum class Verdict { kAccepted, kRejected, kNotRun };

// rsyslogd -N1 -f path.  verdict receives what the daemon said, or why it
// could not be run.
Verdict DaemonCheck(const std::string& rsyslogd, const std::string& path,
                    std::string& verdict);

// Moves this process into private mount and network namespaces (and, for a
// user other than root, a user namespace) in which /etc is a private
// tmpfs: every entry of the real /etc is bound into it read-only, except
// /etc/rsyslog.conf.new, its staging file and the writers' lock file, so
// that what is written there vanishes with the process, and a writer here
// never waits for one outside.  The process must have no threads yet.  false
// with the reason on failure.
bool EnterPrivateWorld(std::string& error);

// The whole of a file into content, opened with open_flags added (such as
// O_NOFOLLOW); info, when given, receives the opened file's status.  false
// with "path: reason" in error.
bool ReadFile(const std::string& path, std::string& content, std::string& error,
              int open_flags = 0, struct stat* info = nullptr);

// Writes content to path through a temporary file beside it, flushed and
// renamed into place, with the given mode, owner and group.  false with the
// reason in error.
bool WriteFileAtomically(const std::string& path, const std::string& content,
                         unsigned mode, int owner, int group,
                         std::string& error);

// The directory part of path ("." when it has none).
std::string DirectoryOf(const std::string& path);

// Milliseconds of the monotonic clock.
long long MonotonicMs();

// Prints a progress line on stderr when it is a terminal.
void Progress(const std::string& what);

// The reason for the current errno, after what.
std::string Reason(const std::string& what);

#endif  // VELKCONF_TOOLS_VELKHOST_COMMANDS_H_
