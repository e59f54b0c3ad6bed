// The configuration generator on policies built from the fuzzer's bytes,
// compared with a model of the file it must write, in each of the host's
// forwarding queue modes (the default, disk, when the host does not answer;
// memory; none, the classic selector lines).  The texts of a server are
// arbitrary: a text that would break out of its rsyslog line (or, in the
// queued forms, out of its quoted parameter) must be refused with its
// message and no file, any other must be written as it stands.  Writes
// /etc: runs inside tools/sandbox.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include <xercesc/util/PlatformUtils.hpp>

#include "fuzz_support.h"
#include "velkconf/velkconf.h"

namespace {

using fuzz::Require;

const char kTemplate[] = "# fuzz template\n";

// Takes bytes off the front of the input; zeros once it runs out.
class Bytes {
 public:
  Bytes(const std::uint8_t* data, std::size_t size)
      : data_(data), left_(size) {}
  unsigned Next() {
    if (left_ == 0) return 0;
    --left_;
    return *data_++;
  }
  // A text of up to 15 characters, each U+0001 to U+00FF.
  std::u32string Text() {
    std::u32string text;
    for (unsigned n = Next() % 16; n > 0; --n)
      text += static_cast<char32_t>(Next() % 255 + 1);
    return text;
  }

 private:
  const std::uint8_t* data_;
  std::size_t left_;
};

struct Server {
  bool enabled, health, system, security;
  std::string proto, port, server;  // UTF-8, as the plug-in reads them
};

// XML 1.0 allows these characters, also as references.
bool XmlAllows(char32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || c >= 0x20;
}

std::string Utf8(const std::u32string& text) {
  std::string out;
  for (char32_t c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// Every character as a reference, so that the parser hands it over as is.
std::string Attribute(const char* name, const std::u32string& value) {
  std::string out = std::string(" ") + name + "=\"";
  char ref[16];
  for (char32_t c : value) {
    std::snprintf(ref, sizeof ref, "&#x%X;", static_cast<unsigned>(c));
    out += ref;
  }
  return out + "\"";
}

bool BreaksLine(const std::string& text, bool quoted) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F || c == '\\' || (quoted && c == '"')) return true;
  }
  return false;
}

// The CA file the host names for TLS forwards: any readable file will do.
const char kCaFile[] = "/etc/rsyslog.conf.in";

// The host's answers: SyslogForwardQueue none (code 1) or a mode, and the
// CA file of TLS forwards.
class QueueParameter : public IConfigParameters {
 public:
  const char* mode = nullptr;
  int GetValue(const std::string& name, std::string& value) const override {
    if (name == "SyslogTlsCaFile") {
      value = kCaFile;
      return 0;
    }
    if (name != "SyslogForwardQueue" || mode == nullptr) return 1;
    value = mode;
    return 0;
  }
  int GetTuningParameter(const std::string&, std::string&) const override {
    return 1;
  }
};

std::string Sanitized(const std::string& text) {
  std::string out;
  for (unsigned char c : text.substr(0, 48)) {
    out += std::isalnum(c) || c == '.' || c == '-' ? static_cast<char>(c) : '_';
  }
  return out;
}

// One queued forward: an action for the server's facilities.
// One forward in the action form: queued unless classic (a TLS forward in
// the classic mode), on disk or in memory.
std::string ActionForward(const Server& s, std::size_t number, bool classic,
                          bool disk) {
  const bool tls = s.proto == "tls";
  const bool tcp = s.proto == "tcp" || tls;
  std::string target = s.server;
  if (target.size() >= 2 && target.front() == '[' && target.back() == ']') {
    target = target.substr(1, target.size() - 2);
  }
  std::string selector;
  if (s.health) selector += ";local5.*";
  if (s.system) selector += ";local6.*";
  if (s.security) selector += ";local7.*";
  std::string out = selector.substr(1) + " action(type=\"omfwd\" target=\"" +
                    target + "\" port=\"" + s.port + "\" protocol=\"" +
                    (tcp ? "tcp" : "udp") + "\" template=\"VelkFormat\"" +
                    (tcp ? " ResendLastMSGOnReconnect=\"on\"" : "");
  if (tls) {
    out +=
        "\n    StreamDriver=\"gtls\" StreamDriverMode=\"1\" "
        "StreamDriverAuthMode=\"x509/name\" StreamDriverPermittedPeers=\"" +
        target + "\"\n    StreamDriver.CAFile=\"" + kCaFile + "\"";
  }
  if (classic) return out + ")\n";
  out += "\n    queue.type=\"LinkedList\"";
  if (disk) {
    out += " queue.filename=\"velk-fwd-" + std::to_string(number) +
           (tls   ? "-tls-"
            : tcp ? "-tcp-"
                  : "-udp-") +
           Sanitized(target) + "-" + Sanitized(s.port) +
           "\" queue.spoolDirectory=\"/var/zev/spool\" "
           "queue.maxDiskSpace=\"32m\" queue.saveOnShutdown=\"on\"\n"
           "    queue.size=\"50000\" queue.highWatermark=\"2000\" "
           "queue.lowWatermark=\"1000\"";
  } else {
    out += " queue.size=\"10000\"";
  }
  return out +
         "\n    queue.timeoutEnqueue=\"0\" queue.timeoutShutdown=\"20\" "
         "queue.timeoutActionCompletion=\"100\"\n"
         "    action.resumeRetryCount=\"-1\" action.resumeInterval=\"1\" "
         "action.resumeIntervalMax=\"1\")\n";
}

std::string ReadFile(const char* path, bool& exists) {
  std::ifstream in(path, std::ios::binary);
  exists = static_cast<bool>(in);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  static QueueParameter parameter;
  static const bool ready = [] {
    xercesc::XMLPlatformUtils::Initialize();
    Initialize(nullptr, nullptr, &parameter, nullptr);
    std::ofstream("/etc/rsyslog.conf.in") << kTemplate;
    return true;
  }();
  (void)ready;

  // Build the policy and, beside it, what the plug-in must make of it.
  Bytes in(data, size);
  const unsigned head = in.Next();
  const bool local = head & 1;
  static const char* const kModes[] = {nullptr, "disk", "memory", "none"};
  parameter.mode = kModes[(head >> 4) % 4];
  const bool classic =
      parameter.mode != nullptr && std::string(parameter.mode) == "none";
  const bool disk =
      parameter.mode == nullptr || std::string(parameter.mode) == "disk";
  std::string xml = "<policy xmlns=\"" VELKCONF_POLICY_NAMESPACE "\">";
  xml += std::string("<LocalLog enabled=\"") + (local ? "true" : "false") +
         "\" maxSize=\"1\"/>";
  std::vector<Server> servers;
  for (unsigned n = (head >> 1) % 6; n > 0; --n) {
    const unsigned flags = in.Next();
    static const std::u32string kProtos[] = {U"tcp", U"udp",    U"TCP",
                                             U"",    U" tcp\t", U"tls"};
    std::u32string proto = flags & 0x80 ? in.Text() : kProtos[(flags >> 4) % 6];
    std::u32string port = in.Text();
    std::u32string server = in.Text();
    // Characters XML cannot carry, even as references, become blanks.
    for (std::u32string* text : {&proto, &port, &server}) {
      for (char32_t& c : *text) {
        if (!XmlAllows(c)) c = U' ';
      }
    }
    Server s{(flags & 1) != 0,  (flags & 2) != 0,  (flags & 4) != 0,
             (flags & 8) != 0,  Trim(Utf8(proto)), Trim(Utf8(port)),
             Trim(Utf8(server))};
    xml += std::string("<RemoteSyslogServer enabled=\"") +
           (s.enabled ? "true" : "false") + "\" healthEvent=\"" +
           (s.health ? "true" : "false") + "\" systemEvent=\"" +
           (s.system ? "true" : "false") + "\" securityEvent=\"" +
           (s.security ? "true" : "false") + "\"" + Attribute("proto", proto) +
           Attribute("port", port) + Attribute("server", server) + "/>";
    servers.push_back(s);
  }
  xml += "</policy>";

  std::string expected = std::string(kTemplate) + "\n";
  std::string refusal;
  if (local) {
    for (const char* f : {"local5", "local6", "local7"}) {
      expected += std::string(f) + ".* -/var/zev/velk.log\n";
    }
  }
  if (!servers.empty())
    expected += "$template VelkFormat,\"<%PRI%>%syslogtag%%msg%\\n\"\n";
  for (std::size_t i = 0; i < servers.size(); ++i) {
    const Server& s = servers[i];
    if (!s.enabled || !(s.health || s.system || s.security)) continue;
    const bool quoted = !classic || s.proto == "tls";
    const char* field = BreaksLine(s.server, quoted) ? "server"
                        : BreaksLine(s.port, quoted) ? "port"
                                                     : nullptr;
    if (field != nullptr && refusal.empty()) {
      refusal = std::string("Error: Invalid character in the ") + field +
                " text of remote syslog server " + std::to_string(i + 1) + " ";
    }
    if (!classic || s.proto == "tls") {
      expected += ActionForward(s, i + 1, classic, disk);
      continue;
    }
    const std::string destination =
        std::string(s.proto == "tcp" ? " @@" : " @") + s.server + ":" + s.port +
        ";VelkFormat\n";
    if (s.health) expected += "local5.*" + destination;
    if (s.system) expected += "local6.*" + destination;
    if (s.security) expected += "local7.*" + destination;
  }

  std::remove("/etc/rsyslog.conf.new");
  const long rc =
      Process("ns", reinterpret_cast<const unsigned char*>(xml.data()),
              static_cast<unsigned int>(xml.size()));
  char* message = nullptr;
  GetErrorMessage(&message);
  const std::string error = message;
  ReleaseErrorMessage(message);
  bool exists = false;
  const std::string written = ReadFile("/etc/rsyslog.conf.new", exists);
  if (!refusal.empty()) {
    Require(rc == 1, "a line-breaking text was accepted:\n" + written);
    Require(error == refusal,
            "refused with \"" + error + "\", expected \"" + refusal + "\"");
    Require(!exists, "a refused policy left a file");
  } else {
    Require(rc == 0, "a harmless policy failed: " + error + "\n" + xml);
    Require(written == expected,
            "generated:\n" + written + "\nexpected:\n" + expected);
  }
  return 0;
}
