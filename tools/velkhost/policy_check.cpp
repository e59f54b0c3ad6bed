#include "policy_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/LocalFileInputSource.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/TransService.hpp>
#include <xercesc/util/XMLString.hpp>

#include "velkconf/velkconf.h"

using xercesc::XMLString;

namespace {

std::string Utf8(const XMLCh* text) {
  if (text == nullptr) return std::string();
  xercesc::TranscodeToStr utf8(text, "UTF-8");
  return std::string(reinterpret_cast<const char*>(utf8.str()), utf8.length());
}

// XMLCh text of a narrow ASCII literal, released with the object.
class Xml {
 public:
  explicit Xml(const char* text) : text_(XMLString::transcode(text)) {}
  ~Xml() { XMLString::release(&text_); }
  Xml(const Xml&) = delete;
  Xml& operator=(const Xml&) = delete;
  const XMLCh* get() const { return text_; }

 private:
  XMLCh* text_;
};

struct ParseFailure {
  std::string where;  // "LINE:COLUMN"
  std::string cause;
};

// The first warning, error or fatal error ends the parse.
class StopAtFirst : public xercesc::ErrorHandler {
 public:
  void warning(const xercesc::SAXParseException& e) override { Stop(e); }
  void error(const xercesc::SAXParseException& e) override { Stop(e); }
  void fatalError(const xercesc::SAXParseException& e) override { Stop(e); }
  void resetErrors() override {}

 private:
  [[noreturn]] static void Stop(const xercesc::SAXParseException& e) {
    throw ParseFailure{std::to_string(e.getLineNumber()) + ":" +
                           std::to_string(e.getColumnNumber()),
                       Utf8(e.getMessage())};
  }
};

// No DOCTYPE at all, and nothing opened but what is handed in.
class HardenedParser : public xercesc::XercesDOMParser {
 public:
  HardenedParser() {
    getScanner()->setDisallowDTD(true);
    setDisableDefaultEntityResolution(true);
    setLoadExternalDTD(false);
    setLoadSchema(false);
    setDoNamespaces(true);
    setDoSchema(true);
    setValidationScheme(Val_Always);
    setValidationConstraintFatal(true);
    useCachedGrammarInParse(true);
    setCreateEntityReferenceNodes(false);
  }
};

bool IsTrue(const XMLCh* value) {
  std::string text = Utf8(value);
  const std::string::size_type first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return false;
  text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
  return strcasecmp(text.c_str(), "true") == 0;
}

void Summarise(const xercesc::DOMDocument& document, PolicySummary& summary) {
  const Xml ns(VELKCONF_POLICY_NAMESPACE);
  const Xml local("LocalLog"), server("RemoteSyslogServer"), enabled("enabled");
  const Xml events[] = {Xml("healthEvent"), Xml("systemEvent"),
                        Xml("securityEvent")};
  xercesc::DOMNodeList* logs =
      document.getElementsByTagNameNS(ns.get(), local.get());
  for (XMLSize_t i = 0; i < logs->getLength(); ++i) {
    const auto* element = static_cast<xercesc::DOMElement*>(logs->item(i));
    if (IsTrue(element->getAttribute(enabled.get()))) summary.local_log = true;
  }
  xercesc::DOMNodeList* servers =
      document.getElementsByTagNameNS(ns.get(), server.get());
  for (XMLSize_t i = 0; i < servers->getLength(); ++i) {
    const auto* element = static_cast<xercesc::DOMElement*>(servers->item(i));
    ++summary.servers;
    if (!IsTrue(element->getAttribute(enabled.get()))) continue;
    for (const Xml& event : events) {
      if (IsTrue(element->getAttribute(event.get()))) {
        ++summary.forwarding;
        break;
      }
    }
  }
}

// Runs body; a parser failure becomes "NAME:LINE:COLUMN: cause" (or
// "NAME: cause", running out of memory included) in error and false.
template <typename Body>
bool Guarded(const std::string& name, std::string& error, Body body) {
  try {
    body();
    return true;
  } catch (const ParseFailure& failure) {
    error = name + ":" + failure.where + ": " + failure.cause;
  } catch (const xercesc::XMLException& e) {
    error = name + ": " + Utf8(e.getMessage());
  } catch (const xercesc::DOMException& e) {
    error = name + ": " + Utf8(e.getMessage());
  } catch (const xercesc::OutOfMemoryException&) {
    error = name + ": out of memory";
  } catch (const std::bad_alloc&) {
    error = name + ": out of memory";
  } catch (const std::exception& e) {
    error = name + ": " + e.what();
  }
  return false;
}

}  // namespace

std::string PolicySummary::Silence() const {
  if (!local_log && forwarding == 0) {
    return "the policy turns logging off: no local log and no enabled server "
           "with an event selected";
  }
  if (servers > 0 && forwarding == 0) {
    return "the policy turns forwarding off: every server is disabled or "
           "selects no event";
  }
  return std::string();
}

std::string PolicyName(const std::string& path) {
  return path == "-" ? "<stdin>" : path;
}

bool ReadPolicy(const std::string& path, std::size_t max_size,
                std::string& content, std::string& error) {
  content.clear();
  const std::string name = PolicyName(path);
  const std::string too_large = "larger than " + std::to_string(max_size) +
                                " bytes (--max-size raises the limit)";
  // Nothing but a regular file or a pipe is opened: opening a device can
  // have effects of its own.
  struct stat info {};
  if (path != "-" && stat(path.c_str(), &info) != 0) {
    error = name + ": " + std::strerror(errno);
    return false;
  }
  if (path != "-" && !S_ISREG(info.st_mode) && !S_ISFIFO(info.st_mode)) {
    error = name + ": " +
            (S_ISDIR(info.st_mode) ? "is a directory" : "not a regular file");
    return false;
  }
  const struct stat named = info;
  int fd = path == "-" ? dup(STDIN_FILENO)
                       : open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    error = name + ": " + std::strerror(errno);
    return false;
  }
  std::string why;
  if (fstat(fd, &info) != 0) {
    why = std::strerror(errno);
  } else if (path != "-" &&
             (info.st_dev != named.st_dev || info.st_ino != named.st_ino)) {
    why = "replaced while it was opened";
  } else if (S_ISDIR(info.st_mode)) {
    why = "is a directory";
  } else if (path != "-" && !S_ISREG(info.st_mode) && !S_ISFIFO(info.st_mode)) {
    why = "not a regular file";
  } else if (S_ISREG(info.st_mode) &&
             static_cast<unsigned long long>(info.st_size) > max_size) {
    why = too_large;
  } else {
    char buffer[65536];
    for (;;) {
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n == 0) break;
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        why = std::strerror(errno);
        break;
      }
      content.append(buffer, static_cast<std::size_t>(n));
      if (content.size() > max_size) {
        why = too_large;
        break;
      }
    }
    if (why.empty() && content.empty()) why = "empty file";
  }
  close(fd);
  if (why.empty()) return true;
  content.clear();
  error = name + ": " + why;
  return false;
}

Validity ValidatePolicy(const std::string& content, const std::string& name,
                        const std::string& schema, PolicySummary& summary,
                        std::string& error) {
  summary = PolicySummary();
  HardenedParser parser;
  StopAtFirst handler;
  parser.setErrorHandler(&handler);
  if (access(schema.c_str(), R_OK) != 0) {
    error = schema + ": " + std::strerror(errno) + " (the policy schema)";
    return Validity::kNoSchema;
  }
  bool loaded = false;
  if (!Guarded(schema, error, [&] {
        const Xml schema_path(schema.c_str());
        xercesc::LocalFileInputSource source(schema_path.get());
        loaded = parser.loadGrammar(source, xercesc::Grammar::SchemaGrammarType,
                                    true) != nullptr;
      })) {
    return Validity::kNoSchema;
  }
  if (!loaded) {
    error = schema + ": cannot load the policy schema";
    return Validity::kNoSchema;
  }
  if (!Guarded(name, error, [&] {
        xercesc::MemBufInputSource source(
            reinterpret_cast<const XMLByte*>(content.data()), content.size(),
            name.c_str(), false);
        parser.parse(source);
      })) {
    return Validity::kInvalid;
  }
  const xercesc::DOMDocument* document = parser.getDocument();
  if (document == nullptr) {
    error = name + ": no document";
    return Validity::kInvalid;
  }
  Summarise(*document, summary);
  return Validity::kValid;
}
