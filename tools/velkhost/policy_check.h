// The policy file as velkhost reads and checks it before the plug-in sees
// it: bounded reading, validation against the policy schema with no DOCTYPE
// and no resource of the document's choosing, and a summary of what the
// policy turns on.
#ifndef VELKCONF_TOOLS_VELKHOST_POLICY_CHECK_H_
#define VELKCONF_TOOLS_VELKHOST_POLICY_CHECK_H_

#include <cstddef>
#include <string>

// Policies larger than this are refused unless --max-size raises it.
constexpr std::size_t kDefaultMaxPolicySize = 1024 * 1024;

// Reads the policy file path ("-" for standard input) into content.  An
// empty file, a directory, anything else that is not a regular file or a
// pipe (a device is never opened) and anything larger than max_size bytes
// are refused; no more than max_size + 1 bytes are ever read.  false with
// "NAME: reason" in error.
bool ReadPolicy(const std::string& path, std::size_t max_size,
                std::string& content, std::string& error);

// The name a policy path goes by in messages.
std::string PolicyName(const std::string& path);

struct PolicySummary {
  bool local_log = false;
  int servers = 0;     // RemoteSyslogServer elements
  int forwarding = 0;  // enabled, and with at least one kind of event
  // How the policy switches logging off, "" when it does not: no local log
  // and nothing forwarded, or servers listed and none of them forwarding.
  std::string Silence() const;
};

enum class Validity {
  kValid,
  kInvalid,   // error: "NAME:LINE:COLUMN: cause" (or "NAME: cause")
  kNoSchema,  // error: "SCHEMA: cause": the schema cannot be read or loaded
};

// Validates content against the schema file (and only that file; schema
// hints in the document are ignored, a DOCTYPE is refused) and summarises
// it.  The XML library must be initialised.
Validity ValidatePolicy(const std::string& content, const std::string& name,
                        const std::string& schema, PolicySummary& summary,
                        std::string& error);

#endif  // VELKCONF_TOOLS_VELKHOST_POLICY_CHECK_H_
