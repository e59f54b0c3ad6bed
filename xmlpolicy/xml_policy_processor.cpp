#include "xmlpolicy/xml_policy_processor.h"

#include <unistd.h>

#include <cstring>
#include <xercesc/framework/LocalFileInputSource.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/util/XMLEntityResolver.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLResourceIdentifier.hpp>
#include <xercesc/util/XMLString.hpp>

#include "host/log_levels.h"
#include "unicode/utf16_to_utf8.h"
#include "velkconf/host_glue.h"
#include "xmlpolicy/xml_strings.h"

using xercesc::XMLPlatformUtils;

namespace {

const char* const kDefaultRepositoryRoot = "/etc/tesk";
const char* const kTempDirectory = "/tmp/ppd";

// Hands the parser the configured schema file and nothing else: no DTD, no
// external entity, no schema named by a hint in the document.  With the
// parser's own resolution switched off, a refused resource is simply not
// read.
class SchemaOnlyResolver : public xercesc::XMLEntityResolver {
 public:
  // schemaPath empty: nothing is served.
  explicit SchemaOnlyResolver(const std::string& schemaPath)
      : m_strSchemaPath(schemaPath) {}

  xercesc::InputSource* resolveEntity(
      xercesc::XMLResourceIdentifier* resource) override {
    if (m_strSchemaPath.empty() || resource == nullptr ||
        resource->getResourceIdentifierType() !=
            xercesc::XMLResourceIdentifier::SchemaGrammar ||
        velk::Utf16ZToUtf8<char16_t>(resource->getSystemId()) !=
            m_strSchemaPath) {
      return nullptr;
    }
    // A relative location is read from beside the policy, as the parser
    // itself would.
    if (resource->getBaseURI() == nullptr) {
      return new xercesc::LocalFileInputSource(resource->getSystemId());
    }
    return new xercesc::LocalFileInputSource(resource->getBaseURI(),
                                             resource->getSystemId());
  }

 private:
  std::string m_strSchemaPath;
};

// The parser with the document type declaration refused outright, so that
// no entity, internal or external, can be declared, and with default entity
// resolution off, so that only the resolver above opens anything.
class PolicyDomParser : public xercesc::XercesDOMParser {
 public:
  PolicyDomParser()
      : xercesc::XercesDOMParser(nullptr, XMLPlatformUtils::fgMemoryManager,
                                 nullptr) {
    getScanner()->setDisallowDTD(true);
    setDisableDefaultEntityResolution(true);
  }
};

}  // namespace

XmlPolicyProcessor::XmlPolicyProcessor(const std::string& ns,
                                       const std::string& elementName)
    : m_strNamespace(ns), m_strElementName(elementName) {
  std::string fileName;
  std::string relativePath;
  std::string schemaName;
  std::string repositoryRoot;
  GetNamespaceInfo(ns, "fileName", fileName);
  GetNamespaceInfo(ns, "relativePath", relativePath);
  GetNamespaceInfo(ns, "schemaName", schemaName);
  ConfigParameters::GetValue("RepositoryRoot", repositoryRoot);
  const std::string root =
      repositoryRoot.empty() ? kDefaultRepositoryRoot : repositoryRoot;

  if (!fileName.empty()) m_strTargetPath = root + "/policies/" + fileName;
  if (!fileName.empty() && !relativePath.empty()) {
    // The copy keeps the part of the file name below relativePath; a file
    // name outside relativePath has no copy.
    const std::string::size_type at = fileName.find(relativePath);
    if (at != std::string::npos) {
      m_strTempPath =
          kTempDirectory + fileName.substr(at + relativePath.length());
    }
  }
  if (!schemaName.empty() && !relativePath.empty()) {
    m_strSchemaLocation =
        ns + " " + root + "/schemas/" + relativePath + "/" + schemaName;
  }
}

XmlPolicyProcessor::~XmlPolicyProcessor() {}

int XmlPolicyProcessor::Process(const unsigned char* buffer,
                                unsigned int size) {
  if (!m_strTempPath.empty() && ::access(m_strTempPath.c_str(), F_OK) == 0) {
    Log(kTrace, "Found policy from temp directory");
    return ProcessFrom(m_strTempPath, buffer, size);
  }
  Log(kTrace, "Found policy from target directory");
  return ProcessFrom(m_strTargetPath, buffer, size);
}

int XmlPolicyProcessor::ProcessFrom(const std::string& path,
                                    const unsigned char* buffer,
                                    unsigned int size) {
  Log(kTrace, "Process: stream size = %d", static_cast<int>(size));
  m_strErrorMsg.clear();

  const bool fromBuffer = buffer != nullptr && size != 0;
  PolicyDomParser parser;
  parser.setDoNamespaces(true);
  parser.setErrorHandler(this);
  // The schema file: what follows the namespace in the schema location.
  SchemaOnlyResolver resolver(
      fromBuffer || m_strSchemaLocation.empty()
          ? std::string()
          : m_strSchemaLocation.substr(m_strNamespace.size() + 1));
  parser.setXMLEntityResolver(&resolver);

  bool parsed = false;
  try {
    if (fromBuffer) {
      Log(kTrace, "Parsing policy from input stream");
      xercesc::MemBufInputSource source(buffer, size, "zev", false,
                                        XMLPlatformUtils::fgMemoryManager);
      parser.setValidationScheme(xercesc::XercesDOMParser::Val_Never);
      parser.parse(source);
    } else {
      Log(kTrace, "Loading policy from file %s", path.c_str());
      parser.setValidationScheme(xercesc::XercesDOMParser::Val_Always);
      parser.setDoSchema(true);
      parser.setExternalSchemaLocation(m_strSchemaLocation.c_str());
      Log(kTrace, "External schema location: %s", m_strSchemaLocation.c_str());
      // A local file, whatever the path looks like: never a URL.
      const XMLChString xmlPath(path.c_str());
      xercesc::LocalFileInputSource source(xmlPath.getString());
      parser.parse(source);
    }
    parsed = true;
  } catch (const xercesc::SAXParseException& e) {
    m_strErrorMsg = "SAXParseException while parsing input stream: " +
                    velk::Utf16ZToUtf8<char16_t>(e.getMessage());
  } catch (const xercesc::XMLException& e) {
    m_strErrorMsg =
        "XMLException: " + velk::Utf16ZToUtf8<char16_t>(e.getMessage());
  } catch (...) {
    m_strErrorMsg =
        "An unexpected error occurred while trying to parse the XML policy";
  }
  if (parsed && parser.getDocument() == nullptr) {
    m_strErrorMsg = "Failed to get policy document";
    parsed = false;
  }
  if (!parsed) {
    // The policy as the host gave it; on the file route, where it came from.
    const std::string policy =
        fromBuffer ? std::string(
                         reinterpret_cast<const char*>(buffer),
                         ::strnlen(reinterpret_cast<const char*>(buffer), size))
                   : path;
    Log(kFailure, "%s\n%s", m_strErrorMsg.c_str(), policy.c_str());
    return 1;
  }
  return Parse(parser.getDocument());
}

void XmlPolicyProcessor::error(const xercesc::SAXParseException& e) { throw e; }

void XmlPolicyProcessor::warning(const xercesc::SAXParseException& e) {
  throw e;
}
