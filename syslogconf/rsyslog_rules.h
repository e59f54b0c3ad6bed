// The rsyslog text of a forwarding policy: the site template followed by
// the local-log and forwarding rules.  Pure: no files, no logging, no
// globals; VelkConfig reads and writes the files around it.
#ifndef VELKCONF_SYSLOGCONF_RSYSLOG_RULES_H_
#define VELKCONF_SYSLOGCONF_RSYSLOG_RULES_H_

#include <string>
#include <vector>

#include "syslogconf/velk_policy_processor.h"

// How each forward is queued (host parameter SyslogForwardQueue).
enum class ForwardQueue {
  kDisk,    // its own in-memory queue spilling to a disk spool: the default
  kMemory,  // its own in-memory queue, lost when the daemon stops
  kNone,    // the classic selector lines, in the daemon's main queue
};

// The host parameter that chooses the queue, and its default.
extern const char* const kForwardQueueParameter;
extern const char* const kDefaultForwardQueue;

// The directory that holds the disk queues (it must exist when the daemon
// starts; VelkConfig creates it).
extern const char* const kSpoolDirectory;

// The host parameters that name the files of TLS forwards.
extern const char* const kTlsCaFileParameter;
extern const char* const kTlsCertFileParameter;
extern const char* const kTlsKeyFileParameter;

struct RsyslogOptions {
  ForwardQueue queue = ForwardQueue::kDisk;
  std::string spoolDirectory = kSpoolDirectory;
  // rsyslog size text: the disk one forward's queue may take.
  std::string maxDiskSpace = "32m";
  // Seconds between two attempts to reach a collector that is down.
  int retryInterval = 1;
  // For servers whose proto is tls: the CA that signs the collectors'
  // certificates, and the sensor's own certificate and key, both or
  // neither, for collectors that ask for one.
  std::string tlsCaFile;
  std::string tlsCertFile;
  std::string tlsKeyFile;
};

// The policy model that the rules are made of.
struct ForwardingPolicy {
  bool localLogEnabled = false;
  std::vector<VelkPolicyProcessor::SyslogServer_t> servers;
};

// Reads a SyslogForwardQueue text (disk, memory, none, in any letter case);
// false when it is none of them.
bool ParseForwardQueue(const std::string& text, ForwardQueue& queue);

// Empty when every text the rules would hold stays inside its rsyslog line
// and string; otherwise the reason, naming the first offending server
// (1-based) and its field.
std::string CheckForwardingTexts(const ForwardingPolicy& policy,
                                 const RsyslogOptions& options);

// The whole generated file: templateText, a line feed that ends its last
// line (none after an empty template), then the rules.  The texts must have
// passed CheckForwardingTexts.
std::string RsyslogConfiguration(const std::string& templateText,
                                 const ForwardingPolicy& policy,
                                 const RsyslogOptions& options);

// The place (from 1) of the first server whose rules forward over TLS; 0
// when there is none.
std::size_t FirstTlsServer(const ForwardingPolicy& policy);

// Empty when the TLS files of options suit the policy's TLS forwards (a CA
// file, a certificate and a key both or neither, no character that would
// end its quoted parameter); otherwise the reason.  Whether the files can
// be read is for the caller to check.
std::string CheckTlsOptions(const ForwardingPolicy& policy,
                            const RsyslogOptions& options);

// The rules for one enabled server (the index counts from 1 in policy
// order): empty when none of its event flags is set.
std::string ForwardRules(const VelkPolicyProcessor::SyslogServer_t& server,
                         std::size_t index, const RsyslogOptions& options);

#endif  // VELKCONF_SYSLOGCONF_RSYSLOG_RULES_H_
