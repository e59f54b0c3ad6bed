// VelkConfig: writes /etc/rsyslog.conf.new from the template and a
// forwarding policy, and commits it as /etc/rsyslog.conf.
#ifndef VELKCONF_SYSLOGCONF_VELK_CONFIG_H_
#define VELKCONF_SYSLOGCONF_VELK_CONFIG_H_

#include <string>

#include "syslogconf/sys_config.h"

class VelkPolicyProcessor;

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
  // False (with the message set) when a text that would be written holds a
  // character that ends or continues an rsyslog line.
  bool CheckServerTexts(const VelkPolicyProcessor& policy);
  bool replace_file(const std::string& source,
                    const std::string& destination) const;
  bool remove_file(const std::string& path) const;
};

#endif  // VELKCONF_SYSLOGCONF_VELK_CONFIG_H_
