// Helpers behind velkhost's operator commands: the daemon's own check, a
// private copy of the machine for dry runs, and running other programs.
#ifndef VELKCONF_TOOLS_VELKHOST_COMMANDS_H_
#define VELKCONF_TOOLS_VELKHOST_COMMANDS_H_

#include <string>
#include <vector>

// Runs argv (no shell), collecting stdout and stderr together.  Returns the
// exit status, or -1 with the reason in output when it could not run.
int RunCapture(const std::vector<std::string>& argv, std::string& output);

// rsyslogd -N1 -f path: true when the daemon accepts the file.  verdict
// receives what the daemon said.
bool DaemonAccepts(const std::string& rsyslogd, const std::string& path,
                   std::string& verdict);

// Moves this process into private mount and network namespaces in which
// /etc is an overlay over the real one (writes land in a tmpfs and vanish
// with the process).  Needs root.  false with the reason on failure.
bool EnterPrivateWorld(std::string& error);

// The whole of a file into content; false with "path: reason" in error.
bool ReadFile(const std::string& path, std::string& content,
              std::string& error);

// Byte-for-byte comparison of two files; false when either is unreadable.
bool SameContent(const std::string& a, const std::string& b);

// Prints a progress line on stderr when it is a terminal.
void Progress(const std::string& what);

#endif  // VELKCONF_TOOLS_VELKHOST_COMMANDS_H_
