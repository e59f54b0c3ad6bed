// VelkConfig: writes /etc/rsyslog.conf.new from the template and a
// forwarding policy, and commits it as /etc/rsyslog.conf.
#ifndef VELKCONF_SYSLOGCONF_VELK_CONFIG_H_
#define VELKCONF_SYSLOGCONF_VELK_CONFIG_H_

#include <string>

#include "syslogconf/sys_config.h"

struct ForwardingPolicy;
struct RsyslogOptions;

class VelkConfig : public CSysConfig {
 public:
  VelkConfig();
  ~VelkConfig() override;

  bool Configure(XmlPolicyProcessor* processor) override;
  // Puts /etc/rsyslog.conf.new in place and restarts syslog.
  bool CommitTempFiles() const;

 private:
  // Sets m_strErrorMessage, logs it and returns false.
  bool Fail(const std::string& message);
  // Reads the host's configuration parameters of the generated rules; false
  // (with the message set) when one holds a value that cannot be used.
  bool ReadOptions(const ForwardingPolicy& policy, RsyslogOptions& options);
  bool replace_file(const std::string& source,
                    const std::string& destination) const;
  bool remove_file(const std::string& path) const;
};

#endif  // VELKCONF_SYSLOGCONF_VELK_CONFIG_H_
