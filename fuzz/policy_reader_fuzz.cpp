// The policy reader on arbitrary bytes: the parser's buffer route and the
// forwarding policy's Parse.  Whatever the bytes, the reader returns: a
// failure carries a message, a success none, and every text it keeps is
// trimmed as the attribute reader promises.
#include <cstdint>
#include <string>
#include <xercesc/util/PlatformUtils.hpp>

#include "fuzz_support.h"
#include "syslogconf/velk_policy_processor.h"

namespace {

using fuzz::Require;

bool Trimmed(const std::string& text) {
  if (text.empty()) return true;
  auto edge = [](char c) { return c == ' ' || c == '\t'; };
  return !edge(text.front()) && !edge(text.back());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  static const bool initialised =
      (xercesc::XMLPlatformUtils::Initialize(), true);
  (void)initialised;
  if (size == 0) return 0;  // the file route: not this target's business

  VelkPolicyProcessor processor;
  const int rc = processor.Process(data, static_cast<unsigned int>(size));
  if (rc != 0) {
    Require(rc == 1, "a failure other than 1");
    Require(!processor.m_strErrorMsg.empty(), "a failure without a message");
    Require(processor.m_vecSyslogServers.empty(),
            "servers read from a failed parse");
    return 0;
  }
  Require(processor.m_strErrorMsg.empty(), "a success with a message");
  Require(Trimmed(processor.m_strLocalLogMaxSize), "an untrimmed max size");
  for (const auto& server : processor.m_vecSyslogServers) {
    Require(
        Trimmed(server.server) && Trimmed(server.port) && Trimmed(server.proto),
        "an untrimmed server text");
  }
  return 0;
}
