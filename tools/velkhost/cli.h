// velkhost's command line: the subcommands, their options and help texts,
// and the exit statuses.  One table drives parsing and help, so the two
// cannot disagree.
#ifndef VELKCONF_TOOLS_VELKHOST_CLI_H_
#define VELKCONF_TOOLS_VELKHOST_CLI_H_

#include <cstddef>
#include <string>

#include "host_services.h"
#include "live_system.h"

enum class Command {
  kUpdate,
  kApply,
  kRender,
  kCheck,
  kRollback,
  kStatus,
  kInfo
};

// Exit statuses; see velkhost(1).
enum ExitStatus {
  kExitOk = 0,
  kExitFailed = 1,  // the policy is refused or the update failed
  kExitUsage = 2,
  kExitUnreadable = 3,
  kExitRejected = 4,        // rsyslogd rejects the configuration
  kExitLocked = 5,          // another velkhost holds the lock
  kExitChanged = 6,         // the staged file changed after the check
  kExitRolledBack = 7,      // restart failed; the last known good is back
  kExitRollbackFailed = 8,  // restart failed and so did the way back
  kExitApplied = 10,        // with --detailed-exitcodes: something changed
};

struct Options {
  Command command = Command::kUpdate;
  std::string plugin;    // empty: beside the installation
  std::string schema;    // empty: beside the installation
  std::string rsyslogd;  // empty: /usr/sbin/rsyslogd, else through PATH
  std::string ns;
  std::string policy;  // the policy, or for check the file to check
  bool from_repository = false;
  bool commit = true;
  bool check = true;
  bool force = false;
  bool diff = false;
  bool render_check = false;
  bool json = false;
  bool allow_silent = false;
  bool detailed_exitcodes = false;
  int wait_seconds = 0;
  std::size_t max_size = 0;
  int log_level = 0;
  bool log_level_given = false;
  DaemonProbe daemon;
  MapPolicyInfo policy_info;
  MapConfigParameters parameters;
  FixedCapabilities capabilities;
};

// Fills options from argv.  Returns -1 to go on, or the exit status when
// parsing ends the run (--help, --version, a usage error).
int ParseArguments(int argc, char** argv, Options& options);

// A program of the system's own directories (/usr/sbin, /usr/bin, /sbin,
// /bin), not whatever PATH finds first; the bare name when none has it.
std::string InstalledOr(const std::string& program);

// The subcommand's name as typed ("" for the plain update).
const char* CommandName(Command command);

#endif  // VELKCONF_TOOLS_VELKHOST_CLI_H_
