// The plug-in's entry points: the whole of what a host calls.
#include <cstring>
#include <string>

#include "host/log_levels.h"
#include "syslogconf/velk_config.h"
#include "syslogconf/velk_policy_processor.h"
#include "velkconf/velkconf.h"

namespace {

// The reason for the last failure; see GetErrorMessage.
std::string g_strLastError;

}  // namespace

extern "C" {

long Initialize(const ILogger* logger, const ISensorPolicyInfo* policyInfo,
                const IConfigParameters* configParameters,
                const ISensorCapabilities* capabilities) {
  Log(kTrace, "Initializing VELK config lib.");
  SetLoggerInterface(logger);
  SetSensorPolicyInfo(policyInfo);
  ConfigParameters::SetConfigInterface(configParameters);
  SetCapabilitiesInterface(capabilities);
  Log(kTrace, "Finished initializing VELK config lib.");
  return 0;
}

long PreProcess(void) {
  Log(kTrace, "PreProcess() start.");
  g_strLastError.clear();
  Log(kTrace, "PreProcess() finished");
  return 0;
}

long Process(const char* ns, const unsigned char* buffer, unsigned int size) {
  // The namespace is only reported: the processor knows its own.
  Log(kTrace, "Process: ns = %s, buffer size = %d", ns ? ns : "(null)",
      static_cast<int>(size));
  g_strLastError.clear();

  long result;
  VelkPolicyProcessor processor;
  const int rc = processor.Process(buffer, size);
  if (rc != 0) {
    g_strLastError = processor.m_strErrorMsg;
    result = rc;
  } else {
    VelkConfig config;
    if (config.Configure(&processor)) {
      result = 0;
    } else {
      g_strLastError = config.m_strErrorMessage;
      result = 1;
    }
  }
  Log(kTrace, "Process() result code: %ld", result);
  return result;
}

long PostProcess(long input, long* result) {
  Log(kTrace, "PostProcess() start. input=%ld", input);
  if (result != nullptr) *result = 0;
  Log(kTrace, "PostProcess() finished, result=%ld.", 0L);
  return 0;
}

long Validate(void) {
  Log(kTrace, "Validate called.");
  return 0;
}

long Commit(void) {
  VelkConfig config;
  const long result = config.CommitTempFiles() ? 0 : 1;
  if (result != 0) {
    g_strLastError = "Unable to commit the new syslog configuration";
  }
  Log(kTrace, "Commit() finished, result=%ld.", result);
  return result;
}

void Uninitialize(void) { Log(kTrace, "Uninitialize called."); }

long GetErrorMessage(char** message) {
  char* copy = new char[g_strLastError.size() + 1];
  std::memcpy(copy, g_strLastError.c_str(), g_strLastError.size() + 1);
  *message = copy;
  return 0;
}

void ReleaseErrorMessage(char* message) { delete[] message; }

}  // extern "C"
