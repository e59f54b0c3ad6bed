#include "cli.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "policy_check.h"
#include "velkconf/velkconf.h"

namespace {

enum : unsigned {
  kU = 1u << static_cast<int>(Command::kUpdate),
  kA = 1u << static_cast<int>(Command::kApply),
  kR = 1u << static_cast<int>(Command::kRender),
  kC = 1u << static_cast<int>(Command::kCheck),
  kB = 1u << static_cast<int>(Command::kRollback),
  kS = 1u << static_cast<int>(Command::kStatus),
  kI = 1u << static_cast<int>(Command::kInfo),
  kPolicy = kU | kA | kR | kC,
};

struct CommandSpec {
  Command command;
  const char* name;
  const char* synopsis;
  const char* brief;
  const char* summary;
};

const CommandSpec kCommands[] = {
    {Command::kUpdate, "", "[OPTIONS] POLICY",
     "one policy update, as a sensor's host runs it",
     "Runs one policy update as a sensor's host does: PreProcess, Process,\n"
     "PostProcess, Validate and Commit, with the plug-in's log on stderr."},
    {Command::kApply, "apply", "[OPTIONS] POLICY",
     "check, commit, verify the restart, roll back on failure",
     "Updates the live configuration safely: under a lock, renders, checks\n"
     "with rsyslogd -N1, keeps the live file as the last known good one,\n"
     "commits only the checked file, verifies the restart and puts the last\n"
     "known good file back when the daemon does not come up."},
    {Command::kRender, "render", "[OPTIONS] POLICY",
     "print what an update would write; changes nothing",
     "Prints the configuration an update would write, rendered in a private\n"
     "copy of /etc; changes nothing and needs no root."},
    {Command::kCheck, "check", "[OPTIONS] [FILE]",
     "check a policy, or rsyslogd's verdict on a file",
     "A policy (XML, or - for stdin): validates it and renders it privately,\n"
     "then asks rsyslogd -N1; changes nothing.  An rsyslog file (default\n"
     "/etc/rsyslog.conf): rsyslogd -N1's verdict on it."},
    {Command::kRollback, "rollback", "[OPTIONS]",
     "put the last known good configuration back",
     "Puts the last known good configuration back, restarts syslog and\n"
     "verifies the restart."},
    {Command::kStatus, "status", "[OPTIONS]",
     "what is live, from which policy, and is the daemon up",
     "Shows the live file's checksum, the policy that produced it and when,\n"
     "the last known good file, and whether the daemon runs on it."},
    {Command::kInfo, "info", "[--plugin PATH]",
     "the plug-in's name, version and location",
     "Shows the plug-in's name and version, where it was loaded from and its\n"
     "policy namespace."},
};

bool SplitPair(const std::string& text,
               std::map<std::string, std::string>& into) {
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos || eq == 0) return false;
  into[text.substr(0, eq)] = text.substr(eq + 1);
  return true;
}

template <typename T>
bool ParseNumber(const std::string& text, long long low, long long high,
                 T& value) {
  char* end = nullptr;
  errno = 0;
  const long long number = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || number < low ||
      number > high) {
    return false;
  }
  value = static_cast<T>(number);
  return true;
}

template <bool Options::*flag, bool value = true>
bool Switch(Options& o, const std::string&) {
  o.*flag = value;
  return true;
}

template <std::string Options::*text>
bool Text(Options& o, const std::string& v) {
  o.*text = v;
  return true;
}

template <int DaemonProbe::*milliseconds, int low, int high>
bool Seconds(Options& o, const std::string& v) {
  int seconds = 0;
  if (!ParseNumber(v, low, high, seconds)) return false;
  o.daemon.*milliseconds = seconds * 1000;
  return true;
}

struct OptionSpec {
  const char* name;
  const char* value;  // null: a switch
  unsigned commands;
  const char* help;
  bool (*store)(Options&, const std::string&);  // false: not a valid value
};

const OptionSpec kOptions[] = {
    {"--no-commit", nullptr, kU | kA, "stop before Commit",
     Switch<&Options::commit, false>},
    {"--no-check", nullptr, kA, "skip rsyslogd -N1 before the commit",
     Switch<&Options::check, false>},
    {"--force", nullptr, kA,
     "commit even when the new file equals the live one",
     Switch<&Options::force>},
    {"--diff", nullptr, kA | kR,
     "show a unified diff against the live /etc/rsyslog.conf\n"
     "(render: exit 0 when nothing differs, 1 when something does)",
     Switch<&Options::diff>},
    {"--check", nullptr, kR, "also rsyslogd -N1's verdict, on stderr",
     Switch<&Options::render_check>},
    {"--wait", "SECONDS", kA | kB,
     "wait up to SECONDS for another velkhost's lock (default 0)",
     [](Options& o, const std::string& v) {
       return ParseNumber(v, 0, 86400, o.wait_seconds);
     }},
    {"--detailed-exitcodes", nullptr, kA,
     "exit 10 when applied, 0 when unchanged",
     Switch<&Options::detailed_exitcodes>},
    {"--pid-file", "PATH", kA | kB | kS,
     "rsyslogd's pid file (default /run/rsyslogd.pid; without it the\n"
     "newest rsyslogd process counts)",
     [](Options& o, const std::string& v) {
       o.daemon.pid_file = v;
       return true;
     }},
    {"--restart-timeout", "SECONDS", kA | kB,
     "give the daemon SECONDS to come up after a restart (default 30)",
     Seconds<&DaemonProbe::restart_timeout_ms, 1, 3600>},
    {"--settle", "SECONDS", kA | kB,
     "the restarted daemon must still run SECONDS after it was\n"
     "found up (default 1)",
     Seconds<&DaemonProbe::settle_ms, 0, 600>},
    {"--json", nullptr, kA | kR | kC | kB | kS,
     "print one JSON object on stdout instead of text", Switch<&Options::json>},
    {"--allow-silent", nullptr, kPolicy,
     "accept a policy that turns off all logging (no local log, no\n"
     "enabled server with an event selected) or every server it lists",
     Switch<&Options::allow_silent>},
    {"--max-size", "BYTES", kPolicy, "largest policy read (default 1048576)",
     [](Options& o, const std::string& v) {
       return ParseNumber(v, 1, 1LL << 32, o.max_size);
     }},
    {"--schema", "PATH", kPolicy,
     "the policy schema (default: the one installed with velkhost)",
     Text<&Options::schema>},
    {"--plugin", "PATH", kPolicy | kI,
     "the plug-in to load (default: the one installed with velkhost)",
     Text<&Options::plugin>},
    {"--rsyslogd", "PATH", kA | kR | kC,
     "the daemon used for checks (default: /usr/sbin/rsyslogd,\n"
     "else rsyslogd through PATH)",
     Text<&Options::rsyslogd>},
    {"--ns", "NAMESPACE", kU | kA | kR | kC,
     "namespace handed to Process (default: the policy namespace)",
     Text<&Options::ns>},
    {"--from-repository", nullptr, kU | kA | kR,
     "let the plug-in find and validate the policy in the repository\n"
     "(POLICY is then not given)",
     Switch<&Options::from_repository>},
    {"--log-level", "N", kPolicy,
     "print the plug-in's log lines of level N and below\n"
     "(default 12 for an update, 0 otherwise)",
     [](Options& o, const std::string& v) {
       o.log_level_given = true;
       return ParseNumber(v, INT_MIN, INT_MAX, o.log_level);
     }},
    {"--ns-info", "KEY=VALUE", kPolicy,
     "namespace information (fileName, relativePath, schemaName)",
     [](Options& o, const std::string& v) {
       return SplitPair(v, o.policy_info.values);
     }},
    {"--param", "NAME=VALUE", kPolicy,
     "a configuration parameter (RepositoryRoot, ...), passed as given",
     [](Options& o, const std::string& v) {
       return SplitPair(v, o.parameters.values);
     }},
    {"--tuning", "NAME=VALUE", kPolicy, "a tuning parameter",
     [](Options& o, const std::string& v) {
       return SplitPair(v, o.parameters.tuning);
     }},
    {"--ports", "N", kPolicy, "the sensor's port count",
     [](Options& o, const std::string& v) {
       return ParseNumber(v, INT_MIN, INT_MAX, o.capabilities.ports);
     }},
    {"--model", "TEXT", kPolicy, "the sensor's model",
     [](Options& o, const std::string& v) {
       o.capabilities.model = v;
       return true;
     }},
    {"--avp", "NAME=VALUE", kPolicy, "a sensor attribute-value pair",
     [](Options& o, const std::string& v) {
       return SplitPair(v, o.capabilities.avps);
     }},
};

const char kExitStatus[] =
    "Exit status:\n"
    "  0  done (unchanged, with --detailed-exitcodes)\n"
    "  1  the policy is refused or the update failed (render --diff: it\n"
    "     differs; status: the daemon does not run on the live file)\n"
    "  2  usage error\n"
    "  3  a file (the schema included), the plug-in or a program could\n"
    "     not be read or run; untrusted state; out of memory\n"
    "  4  rsyslogd rejects the configuration; nothing was committed\n"
    "  5  another velkhost holds the lock\n"
    "  6  the new file changed after it was checked; nothing was committed\n"
    "  7  the restart failed; the last known good file is live again\n"
    "  8  the restart failed and the last known good file could not be\n"
    "     brought back: the daemon is not running on a good configuration\n"
    " 10  applied (with --detailed-exitcodes)\n";

const CommandSpec& SpecOf(Command command) {
  for (const CommandSpec& entry : kCommands) {
    if (entry.command == command) return entry;
  }
  return kCommands[0];
}

std::string Prefix(Command command) {
  const std::string name = SpecOf(command).name;
  return name.empty() ? "velkhost" : "velkhost " + name;
}

void PrintOptions(unsigned bit) {
  for (const OptionSpec& option : kOptions) {
    if (!(option.commands & bit)) continue;
    std::string head = std::string("  ") + option.name;
    if (option.value) head += std::string(" ") + option.value;
    std::string help = option.help;
    std::string::size_type at = 0;
    while ((at = help.find('\n', at)) != std::string::npos) {
      help.insert(at + 1, std::string(24, ' '));
      at += 1;
    }
    if (head.size() < 23) {
      std::cout << head << std::string(24 - head.size(), ' ') << help << "\n";
    } else {
      std::cout << head << "\n" << std::string(24, ' ') << help << "\n";
    }
  }
}

void PrintHelp(Command command, bool general) {
  if (general) {
    std::cout << "usage: velkhost [COMMAND] [OPTIONS] ...\n\nCommands:\n";
    for (const CommandSpec& entry : kCommands) {
      const std::string name = entry.name[0] ? entry.name : "(none)";
      std::cout << "  " << name << std::string(10 - name.size(), ' ')
                << entry.brief << "\n";
    }
    std::cout << "\n'velkhost COMMAND --help' shows a command's options;\n"
                 "'velkhost --version' the version.\n\n"
              << kExitStatus;
    return;
  }
  const CommandSpec& entry = SpecOf(command);
  std::cout << "usage: " << Prefix(command) << " " << entry.synopsis << "\n\n"
            << entry.summary << "\n\nOptions:\n";
  PrintOptions(1u << static_cast<int>(command));
  std::cout << "  -h, --help            this help\n";
}

int UsageError(Command command, const std::string& what) {
  std::cerr << Prefix(command) << ": " << what << "\nTry '" << Prefix(command)
            << " --help'.\n";
  return kExitUsage;
}

}  // namespace

std::string InstalledOr(const std::string& program) {
  for (const char* dir : {"/usr/sbin/", "/usr/bin/", "/sbin/", "/bin/"}) {
    const std::string path = dir + program;
    if (access(path.c_str(), X_OK) == 0) return path;
  }
  return program;
}

const char* CommandName(Command command) { return SpecOf(command).name; }

int ParseArguments(int argc, char** argv, Options& options) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::size_t i = 0;
  if (!args.empty()) {
    if (args[0] == "--version") {
      std::cout << "velkhost " << VELKHOST_VERSION << "\n";
      return kExitOk;
    }
    if (args[0] == "-h" || args[0] == "--help") {
      PrintHelp(Command::kUpdate, true);
      return kExitOk;
    }
    for (const CommandSpec& entry : kCommands) {
      if (entry.name[0] != '\0' && args[0] == entry.name) {
        options.command = entry.command;
        i = 1;
      }
    }
  }
  const Command c = options.command;
  const unsigned bit = 1u << static_cast<int>(c);
  bool positional_only = false;
  for (; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!positional_only && (arg == "-h" || arg == "--help")) {
      PrintHelp(c, false);
      return kExitOk;
    }
    if (!positional_only && arg == "--version") {
      std::cout << "velkhost " << VELKHOST_VERSION << "\n";
      return kExitOk;
    }
    if (!positional_only && arg == "--") {
      positional_only = true;
      continue;
    }
    if (!positional_only && arg.size() > 1 && arg[0] == '-') {
      const OptionSpec* entry = nullptr;
      for (const OptionSpec& option : kOptions) {
        if (arg == option.name && (option.commands & bit)) entry = &option;
      }
      if (entry == nullptr) return UsageError(c, "unknown option " + arg);
      std::string value;
      if (entry->value != nullptr) {
        if (i + 1 >= args.size()) {
          return UsageError(c, arg + " needs " + entry->value);
        }
        value = args[++i];
      }
      if (!entry->store(options, value)) {
        return UsageError(c, "not a valid " + std::string(entry->value) +
                                 " for " + arg + ": " + value);
      }
      continue;
    }
    if (!(bit & kPolicy)) return UsageError(c, "unexpected argument " + arg);
    if (!options.policy.empty())
      return UsageError(c, "more than one file given");
    options.policy = arg;
  }
  if (!options.log_level_given) {
    options.log_level = c == Command::kUpdate ? 12 : 0;
  }
  if (options.max_size == 0) options.max_size = kDefaultMaxPolicySize;
  if (options.ns.empty()) options.ns = VELKCONF_POLICY_NAMESPACE;
  if (options.rsyslogd.empty()) options.rsyslogd = InstalledOr("rsyslogd");
  if (c == Command::kCheck && options.policy.empty()) {
    options.policy = "/etc/rsyslog.conf";
  }
  if ((c == Command::kUpdate || c == Command::kApply ||
       c == Command::kRender)) {
    if (options.policy.empty() && !options.from_repository) {
      return UsageError(c, "no policy given");
    }
    if (!options.policy.empty() && options.from_repository) {
      return UsageError(c, "a policy and --from-repository given");
    }
  }
  return -1;
}
