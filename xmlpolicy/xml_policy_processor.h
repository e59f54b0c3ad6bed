// XmlPolicyProcessor: locates a policy and its schema, parses it with the
// Xerces-C DOM parser and hands the document to the derived class's Parse.
// Internal to the library: this header carries Xerces types and is not
// installed for hosts.
#ifndef VELKCONF_XMLPOLICY_XML_POLICY_PROCESSOR_H_
#define VELKCONF_XMLPOLICY_XML_POLICY_PROCESSOR_H_

#include <string>
#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/sax/HandlerBase.hpp>
#include <xercesc/sax/SAXParseException.hpp>

class XmlPolicyProcessor : public xercesc::HandlerBase {
 public:
  // ns: the policy namespace URI; elementName: the policy element's name.
  XmlPolicyProcessor(const std::string& ns, const std::string& elementName);
  ~XmlPolicyProcessor() override;

  XmlPolicyProcessor(const XmlPolicyProcessor&) = delete;
  XmlPolicyProcessor& operator=(const XmlPolicyProcessor&) = delete;

  // 0 on success.  Parses buffer when it is non-null and size is non-zero,
  // else the policy file (temp copy first, then the repository's).
  int Process(const unsigned char* buffer, unsigned int size);
  int ProcessFrom(const std::string& path, const unsigned char* buffer,
                  unsigned int size);

  // Every warning and error ends the parse.
  void error(const xercesc::SAXParseException& e) override;
  void warning(const xercesc::SAXParseException& e) override;

  // Reads the parsed document; must not keep it.  0 means success.
  virtual int Parse(xercesc::DOMDocument* document) = 0;

  std::string m_strNamespace;
  std::string m_strSchemaLocation;
  std::string m_strTargetPath;
  std::string m_strTempPath;
  std::string m_strElementName;
  std::string m_strErrorMsg;
};

#endif  // VELKCONF_XMLPOLICY_XML_POLICY_PROCESSOR_H_
