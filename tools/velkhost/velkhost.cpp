// velkhost: the reference host for libvelkconf.
//
// It does what a sensor's host process does: loads the plug-in with dlopen,
// initialises the XML parser library, hands the plug-in its four service
// objects and runs one policy update.
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "host_services.h"
#include "plugin_loader.h"
#include "velkconf/velkconf.h"

namespace {

const char kUsage[] =
    "usage: velkhost [OPTIONS] POLICY\n"
    "\n"
    "Runs one policy update through libvelkconf: PreProcess, Process,\n"
    "PostProcess, Validate and Commit.\n"
    "\n"
    "  --plugin PATH        the plug-in to load (default: the built one)\n"
    "  --ns NAMESPACE       namespace handed to Process (default: the policy\n"
    "                       namespace)\n"
    "  --from-repository    let the plug-in find the policy in the repository\n"
    "                       (POLICY is then optional and unused)\n"
    "  --no-commit          stop after Validate\n"
    "  --log-level N        print log lines of level N and below (default 12)\n"
    "  --ns-info KEY=VALUE  namespace information (fileName, relativePath,\n"
    "                       schemaName)\n"
    "  --param NAME=VALUE   a configuration parameter (e.g. RepositoryRoot)\n"
    "  --tuning NAME=VALUE  a tuning parameter\n"
    "  --ports N            the sensor's port count\n"
    "  --model TEXT         the sensor's model\n"
    "  --avp NAME=VALUE     a sensor attribute-value pair\n"
    "\n"
    "Exit status: 0 success, 1 the update failed (the plug-in's message is\n"
    "printed), 2 usage error, 3 the plug-in or the policy could not be read.\n";

struct Options {
  std::string plugin = VELK_DEFAULT_PLUGIN;
  std::string ns = VELKCONF_POLICY_NAMESPACE;
  std::string policy;
  bool from_repository = false;
  bool commit = true;
  int log_level = 12;
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

// 0 on success, else the exit status for a usage error.
int ParseArguments(int argc, char** argv, Options& options) {
  std::vector<std::string> args(argv + 1, argv + argc);
  for (std::size_t i = 0; i < args.size(); ++i) {
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
    } else if (arg == "--ns") {
      ok = value(options.ns);
    } else if (arg == "--from-repository") {
      options.from_repository = true;
    } else if (arg == "--no-commit") {
      options.commit = false;
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
      std::cerr << "velkhost: unknown option " << arg << "\n" << kUsage;
      return 2;
    } else if (options.policy.empty()) {
      options.policy = arg;
    } else {
      std::cerr << "velkhost: more than one policy given\n" << kUsage;
      return 2;
    }
    if (!ok) {
      std::cerr << "velkhost: " << arg << " needs a valid value\n" << kUsage;
      return 2;
    }
  }
  if (options.policy.empty() && !options.from_repository) {
    std::cerr << "velkhost: no policy given\n" << kUsage;
    return 2;
  }
  return 0;
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

// Runs one update; returns the exit status.
int RunUpdate(const Plugin& plugin, const Options& options,
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
  if (!options.commit) return 0;
  if (plugin.Commit() != 0) {
    std::cerr << "velkhost: Commit failed: " << plugin.LastError() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (int status = ParseArguments(argc, argv, options)) return status;

  std::string policy;
  std::string error;
  if (!options.from_repository && !ReadFile(options.policy, policy, error)) {
    std::cerr << "velkhost: cannot read policy " << error << "\n";
    return 3;
  }
  if (policy.size() > 0xFFFFFFFFu) {
    std::cerr << "velkhost: policy " << options.policy << " is too large\n";
    return 3;
  }

  Plugin plugin{};
  if (!plugin.Load(options.plugin, error)) {
    std::cerr << "velkhost: " << error << "\n";
    return 3;
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
  const int status = RunUpdate(plugin, options, policy);
  plugin.Uninitialize();

  xercesc::XMLPlatformUtils::Terminate();
  plugin.Unload();
  return status;
}
