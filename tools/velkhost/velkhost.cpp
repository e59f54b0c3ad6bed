// velkhost: the reference host for libvelkconf.
//
// It does what a sensor's host process does: loads the plug-in with dlopen,
// initialises the XML parser library, hands the plug-in its four service
// objects and runs one policy update.
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "commands.h"
#include "host_services.h"
#include "plugin_loader.h"
#include "velkconf/velkconf.h"

namespace {

const char kUsage[] =
    "usage: velkhost [OPTIONS] POLICY          run one policy update, as a host does\n"
    "       velkhost apply [OPTIONS] POLICY    update, with the daemon's check first\n"
    "       velkhost render [OPTIONS] POLICY   show what an update would write\n"
    "       velkhost check [FILE]              rsyslogd's verdict on FILE\n"
    "                                          (default /etc/rsyslog.conf)\n"
    "       velkhost info [--plugin PATH]      identify the plug-in\n"
    "\n"
    "An update runs the plug-in's PreProcess, Process, PostProcess, Validate\n"
    "and Commit: Process writes /etc/rsyslog.conf.new from the site template\n"
    "/etc/rsyslog.conf.in and POLICY, Commit puts it in place as\n"
    "/etc/rsyslog.conf and runs \"service syslog restart\".\n"
    "\n"
    "apply:\n"
    "  --no-check           skip rsyslogd -N1 on the new file before the commit\n"
    "  --force              commit even when the new file equals the live one\n"
    "render (runs in a private copy of /etc; changes nothing on the machine):\n"
    "  --diff               a unified diff against the live /etc/rsyslog.conf\n"
    "  --check              also rsyslogd's verdict on the rendered file\n"
    "\n"
    "Common options:\n"
    "  --plugin PATH        the plug-in to load (default: the built one)\n"
    "  --rsyslogd PATH      the daemon used for checks (default: rsyslogd)\n"
    "  --ns NAMESPACE       namespace handed to Process (default: the policy\n"
    "                       namespace)\n"
    "  --from-repository    let the plug-in find the policy in the repository\n"
    "                       (POLICY is then optional and unused)\n"
    "  --no-commit          stop after Validate\n"
    "  --log-level N        print plug-in log lines of level N and below\n"
    "                       (default 12 for an update, 1 for apply and render)\n"
    "  --ns-info KEY=VALUE  namespace information (fileName, relativePath,\n"
    "                       schemaName)\n"
    "  --param NAME=VALUE   a configuration parameter (e.g. RepositoryRoot)\n"
    "  --tuning NAME=VALUE  a tuning parameter\n"
    "  --ports N            the sensor's port count\n"
    "  --model TEXT         the sensor's model\n"
    "  --avp NAME=VALUE     a sensor attribute-value pair\n"
    "\n"
    "Exit status:\n"
    "  0  done (apply: applied, or unchanged; check: the daemon accepts)\n"
    "  1  the update failed; the plug-in's message is printed\n"
    "  2  usage error\n"
    "  3  the plug-in, the policy or a file could not be read, or the\n"
    "     private copy of /etc could not be made\n"
    "  4  rsyslogd rejects the configuration; nothing was committed\n";

const char kNewFile[] = "/etc/rsyslog.conf.new";
const char kLiveFile[] = "/etc/rsyslog.conf";

// The plug-in next to this build, else the installed one.
std::string DefaultPlugin() {
  if (access(VELK_DEFAULT_PLUGIN, F_OK) == 0) return VELK_DEFAULT_PLUGIN;
  return VELK_INSTALLED_PLUGIN;
}

enum class Command { kUpdate, kApply, kRender, kCheck, kInfo };

struct Options {
  Command command = Command::kUpdate;
  std::string plugin = DefaultPlugin();
  std::string rsyslogd = "rsyslogd";
  std::string ns = VELKCONF_POLICY_NAMESPACE;
  std::string policy;  // for check: the file to check
  bool from_repository = false;
  bool commit = true;
  bool check = true;   // apply
  bool force = false;  // apply
  bool diff = false;   // render
  bool render_check = false;
  int log_level = -1;
  MapPolicyInfo policy_info;
  MapConfigParameters parameters;
  FixedCapabilities capabilities;
};

bool SplitPair(const std::string& text, std::map<std::string, std::string>& into) {
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos || eq == 0) return false;
  into[text.substr(0, eq)] = text.substr(eq + 1);
  return true;
}

bool ParseNumber(const std::string& text, int& value) {
  char* end = nullptr;
  errno = 0;
  const long number = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || number < -2147483647L - 1 ||
      number > 2147483647L) {
    return false;
  }
  value = static_cast<int>(number);
  return true;
}

int UsageError(const std::string& what) {
  std::cerr << "velkhost: " << what << "\n" << kUsage;
  return 2;
}

// 0 on success, else the exit status for a usage error.
int ParseArguments(int argc, char** argv, Options& options) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::size_t i = 0;
  if (!args.empty()) {
    const std::map<std::string, Command> commands = {
        {"apply", Command::kApply}, {"render", Command::kRender},
        {"check", Command::kCheck}, {"info", Command::kInfo}};
    auto it = commands.find(args[0]);
    if (it != commands.end()) {
      options.command = it->second;
      i = 1;
    }
  }
  const Command c = options.command;
  for (; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    std::string v;
    bool ok = true;
    if (arg == "-h" || arg == "--help") {
      std::cout << kUsage;
      std::exit(0);
    } else if (arg == "--plugin") {
      ok = value(options.plugin);
    } else if (arg == "--rsyslogd") {
      ok = value(options.rsyslogd);
    } else if (arg == "--ns") {
      ok = value(options.ns);
    } else if (arg == "--from-repository") {
      options.from_repository = true;
    } else if (arg == "--no-commit" && (c == Command::kUpdate || c == Command::kApply)) {
      options.commit = false;
    } else if (arg == "--no-check" && c == Command::kApply) {
      options.check = false;
    } else if (arg == "--force" && c == Command::kApply) {
      options.force = true;
    } else if (arg == "--diff" && c == Command::kRender) {
      options.diff = true;
    } else if (arg == "--check" && c == Command::kRender) {
      options.render_check = true;
    } else if (arg == "--log-level") {
      ok = value(v) && ParseNumber(v, options.log_level);
    } else if (arg == "--ns-info") {
      ok = value(v) && SplitPair(v, options.policy_info.values);
    } else if (arg == "--param") {
      ok = value(v) && SplitPair(v, options.parameters.values);
    } else if (arg == "--tuning") {
      ok = value(v) && SplitPair(v, options.parameters.tuning);
    } else if (arg == "--ports") {
      ok = value(v) && ParseNumber(v, options.capabilities.ports);
    } else if (arg == "--model") {
      ok = value(options.capabilities.model);
    } else if (arg == "--avp") {
      ok = value(v) && SplitPair(v, options.capabilities.avps);
    } else if (!arg.empty() && arg[0] == '-') {
      return UsageError("unknown option " + arg);
    } else if (options.policy.empty()) {
      options.policy = arg;
    } else {
      return UsageError("more than one file given");
    }
    if (!ok) return UsageError(arg + " needs a valid value");
  }
  if (options.log_level < 0) options.log_level = c == Command::kUpdate ? 12 : 1;
  if (c == Command::kCheck && options.policy.empty()) options.policy = kLiveFile;
  if (c != Command::kCheck && c != Command::kInfo && options.policy.empty() &&
      !options.from_repository) {
    return UsageError("no policy given");
  }
  return 0;
}

// PreProcess, Process, PostProcess, Validate.  0 or the exit status.
int RunProcess(const Plugin& plugin, const Options& options,
               const std::string& policy) {
  plugin.PreProcess();
  const unsigned char* buffer =
      options.from_repository
          ? nullptr
          : reinterpret_cast<const unsigned char*>(policy.data());
  const unsigned int size =
      options.from_repository ? 0 : static_cast<unsigned int>(policy.size());
  const long rc = plugin.Process(options.ns.c_str(), buffer, size);
  if (rc != 0) {
    std::cerr << "velkhost: Process failed (" << rc
              << "): " << plugin.LastError() << "\n";
    return 1;
  }
  long post = 0;
  plugin.PostProcess(0, &post);
  plugin.Validate();
  return 0;
}

int RunCommit(const Plugin& plugin) {
  Progress("committing " + std::string(kNewFile) + " and restarting syslog");
  if (plugin.Commit() != 0) {
    std::cerr << "velkhost: Commit failed: " << plugin.LastError() << "\n";
    return 1;
  }
  return 0;
}

// A plain update, as a sensor's host runs it.
int Update(const Plugin& plugin, const Options& options,
           const std::string& policy) {
  if (int status = RunProcess(plugin, options, policy)) return status;
  return options.commit ? RunCommit(plugin) : 0;
}

// An update with the daemon's check and the unchanged test before Commit.
int Apply(const Plugin& plugin, const Options& options,
          const std::string& policy) {
  if (int status = RunProcess(plugin, options, policy)) return status;
  std::string verdict;
  if (options.check && !DaemonAccepts(options.rsyslogd, kNewFile, verdict)) {
    std::remove(kNewFile);
    std::cerr << "velkhost: " << options.rsyslogd << " rejects the configuration "
              << "generated from " << options.policy
              << "; nothing was committed and " << kLiveFile
              << " is unchanged. The daemon said:\n"
              << verdict;
    return 4;
  }
  if (!options.force && SameContent(kNewFile, kLiveFile)) {
    std::remove(kNewFile);
    std::cout << "unchanged: " << kLiveFile
              << " already holds this configuration; nothing committed\n";
    return 0;
  }
  if (!options.commit) return 0;
  if (int status = RunCommit(plugin)) return status;
  std::cout << "applied: " << kLiveFile << " updated and syslog restarted\n";
  return 0;
}

// Process in a private copy of /etc, then show the result.
int Render(const Plugin& plugin, const Options& options,
           const std::string& policy) {
  if (int status = RunProcess(plugin, options, policy)) return status;
  std::string output;
  if (options.diff) {
    RunCapture({"diff", "-u", "--label", kLiveFile, "--label",
                std::string(kLiveFile) + " (rendered)", kLiveFile, kNewFile},
               output);
    std::cout << (output.empty() ? "no difference from " + std::string(kLiveFile) + "\n"
                                 : output);
  } else {
    std::string error;
    if (!ReadFile(kNewFile, output, error)) {
      std::cerr << "velkhost: cannot read the rendered file " << error << "\n";
      return 3;
    }
    std::cout << output;
  }
  if (!options.render_check) return 0;
  const bool accepted = DaemonAccepts(options.rsyslogd, kNewFile, output);
  std::cout << "\n" << options.rsyslogd << " -N1 "
            << (accepted ? "accepts" : "rejects") << " it:\n"
            << output;
  return accepted ? 0 : 4;
}

int Check(const Options& options) {
  std::string verdict;
  if (access(options.policy.c_str(), R_OK) != 0) {
    std::cerr << "velkhost: cannot read " << options.policy << ": "
              << std::strerror(errno) << "\n";
    return 3;
  }
  const bool accepted = DaemonAccepts(options.rsyslogd, options.policy, verdict);
  std::cout << options.policy << ": " << (accepted ? "accepted" : "rejected")
            << " by " << options.rsyslogd << "\n"
            << verdict;
  return accepted ? 0 : 4;
}

int Info(const Plugin& plugin) {
  Dl_info where{};
  std::string path = "(unknown)";
  if (dladdr(reinterpret_cast<void*>(plugin.Process), &where) != 0 &&
      where.dli_fname != nullptr) {
    char* real = realpath(where.dli_fname, nullptr);
    path = real ? real : where.dli_fname;
    std::free(real);
  }
  std::cout << "name:      " << *plugin.name << "\n"
            << "version:   " << *plugin.version << "\n"
            << "special:   " << *plugin.special << "\n"
            << "loaded:    " << path << "\n"
            << "namespace: " << VELKCONF_POLICY_NAMESPACE << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (int status = ParseArguments(argc, argv, options)) return status;
  if (options.command == Command::kCheck) return Check(options);

  std::string policy;
  std::string error;
  const bool needs_policy =
      options.command != Command::kInfo && !options.from_repository;
  if (needs_policy && !ReadFile(options.policy, policy, error)) {
    std::cerr << "velkhost: cannot read policy " << error << "\n";
    return 3;
  }
  if (policy.size() > 0xFFFFFFFFu) {
    std::cerr << "velkhost: policy " << options.policy << " is too large\n";
    return 3;
  }
  if (options.command == Command::kRender && !EnterPrivateWorld(error)) {
    std::cerr << "velkhost: render: " << error << "\n";
    return 3;
  }

  Plugin plugin{};
  if (!plugin.Load(options.plugin, error)) {
    std::cerr << "velkhost: " << error << "\n";
    return 3;
  }
  if (options.command == Command::kInfo) {
    const int status = Info(plugin);
    plugin.Unload();
    return status;
  }
  try {
    xercesc::XMLPlatformUtils::Initialize();
  } catch (const xercesc::XMLException&) {
    std::cerr << "velkhost: cannot initialise the XML parser library\n";
    return 3;
  }

  StderrLogger logger(options.log_level);
  plugin.Initialize(&logger, &options.policy_info, &options.parameters,
                    &options.capabilities);
  int status = 0;
  switch (options.command) {
    case Command::kApply: status = Apply(plugin, options, policy); break;
    case Command::kRender: status = Render(plugin, options, policy); break;
    default: status = Update(plugin, options, policy); break;
  }
  plugin.Uninitialize();

  xercesc::XMLPlatformUtils::Terminate();
  plugin.Unload();
  return status;
}
