// STUB: replaced by the real processor.
#include "xmlpolicy/xml_policy_processor.h"
XmlPolicyProcessor::XmlPolicyProcessor(const std::string& ns, const std::string& elementName)
    : m_strNamespace(ns), m_strElementName(elementName) {}
XmlPolicyProcessor::~XmlPolicyProcessor() {}
int XmlPolicyProcessor::Process(const unsigned char* buffer, unsigned int size) { return ProcessFrom(m_strTargetPath, buffer, size); }
int XmlPolicyProcessor::ProcessFrom(const std::string&, const unsigned char*, unsigned int) { m_strErrorMsg = "not yet"; return 1; }
void XmlPolicyProcessor::error(const xercesc::SAXParseException& e) { throw e; }
void XmlPolicyProcessor::warning(const xercesc::SAXParseException& e) { throw e; }
