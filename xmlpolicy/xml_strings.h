// XMLChString and CDomAttributeString: the bridge between the library's
// narrow (UTF-8) strings and the parser's UTF-16 strings, for element and
// attribute names going into the DOM and attribute values coming out.
// Internal to the library: carries Xerces types.
#ifndef VELKCONF_XMLPOLICY_XML_STRINGS_H_
#define VELKCONF_XMLPOLICY_XML_STRINGS_H_

#include <string>
#include <xercesc/dom/DOMNamedNodeMap.hpp>
#include <xercesc/util/XercesDefs.hpp>

// An XMLCh string owned by the object, made with XMLString::transcode from
// the process's local code page.  Lives as long as the call that needs its
// pointer.
class XMLChString {
 public:
  XMLChString();
  explicit XMLChString(const char* text);
  explicit XMLChString(std::string& text);
  // Decimal digits, as an output string stream writes them.
  explicit XMLChString(unsigned int value);
  // "1" or "0", as an output string stream writes a bool.
  explicit XMLChString(bool value);
  ~XMLChString();

  XMLChString(const XMLChString&) = delete;
  XMLChString& operator=(const XMLChString&) = delete;

  // May be null; the object keeps ownership.
  const XMLCh* getString() const { return m_pXMLCh; }

 private:
  XMLCh* m_pXMLCh;
};

// One attribute of a DOM element, as UTF-8 text with blanks and tabs
// trimmed at both ends.  A lookup that finds nothing leaves the previous
// value in place: callers that reuse one object must look at the result.
class CDomAttributeString {
 public:
  CDomAttributeString();
  CDomAttributeString(xercesc::DOMNamedNodeMap& attributes, const char* name);
  virtual ~CDomAttributeString();

  // True when the attribute exists; only then is m_strValue replaced.
  bool SetValue(xercesc::DOMNamedNodeMap& attributes, const char* name);

  const char* ToString() const { return m_strValue.c_str(); }
  // "true" in any case.
  bool ToBool() const;
  // Base-10 strtol, saturated to 32 bits; 0 without digits.
  int ToInt() const;
  std::string::size_type length() const { return m_strValue.length(); }

  bool m_bFound;
  std::string m_strValue;
};

#endif  // VELKCONF_XMLPOLICY_XML_STRINGS_H_
