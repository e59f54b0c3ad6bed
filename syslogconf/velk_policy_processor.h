// VelkPolicyProcessor: reads the local-log settings and the remote syslog
// servers of a forwarding policy.
#ifndef VELKCONF_SYSLOGCONF_VELK_POLICY_PROCESSOR_H_
#define VELKCONF_SYSLOGCONF_VELK_POLICY_PROCESSOR_H_

#include <string>
#include <vector>

#include "xmlpolicy/xml_policy_processor.h"

class VelkPolicyProcessor : public XmlPolicyProcessor {
 public:
  struct SyslogServer_t {
    bool enabled = false;
    bool healthEvent = false;
    bool systemEvent = false;
    bool securityEvent = false;
    std::string server;
    std::string proto;
    std::string port;
  };

  VelkPolicyProcessor();
  ~VelkPolicyProcessor() override;

  int Parse(xercesc::DOMDocument* doc) override;

  bool m_bLocalLogEnabled;
  std::string m_strLocalLogMaxSize;
  std::vector<SyslogServer_t> m_vecSyslogServers;
};

#endif  // VELKCONF_SYSLOGCONF_VELK_POLICY_PROCESSOR_H_
