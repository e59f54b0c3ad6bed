// CSysConfig: base of the system-configuration writers.
#ifndef VELKCONF_SYSLOGCONF_SYS_CONFIG_H_
#define VELKCONF_SYSLOGCONF_SYS_CONFIG_H_

#include <string>

class XmlPolicyProcessor;

class CSysConfig {
 public:
  virtual ~CSysConfig();
  // Writes the configuration for processor's model; false with
  // m_strErrorMessage set on failure.
  virtual bool Configure(XmlPolicyProcessor* processor) = 0;

  std::string m_strErrorMessage;
};

#endif  // VELKCONF_SYSLOGCONF_SYS_CONFIG_H_
