#include "syslogconf/velk_policy_processor.h"

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/dom/DOMNodeList.hpp>

#include "host/log_levels.h"
#include "velkconf/velkconf.h"
#include "xmlpolicy/xml_strings.h"

namespace {

// A policy handed over in memory is not validated, so an attribute may be
// missing: it then reads as false or as an empty text, never as the value
// the shared reader held from the attribute before it.
bool ReadBool(CDomAttributeString& reader, xercesc::DOMNamedNodeMap& attributes,
              const char* name) {
  return reader.SetValue(attributes, name) && reader.ToBool();
}

std::string ReadText(CDomAttributeString& reader,
                     xercesc::DOMNamedNodeMap& attributes, const char* name) {
  return reader.SetValue(attributes, name) ? reader.m_strValue : std::string();
}

xercesc::DOMNodeList* ElementsNamed(xercesc::DOMDocument* doc,
                                    const char* name) {
  XMLChString tagName(name);
  return doc->getElementsByTagName(tagName.getString());
}

}  // namespace

VelkPolicyProcessor::VelkPolicyProcessor()
    : XmlPolicyProcessor(VELKCONF_POLICY_NAMESPACE, "policy"),
      m_bLocalLogEnabled(false) {}

VelkPolicyProcessor::~VelkPolicyProcessor() {}

int VelkPolicyProcessor::Parse(xercesc::DOMDocument* doc) {
  m_vecSyslogServers.clear();
  CDomAttributeString reader;

  if (ElementsNamed(doc, m_strElementName.c_str())->getLength() == 0) {
    Log(kTrace,
        "Could not find policy element %s in %s.  Assuming nothing to "
        "configure",
        m_strElementName.c_str(), m_strTargetPath.c_str());
    return 0;
  }

  xercesc::DOMNodeList* localLogs = ElementsNamed(doc, "LocalLog");
  if (localLogs->getLength() > 0) {
    xercesc::DOMNamedNodeMap& attributes = *localLogs->item(0)->getAttributes();
    m_bLocalLogEnabled = ReadBool(reader, attributes, "enabled");
    m_strLocalLogMaxSize = ReadText(reader, attributes, "maxSize");
  }

  // The list's length is counted once: the parser's lists count by walking
  // the whole document, so asking before every element would cost time
  // quadratic in the number of servers.  The document cannot change here.
  xercesc::DOMNodeList* servers = ElementsNamed(doc, "RemoteSyslogServer");
  const XMLSize_t count = servers->getLength();
  for (XMLSize_t i = 0; i < count; ++i) {
    xercesc::DOMNamedNodeMap& attributes = *servers->item(i)->getAttributes();
    SyslogServer_t server;
    server.enabled = ReadBool(reader, attributes, "enabled");
    server.healthEvent = ReadBool(reader, attributes, "healthEvent");
    server.systemEvent = ReadBool(reader, attributes, "systemEvent");
    server.securityEvent = ReadBool(reader, attributes, "securityEvent");
    server.proto = ReadText(reader, attributes, "proto");
    server.port = ReadText(reader, attributes, "port");
    server.server = ReadText(reader, attributes, "server");
    m_vecSyslogServers.push_back(server);
  }
  return 0;
}
