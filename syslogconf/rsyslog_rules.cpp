#include "syslogconf/rsyslog_rules.h"

#include <strings.h>

const char* const kForwardQueueParameter = "SyslogForwardQueue";
const char* const kDefaultForwardQueue = "disk";
const char* const kSpoolDirectory = "/var/zev/spool";
const char* const kTlsCaFileParameter = "SyslogTlsCaFile";
const char* const kTlsCertFileParameter = "SyslogTlsCertFile";
const char* const kTlsKeyFileParameter = "SyslogTlsKeyFile";

namespace {

typedef VelkPolicyProcessor::SyslogServer_t Server;

const char* const kLocalLogSuffix = " -/var/zev/velk.log";
const char* const kFormatDefinition =
    "$template VelkFormat,\"<%PRI%>%syslogtag%%msg%\\n\"\n";
const char* const kHealthSelector = "local5.*";
const char* const kSystemSelector = "local6.*";
const char* const kSecuritySelector = "local7.*";
// Longest piece of a server's text that goes into its queue's file name.
const std::size_t kMaxNamePiece = 48;

bool IsTls(const Server& server) { return server.proto == "tls"; }
// TLS runs over TCP.
bool IsTcp(const Server& server) {
  return server.proto == "tcp" || IsTls(server);
}

// The selectors of the facilities server forwards, in facility order.
std::vector<const char*> Selectors(const Server& server) {
  std::vector<const char*> selectors;
  if (server.healthEvent) selectors.push_back(kHealthSelector);
  if (server.systemEvent) selectors.push_back(kSystemSelector);
  if (server.securityEvent) selectors.push_back(kSecuritySelector);
  return selectors;
}

bool WritesRules(const Server& server) {
  return server.enabled && !Selectors(server).empty();
}

// A control character ends or splits a line, a backslash escapes or
// continues it, and inside a quoted parameter a double quote ends the
// string.
bool BreaksOut(const std::string& text, bool quoted) {
  for (const unsigned char c : text) {
    if (c < 0x20 || c == 0x7F || c == '\\' || (quoted && c == '"')) {
      return true;
    }
  }
  return false;
}

// The action syntax takes an IPv6 address bare; the selector syntax needs
// it in brackets, and so the policy may give it.
std::string Target(const std::string& server) {
  if (server.size() >= 2 && server.front() == '[' && server.back() == ']') {
    return server.substr(1, server.size() - 2);
  }
  return server;
}

// Letters, digits, dot and hyphen stay; anything else becomes '_'.
std::string FileNamePiece(const std::string& text) {
  std::string piece;
  for (const unsigned char c : text.substr(0, kMaxNamePiece)) {
    const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                      (c >= '0' && c <= '9') || c == '.' || c == '-';
    piece += safe ? static_cast<char>(c) : '_';
  }
  return piece;
}

std::string Parameter(const char* name, const std::string& value) {
  return std::string(" ") + name + "=\"" + value + "\"";
}

// The selector form: one line per facility.
std::string ClassicRules(const Server& server) {
  const std::string destination = (IsTcp(server) ? " @@" : " @") +
                                  server.server + ":" + server.port +
                                  ";VelkFormat\n";
  std::string rules;
  for (const char* selector : Selectors(server)) {
    rules.append(selector).append(destination);
  }
  return rules;
}

// The TLS settings of one action: the peer must show a certificate from
// the configured CA that carries the server's name.  They stay on the
// action, so the template's global settings are never changed.
std::string TlsParameters(const std::string& target,
                          const RsyslogOptions& options) {
  std::string tls = "\n   " + Parameter("StreamDriver", "gtls") +
                    Parameter("StreamDriverMode", "1") +
                    Parameter("StreamDriverAuthMode", "x509/name") +
                    Parameter("StreamDriverPermittedPeers", target) + "\n   " +
                    Parameter("StreamDriver.CAFile", options.tlsCaFile);
  if (!options.tlsCertFile.empty()) {
    tls += Parameter("StreamDriver.CertFile", options.tlsCertFile) +
           Parameter("StreamDriver.KeyFile", options.tlsKeyFile);
  }
  return tls;
}

// One action for all of server's facilities, with a queue of its own
// unless options say none.
std::string ActionRules(const Server& server, std::size_t index,
                        const RsyslogOptions& options) {
  const char* transport = IsTls(server) ? "tls" : IsTcp(server) ? "tcp" : "udp";
  const std::string target = Target(server.server);
  std::string selector;
  for (const char* facility : Selectors(server)) {
    selector.append(selector.empty() ? "" : ";").append(facility);
  }
  const std::string retry = std::to_string(options.retryInterval);
  std::string rules = selector + " action(type=\"omfwd\"" +
                      Parameter("target", target) +
                      Parameter("port", server.port) +
                      Parameter("protocol", IsTcp(server) ? "tcp" : "udp") +
                      Parameter("template", "VelkFormat");
  // A message sent just as the collector went away is sent again on the
  // next connection: a duplicate rather than a loss.
  if (IsTcp(server)) rules += Parameter("ResendLastMSGOnReconnect", "on");
  if (IsTls(server)) rules += TlsParameters(target, options);
  if (options.queue == ForwardQueue::kNone) return rules + ")\n";
  rules += "\n   ";
  rules += Parameter("queue.type", "LinkedList");
  if (options.queue == ForwardQueue::kDisk) {
    rules +=
        Parameter("queue.filename",
                  "velk-fwd-" + std::to_string(index) + "-" + transport + "-" +
                      FileNamePiece(target) + "-" + FileNamePiece(server.port));
    rules += Parameter("queue.spoolDirectory", options.spoolDirectory);
    rules += Parameter("queue.maxDiskSpace", options.maxDiskSpace);
    rules += Parameter("queue.saveOnShutdown", "on");
    // The spill to disk starts early, with room in memory to spare while
    // the disk writer catches up with a burst.
    rules += "\n   " + Parameter("queue.size", "50000") +
             Parameter("queue.highWatermark", "2000") +
             Parameter("queue.lowWatermark", "1000");
  } else {
    rules += Parameter("queue.size", "10000");
  }
  // A full queue drops rather than holds up the daemon's other rules; a
  // stopping daemon saves what is left instead of waiting for a collector.
  rules += "\n   " + Parameter("queue.timeoutEnqueue", "0") +
           Parameter("queue.timeoutShutdown", "20") +
           Parameter("queue.timeoutActionCompletion", "100");
  rules += "\n   " + Parameter("action.resumeRetryCount", "-1") +
           Parameter("action.resumeInterval", retry) +
           Parameter("action.resumeIntervalMax", retry) + ")\n";
  return rules;
}

}  // namespace

bool ParseForwardQueue(const std::string& text, ForwardQueue& queue) {
  const struct {
    const char* name;
    ForwardQueue queue;
  } kNames[] = {{"disk", ForwardQueue::kDisk},
                {"memory", ForwardQueue::kMemory},
                {"none", ForwardQueue::kNone}};
  for (const auto& entry : kNames) {
    if (::strcasecmp(text.c_str(), entry.name) == 0 &&
        text.size() == std::string(entry.name).size()) {
      queue = entry.queue;
      return true;
    }
  }
  return false;
}

std::string CheckForwardingTexts(const ForwardingPolicy& policy,
                                 const RsyslogOptions& options) {
  for (std::size_t i = 0; i < policy.servers.size(); ++i) {
    const Server& server = policy.servers[i];
    if (!WritesRules(server)) continue;  // nothing of it is written
    const bool quoted = options.queue != ForwardQueue::kNone || IsTls(server);
    const char* field = BreaksOut(server.server, quoted) ? "server"
                        : BreaksOut(server.port, quoted) ? "port"
                                                         : nullptr;
    if (field != nullptr) {
      return std::string("Error: Invalid character in the ") + field +
             " text of remote syslog server " + std::to_string(i + 1) + " ";
    }
  }
  return std::string();
}

std::size_t FirstTlsServer(const ForwardingPolicy& policy) {
  for (std::size_t i = 0; i < policy.servers.size(); ++i) {
    if (WritesRules(policy.servers[i]) && IsTls(policy.servers[i])) {
      return i + 1;
    }
  }
  return 0;
}

std::string CheckTlsOptions(const ForwardingPolicy& policy,
                            const RsyslogOptions& options) {
  const std::size_t first = FirstTlsServer(policy);
  if (first == 0) return std::string();  // nothing of them is written
  const struct {
    const char* name;
    const std::string& value;
  } files[] = {{kTlsCaFileParameter, options.tlsCaFile},
               {kTlsCertFileParameter, options.tlsCertFile},
               {kTlsKeyFileParameter, options.tlsKeyFile}};
  for (const auto& file : files) {
    if (BreaksOut(file.value, true)) {
      return std::string(
                 "Error: Invalid character in the configuration "
                 "parameter ") +
             file.name + " ";
    }
  }
  if (options.tlsCaFile.empty()) {
    return std::string("Error: The configuration parameter ") +
           kTlsCaFileParameter + " is not set; remote syslog server " +
           std::to_string(first) + " uses tls ";
  }
  if (options.tlsCertFile.empty() != options.tlsKeyFile.empty()) {
    const bool noKey = options.tlsKeyFile.empty();
    return std::string("Error: The configuration parameter ") +
           (noKey ? kTlsKeyFileParameter : kTlsCertFileParameter) +
           " is not set; " +
           (noKey ? kTlsCertFileParameter : kTlsKeyFileParameter) +
           " needs it ";
  }
  return std::string();
}

std::string ForwardRules(const Server& server, std::size_t index,
                         const RsyslogOptions& options) {
  if (Selectors(server).empty()) return std::string();
  // TLS needs settings that only the action form takes.
  return options.queue == ForwardQueue::kNone && !IsTls(server)
             ? ClassicRules(server)
             : ActionRules(server, index, options);
}

std::string RsyslogConfiguration(const std::string& templateText,
                                 const ForwardingPolicy& policy,
                                 const RsyslogOptions& options) {
  std::string text = templateText;
  if (!text.empty()) text += '\n';
  if (policy.localLogEnabled) {
    for (const char* selector :
         {kHealthSelector, kSystemSelector, kSecuritySelector}) {
      text.append(selector).append(kLocalLogSuffix).append("\n");
    }
  }
  if (policy.servers.empty()) return text;
  text += kFormatDefinition;
  for (std::size_t i = 0; i < policy.servers.size(); ++i) {
    if (policy.servers[i].enabled) {
      text += ForwardRules(policy.servers[i], i + 1, options);
    }
  }
  return text;
}
