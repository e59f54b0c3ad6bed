// STUB: replaced by the real generator and commit.
#include "syslogconf/velk_config.h"
#include "syslogconf/velk_policy_processor.h"
#include "velkconf/velkconf.h"
CSysConfig::~CSysConfig() {}
VelkConfig::VelkConfig() {}
VelkConfig::~VelkConfig() {}
bool VelkConfig::Configure(XmlPolicyProcessor*) { return false; }
bool VelkConfig::CommitTempFiles() const { return false; }
VelkPolicyProcessor::VelkPolicyProcessor() : XmlPolicyProcessor(VELKCONF_POLICY_NAMESPACE, "policy"), m_bLocalLogEnabled(false) {}
VelkPolicyProcessor::~VelkPolicyProcessor() {}
int VelkPolicyProcessor::Parse(xercesc::DOMDocument*) { return 0; }
