#include "xmlpolicy/xml_strings.h"

#include <strings.h>

#include <climits>
#include <cstdlib>
#include <sstream>
#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/util/XMLString.hpp>

#include "unicode/utf16_to_utf8.h"

using xercesc::XMLString;

namespace {

XMLCh* Transcode(const char* text) {
  return text == nullptr ? nullptr : XMLString::transcode(text);
}

template <typename T>
XMLCh* TranscodeStreamed(T value) {
  std::ostringstream text;
  text << value;
  return XMLString::transcode(text.str().c_str());
}

// Blanks and tabs only: other white space is part of the value.
void TrimBlanksAndTabs(std::string& text) {
  const char* const kBlanks = " \t";
  const std::string::size_type last = text.find_last_not_of(kBlanks);
  if (last == std::string::npos) {
    text.clear();
    return;
  }
  text.erase(last + 1);
  text.erase(0, text.find_first_not_of(kBlanks));
}

}  // namespace

XMLChString::XMLChString() : m_pXMLCh(nullptr) {}

XMLChString::XMLChString(const char* text) : m_pXMLCh(Transcode(text)) {}

XMLChString::XMLChString(std::string& text)
    : m_pXMLCh(Transcode(text.c_str())) {}

XMLChString::XMLChString(unsigned int value)
    : m_pXMLCh(TranscodeStreamed(value)) {}

XMLChString::XMLChString(bool value) : m_pXMLCh(TranscodeStreamed(value)) {}

XMLChString::~XMLChString() {
  if (m_pXMLCh != nullptr) XMLString::release(&m_pXMLCh);
}

CDomAttributeString::CDomAttributeString() : m_bFound(false) {}

CDomAttributeString::CDomAttributeString(xercesc::DOMNamedNodeMap& attributes,
                                         const char* name)
    : m_bFound(false) {
  SetValue(attributes, name);
}

CDomAttributeString::~CDomAttributeString() {}

bool CDomAttributeString::SetValue(xercesc::DOMNamedNodeMap& attributes,
                                   const char* name) {
  m_bFound = false;
  if (name == nullptr || *name == '\0') return false;
  const xercesc::DOMNode* node;
  {
    XMLChString xmlName(name);
    node = attributes.getNamedItem(xmlName.getString());
  }
  if (node == nullptr) return false;
  m_bFound = true;
  m_strValue = velk::Utf16ZToUtf8<char16_t>(node->getNodeValue());
  TrimBlanksAndTabs(m_strValue);
  return true;
}

bool CDomAttributeString::ToBool() const {
  return ::strcasecmp(m_strValue.c_str(), "true") == 0;
}

int CDomAttributeString::ToInt() const {
  const long value = std::strtol(m_strValue.c_str(), nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}
